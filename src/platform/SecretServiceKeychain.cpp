#include "platform/SecretServiceKeychain.h"

#include "utilities/DeleteLater.h"
#include "utilities/Utf8OrEmpty.h"

#include <QLibrary>
#include <qcoro/qcorosignal.h>
#include <qt6keychain/keychain.h>

#include <memory>

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
    job->start();
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
