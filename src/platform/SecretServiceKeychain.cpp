#include "platform/SecretServiceKeychain.h"

#include "utilities/DeleteLater.h"
#include "utilities/Utf8OrEmpty.h"

#include <QCoreApplication>
#include <QLibrary>
#include <qcoro/qcorosignal.h>
#include <qt6keychain/keychain.h>

#include <array>
#include <memory>
#include <utility>

namespace tw {

namespace {

template <typename JobType>
using JobPointer = std::unique_ptr<JobType, DeleteLater>;

// qtkeychain loads libsecret at run time and, without it, would fall back on
// GNOME Keyring's retired library or on KWallet's own interface.
bool libsecretLoads()
{
    static const bool loads = QLibrary(QStringLiteral("secret-1"), 0).load();
    return loads;
}

// qtkeychain settles on its backend once, when its first job starts, by the
// desktop session's variables: in a KDE session it would talk to KWallet's
// own interface, whose items no other Secret Service client sees. With those
// variables hidden while that first job starts, it takes libsecret, which
// reaches whichever program serves the Secret Service.
void startSettlingOnSecretService(QKeychain::Job *job)
{
    static bool settled = false;
    if (std::exchange(settled, true)) {
        job->start();
        return;
    }
    static const std::array<const char *, 4> desktopVariables = {
        "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "GNOME_DESKTOP_SESSION_ID", "KDE_FULL_SESSION"};
    QList<std::pair<const char *, QByteArray>> hidden;
    for (const char *name : desktopVariables) {
        if (!qEnvironmentVariableIsSet(name))
            continue;
        hidden.append({name, qgetenv(name)});
        qunsetenv(name);
    }
    job->start();
    // start() only queues the job; this call is queued behind it, so the
    // variables come back as soon as the backend has been chosen.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [hidden] {
            for (const auto &[name, value] : hidden)
                qputenv(name, value);
        },
        Qt::QueuedConnection);
}

template <typename JobType>
JobPointer<JobType> makeJob(const QString &account)
{
    JobPointer<JobType> job(new JobType(Keychain::service));
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    job->setKey(account);
    return job;
}

[[noreturn]] void throwUnavailable()
{
    throw KeychainUnavailable(SecretServiceKeychain::unavailableMessage);
}

// Starts the job and answers how it ended. The job reports through its
// signal only, never synchronously from start().
QCoro::Task<QKeychain::Error> run(QKeychain::Job *job)
{
    if (!libsecretLoads())
        throwUnavailable();
    startSettlingOnSecretService(job);
    co_await qCoro(job, &QKeychain::Job::finished);
    co_return job->error();
}

} // namespace

QCoro::Task<std::optional<QString>> SecretServiceKeychain::get(QString account)
{
    const auto job = makeJob<QKeychain::ReadPasswordJob>(account);
    const QKeychain::Error error = co_await run(job.get());
    if (error == QKeychain::EntryNotFound)
        co_return std::nullopt;
    if (error != QKeychain::NoError)
        throwUnavailable();
    const QByteArray data = job->binaryData();
    const QString text = utf8OrEmpty(data, InitialBom::Keep);
    // Bytes that are not UTF-8 were not written by us: no usable item.
    if (text.isEmpty() && !data.isEmpty())
        co_return std::nullopt;
    co_return text;
}

QCoro::Task<void> SecretServiceKeychain::set(QString value, QString account)
{
    const auto job = makeJob<QKeychain::WritePasswordJob>(account);
    job->setTextData(value);
    // The Secret Service replaces an item with the same attributes, so the
    // account keeps exactly one value.
    const QKeychain::Error error = co_await run(job.get());
    if (error != QKeychain::NoError)
        throwUnavailable();
}

QCoro::Task<void> SecretServiceKeychain::remove(QString account)
{
    const auto job = makeJob<QKeychain::DeletePasswordJob>(account);
    const QKeychain::Error error = co_await run(job.get());
    if (error != QKeychain::NoError && error != QKeychain::EntryNotFound)
        throwUnavailable();
}

} // namespace tw
