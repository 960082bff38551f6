#include "platform/SecretServiceKeychain.h"

#include "AwaitTask.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace tw {
namespace {

const char insideSession[] = "TIDEWELL_KEYCHAIN_TEST_SESSION";
const QString secretService = QStringLiteral("org.freedesktop.secrets");

// GNOME Keyring with a login keyring created and unlocked by a test password;
// returns once it serves the Secret Service.
void startKeyring(QProcess &daemon)
{
    QDBusServiceWatcher watcher(secretService, QDBusConnection::sessionBus(), QDBusServiceWatcher::WatchForRegistration);
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &loop, &QEventLoop::quit);
    QObject::connect(&daemon, &QProcess::finished, &loop, &QEventLoop::quit);
    // Only a bound for a daemon that runs without ever serving.
    QTimer::singleShot(std::chrono::minutes(1), &loop, &QEventLoop::quit);
    daemon.start(QStringLiteral("gnome-keyring-daemon"), {"--foreground", "--unlock", "--components=secrets"});
    ASSERT_TRUE(daemon.waitForStarted()) << daemon.errorString().toStdString();
    daemon.write("test password");
    daemon.closeWriteChannel();
    loop.exec();
    ASSERT_TRUE(QDBusConnection::sessionBus().interface()->isServiceRegistered(secretService))
        << "gnome-keyring-daemon does not serve the Secret Service: " << daemon.readAllStandardError().toStdString();
}

// Items in the default collection, however qtkeychain labels them.
qsizetype storedItems()
{
    QDBusInterface service(secretService, "/org/freedesktop/secrets", "org.freedesktop.Secret.Service");
    const QDBusReply<QDBusObjectPath> collection = service.call("ReadAlias", "default");
    QDBusInterface items(secretService, collection.value().path(), "org.freedesktop.Secret.Collection");
    return qdbus_cast<QList<QDBusObjectPath>>(items.property("Items")).size();
}

void roundTripInsideSession()
{
    SecretServiceKeychain keychain;
    const QString account = QStringLiteral("nasApiKey-TEST");
    const QString replacement = QStringLiteral("second key \u00fc\u2713");
    // Nothing serves the Secret Service yet, and this bus starts nothing on demand.
    EXPECT_THROW(awaitTask(keychain.get(account)), KeychainUnavailable);
    EXPECT_THROW(awaitTask(keychain.set(replacement, account)), KeychainUnavailable);
    EXPECT_THROW(awaitTask(keychain.remove(account)), KeychainUnavailable);

    QProcess daemon;
    ASSERT_NO_FATAL_FAILURE(startKeyring(daemon));
    awaitTask(keychain.set(QStringLiteral("first key"), account));
    awaitTask(keychain.set(replacement, account));
    EXPECT_EQ(awaitTask(keychain.get(account)), replacement);
    EXPECT_EQ(storedItems(), 1);
    awaitTask(keychain.remove(account));
    EXPECT_EQ(awaitTask(keychain.get(account)), std::nullopt);
    awaitTask(keychain.remove(account));
    daemon.terminate();
    EXPECT_TRUE(daemon.waitForFinished(-1));
}

// The checks run in a child of dbus-run-session: a private bus with no
// services to activate, and HOME and the XDG folders in a temporary folder,
// so no developer's login keyring is ever reached.
TEST(SecretServiceKeychainTest, RoundTripsThroughGnomeKeyringOnAPrivateBus)
{
    if (qEnvironmentVariableIsSet(insideSession))
        return roundTripInsideSession();
    QTemporaryDir root;
    QProcessEnvironment environment;
    environment.insert("PATH", qEnvironmentVariable("PATH"));
    environment.insert(insideSession, "1");
    for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        ASSERT_TRUE(QDir().mkdir(root.filePath(name), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        environment.insert(name, root.filePath(name));
    }
    QFile config(root.filePath("bus.conf"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>"
                                "<policy context=\"default\"><allow send_destination=\"*\"/><allow receive_sender=\"*\"/><allow own=\"*\"/></policy>"
                                "</busconfig>")
                     .arg(root.path())
                     .toUtf8());
    config.close();
    const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
    QProcess session;
    session.setProcessEnvironment(environment);
    session.setProcessChannelMode(QProcess::MergedChannels);
    session.start("dbus-run-session", {"--config-file=" + config.fileName(), "--", QCoreApplication::applicationFilePath(),
                                       QStringLiteral("--gtest_filter=%1.%2").arg(test->test_suite_name(), test->name())});
    ASSERT_TRUE(session.waitForFinished(-1)) << session.errorString().toStdString();
    EXPECT_EQ(session.exitCode(), 0) << session.readAll().toStdString();
}

} // namespace
} // namespace tw
