#include "services/RetryQueueFile.h"
#include "utilities/UserDefaults.h"

#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace tw {
namespace {

// The stores that keep a token or a user's reports end up readable by their
// owner alone, also where an older copy was readable by everyone.
TEST(OwnerOnlyStoresTest, StoresHoldingSecretsAreReadableByTheirOwnerAlone)
{
    struct Row
    {
        const char *store;
        std::function<void(const QString &)> write;
    };
    const Row rows[] = {
        {"user defaults",
         [](const QString &path) { UserDefaults(path).setString(QStringLiteral("remoteStatusToken"), "secret"); }},
        {"retry queue", [](const QString &path) { RetryQueueFile(path).write(QJsonArray{QStringLiteral("report")}); }},
    };
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    for (const Row &row : rows) {
        for (const bool existedOpen : {false, true}) {
            SCOPED_TRACE(std::string(row.store) + (existedOpen ? ", over a world-readable file" : ", new"));
            QTemporaryDir dir;
            const QString path = dir.filePath(QStringLiteral("store.json"));
            if (existedOpen) {
                QFile old(path);
                ASSERT_TRUE(old.open(QIODevice::WriteOnly));
                old.write("{}");
                old.close();
                ASSERT_TRUE(old.setPermissions(ownerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther));
            }
            row.write(path);
            ASSERT_TRUE(QFile::exists(path));
            EXPECT_EQ(QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser), ownerOnly);
        }
    }
}

} // namespace
} // namespace tw
