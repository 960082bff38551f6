// The node registry, its texts and the request layer's failures against a
// loopback fake; what only Syncthing decides is in NasNodeIntegrationTest.

#include "cluster/NasNodeController.h"

#include "AwaitTask.h"
#include "FakeHttpServer.h"
#include "MemoryKeychain.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <zlib.h>

namespace tw {
namespace {

using Response = FakeHttpServer::Response;

const QString kUnreachable = u"Couldn't reach the always-on node \u2014 it may be offline."_qs;

struct Registry
{
    explicit Registry(const QList<NasNode> &nodes = {})
    {
        if (!nodes.isEmpty())
            SyncthingInstance::writeFile(dir.path() + "/nasnodes.json", NasNode::listToFile(nodes));
        for (const NasNode &node : nodes)
            keychain.items.insert(NasNodeController::keyAccount(node.deviceID), "k");
    }
    NasNodeController &controller()
    {
        return made ? *made : *(made = std::make_unique<NasNodeController>(keychain, AppPaths(dir.path())));
    }

    QTemporaryDir dir;
    MemoryKeychain keychain;
    std::unique_ptr<NasNodeController> made;
};

QString closedPortBase()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return QString("http://127.0.0.1:%1").arg(server.serverPort());
}

TEST(NasNodeControllerTest, TheOlderNodeFileIsMigratedOnlyOnceItsKeyMoved)
{
    for (const bool unavailable : {false, true}) {
        Registry registry;
        registry.keychain.items.insert("nasApiKey", "k");
        registry.keychain.unavailable = unavailable;
        SyncthingInstance::writeFile(registry.dir.path() + "/nasnode.json",
                                     R"({"baseURL":"http:\/\/nas:8384","deviceID":"N1","name":"Attic","x":1})");
        awaitTask(registry.controller().migrateLegacyKey());
        EXPECT_EQ(registry.controller().nodes(), QList<NasNode>({{"http://nas:8384", "N1", "Attic"}}));
        EXPECT_EQ(SyncthingInstance::readFile(registry.controller().storePath()),
                  unavailable ? "<missing>" : R"([{"baseURL":"http:\/\/nas:8384","deviceID":"N1","name":"Attic"}])");
        EXPECT_EQ(registry.keychain.items.keys(), QStringList(unavailable ? "nasApiKey" : "nasApiKey-N1"));
        EXPECT_EQ(registry.controller().lastError(),
                  unavailable ? std::optional(NasNodeController::keychainUnavailableText) : std::nullopt);
        EXPECT_EQ(registry.controller().purgeSecret(), unavailable ? std::nullopt : std::optional<QString>("k"));
    }
}

// Neither the older file left behind nor the next registration may replace
// a node list that can't be read.
TEST(NasNodeControllerTest, AnUnreadableNodeListIsMovedAsideNotReplaced)
{
    Registry registry;
    SyncthingInstance::writeFile(registry.dir.path() + "/nasnodes.json", "[{\"baseURL\":");
    SyncthingInstance::writeFile(registry.dir.path() + "/nasnode.json", R"({"baseURL":"b","deviceID":"N1","name":"A"})");
    EXPECT_TRUE(registry.controller().nodes().isEmpty());
    EXPECT_EQ(QDir(registry.dir.path()).entryList({"nasnodes.json.corrupt-*"}).size(), 1);
    EXPECT_TRUE(registry.controller().lastError().has_value());
}

TEST(NasNodeControllerTest, TheTeamKeyIs43Base64UrlCharactersAndBecomesThePurgeSecret)
{
    Registry registry({{closedPortBase(), "N1", "Attic"}});
    int keyChanges = 0;
    QObject::connect(&registry.controller(), &NasNodeController::teamKeyChanged, [&] { ++keyChanges; });
    const std::optional<QString> key = awaitTask(registry.controller().generateClusterSecret());
    EXPECT_TRUE(QRegularExpression("^[A-Za-z0-9_-]{43}$").match(key.value()).hasMatch()) << key->toStdString();
    EXPECT_EQ(registry.keychain.items.value("clusterSecret"), key);
    EXPECT_EQ(registry.controller().purgeSecret(), key);
    EXPECT_EQ(registry.controller().teamKey(), key);
    EXPECT_EQ(keyChanges, 1);

    // The same key again changes nothing the views see.
    awaitTask(registry.controller().importClusterSecret(" " + *key + "\n"));
    EXPECT_EQ(keyChanges, 1);
    awaitTask(registry.controller().importClusterSecret("other"));
    EXPECT_EQ(registry.controller().teamKey(), "other");
    EXPECT_EQ(keyChanges, 2);
}

// Without the keychain nothing runs as if keys were missing: no node is
// registered, none is forgotten, no team folder is deleted.
TEST(NasNodeControllerTest, AnUnavailableKeychainStopsRegistrationAndRemoval)
{
    FakeHttpServer server;
    ASSERT_TRUE(server.listen());
    server.setHandler([](const FakeHttpServer::Request &) { return Response::json(R"({"myID":"N2"})"); });
    Registry registry({{closedPortBase(), "N1", "Attic"}});
    registry.keychain.unavailable = true;
    EXPECT_FALSE(awaitTask(registry.controller().configure(server.baseURL().toString(), "k", "")));
    awaitTask(registry.controller().remove());
    EXPECT_EQ(registry.controller().nodes().size(), 1);
    EXPECT_EQ(registry.controller().lastError(), NasNodeController::keychainUnavailableText);
    EXPECT_EQ(server.requests().size(), 1);
}

TEST(NasNodeControllerTest, FailedRequestsGiveFalseOrNothingWithTheirMessage)
{
    struct Case
    {
        const char *name;
        std::optional<Response> answer; // none: nothing listens
        int nodes;
    };
    const QList<Case> cases{{"refused", std::nullopt, 1},
                            {"204", Response{.status = 204}, 1},
                            {"500", Response::text(500, "x"), 1},
                            {"garbage", Response::json("{\"myID\":"), 1},
                            {"two nodes", std::nullopt, 2}};
    for (const Case &c : cases) {
        FakeHttpServer server;
        ASSERT_TRUE(server.listen());
        server.setHandler([&](const FakeHttpServer::Request &) { return c.answer.value_or(Response()); });
        const QString base = c.answer ? server.baseURL().toString() : closedPortBase();
        Registry registry(QList<NasNode>({{base, "N1", "Attic"}, {base, "N2", "Cellar"}}).first(c.nodes));
        EXPECT_FALSE(awaitTask(registry.controller().configure(base, "k", ""))) << c.name;
        EXPECT_EQ(registry.controller().lastError(),
                  u"Couldn't reach the node at "_qs + base +
                      u". Check the address and API key (Syncthing \u2192 Actions \u2192 Settings \u2192 API Key)."_qs);
        awaitTask(registry.controller().shareFolders({{"f", {"F", {}}}}));
        EXPECT_EQ(registry.controller().lastError(), (c.nodes == 2 ? "Cellar: " : "") + kUnreachable) << c.name;
        EXPECT_EQ(registry.controller().nodeReachable().value("N1", true), false) << c.name;
        // Let go of, the nodes leave no failure standing.
        awaitTask(registry.controller().remove());
        EXPECT_EQ(registry.controller().lastError(), std::nullopt) << c.name;
    }
}

// A share under way when its node is let go of fails for nothing that still
// stands: it leaves no failure behind.
TEST(NasNodeControllerTest, AShareUnderWayWhenItsNodeGoesLeavesNoFailure)
{
    const QByteArray defaults = "/rest/config/defaults/folder";
    FakeHttpServer server;
    ASSERT_TRUE(server.listen());
    // No default folder location: the share fails once answered.
    server.setHandler([&](const FakeHttpServer::Request &request) {
        return Response::json(request.path() == defaults ? "{}" : "[]");
    });
    server.hold([&](const FakeHttpServer::Request &request) { return request.path() == defaults; });
    Registry registry({{server.baseURL().toString(), "N1", "Attic"}});
    QCoro::Task<void> share = registry.controller().shareFolders({{"f", {"F", {"M2"}}}});
    ASSERT_TRUE(waitUntil([&] {
        return std::any_of(server.requests().cbegin(), server.requests().cend(),
                           [&](const FakeHttpServer::Request &request) { return request.path() == defaults; });
    }));
    awaitTask(registry.controller().remove());
    server.release();
    awaitTask(std::move(share));
    EXPECT_TRUE(registry.controller().nodes().isEmpty());
    EXPECT_EQ(registry.controller().lastError(), std::nullopt);
}

// The environment can go while a node is still answering: the pass under
// way ends there and asks the node nothing more.
TEST(NasNodeControllerTest, APassWhoseControllerGoesAsksTheNodeNothingMore)
{
    struct Case
    {
        const char *name;
        QByteArray slowPath;
        std::function<QCoro::Task<void>(NasNodeController &)> pass;
    };
    const QList<Case> cases{
        {"members", "/rest/config/defaults/device",
         [](NasNodeController &c) { return c.reconcileMembers({{"M2", "Studio"}}); }},
        {"folders", "/rest/config/defaults/folder",
         [](NasNodeController &c) { return c.shareFolders({{"f", {"F", {"M2"}}}}); }}};
    for (const Case &c : cases) {
        FakeHttpServer server;
        ASSERT_TRUE(server.listen());
        server.setHandler([&](const FakeHttpServer::Request &request) {
            if (request.path() == c.slowPath)
                return Response{.headers = {{"Content-Type", "application/json"}},
                                .body = R"({"path":"/srv","autoAcceptFolders":true})",
                                .delayMs = 1000};
            return Response::json("[]");
        });
        Registry registry({{server.baseURL().toString(), "N1", "Attic"}});
        QCoro::Task<void> pass = c.pass(registry.controller());
        const auto askedSlowly = [&] {
            return !server.requests().isEmpty() && server.requests().last().path() == c.slowPath;
        };
        ASSERT_TRUE(waitUntil(askedSlowly)) << c.name;
        const qsizetype asked = server.requests().size();
        registry.made.reset();
        awaitTask(std::move(pass));
        EXPECT_EQ(server.requests().size(), asked) << c.name;
    }
}

// An unreadable ignore list is never overwritten, and a new line goes before
// the node's own; IDs and query values reach the resource they name.
TEST(NasNodeControllerTest, FolderSettingsAreSentEscapedAndOnlyOverAReadList)
{
    FakeHttpServer server;
    ASSERT_TRUE(server.listen());
    server.enqueue(Response::json("[1]"));
    server.enqueue(Response::json(R"({"ignore":["!*-master.mov","*.mov"]})"));
    Registry registry({{server.baseURL().toString(), "N1", "Attic"}});
    awaitTask(registry.controller().addIgnore("a+b?c#d", "x"));
    EXPECT_EQ(registry.controller().lastError(),
              u"Couldn't read the always-on node's ignore patterns \u2014 the new one wasn't added."_qs);
    awaitTask(registry.controller().addIgnore("a+b?c#d", "x"));
    awaitTask(registry.controller().addIgnore("a", "x\ny"));
    awaitTask(registry.controller().addIgnore("a", "x\ry"));
    awaitTask(registry.controller().setFolderVersioning("photos?x#1", 0));
    QStringList sent;
    for (const FakeHttpServer::Request &request : server.requests())
        sent.append(request.method + ' ' + request.target + ' ' + request.body + ' ' +
                    request.header("X-API-Key").value());
    const QString ignores = "/rest/db/ignores?folder=a%2Bb%3Fc%23d";
    const QString versioning =
        R"({"versioning":{"cleanupIntervalS":3600,"params":{"cleanoutDays":"0"},"type":"trashcan"}})";
    EXPECT_EQ(sent, QStringList({"GET " + ignores + "  k", "GET " + ignores + "  k",
                                 "POST " + ignores + R"( {"ignore":["x","!*-master.mov","*.mov"]} k)",
                                 "PATCH /rest/config/folders/photos%3Fx%231 " + versioning + " k"}));
}

// The node stands in with a folder list that grows by each folder created.
TEST(NasNodeControllerTest, EveryNewNodeFolderGetsAPathNoOtherFolderUses)
{
    FakeHttpServer server;
    ASSERT_TRUE(server.listen());
    QJsonArray folders{QJsonObject{{"id", "old"}, {"path", "/data/footage/"}}};
    server.setHandler([&](const FakeHttpServer::Request &request) {
        if (request.method == "PUT")
            folders.append(QJsonDocument::fromJson(request.body).object());
        if (request.path() == "/rest/config/defaults/folder")
            return Response::json(R"({"path":"/data/"})");
        return Response::json(QJsonDocument(folders).toJson());
    });
    Registry registry({{server.baseURL().toString(), "N1", "Attic"}});
    awaitTask(registry.controller().shareFolders(
        {{"tdw-a", {"Footage", {}}}, {"tdw-b", {"Footage", {}}}, {"tdw-c", {"Other", {}}}}));
    QStringList paths;
    for (const QJsonValue &folder : folders)
        paths.append(folder["id"].toString() + "=" + folder["path"].toString());
    EXPECT_EQ(paths, QStringList({"old=/data/footage/", "tdw-a=/data/Footage (tdw-a)", "tdw-b=/data/Footage (tdw-b)",
                                  "tdw-c=/data/Other"}));
    EXPECT_EQ(registry.controller().lastError(), std::nullopt);

    // Names already a whole file name long still fit with the ID after them.
    const QString longLabel(300, u'L');
    const QString longID = "tdw-" + QString(300, u'9');
    awaitTask(registry.controller().shareFolders({{"tdw-d", {longLabel, {}}}, {longID, {longLabel, {}}}}));
    const QString first = folders.at(folders.size() - 2)["path"].toString();
    const QString second = folders.last()["path"].toString();
    EXPECT_EQ(first, "/data/" + QString(255, u'L'));
    EXPECT_NE(first, second);
    EXPECT_LE(QFileInfo(second).fileName().toUtf8().size(), 255) << second.toStdString();
    EXPECT_TRUE(QFileInfo(second).fileName().startsWith("LLLL")) << second.toStdString();
}

// Zeros, gzip-compressed a piece at a time: a small answer that grows a
// thousandfold when read.
QByteArray gzipBomb(qint64 zeros)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY), Z_OK);
    QByteArray input(1 << 20, '\0'), output;
    QByteArray chunk(1 << 16, Qt::Uninitialized);
    for (qint64 left = zeros; left > 0 || stream.avail_in > 0;) {
        const bool last = left <= input.size();
        stream.next_in = reinterpret_cast<Bytef *>(input.data());
        stream.avail_in = uInt(std::min<qint64>(left, input.size()));
        left -= stream.avail_in;
        do {
            stream.next_out = reinterpret_cast<Bytef *>(chunk.data());
            stream.avail_out = uInt(chunk.size());
            deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
            output.append(chunk.constData(), chunk.size() - stream.avail_out);
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return output;
}

qint64 peakResidentKiB()
{
    QFile status("/proc/self/status");
    EXPECT_TRUE(status.open(QIODevice::ReadOnly));
    const QRegularExpressionMatch peak = QRegularExpression(R"(VmHWM:\s*(\d+))").match(status.readAll());
    return peak.captured(1).toLongLong();
}

void resetPeakResident()
{
    QFile clear("/proc/self/clear_refs");
    ASSERT_TRUE(clear.open(QIODevice::WriteOnly));
    clear.write("5");
}

// Whatever the node sends, it is read up to the cap: memory stays bounded and
// the message says what happened.
TEST(NasNodeControllerTest, AnAnswerBeyondTheCapIsLeftUnreadWithItsMessage)
{
    const QByteArray bomb = gzipBomb(256LL << 20);
    const QList<Response> rows{{.headers = {{"Content-Encoding", "gzip"}}, .body = bomb},
                               Response::json(QByteArray(NodeClient::maxAnswerBytes + 1, ' '))};
    for (const Response &row : rows) {
        FakeHttpServer server;
        ASSERT_TRUE(server.listen());
        server.setHandler([&](const FakeHttpServer::Request &) { return row; });
        Registry registry;
        resetPeakResident();
        const qint64 before = peakResidentKiB();
        EXPECT_FALSE(awaitTask(registry.controller().configure(server.baseURL().toString(), "k", "")));
        EXPECT_LT(peakResidentKiB() - before, 64 * 1024);
        EXPECT_EQ(registry.controller().lastError(), NodeClient::tooLargeText);
    }
}

TEST(NasNodeControllerTest, AddressesAreNormalised)
{
    const QList<QPair<QString, QString>> cases{{"httpbox.local:8384", "http://httpbox.local:8384"},
                                               {" HTTPS://nas:8384// ", "HTTPS://nas:8384"},
                                               {"nas.local:8384/\n", "http://nas.local:8384"}};
    for (const auto &[typed, normalised] : cases)
        EXPECT_EQ(NasNodeController::normalize(typed), normalised);
}

TEST(NasNodeControllerTest, FolderNamesAreSafeLastPathComponents)
{
    const QList<QStringList> cases{{"Film: Cut / B", "x", "Film Cut  B"},
                                   {u"\ta\u00a0b\r\n"_qs, "x", "a b"},
                                   {u"e\u0301 .?*"_qs, "x", u"e\u0301 ."_qs},
                                   {"..", "a/b", "ab"},
                                   {u"a/\u0301b"_qs, "x", "ab"},
                                   {" . ", "..", "folder-5ec1f7e700f3"},
                                   // Never hidden, never what is left of a path.
                                   {"../../evil", "x", "evil"},
                                   {u" .\u0301. .cfg"_qs, ".id", "cfg"},
                                   {"..", ".id", "id"},
                                   // Cut to a file name's 255 bytes, never inside a character.
                                   {QString(300, u'a'), "x", QString(255, u'a')},
                                   {QString(200, u'\u00e9'), "x", QString(127, u'\u00e9')},
                                   {QString(254, u'a') + u"e\u0301"_qs, "x", QString(254, u'a')}};
    for (const QStringList &c : cases)
        EXPECT_EQ(NasNodeController::folderNameComponent(c[0], c[1]), c[2]) << c[0].toStdString();
}

} // namespace
} // namespace tw
