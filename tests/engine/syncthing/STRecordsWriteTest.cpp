// The bodies we send: exact keys, absent optionals left out (never null),
// integers written exactly. A read-back from Syncthing cannot show these: it
// fills every key left out with its default.

#include "engine/syncthing/STDeviceRef.h"
#include "engine/syncthing/STDeviceWrite.h"
#include "engine/syncthing/STFolderWrite.h"
#include "engine/syncthing/STVersioning.h"
#include "engine/syncthing/STXattrFilter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace tw {
namespace {

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

TEST(STRecordsWrite, FolderCreationWritesExactlyItsThirteenKeys)
{
    const STFolderWrite folder{"tdw-0123abcd", "", "/home/u/Film", "sendreceive",
                               {STDeviceRef{"DEV-A", std::nullopt, std::nullopt}}, false, true, 900,
                               STVersioning{QString(), std::nullopt}, false, false, "all",
                               STXattrFilter::syncedXattrs()};
    const QJsonObject expected{
        {"id", "tdw-0123abcd"}, {"label", ""}, {"path", "/home/u/Film"}, {"type", "sendreceive"},
        {"devices", QJsonArray{QJsonObject{{"deviceID", "DEV-A"}}}}, {"paused", false}, {"fsWatcherEnabled", true},
        {"rescanIntervalS", 900}, {"versioning", QJsonObject{{"type", ""}}}, {"sendXattrs", false},
        {"syncXattrs", false}, {"copyRangeMethod", "all"}, {"xattrFilter", STXattrFilter::syncedXattrs().toJson()}};
    EXPECT_EQ(folder.toJson(), expected);
    // An empty map is present, so it is written.
    EXPECT_EQ((STVersioning{QString(), QMap<QString, QString>()}).toJson(),
              (QJsonObject{{"type", ""}, {"params", QJsonObject()}}));
}

TEST(STRecordsWrite, DeviceCreationWritesExactlyItsSixKeysWithExactIntegers)
{
    // 2^53 + 1 is not representable as a double.
    const STDeviceWrite device{"DEV-B", "", {"dynamic"}, false, 9007199254740993LL, true};
    EXPECT_EQ(compact(device.toJson()), R"({"addresses":["dynamic"],"deviceID":"DEV-B","introducer":true,)"
                                        R"("name":"","numConnections":9007199254740993,"paused":false})");
}

TEST(STRecordsWrite, DeviceRefWritesOnlyPresentOptionals)
{
    const std::vector<std::pair<STDeviceRef, QJsonObject>> cases{
        {{"D", QString(), std::nullopt}, {{"deviceID", "D"}, {"introducedBy", ""}}},
        {{"D", std::nullopt, QString()}, {{"deviceID", "D"}, {"encryptionPassword", ""}}},
    };
    for (const auto &[ref, json] : cases) {
        EXPECT_EQ(ref.toJson(), json);
        EXPECT_EQ(STDeviceRef::fromJson(ref.toJson()), ref);
    }
}

} // namespace
} // namespace tw
