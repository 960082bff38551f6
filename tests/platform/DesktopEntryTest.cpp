#include "platform/DesktopEntry.h"

#include "QtPrinters.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tw {
namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct ToolRun
{
    int exitCode = -1;
    QByteArray output;
};

ToolRun run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.waitForFinished(10000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAll()};
}

TEST(DesktopEntryTest, TheInstalledEntryIsTheOneABuildTreeRunWrites)
{
    EXPECT_EQ(readAll(TIDEWELL_SOURCE_DIR "/data/tidewellmesh.desktop"), DesktopEntry::text("tidewellmesh").toUtf8());
}

// xdg-mime and the registration read the process's environment: a plain
// session on temporary folders, no desktop that would answer its own way.
TEST(DesktopEntryTest, ABuildTreeCopyBecomesTheHandlerOfItsLinks)
{
    QTemporaryDir dir;
    const QStringList kept{"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION",
                           "KDE_FULL_SESSION"};
    QList<std::pair<QByteArray, std::optional<QByteArray>>> saved;
    for (const QString &name : kept) {
        const QByteArray key = name.toLatin1();
        saved.append({key, qEnvironmentVariableIsSet(key) ? std::optional(qgetenv(key)) : std::nullopt});
        qunsetenv(key);
    }
    const auto restore = qScopeGuard([&] {
        for (const auto &[key, value] : saved)
            value ? qputenv(key, *value) : qunsetenv(key);
    });
    qputenv("XDG_DATA_HOME", dir.filePath("data").toUtf8());
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    QDir().mkpath(dir.filePath("config"));

    const QString entry = DesktopEntry::userEntryPath();
    EXPECT_EQ(entry, dir.filePath("data/applications/tidewellmesh.desktop"));
    const QString executable = dir.filePath("build tree/tidewell\"mesh");
    ASSERT_TRUE(DesktopEntry::registerBuildTreeCopy(entry, executable));
    EXPECT_TRUE(readAll(entry).contains("Exec=\"" + dir.filePath("build tree/tidewell\\\\\"mesh").toUtf8() + "\" %u\n"));
    const ToolRun validation = run("desktop-file-validate", {entry});
    EXPECT_EQ(validation.exitCode, 0) << validation.output.constData();
    EXPECT_EQ(validation.output, QByteArray());
    EXPECT_TRUE(waitUntil([] {
        return run("xdg-mime", {"query", "default", DesktopEntry::linkMimeType}).output == "tidewellmesh.desktop\n";
    }, 10000));

    // Written again only when it names another executable. Each registration
    // runs xdg-mime on its own, which replaces the defaults file last: the
    // second is waited for, so it writes nothing once this folder is gone.
    const QByteArray defaults = QFile::encodeName(dir.filePath("config/mimeapps.list"));
    const auto defaultsFile = [&defaults] {
        struct stat status = {};
        return ::stat(defaults.constData(), &status) == 0 ? status.st_ino : ino_t(0);
    };
    const ino_t before = defaultsFile();
    EXPECT_FALSE(DesktopEntry::registerBuildTreeCopy(entry, executable));
    EXPECT_TRUE(DesktopEntry::registerBuildTreeCopy(entry, dir.filePath("elsewhere/tidewellmesh")));
    EXPECT_TRUE(waitUntil([&] { return defaultsFile() != before; }, 10000));
}

} // namespace
} // namespace tw
