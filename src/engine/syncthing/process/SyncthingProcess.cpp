#include "engine/syncthing/process/SyncthingProcess.h"

#include "engine/PlatformError.h"
#include "engine/SyncEngineError.h"
#include "engine/syncthing/process/SyncthingConfigHardening.h"
#include "engine/syncthing/process/SyncthingSweep.h"
#include "utilities/LoopbackOnly.h"
#include "utilities/Utf8OrEmpty.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>
#include <qcoro/qcoroprocess.h>

#include <arpa/inet.h>
#include <csignal>
#include <filesystem>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace tw {

const QString SyncthingProcess::logFileName = QStringLiteral("tidewell-syncthing.log");
const QStringList SyncthingProcess::keptFiles{
    QStringLiteral("config.xml"),     QStringLiteral("cert.pem"),      QStringLiteral("key.pem"),
    QStringLiteral("https-cert.pem"), QStringLiteral("https-key.pem"),
};

namespace {

const QString notFoundAdvice = QStringLiteral(
    "Place the 'syncthing' binary beside the application, or install Syncthing 1.29 or later.");

const QStringList proxyVariables{QStringLiteral("all_proxy"), QStringLiteral("http_proxy"),
                                 QStringLiteral("https_proxy")};

// Generating keys takes well under a second; this only keeps a wedged
// program from holding the start forever.
constexpr auto generateTimeout = 60s;

QString randomToken(int bytes)
{
    QByteArray raw(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(raw.data()), bytes / 4);
    return QString::fromLatin1(raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

bool hasIdentity(const QString &home)
{
    for (const char *name : {"config.xml", "cert.pem", "key.pem"}) {
        if (!QFileInfo::exists(home + QLatin1Char('/') + QLatin1String(name)))
            return false;
    }
    return true;
}

void makeHome(const QString &home)
{
    std::error_code error;
    std::filesystem::create_directories(home.toStdString(), error);
    if (error)
        throw PlatformError(home + QStringLiteral(": ") + QString::fromStdString(error.message()));
}

quint16 portOf(const QString &address)
{
    const int port = QUrl(address).port();
    return port > 0 ? quint16(port) : 0;
}

// Everything in the home but configuration and keys. Symbolic links are
// removed, never followed.
void deleteAllBut(const QString &home, const QStringList &kept)
{
    const QDir dir(home);
    if (!dir.exists())
        return;
    const auto entries =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (kept.contains(entry.fileName()))
            continue;
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.filePath()).removeRecursively();
        else
            QFile::remove(entry.filePath());
    }
}

} // namespace

void SyncthingProcess::DeleteWhenFinished::operator()(QProcess *process) const
{
    // A running QProcess must not be destroyed: Qt would SIGKILL the monitor
    // and orphan its child. Such a process goes once it has finished.
    if (process->state() == QProcess::NotRunning)
        process->deleteLater();
    else
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
}

SyncthingProcess::Options SyncthingProcess::optionsFromEnvironment()
{
    Options options;
    options.loopbackOnly = loopbackOnlyRun();
    return options;
}

QStringList SyncthingProcess::defaultCandidates()
{
    QStringList candidates;
    if (QCoreApplication::instance())
        candidates.append(QCoreApplication::applicationDirPath() + QStringLiteral("/syncthing"));
    candidates.append(QStringLiteral("/usr/local/bin/syncthing"));
    candidates.append(QStringLiteral("/usr/bin/syncthing"));
    return candidates;
}

SyncthingProcess::SyncthingProcess(AppPaths paths, QObject *parent)
    : SyncthingProcess(std::move(paths), defaultCandidates(), optionsFromEnvironment(), parent)
{
}

SyncthingProcess::SyncthingProcess(AppPaths paths, QStringList candidates, Options options, QObject *parent)
    : QObject(parent), m_home(QDir::cleanPath(paths.engineHome())), m_candidates(std::move(candidates)),
      m_options(std::move(options)),
      m_lock(m_options.instanceLock ? m_options.instanceLock : std::make_shared<InstanceLock>(paths))
{
}

SyncthingProcess::~SyncthingProcess()
{
    // Syncthing needs up to about ten seconds to shut down (longer with
    // peers connected) and does so on its own; nothing waits for it here.
    // The process object itself stays until the child has finished.
    if (isRunning()) {
        m_process->terminate();
        SyncthingSweep::signalHome(m_home, SIGTERM);
    }
}

bool SyncthingProcess::isRunning() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

qint64 SyncthingProcess::processId() const
{
    return m_process ? m_process->processId() : 0;
}

QString SyncthingProcess::locateBinary() const
{
    for (const QString &candidate : m_candidates) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return QDir::cleanPath(info.absoluteFilePath());
    }
    throw SyncEngineError::binaryNotFound(notFoundAdvice);
}

void SyncthingProcess::requireInstanceLock()
{
    if (m_lock->acquire())
        return;
    if (m_lock->isHeldElsewhere())
        throw SyncEngineError::backend(InstanceLock::alreadyRunning);
    throw PlatformError(m_lock->failure());
}

QProcessEnvironment SyncthingProcess::baseEnvironment() const
{
    return m_options.environment.value_or(QProcessEnvironment::systemEnvironment());
}

QCoro::Task<SyncthingProcess::Endpoint> SyncthingProcess::startIfNeeded()
{
    auto guard = co_await m_mutex.lock();
    if (m_endpoint && isRunning()) {
        // A copy: QCoro's co_return moves from a non-const lvalue, which
        // would empty the stored endpoint.
        co_return Endpoint(*m_endpoint);
    }
    forgetExitedChild();

    const QString binary = locateBinary();
    // The sweep below would stop another copy's Syncthing.
    requireInstanceLock();
    co_await SyncthingSweep::terminate(m_home, m_options.sleeper);
    co_await ensureHomeAndConfig(binary);

    quint16 listenPort = 0;
    if (m_options.loopbackOnly) {
        const QString listen = SyncthingConfigHardening::hardenFile(
            m_home + QStringLiteral("/config.xml"), m_options.listenHost, freePort(m_options.listenHost),
            m_options.diskFloors);
        listenPort = portOf(listen);
    }
    quint16 port = freePort(m_options.listenHost);
    for (int attempt = 0; port == listenPort && attempt < 5; ++attempt)
        port = freePort(m_options.listenHost);

    Endpoint endpoint;
    endpoint.baseURL = QUrl(QStringLiteral("http://%1:%2").arg(m_options.listenHost).arg(port));
    endpoint.apiKey = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();

    ProcessPtr child = makeChild(binary, endpoint);
    child->start();
    if (!co_await qCoro(child.get()).waitForStarted())
        throw PlatformError(QStringLiteral("Could not launch Syncthing: ") + child->errorString());
    m_process = std::move(child);
    m_endpoint = endpoint;
    co_return endpoint;
}

void SyncthingProcess::forgetExitedChild()
{
    if (m_process && m_process->state() == QProcess::NotRunning) {
        m_process.reset();
        m_endpoint.reset();
    }
}

QCoro::Task<void> SyncthingProcess::ensureHomeAndConfig(QString binary)
{
    makeHome(m_home);
    if (!hasIdentity(m_home))
        co_await generate(binary);
}

QCoro::Task<void> SyncthingProcess::generate(QString binary)
{
    // Without a GUI user any local account could drive Syncthing's web GUI on
    // the loopback port; nothing of ours needs the password, which goes over
    // standard input so it never shows in a process list.
    const QString user = QStringLiteral("tidewell-") + randomToken(8);
    const QString password = randomToken(24);

    QProcess generator;
    generator.setProgram(binary);
    generator.setArguments({QStringLiteral("generate"), QStringLiteral("--home"), m_home,
                            QStringLiteral("--no-default-folder"), QStringLiteral("--gui-user=") + user,
                            QStringLiteral("--gui-password=-")});
    generator.setProcessEnvironment(baseEnvironment());
    generator.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    generator.start();
    if (!co_await qCoro(generator).waitForStarted())
        throw PlatformError(QStringLiteral("Could not launch Syncthing: ") + generator.errorString());
    generator.write(password.toUtf8());
    generator.closeWriteChannel();
    if (!co_await qCoro(generator).waitForFinished(generateTimeout) && generator.state() != QProcess::NotRunning) {
        generator.kill();
        co_await qCoro(generator).waitForFinished(5s);
    }
    if (generator.exitStatus() == QProcess::NormalExit && generator.exitCode() == 0)
        co_return;
    throw SyncEngineError::backend(QStringLiteral("syncthing generate failed (exit %1): ").arg(generator.exitCode())
                                   + utf8OrEmpty(generator.readAllStandardError()));
}

SyncthingProcess::ProcessPtr SyncthingProcess::makeChild(const QString &binary, const Endpoint &endpoint) const
{
    ProcessPtr process(new QProcess);
    process->setProgram(binary);
    process->setArguments({QStringLiteral("serve"), QStringLiteral("--home"), m_home, QStringLiteral("--no-browser"),
                           QStringLiteral("--no-restart")});

    QProcessEnvironment environment = baseEnvironment();
    environment.insert(QStringLiteral("STGUIADDRESS"), endpoint.baseURL.toString());
    environment.insert(QStringLiteral("STGUIAPIKEY"), endpoint.apiKey);
    if (m_options.loopbackOnly) {
        environment.insert(QStringLiteral("STNOUPGRADE"), QStringLiteral("1"));
        // Syncthing dials peers through a proxy named in the environment,
        // which could lie beyond loopback.
        for (const QString &key : environment.keys()) {
            if (proxyVariables.contains(key.toLower()))
                environment.remove(key);
        }
    }
    process->setProcessEnvironment(environment);

    process->setStandardInputFile(QProcess::nullDevice());
    const QString logPath = m_home + QLatin1Char('/') + logFileName;
    QFile log(logPath);
    if (log.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        log.close();
        // Standard error joins standard output: one descriptor on the log.
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->setStandardOutputFile(logPath, QIODevice::Append);
    } else {
        process->setProcessChannelMode(QProcess::ForwardedChannels);
    }

    // If this application dies, the monitor gets SIGTERM and stops its child.
    // The signal follows the thread that forked, which is the main thread.
    const pid_t parent = ::getpid();
    process->setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(1);
    });
    return process;
}

QCoro::Task<void> SyncthingProcess::stop()
{
    auto guard = co_await m_mutex.lock();
    co_await stopLocked();
}

QCoro::Task<void> SyncthingProcess::stopLocked()
{
    m_endpoint.reset();
    ProcessPtr process = std::move(m_process);
    if (!process)
        co_return;
    if (process->state() != QProcess::NotRunning) {
        process->terminate();
        const bool finished = co_await qCoro(process.get()).waitForFinished(m_options.stopGrace);
        if (!finished && process->state() != QProcess::NotRunning) {
            process->kill();
            co_await SyncthingSweep::kill(m_home, m_options.sleeper);
            if (process->state() != QProcess::NotRunning)
                co_await qCoro(process.get()).waitForFinished(5s);
        }
    }
    // The monitor is gone; a child it failed to stop would keep the database locked.
    co_await SyncthingSweep::terminate(m_home, m_options.sleeper);
}

QCoro::Task<void> SyncthingProcess::resetDatabase()
{
    auto guard = co_await m_mutex.lock();
    // Another copy's Syncthing and database are not ours to touch.
    if (!m_lock->acquire())
        co_return;
    co_await stopLocked();
    // Also those of an earlier run, which are not our child: old and new
    // instances must never share a home.
    co_await SyncthingSweep::terminate(m_home, m_options.sleeper);
    co_await deleteDatabase();
}

QCoro::Task<void> SyncthingProcess::deleteDatabase()
{
    co_await QtConcurrent::run(deleteAllBut, m_home, keptFiles);
}

void SyncthingProcess::killDaemonsForDefaultHome()
{
    SyncthingSweep::signalHome(QDir::cleanPath(AppPaths::standard().engineHome()), SIGTERM);
}

quint16 SyncthingProcess::freePort(const QString &host)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    if (::inet_pton(AF_INET, host.toLatin1().constData(), &address.sin_addr) != 1)
        return fallbackPort;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fallbackPort;
    quint16 port = fallbackPort;
    socklen_t length = sizeof(address);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0 && address.sin_port != 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

} // namespace tw
