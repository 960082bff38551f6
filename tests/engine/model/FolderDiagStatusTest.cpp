#include "engine/model/FolderDiagStatus.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

QByteArray element(const QByteArray &counts)
{
    return R"([{"folderID":"f","label":"Film","state":"idle",)" + counts + "}]";
}

TEST(FolderDiagStatusTest, APeersNegativeCountsAreReadAsNothing)
{
    const struct
    {
        QByteArray json;
        std::optional<QList<FolderDiagStatus>> read;
    } rows[] = {
        {element(R"("localBytes":5,"globalBytes":6,"needBytes":7,"needItems":8)"),
         QList<FolderDiagStatus>{{"f", "Film", "idle", 5, 6, 7, 8}}},
        {element(R"("localBytes":-5,"globalBytes":-1,"needBytes":-7,"needItems":-9007199254740991)"),
         QList<FolderDiagStatus>{{"f", "Film", "idle", 0, 0, 0, 0}}},
        {element(R"("localBytes":-5,"globalBytes":6,"needBytes":-7,"needItems":2)"),
         QList<FolderDiagStatus>{{"f", "Film", "idle", 0, 6, 0, 2}}},
        // A count that is no whole number still makes the array unreadable.
        {element(R"("localBytes":-0.5,"globalBytes":6,"needBytes":7,"needItems":2)"), std::nullopt},
    };
    for (const auto &row : rows)
        EXPECT_EQ(FolderDiagStatus::decodeList(row.json), row.read) << row.json.toStdString();
}

} // namespace
} // namespace tw
