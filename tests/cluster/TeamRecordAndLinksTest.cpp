#include "cluster/ClusterConfigStore.h"
#include "cluster/InviteCodec.h"
#include "cluster/NodeSetupCodec.h"
#include "cluster/QRCode.h"

#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace tw {
namespace {

const QString key = QStringLiteral("Schlüssel-7");
const QString when = QStringLiteral("2024-05-01T09:30:00Z");
const ClusterConfig empty = ClusterConfig::empty(QStringLiteral("22331f12d9af56f2"));

// `config` with one more cell, signed as another device would.
ClusterConfig with(ClusterConfig config, const QString &folder, const QString &device, CellState state, qint64 lamport,
                   const QString &signingKey = key)
{
    const QString sig = ClusterConfig::signature(folder, device, state, lamport, "DEV-B", when, signingKey);
    config.folders[folder][device] = {state, lamport, when, "DEV-B", sig};
    config.lamport = std::max(config.lamport, lamport);
    return config;
}

// Expected values computed with Python's hmac and hashlib.
TEST(ClusterConfigTest, KnownAnswers)
{
    EXPECT_EQ(ClusterConfig::clusterFolderID(key), "tdw-cluster-22331f12d9af56f2");
    EXPECT_EQ(ClusterConfig::signature("tdw-abc12345", "DEV-A", CellState::Paused, 42, "DEV-B", when, key),
              "df75447c153b3aee0d81b7617476c8cd930ccb4c2b37689fcca0f2e2c27bcfaa");
    EXPECT_EQ(ClusterConfig::signature("tdw-abc12345", "DEV-A", CellState::Excluded, -7, "DEV-B", when, key),
              "05262bfaa961e90510ad65cdaaa45fb2a1f79cbad4c0308906007c48c7a9901b");
}

TEST(ClusterConfigTest, OnlyCellsSignedForTheirFolderAndDeviceSurviveValidation)
{
    const ClusterConfig signedCell = with(empty, "tdw-abc12345", "DEV-A", CellState::Paused, 42);
    ClusterConfig moved = signedCell;
    moved.folders["tdw-abc12345"]["DEV-C"] = moved.folders["tdw-abc12345"]["DEV-A"];
    moved.folders["tdw-other"]["DEV-A"] = moved.folders["tdw-abc12345"]["DEV-A"];
    EXPECT_EQ(moved.validated(key), signedCell);
    // Only the whole signature passes: not none, one digit short or one digit off.
    const QString sig = signedCell.folders.value("tdw-abc12345").value("DEV-A").sig;
    QString off = sig;
    off.back() = off.back() == u'0' ? u'1' : u'0';
    for (const QString &forged : {QString(), sig.chopped(1), off}) {
        ClusterConfig copy = signedCell;
        copy.folders["tdw-abc12345"]["DEV-A"].sig = forged;
        EXPECT_TRUE(copy.validated(key).folders.isEmpty()) << forged.toStdString();
    }
    EXPECT_TRUE(with(empty, "f", "d", CellState::Active, 1, "").validated("").folders.isEmpty());
}

TEST(ClusterConfigTest, MergeTieBreaks)
{
    const ClusterCell mine{CellState::Paused, 5, when, "DEV-M", "mine"};
    // Each row is decided by one rule against every later one.
    const std::pair<ClusterCell, bool> theirsAndWhetherItWins[] = {
        {{CellState::Active, 6, "2024-05-01T09:29:59Z", "DEV-A", "theirs"}, true},
        {{CellState::Excluded, 5, "2024-05-01T09:29:59Z", "DEV-Z", "theirs"}, false},
        {{CellState::Excluded, 5, when, "DEV-A", "theirs"}, true},
        {{CellState::Paused, 5, when, "DEV-L", "theirs"}, false},
        {{CellState::Paused, 5, when, "DEV-N", "theirs"}, true},
        {{CellState::Paused, 5, when, "DEV-M", "theirs"}, false},
    };
    for (const auto &[theirs, wins] : theirsAndWhetherItWins)
        EXPECT_EQ(theirs.beats(mine), wins) << theirs.authorDeviceID.toStdString();
}

class ClusterConfigStoreTest : public ::testing::Test
{
protected:
    ClusterConfigStore store(const QString &device) { return {dir.path(), empty.clusterID, device, key}; }
    void write(const QString &name, const QByteArray &bytes)
    {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files, QDir::Name); }

    QTemporaryDir dir;
};

// The main file has a cell that does not decode beside two that do; each
// copy has one cell that wins over the main file's and one that loses.
TEST_F(ClusterConfigStoreTest, ReloadMergesCopiesAndQuarantinesDamagedFilesKeepingTheTeamsCells)
{
    const ClusterConfig main =
        with(with(empty, "f0", "DEV-A", CellState::Active, 3), "f1", "DEV-A", CellState::Active, 1);
    write("cluster.json", with(main, "f1", "DEV-B", CellState::Paused, 1).toJson().replace("paused", "resting"));
    write("cluster.sync-conflict-20240501-AAAAAAA.json", with(empty, "f1", "DEV-A", CellState::Paused, 4).toJson());
    write("cluster.sync-conflict-20240501-BBBBBBB.json", with(empty, "f0", "DEV-A", CellState::Excluded, 2).toJson());
    write("cluster.sync-conflict-20240501-CCCCCCC.json.tmp", "{}");
    const ClusterConfig expected = with(main, "f1", "DEV-A", CellState::Paused, 4);
    ClusterConfigStore store = this->store("DEV-A");
    EXPECT_EQ(store.reload(), expected);
    write("cluster.json", "{\"clusterID\":");
    EXPECT_EQ(store.reload(), expected);
    EXPECT_EQ(this->store("DEV-C").reload(), expected) << "the merge is written back";
    EXPECT_EQ(files().filter(QRegularExpression(R"(^cluster\.corrupt-[0-9A-F]{8}\.json$)")).size(), 2);
    EXPECT_EQ(files().filter("sync-conflict"), QStringList({"cluster.sync-conflict-20240501-CCCCCCC.json.tmp"}));
}

// A missing main file may be the engine's download on its way in: the merge
// written in its place does not yet stand for the copies.
TEST_F(ClusterConfigStoreTest, ConflictCopiesStayUntilTheMergeReplacedAMainFileThatWasRead)
{
    write("cluster.sync-conflict-1.json", with(empty, "f1", "DEV-B", CellState::Paused, 1).toJson());
    EXPECT_EQ(store("DEV-A").reload(), with(empty, "f1", "DEV-B", CellState::Paused, 1));
    EXPECT_EQ(files(), QStringList({"cluster.json", "cluster.sync-conflict-1.json"}));
    store("DEV-A").reload();
    EXPECT_EQ(files(), QStringList({"cluster.json"}));
}

// What a teammate can put into the team folder without the key, under the
// main name or a copy's: each is moved aside unread, the main file is
// written only when the record changed, and an edit reaches the disk.
TEST_F(ClusterConfigStoreTest, EntriesThatAreNotSmallRegularFilesAreSetAsideUnread)
{
    const ClusterConfig team = with(empty, "f1", "DEV-B", CellState::Paused, 1);
    // Valid JSON, but beyond the limit.
    const QByteArray huge = team.toJson() + QByteArray(17 * 1024 * 1024, ' ');
    const std::function<bool(const QString &)> makers[] = {
        [](const QString &path) { return QFile::link("/dev/zero", path); },
        [](const QString &path) { return QFile::link("/nowhere/cluster.json", path); },
        [](const QString &path) { return QDir().mkdir(path); },
        [&huge](const QString &path) {
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.write(huge) == huge.size();
        },
    };
    rusage usage = {};
    ::getrusage(RUSAGE_SELF, &usage);
    const long peakBefore = usage.ru_maxrss;
    int row = 0;
    for (const QString name : {"cluster.json", "cluster.sync-conflict-20240501-AAAAAAA.json"}) {
        for (const auto &make : makers) {
            SCOPED_TRACE(name.toStdString() + " " + std::to_string(row % 4));
            const QString root = dir.filePath(QString::number(row++));
            ASSERT_TRUE(QDir().mkdir(root));
            const auto storeOf = [&root](const QString &device) {
                return ClusterConfigStore(root, empty.clusterID, device, key);
            };
            const auto mainInode = [&root] {
                struct stat info = {};
                const QByteArray path = QFile::encodeName(root + "/cluster.json");
                return ::lstat(path.constData(), &info) == 0 && S_ISREG(info.st_mode) ? info.st_ino : 0;
            };
            const bool asMain = name == "cluster.json";
            if (!asMain)
                write(QString::number(row - 1) + "/cluster.json", team.toJson());
            ASSERT_TRUE(make(root + '/' + name));
            const ino_t before = mainInode();
            ClusterConfigStore mine = storeOf("DEV-A");
            EXPECT_EQ(mine.reload(), asMain ? empty : team);
            const QStringList entries = QDir(root).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
            EXPECT_EQ(entries.filter(QRegularExpression(R"(^cluster\.corrupt-[0-9A-F]{8}\.json$)")).size(), 1);
            EXPECT_TRUE(asMain || !entries.contains(name));
            const ino_t written = mainInode();
            EXPECT_NE(written, 0u);
            EXPECT_EQ(written == before, !asMain) << "a write without a change";
            mine.reload();
            EXPECT_EQ(mainInode(), written) << "a write without a change";
            mine.recordEdit("f1", "DEV-A", CellState::Excluded, when);
            EXPECT_TRUE(storeOf("DEV-C").reload().folders.value("f1").contains("DEV-A")) << "the edit is on disk";
        }
    }
    ::getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss - peakBefore, 64 * 1024) << "kilobytes more at the peak";
}

// Each edit starts from a store that has not seen the file's latest cells.
TEST_F(ClusterConfigStoreTest, EditsKeepCellsFromOtherDevicesAndNeverWrapTheCounter)
{
    constexpr qint64 max = 0x7fff'ffff'ffff'ffff;
    ClusterConfig unsignedTop = with(empty, "f1", "DEV-B", CellState::Paused, 5);
    unsignedTop.lamport = max;
    write("cluster.json", unsignedTop.toJson());
    ClusterConfigStore mine = store("DEV-A");
    mine.recordEdit("f1", "DEV-A", CellState::Paused, when);
    store("DEV-B").recordEdit("f2", "DEV-B", CellState::Excluded, when);
    mine.recordEdit("f2", "DEV-A", CellState::Active, when);
    EXPECT_EQ(store("DEV-C").reload().folders.value("f1").keys(), QStringList({"DEV-A", "DEV-B"}));
    EXPECT_EQ(store("DEV-C").reload().folders.value("f2").keys(), QStringList({"DEV-A", "DEV-B"}));
    const ClusterConfig signedTop = with(empty, "f1", "DEV-B", CellState::Paused, max);
    write("cluster.json", signedTop.toJson());
    mine.recordEdit("f1", "DEV-B", CellState::Active, when);
    EXPECT_EQ(store("DEV-C").reload(), signedTop);
}

const QString deviceID = QStringLiteral("MFZWI3D-BONSGYC-YLTMRWG-C43ENR5-QXGZDMM-FZWI3DP-BONSGYC-YLTMRWG");
// Its JSON's plain base64 holds "+", "/" and "=".
const Invite invite{deviceID, QStringLiteral("Jo’s Mac"), QStringLiteral("Film? ~ 2024 / Cut"), "100.101.102.103"};

TEST(InviteCodecTest, LinksCodesAndPastedTextReadInOrder)
{
    const QString node = QStringLiteral("PATWR7P-A3CTTVE-MVV5O4N-7GG7EXW-ZB5LWLP-OCLIRZ7-XKZLEPP-RUZUOQL");
    const Invite withNode{deviceID, "Jo", "Cut", std::nullopt, node, "Attic"};
    const Invite plain{deviceID, "Jo", "Cut", std::nullopt};
    const auto raw = [](const QString &json) {
        return QString::fromLatin1(json.toUtf8().toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    };
    const QString payload = InviteCodec::url(invite)->toString().section("d=", 1);
    EXPECT_FALSE(payload.contains('=') || payload.contains('+') || payload.contains('/')) << payload.toStdString();
    const std::pair<QString, std::optional<Invite>> cases[] = {
        {" \nTIDEWELLSYNC://invite?d=" + payload + "\t\n", invite},
        {"tidewellsync://invite?d=" + payload.left(10), std::nullopt},
        {"TDWSYNC1:" + payload, invite},
        {"tdwsync1:" + payload, std::nullopt},
        {payload, invite},
        {InviteCodec::url({deviceID, "", "", "evil.example"})->toString(), Invite{deviceID, "", "", std::nullopt}},
        {deviceID, Invite{deviceID, "", "", std::nullopt}},
        {QString(49, 'A'), std::nullopt},
        {QString(50, 'A'), Invite{QString(50, 'A'), "", "", std::nullopt}},
        // An invitation that names no device, in each form.
        {InviteCodec::url({"", "Jo", "Cut", std::nullopt})->toString(), std::nullopt},
        {InviteCodec::code({" \t", "Jo", "Cut", std::nullopt}), std::nullopt},
        // The sync's node comes along; one that is no other device is dropped.
        {InviteCodec::code(withNode), withNode},
        {InviteCodec::code({deviceID, "Jo", "Cut", std::nullopt, deviceID, "Attic"}), plain},
        {InviteCodec::code({deviceID, "Jo", "Cut", std::nullopt, "not a device", "Attic"}), plain},
        {raw(R"({"deviceID":")" + deviceID + R"(","name":"Jo","project":"Cut","nodeID":5})"), plain},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(InviteCodec::decode(text), expected) << text.toStdString();
}

TEST(NodeSetupCodecTest, LinkForms)
{
    const QString query = QStringLiteral("?addr=http%3A%2F%2F10.0.0.5%3A8384&key=k%2B%26y");
    const auto node = [](const QString &name) { return NodeSetupPayload{"http://10.0.0.5:8384", "k+&y", name}; };
    const std::pair<QString, std::optional<NodeSetupPayload>> cases[] = {
        {"TideWellSync://NODE-SETUP" + query + "&name=Vault", node("Vault")},
        {"tidewellsync://elsewhere/node-setup" + query + "&name=", node("")},
        {"tidewellsync:/node-setup" + query + "&name&name=Vault", node("Synology NAS")},
        {"tidewellsync://node-setup" + query + "&addr=other&key=other", node("Synology NAS")},
        {"tidewellsync://elsewhere" + query, std::nullopt},
        {"https://node-setup" + query, std::nullopt},
    };
    for (const auto &[link, expected] : cases)
        EXPECT_EQ(NodeSetupCodec::fromURL(QUrl(link)), expected) << link.toStdString();
}

TEST(NodeSetupCodecTest, AnAddressIsOneWebAddressAndNothingElse)
{
    const std::pair<QString, bool> cases[] = {
        {"http://10.214.0.99:8384", true},     {"HTTPS://nas.local:443", true},
        {"http://[fd00::5]:8384", true},       {"http://10.214.0.99:8384 evil", false},
        {"http://10.214.0.99:8384/", false},   {"http://10.214.0.99", false},
        {"http://nas:0", false},               {"http://nas:65536", false},
        {"http://nas:+80", false},             {"ftp://nas:8384", false},
        {"http://a@nas:8384", false},          {"http://[fe80::1%25eth0 x]:8384", false},
        {"http://nas:8384\nhttp://evil", false}, {" http://nas:8384", false},
    };
    for (const auto &[address, accepted] : cases)
        EXPECT_EQ(NodeSetupCodec::isNodeAddress(address), accepted) << address.toStdString();
}

TEST(QRCodeTest, TheImageReadsBackAsItsText)
{
    const QString text = InviteCodec::url(invite)->toString();
    QTemporaryDir dir;
    ASSERT_TRUE(QRCode::image(text, 400).value().save(dir.filePath("code.png")));
    QProcess zbar;
    zbar.start("zbarimg", {"--raw", "-q", dir.filePath("code.png")});
    ASSERT_TRUE(zbar.waitForFinished(-1)) << "zbarimg is missing: scripts/setup-deps installs zbar-tools";
    EXPECT_EQ(QString::fromUtf8(zbar.readAllStandardOutput()).trimmed(), text);
}

} // namespace
} // namespace tw
