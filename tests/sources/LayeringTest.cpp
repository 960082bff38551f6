// Each folder of src/ is one layer, and a layer includes only from its own
// folder and the ones below it: a screen may read a controller, never the
// other way round. This scan of every source keeps an upward include from
// coming back.

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "QtPrinters.h"

namespace tw {
namespace {

// The folders from the bottom up; those that share a rank may not include
// each other either.
const std::map<QString, int> kRanks = {
    {QStringLiteral("utilities"), 0}, {QStringLiteral("engine"), 1},    {QStringLiteral("creationdates"), 2},
    {QStringLiteral("platform"), 3},  {QStringLiteral("services"), 3},  {QStringLiteral("lan"), 3},
    {QStringLiteral("controllers"), 4}, {QStringLiteral("cluster"), 5}, {QStringLiteral("projects"), 6},
    {QStringLiteral("app"), 7},       {QStringLiteral("design"), 8},    {QStringLiteral("views"), 9},
};

std::optional<int> rank(const QString &folder)
{
    const auto found = kRanks.find(folder);
    return found == kRanks.end() ? std::nullopt : std::optional<int>(found->second);
}

// Whether a source in `from` may include a header of `to` (both top folders
// of src/; a folder the table does not know is not judged).
bool mayInclude(const QString &from, const QString &to)
{
    const std::optional<int> low = rank(from);
    const std::optional<int> high = rank(to);
    if (!low || !high || from == to)
        return true;
    return *high < *low;
}

// The lines (from 1) and folders of the project includes in `text` that
// `folder` may not make.
std::vector<std::pair<int, QString>> upwardIncludes(const QString &folder, const QString &text)
{
    static const QRegularExpression include(QStringLiteral(R"(^[ \t]*#[ \t]*include[ \t]*"([A-Za-z_]+)/)"),
                                            QRegularExpression::MultilineOption);
    std::vector<std::pair<int, QString>> found;
    for (auto it = include.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString to = match.captured(1);
        if (!mayInclude(folder, to))
            found.emplace_back(int(text.left(match.capturedStart()).count(u'\n')) + 1, to);
    }
    return found;
}

TEST(LayeringTest, AFolderIncludesOnlyItselfAndTheFoldersBelow)
{
    const struct
    {
        const char *folder;
        const char *text;
        std::vector<std::pair<int, QString>> found;
    } rows[] = {
        {"views", "#include \"app/AppEnvironment.h\"\n#include \"views/kit/PlainLabel.h\"", {}},
        {"app", "#include \"projects/ProjectController.h\"\n#include \"utilities/Paths.h\"", {}},
        {"controllers", "#include <QString>\n#include \"app/BandwidthSchedule.h\"", {{2, QStringLiteral("app")}}},
        {"cluster", "x\n\n  #  include \"projects/Project.h\"", {{3, QStringLiteral("projects")}}},
        {"lan", "#include \"platform/SpeedTester.h\"", {{1, QStringLiteral("platform")}}},
        {"design", "#include \"views/kit/PlainLabel.h\"", {{1, QStringLiteral("views")}}},
        {"engine", "#include \"engine/syncthing/rest/STOptions.h\"", {}},
        {"engine", "#include \"support/FakeSyncEngine.h\"", {}},
        {"utilities", "// #include \"app/AppEnvironment.h\"", {}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(upwardIncludes(QString::fromLatin1(row.folder), QString::fromUtf8(row.text)), row.found)
            << row.folder << ": " << row.text;
}

TEST(LayeringTest, NoSourceIncludesFromAHigherFolder)
{
    const QString root = QStringLiteral(TIDEWELL_SOURCE_DIR "/src/");
    int files = 0;
    std::string found;
    QDirIterator it(root, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
        ++files;
        const QString folder = file.fileName().mid(root.size()).section(u'/', 0, 0);
        EXPECT_TRUE(rank(folder)) << "A folder of src/ with no place among the layers: " << folder.toStdString();
        for (const auto &[line, to] : upwardIncludes(folder, QString::fromUtf8(file.readAll())))
            found += file.fileName().mid(root.size()).toStdString() + ":" + std::to_string(line) + " includes from "
                + to.toStdString() + "\n";
    }
    EXPECT_GT(files, 100);
    EXPECT_TRUE(found.empty()) << "An include from a higher folder (move what is needed down, or the includer up):\n"
                               << found;
}

} // namespace
} // namespace tw
