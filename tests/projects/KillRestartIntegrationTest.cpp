// This Mac's syncs killed at every commit of their stores, before every
// request to Syncthing and between Syncthing taking it and its answer, in a
// first start and a series of edits, then started again: once the start-up reconcile has run, the records and Syncthing must
// agree, and the stores must hold what was there before the kill or after
// the step under way. The controllers run in a child (see
// support/KillableSyncsChild.cpp) that ends itself at the chosen point.

#include "controllers/EngineController.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "projects/Project.h"
#include "projects/ProjectController.h"

#include "SyncthingInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tw {
namespace {

// Two teammates Syncthing knows but never reaches (paused devices).
const QString kTeammate = "AAABRBR-6BRDF5P-3SBAR2D-C3FT7EX-DBBS5CA-A7Q5QDT-46CR4SR-342TQAU";
const QString kViewer = "MMMMCAT-7SRR2CH-ARBBDCA-FAC23RD-B3TA23D-C4DA7SK-6EFFSR4-7C4E7A5";

struct KillPoint
{
    QString at;  // KILL_AT of the child
    bool commit = false;
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// One run's home: the syncs' data root, the user defaults and the log of
// the child's commits.
class Home
{
public:
    Home() { QDir().mkpath(logPath()); }

    QString dataRoot() const { return m_dir.path() + QStringLiteral("/data"); }
    QString defaultsPath() const { return m_dir.path() + QStringLiteral("/config/defaults.json"); }
    QString storePath() const { return dataRoot() + QStringLiteral("/projects.json"); }
    QString logPath() const { return m_dir.path() + QStringLiteral("/log"); }
    QString folderPath(const QString &sync, const QString &label) const
    {
        return dataRoot() + QStringLiteral("/folders/") + sync + QLatin1Char('/') + label;
    }

    // Three syncs of two folders each, none of them in Syncthing yet: a
    // first start. Every folder holds a hidden file its lines leave out.
    void seed(const QString &ownID)
    {
        const QList<ProjectMember> members{
            {.deviceID = ownID, .displayName = "This Mac", .role = MemberRole::Editor, .isOwnDevice = true},
            {.deviceID = kTeammate, .displayName = "Ada", .role = MemberRole::Editor},
            {.deviceID = kViewer, .displayName = "Bo", .role = MemberRole::Viewer}};
        QList<Project> syncs;
        for (const QString &name : {QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Gamma")}) {
            Project sync{.id = newRecordID(), .name = name, .members = members,
                         .createdAt = QDateTime::currentDateTimeUtc()};
            const QString prefix = name.left(1).toLower();
            for (const QString &label : {prefix + "1", prefix + "2", prefix + "3"}) {
                SyncthingInstance::writeFile(folderPath(name, label) + "/.secret", "hidden");
                SyncthingInstance::writeFile(folderPath(name, label) + "/sub/plan.txt", "plan");
                if (label.endsWith('3'))
                    continue;  // added by the edits
                ProjectFolder folder{.id = newRecordID(), .label = label, .localPath = folderPath(name, label)};
                if (label == "b2")
                    folder.excludedDeviceIDs = {kViewer};
                sync.folders.append(folder);
            }
            syncs.append(sync);
        }
        QDir().mkpath(dataRoot());
        SyncthingInstance::writeFile(storePath(), Project::listToFile(syncs));
        m_seeded = readAll(storePath());
    }

    // What the store held before the child's first commit.
    QByteArray initial(const QString &name) const
    {
        return name == ProjectController::storeFileName ? m_seeded : QByteArray("<missing>");
    }

    // The last copy the child logged of each store, or its initial content.
    QByteArray lastCommitted(const QString &name) const
    {
        QStringList copies = QDir(logPath()).entryList({"*-" + name}, QDir::Files, QDir::Name);
        return copies.isEmpty() ? initial(name) : readAll(logPath() + '/' + copies.last());
    }

    std::pair<int, int> counts() const
    {
        const QList<QByteArray> parts = readAll(logPath() + "/counts").split(' ');
        return parts.size() == 2 ? std::pair(parts[0].toInt(), parts[1].toInt()) : std::pair(0, 0);
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_seeded;
};

class KillRestartIntegrationTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        mac = std::make_unique<SyncthingInstance>();
        mac->start();
        for (const QString &device : {kTeammate, kViewer}) {
            const QByteArray body = QJsonDocument(QJsonObject{{"deviceID", device}, {"name", device.left(7)},
                                                              {"addresses", QJsonArray{"dynamic"}}, {"paused", true}})
                                        .toJson(QJsonDocument::Compact);
            ASSERT_TRUE(mac->put("/rest/config/devices/" + device, body).ok());
        }
    }
    static void TearDownTestSuite() { mac.reset(); }

    static void forgetEngineFolders()
    {
        for (const QJsonValue &folder : mac->get("/rest/config/folders").json().array())
            ASSERT_TRUE(mac->request("DELETE", "/rest/config/folders/" + folder["id"].toString(), {}, mac->apiKey())
                            .ok());
    }

    // Exit code of a child run to its end; -1 when it was killed.
    static int runChild(const Home &home, const QString &mode, const QString &killAt = {})
    {
        QProcessEnvironment environment = SyncthingInstance::isolatedEnvironment(home.logPath() + "/../env");
        environment.insert("KILL_ENDPOINT", mac->baseURL().toString());
        environment.insert("KILL_API_KEY", mac->apiKey());
        environment.insert("KILL_LOG", home.logPath());
        if (!killAt.isEmpty())
            environment.insert("KILL_AT", killAt);
        QProcess child;
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QStringLiteral(TIDEWELL_KILLABLE_SYNCS_PATH), {home.dataRoot(), home.defaultsPath(), mode});
        if (!child.waitForFinished(120000)) {
            child.kill();
            child.waitForFinished();
            return -2;
        }
        return child.exitStatus() == QProcess::CrashExit ? -1 : child.exitCode();
    }

    // The stores parse; killed at a commit, each holds what it held before
    // the kill or after the commit under way.
    static QStringList storeProblems(const Home &home, const KillPoint &point)
    {
        QStringList problems;
        try {
            Project::listFromFile(readAll(home.storePath()), QDateTime::currentDateTimeUtc());
        } catch (const std::exception &) {
            problems.append("projects.json does not parse");
        }
        if (QFile::exists(home.defaultsPath()) &&
            !QJsonDocument::fromJson(readAll(home.defaultsPath())).isObject())
            problems.append("defaults.json does not parse");
        const std::pair<QString, QString> stores[] = {{ProjectController::storeFileName, home.storePath()},
                                                      {"defaults.json", home.defaultsPath()}};
        for (const auto &[name, path] : stores)
            if (point.commit && readAll(path) != home.lastCommitted(name))
                problems.append(name + " holds neither the state before the kill nor the one after it");
        return problems;
    }

    static QJsonObject engineFolder(const QJsonArray &listed, const QString &id)
    {
        for (const QJsonValue &folder : listed)
            if (folder["id"].toString() == id)
                return folder.toObject();
        return {};
    }

    static QStringList stringsOf(const QJsonValue &array)
    {
        QStringList strings;
        for (const QJsonValue &value : array.toArray())
            strings.append(value.toString());
        return strings;
    }

    // Everything the records ask for that Syncthing does otherwise.
    static QStringList disagreements(const Home &home)
    {
        QStringList problems;
        const QList<Project> syncs =
            Project::listFromFile(readAll(home.storePath()), QDateTime::currentDateTimeUtc());
        const QJsonArray listed = mac->get("/rest/config/folders").json().array();
        const QJsonObject defaults = QJsonDocument::fromJson(readAll(home.defaultsPath())).object();
        // What the window shows as "Pause all".
        const bool allPaused = defaults.value(EngineController::allPausedKey).toBool();
        QSet<QString> named;
        for (const Project &sync : syncs)
            for (const ProjectFolder &folder : sync.folders) {
                if (folder.syncthingFolderID)
                    named.insert(*folder.syncthingFolderID);
                problems += folderProblems(sync, folder, listed, allPaused);
            }
        for (const QJsonValue &folder : listed) {
            const QString id = folder["id"].toString();
            if (id.startsWith("tdw-") && !named.contains(id))
                problems.append(id + " is in Syncthing with no sync naming it");
        }
        if (!defaults.value(ProjectController::owedRemovalsKey).toArray().isEmpty())
            problems.append("a removal is still owed");
        for (const QString &store : {home.storePath(), home.defaultsPath()}) {
            const QFileInfo info(store);
            if (!info.dir().entryList({info.fileName() + ".??????"}, QDir::Files | QDir::Hidden).isEmpty())
                problems.append("a save's temporary file is left beside " + info.fileName());
        }
        return problems;
    }

    static QStringList folderProblems(const Project &sync, const ProjectFolder &folder, const QJsonArray &listed,
                                      bool allPaused)
    {
        const QString name = sync.name + "/" + folder.label + ": ";
        const QJsonObject engine = engineFolder(listed, folder.syncthingFolderID.value_or(QString()));
        if (!folder.syncEnabled) {
            if (!engine.isEmpty() && !engine["paused"].toBool())
                return {name + "switched off but running"};
            return {};
        }
        int atPath = 0;
        for (const QJsonValue &candidate : listed)
            atPath += candidate["path"].toString() == folder.localPath ? 1 : 0;
        if (engine.isEmpty() || atPath != 1)
            return {name + QString("%1 engine folders at its path, its own %2").arg(atPath).arg(engine.isEmpty() ? "missing" : "listed")};
        QStringList problems;
        if (engine["paused"].toBool() != allPaused)
            problems.append(name + (allPaused ? "running while everything is paused" : "switched on but paused"));
        QSet<QString> wanted{mac->deviceID()};
        for (const ProjectMember &member : sync.members)
            if (!member.isOwnDevice && !folder.excludedDeviceIDs.contains(member.deviceID) &&
                !folder.pausedDeviceIDs.contains(member.deviceID))
                wanted.insert(member.deviceID);
        QSet<QString> shared;
        for (const QJsonValue &device : engine["devices"].toArray())
            shared.insert(device["deviceID"].toString());
        if (shared != wanted)
            problems.append(name + "shared with other devices than its members");
        const STVersioning versioning = SyncthingEngine::mapVersioning(
            folder.archiveDeletedFiles ? VersioningPolicy::trashCan(folder.archiveRetentionDays)
                                       : VersioningPolicy::none());
        if (engine["versioning"]["type"].toString() != versioning.type)
            problems.append(name + "versioning " + engine["versioning"]["type"].toString());
        const QStringList lines =
            stringsOf(mac->get("/rest/db/ignores?folder=" + engine["id"].toString()).json()["ignore"]);
        const QStringList protection = folder.purgeProtected;
        if (lines != folder.ignorePatterns || folder.ignorePatterns.mid(0, protection.size()) != protection)
            problems.append(name + "ignore lines [" + lines.join(", ") + "], recorded [" +
                            folder.ignorePatterns.join(", ") + "] with protection [" + protection.join(", ") + "]");
        return problems;
    }

    static std::unique_ptr<SyncthingInstance> mac;
};

std::unique_ptr<SyncthingInstance> KillRestartIntegrationTest::mac;

TEST_F(KillRestartIntegrationTest, KilledAtAnyCommitOrRequestTheRestartBringsRecordsAndSyncthingTogether)
{
    // A run to its end counts the points and shows the edits leave nothing
    // to mend.
    QList<KillPoint> points;
    {
        Home home;
        forgetEngineFolders();
        home.seed(mac->deviceID());
        ASSERT_EQ(runChild(home, "edits"), 0);
        EXPECT_EQ(disagreements(home), QStringList());
        const auto [commits, writes] = home.counts();
        ASSERT_GE(commits, 15);
        ASSERT_GE(writes, 15);
        for (int n = 1; n <= commits; ++n) {
            points.append({QString("commit-before:%1").arg(n), true});
            points.append({QString("commit-after:%1").arg(n), true});
        }
        for (int n = 1; n <= writes; ++n) {
            points.append({QString("write:%1").arg(n), false});
            points.append({QString("answer:%1").arg(n), false});
        }
    }
    QElapsedTimer elapsed;
    elapsed.start();
    int killed = 0;
    QStringList failures;
    for (const KillPoint &point : std::as_const(points)) {
        Home home;
        forgetEngineFolders();
        home.seed(mac->deviceID());
        const int ended = runChild(home, "edits", point.at);
        killed += ended == -1 ? 1 : 0;
        QStringList problems = storeProblems(home, point);
        if (runChild(home, "start") != 0)
            problems.append("the restart failed");
        else
            problems += disagreements(home);
        for (const QString &problem : std::as_const(problems))
            failures.append(point.at + ": " + problem);
    }
    EXPECT_EQ(killed, points.size());
    EXPECT_GE(killed, 50);
    EXPECT_EQ(failures.size(), 0) << failures.join('\n').toStdString();
    std::printf("%d kill points in %lld ms\n", killed, elapsed.elapsed());
}

// "Pause all" then kill -9: what the user paused stays paused, and says so.
TEST_F(KillRestartIntegrationTest, PausedEverythingStaysPausedAfterAKill)
{
    Home home;
    forgetEngineFolders();
    home.seed(mac->deviceID());
    ASSERT_EQ(runChild(home, "pause-all"), -1);
    ASSERT_EQ(runChild(home, "start"), 0);
    EXPECT_EQ(disagreements(home), QStringList());
    const QJsonObject defaults = QJsonDocument::fromJson(readAll(home.defaultsPath())).object();
    EXPECT_TRUE(defaults.value(EngineController::allPausedKey).toBool());
    const QJsonArray listed = mac->get("/rest/config/folders").json().array();
    EXPECT_EQ(listed.size(), 6);
    for (const QJsonValue &folder : listed)
        EXPECT_TRUE(folder["paused"].toBool()) << folder["id"].toString().toStdString();
}

} // namespace
} // namespace tw
