#include "controllers/ChangeJournal.h"

#include <QDataStream>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tw {
namespace {

// One event: "found D", "pulled D" (directories), "placed F@ms".
struct Told
{
    const char *what;
    const char *item;
    qint64 atMs = 0;
};

void tell(const Told &told, DirectoryNews &news, ChangeJournal *journal)
{
    const QString item = QString::fromLatin1(told.item);
    const QByteArray what(told.what);
    if (what == "found") {
        news.noteLocalChange(item, true, false, told.atMs);
        if (journal)
            journal->append(item, true, false, told.atMs);
    } else if (what == "pulled") {
        news.notePull(item, true, false, told.atMs);
        if (journal)
            journal->appendPulled(item, told.atMs);
    } else {
        news.notePlaced(item, told.atMs);
        if (journal)
            journal->appendPlaced(item, told.atMs);
    }
}

// What a process wrote down before it ended, then what this one was told,
// read back as its first pass reads them.
TEST(ChangeJournalTest, ThePassReadsWhatWasWrittenDownThenWhatMemoryHolds)
{
    struct Case
    {
        const char *name;
        std::vector<Told> before;  // written down by the process before
        std::vector<Told> now;     // told to this one: memory and journal
        QSet<QString> foundFirst;
        QHash<QString, qint64> placed;
    };
    const Case cases[] = {
        {"pulled, then found: a teammate's", {}, {{"pulled", "D"}, {"found", "D"}}, {}, {}},
        {"found before any pull", {}, {{"found", "D"}, {"pulled", "D"}}, {"D"}, {}},
        {"found by the process before", {{"found", "D"}}, {}, {"D"}, {}},
        {"pulled, then found, by the process before", {{"pulled", "D"}, {"found", "D"}}, {}, {}, {}},
        {"pulled by the process before, found now", {{"pulled", "D"}}, {{"found", "D"}}, {}, {}},
        {"found before, pulled then found now", {{"found", "D"}}, {{"pulled", "D"}, {"found", "D"}}, {}, {}},
        {"the first placement counts", {{"placed", "D/f", 10}}, {{"placed", "D/f", 20}}, {}, {{"D/f", 10}}},
    };
    for (const Case &c : cases) {
        QTemporaryDir dir;
        const QString file = dir.filePath("folder.changes");
        {
            ChangeJournal before(file);
            DirectoryNews ignored;
            for (const Told &told : c.before)
                tell(told, ignored, &before);
            before.flush();
        }
        ChangeJournal journal(file);
        DirectoryNews memory;
        for (const Told &told : c.now)
            tell(told, memory, &journal);
        DirectoryNews read = ChangeJournal::read(journal.seal());
        read.mergeAfterJournal(memory);
        EXPECT_EQ(read.foundFirst, c.foundFirst) << c.name;
        EXPECT_EQ(read.placedAtMs, c.placed) << c.name;
    }
}

// A piece written before placements were: changes only, no header.
TEST(ChangeJournalTest, APieceOfTheLayoutBeforeIsRead)
{
    QTemporaryDir dir;
    QFile piece(dir.filePath("folder.changes.1"));
    ASSERT_TRUE(piece.open(QIODevice::WriteOnly));
    QDataStream out(&piece);
    out << QStringLiteral("D/new.txt") << false << false << true << qint64(42);
    piece.close();
    const DirectoryNews news = ChangeJournal::read({piece.fileName()});
    ASSERT_EQ(news.changedHere.value("D").size(), 1);
    EXPECT_EQ(news.changedHere.value("D").first(), (DirectoryNews::Change{"D/new.txt", false, 42}));
}

} // namespace
} // namespace tw
