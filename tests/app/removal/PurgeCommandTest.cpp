#include "app/removal/PurgeAnswer.h"
#include "app/removal/PurgeAuth.h"
#include "app/removal/PurgeCommand.h"
#include "app/removal/PurgeNonceRecord.h"
#include "app/removal/PurgePaths.h"

#include "ManualClock.h"
#include "QtPrinters.h"
#include "utilities/UserDefaults.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <limits>

namespace tw {
namespace {

// The expected codes come from Python's hmac module, not from this code.
TEST(PurgeCommandTest, SignatureClockWindowAndBody)
{
    const QString nonce = PurgeAuth::newNonce();
    EXPECT_TRUE(nonce.size() == 36 && nonce == nonce.toUpper());
    EXPECT_EQ(PurgeAuth::sign("DEV-A", "abcd-1234", "/Film/Rushes [old]", "0F8FAD5B-D9CB-469F-A165-70867728950E",
                              1700000000, "team key ü"),
              "236370d1bbd44774810b0df5f48452a7820d2225d0d2b4904dfb585839f40315");
    EXPECT_EQ(PurgeAuth::sign("", "", "", "", -5, ""), "7abde91dbd0fa1984d98c99309347622df1cbb2dfa4cdc606f6ca28f32e67652");
    EXPECT_TRUE(PurgeAuth::constantTimeEquals("abc", "abc"));
    EXPECT_FALSE(PurgeAuth::constantTimeEquals("abc", "ABC") || PurgeAuth::constantTimeEquals("abc", "abcd"));
    // The 30 s edges are shown by the receiver; here only what overflows.
    EXPECT_FALSE(PurgeAuth::withinClockWindow(1700000000, std::numeric_limits<qint64>::min()));
    EXPECT_FALSE(PurgeAuth::withinClockWindow(std::numeric_limits<qint64>::min(), 1700000000));
    const PurgeCommand command{"f", "/a b", nonce, -7, "h"};
    EXPECT_EQ(PurgeCommand::decode(command.encode()), command);
    const QByteArray valid = R"({"folderID":"f","path":"p","nonce":"n","timestamp":5,"hmac":"h","x":1})";
    EXPECT_TRUE(PurgeCommand::decode(valid));
    for (const QByteArray &body : {QByteArray(R"([])"), QByteArray(valid).replace("5", "\"5\""),
                                  QByteArray(valid).replace("5", "5.5"), QByteArray(valid).replace("hmac", "mac")})
        EXPECT_FALSE(PurgeCommand::decode(body)) << body.toStdString();
}

// The status code is read from each answer's own status line, as the
// sender's HTTP client would.
TEST(PurgeCommandTest, TheSenderTellsEachRefusalAndWhetherRunningAgainCanHelp)
{
    const QString teamKey = u"both Macs need the same team key (Settings \u2192 Team)"_qs;
    const struct
    {
        PurgeAnswer answer;
        std::optional<PurgeAnswer::Refusal> refusal;
    } rows[] = {
        {PurgeAnswer::deleted(5), std::nullopt},
        {PurgeAnswer::replay(), std::nullopt},
        {PurgeAnswer::noSharedSecret(), PurgeAnswer::Refusal{u"it holds no team key \u2014 "_qs + teamKey, true}},
        {PurgeAnswer::badSignature(),
         PurgeAnswer::Refusal{u"its team key or clock differs \u2014 "_qs + teamKey, true}},
        {PurgeAnswer::notSharedFolder(), PurgeAnswer::Refusal{"not a shared folder", true}},
        {PurgeAnswer::noLocalFolder(), PurgeAnswer::Refusal{"no local folder", true}},
        {PurgeAnswer::inProgress(), PurgeAnswer::Refusal{"in progress", false}},
        {PurgeAnswer::deleteFailed(), PurgeAnswer::Refusal{"delete failed", false}},
        {PurgeAnswer::unavailable(), PurgeAnswer::Refusal{"answered 503", false}},
        // What a peer writes is cut short and kept to one line.
        {{"400 Bad Request", R"({"ok":false,"error":"<b>x</b>\n\tline )" + QByteArray(100, 'y') + "\"}"},
         PurgeAnswer::Refusal{"<b>x</b> line " + QString(65, u'y'), true}},
        {{"200 OK", R"({"ok":"true"})"}, PurgeAnswer::Refusal{"answered 200", false}},
        // No answer at all.
        {{"0 ", {}}, PurgeAnswer::Refusal{}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.answer.statusLine.toStdString() + " " + row.answer.body.toStdString());
        const int status = row.answer.statusLine.section(u' ', 0, 0).toInt();
        EXPECT_EQ(PurgeAnswer::refusalIn(status, row.answer.body), row.refusal);
    }
}

TEST(PurgeCommandTest, RelativePathsAndPatterns)
{
    const std::pair<QString, std::optional<QString>> cases[] = {
        {"/a//b/", "a/b"}, {"a", "a"}, {".hidden/x...y\x7f", ".hidden/x...y\x7f"}, {"a/.stversions", "a/.stversions"},
        {".stfolderx", ".stfolderx"}, {"", {}}, {"//", {}}, {"a/../b", {}}, {"./a", {}}, {"a\tb", {}},
        {"/.STVersions/x", {}}, {".stfolder", {}}, {".StIgnore", {}}, {".Syncthing.f.tmp", {}},
        // A sender whose file system decomposes names: Syncthing keeps them composed here.
        {u"/Cafe\u0301/Re\u0301sume\u0301"_qs, u"Caf\u00e9/R\u00e9sum\u00e9"_qs}};
    for (const auto &[path, relative] : cases)
        EXPECT_EQ(canonicalRel(path), relative) << path.toStdString();
    // Longer than the file system allows: a whole path of 4,096 bytes or
    // more, one name beyond 255.
    const QString longest = QStringList(16, QString(255, 'a')).join('/');  // 4,095 bytes
    EXPECT_EQ(canonicalRel(longest), longest);
    for (const QString &tooLong : {QString("/f").repeated(19'153), QString("a/").repeated(2'500),
                                   QString(128, QChar(u'\u00e9')) + "/x", longest + "/x"})
        EXPECT_EQ(canonicalRel(tooLong), std::nullopt) << tooLong.size();
    // Trailing white space, which Syncthing trims off a line, each in a class.
    const std::pair<QString, QString> globs[] = {
        {"a*b?[c]{d}\\e/f", "a\\*b\\?\\[c\\]\\{d\\}\\\\e/f"},
        {" a b/c d", " a b/c d"},
        {"Notes ", "Notes[ ]"},
        {u"a /b*\u00a0 "_qs, u"a /b\\*[\u00a0][ ]"_qs},
    };
    for (const auto &[path, glob] : globs)
        EXPECT_EQ(escapeGlob(path), glob) << path.toStdString();
}

// Entries age out when the next nonce is recorded, from 86,400 s on.
TEST(PurgeCommandTest, NonceRecordAgesOnlyWhenRecording)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.json"));
    ManualClock clock;
    PurgeNonceRecord record(defaults, clock.clock());
    record.record("OLD");
    clock.advanceMs(1000);
    record.record("KEPT");
    clock.advanceMs(86'399'000);
    EXPECT_TRUE(record.seen("OLD"));
    record.record("NEW");
    EXPECT_TRUE(!record.seen("OLD") && record.seen("KEPT") && record.seen("NEW"));
    EXPECT_EQ(defaults.value("purgeNonces")->toObject().value("NEW").toInteger(), clock.clock()().toSecsSinceEpoch());
    for (const QJsonValue &other : {QJsonValue(QJsonObject{{"NEW", 1}, {"X", "1"}}), QJsonValue(QJsonArray{"NEW"})}) {
        defaults.setValue("purgeNonces", other);
        EXPECT_FALSE(record.seen("NEW"));
    }
}

} // namespace
} // namespace tw
