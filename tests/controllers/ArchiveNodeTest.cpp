#include "controllers/ArchiveNode.h"

#include "QtPrinters.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace tw {
namespace {

const char *kindName(ArchiveNode::Kind kind)
{
    switch (kind) {
    case ArchiveNode::Kind::Folder:
        return "folder";
    case ArchiveNode::Kind::File:
        return "file";
    case ArchiveNode::Kind::Version:
        return "version";
    }
    return "?";
}

// One line per node, two spaces of indent per level: id, name, kind, file
// count, total size, version count, and the copy it carries.
void describe(const QList<ArchiveNodePtr> &nodes, int depth, QStringList &lines)
{
    for (const ArchiveNodePtr &node : nodes) {
        QString line = QString(depth * 2, QLatin1Char(' '))
                     + QStringLiteral("%1 | %2 | %3 | %4 %5 %6")
                           .arg(node->id, node->name, QLatin1String(kindName(node->kind)))
                           .arg(node->fileCount)
                           .arg(node->totalSize)
                           .arg(node->versionCount);
        if (node->version)
            line += QStringLiteral(" | %1@%2 %3").arg(node->version->path, node->version->versionTime).arg(node->version->size);
        lines.append(line);
        EXPECT_EQ(node->childrenOrNil().has_value(), !node->children.isEmpty()) << qPrintable(node->id);
        describe(node->children, depth + 1, lines);
    }
}

QStringList describe(const QList<ArchiveNodePtr> &nodes)
{
    QStringList lines;
    describe(nodes, 0, lines);
    return lines;
}

ArchivedVersion copy(const char *path, const QString &time, qint64 size)
{
    return {QString::fromUtf8(path), time, size};
}

const QString t1 = QStringLiteral("2024-03-01T09:00:00Z");
const QString t2 = QStringLiteral("2024-03-02T09:00:00.5Z");
const QString t3 = QStringLiteral("2024-03-03T09:00:00Z");

// The lines of top-level files of one byte each, copied at t1, in this order.
QStringList flatFiles(const QStringList &names)
{
    QStringList lines;
    for (const QString &name : names)
        lines.append("file:" + name + " | " + name + " | file | 1 1 1 | " + name + "@" + t1 + " 1");
    return lines;
}

QList<ArchivedVersion> copiesOf(const QStringList &names)
{
    QList<ArchivedVersion> copies;
    for (const QString &name : names)
        copies.append({name, t1, 1});
    return copies;
}

TEST(ArchiveNodeTest, BuildsTheTreeOfTheEdgeCases)
{
    // 10:00 at +01:00 is 09:00Z, earlier than 09:30Z as an instant; as text it is later.
    const QString plusOne = QStringLiteral("2024-01-01T10:00:00+01:00");
    const QString zulu = QStringLiteral("2024-01-01T09:30:00Z");
    // U+1F600 is above U+FFFD as a scalar value, below it as a UTF-16 unit.
    const QString astral = QStringLiteral("2024-\U0001F600");
    const QString bmp = QStringLiteral("2024-\uFFFD");
    const struct
    {
        const char *name;
        QList<ArchivedVersion> input;
        QStringList tree;
        QLocale locale = QLocale::c();
    } rows[] = {
        {"empty", {}, {}},
        {"one file in a folder",
         {copy("Docs/a.txt", t1, 5)},
         {"dir:Docs | Docs | folder | 1 5 1", "  file:Docs/a.txt | a.txt | file | 1 5 1 | Docs/a.txt@" + t1 + " 5"}},
        {"three copies, newest first",
         {copy("a.txt", t1, 1), copy("a.txt", t3, 2), copy("a.txt", t2, 4)},
         {"file:a.txt | a.txt | file | 1 7 3 | a.txt@" + t3 + " 2",
          "  ver:a.txt@" + t3 + " | a.txt | version | 1 2 1 | a.txt@" + t3 + " 2",
          "  ver:a.txt@" + t2 + " | a.txt | version | 1 4 1 | a.txt@" + t2 + " 4",
          "  ver:a.txt@" + t1 + " | a.txt | version | 1 1 1 | a.txt@" + t1 + " 1"}},
        {"equal times keep input order, offsets compare as text",
         {copy("a", plusOne, 1), copy("a", zulu, 2), copy("a", plusOne, 3)},
         {"file:a | a | file | 1 6 3 | a@" + plusOne + " 1",
          "  ver:a@" + plusOne + " | a | version | 1 1 1 | a@" + plusOne + " 1",
          "  ver:a@" + plusOne + " | a | version | 1 3 1 | a@" + plusOne + " 3",
          "  ver:a@" + zulu + " | a | version | 1 2 1 | a@" + zulu + " 2"}},
        {"times compare by scalar value",
         {copy("a", bmp, 1), copy("a", astral, 2)},
         {"file:a | a | file | 1 3 2 | a@" + astral + " 2", "  ver:a@" + astral + " | a | version | 1 2 1 | a@" + astral + " 2",
          "  ver:a@" + bmp + " | a | version | 1 1 1 | a@" + bmp + " 1"}},
        {"names in natural order, case ignored",
         {copy("b", t1, 1), copy("A", t1, 1), copy("a10", t1, 1), copy("a9", t1, 1)},
         {"file:A | A | file | 1 1 1 | A@" + t1 + " 1", "file:a9 | a9 | file | 1 1 1 | a9@" + t1 + " 1",
          "file:a10 | a10 | file | 1 1 1 | a10@" + t1 + " 1", "file:b | b | file | 1 1 1 | b@" + t1 + " 1"}},
        {"the C locale: accented names beside their letters, digits by value",
         copiesOf({"zeta", "eclair 10", "\u00C9clair", "Eclair 9", "Delta"}),
         flatFiles({"Delta", "\u00C9clair", "Eclair 9", "eclair 10", "zeta"})},
        {"German: umlauts beside their letters",
         copiesOf({"Zebra", "\u00C4rger", "Apfel"}),
         flatFiles({"Apfel", "\u00C4rger", "Zebra"}),
         QLocale(QLocale::German, QLocale::Germany)},
        {"Swedish: \u00C4 after Z",
         copiesOf({"Zebra", "\u00C4rger", "Apfel"}),
         flatFiles({"Apfel", "Zebra", "\u00C4rger"}),
         QLocale(QLocale::Swedish, QLocale::Sweden)},
        {"folders before files, ids carry the prefix",
         {copy("a.txt", t1, 1), copy("z/2024/b.txt", t1, 2), copy("z/c.txt", t1, 4)},
         {"dir:z | z | folder | 2 6 1", "  dir:z/2024 | 2024 | folder | 1 2 1",
          "    file:z/2024/b.txt | b.txt | file | 1 2 1 | z/2024/b.txt@" + t1 + " 2",
          "  file:z/c.txt | c.txt | file | 1 4 1 | z/c.txt@" + t1 + " 4",
          "file:a.txt | a.txt | file | 1 1 1 | a.txt@" + t1 + " 1"}},
        {"paths without a component are dropped", {copy("", t1, 1), copy("/", t1, 2), copy("//", t1, 4)}, {}},
        {"a file id keeps the reported path text",
         {copy("/Photos//a.jpg/", t1, 1)},
         {"dir:Photos | Photos | folder | 1 1 1", "  file:/Photos//a.jpg/ | a.jpg | file | 1 1 1 | /Photos//a.jpg/@" + t1 + " 1"}},
        {"two texts of one path: one node with one text's copies",
         {copy("/x/y", t1, 1), copy("x/y", t2, 2), copy("/x/y", t3, 4)},
         {"dir:x | x | folder | 1 2 1", "  file:x/y | y | file | 1 2 1 | x/y@" + t2 + " 2"}},
        {"a name both folder and file",
         {copy("a", t1, 1), copy("a/b", t2, 2)},
         {"dir:a | a | folder | 1 2 1", "  file:a/b | b | file | 1 2 1 | a/b@" + t2 + " 2",
          "file:a | a | file | 1 1 1 | a@" + t1 + " 1"}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(describe(buildArchiveTree(row.input, row.locale)), row.tree) << row.name;
}

TEST(ArchiveNodeTest, RestoreMappingNamesTheNewestCopyOfEveryFileBeneath)
{
    const QList<ArchiveNodePtr> tree =
        buildArchiveTree({copy("F/a.txt", t1, 1), copy("F/a.txt", t3, 2), copy("F//sub/b.txt", t2, 4)});
    ASSERT_EQ(tree.size(), 1);
    const ArchiveNode &folder = *tree[0];
    ASSERT_EQ(folder.children.size(), 2);
    const ArchiveNode &file = *folder.children[1];
    ASSERT_EQ(file.children.size(), 2);
    const struct
    {
        const char *name;
        const ArchiveNode &node;
        QMap<QString, QString> mapping;
    } rows[] = {
        {"a folder", folder, {{"F/a.txt", t3}, {"F//sub/b.txt", t2}}},
        {"a file", file, {{"F/a.txt", t3}}},
        {"a version", *file.children[0], {}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(restoreMapping(row.node), row.mapping) << row.name;
}

} // namespace
} // namespace tw
