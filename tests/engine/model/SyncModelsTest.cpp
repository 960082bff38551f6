#include "engine/model/FolderDiagStatus.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(SyncModelsTest, FolderDiagStatusArrayIsReadWholeOrNotAtAll)
{
    const QList<FolderDiagStatus> list{{"f1", "Photos", "idle", 1, 2, 3, 4},
                                       {"f2", "", "sync-preparing", 0, 9000000000000, 9000000000000, 12}};
    const QByteArray good = FolderDiagStatus::encodeList(list);
    EXPECT_EQ(FolderDiagStatus::decodeList(good), list);

    const std::pair<const char *, QJsonValue> edits[] = {
        {"needItems", QJsonValue::Undefined},
        {"label", true},
        {"needItems", 1.5},
    };
    for (const auto &[key, value] : edits) {
        QJsonArray array = QJsonDocument::fromJson(good).array();
        QJsonObject second = array[1].toObject();
        second.insert(QLatin1String(key), value);
        array[1] = second;
        EXPECT_EQ(FolderDiagStatus::decodeList(QJsonDocument(array).toJson()), std::nullopt) << key;
    }
    EXPECT_EQ(FolderDiagStatus::decodeList("[1]"), std::nullopt);
}

} // namespace
} // namespace tw
