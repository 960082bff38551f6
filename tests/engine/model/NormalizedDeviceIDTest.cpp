#include "engine/model/NormalizedDeviceID.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

// Written by Syncthing 1.29 for two generated homes.
const QString kA = QStringLiteral("PATWR7P-A3CTTVE-MVV5O4N-7GG7EXW-ZB5LWLP-OCLIRZ7-XKZLEPP-RUZUOQL");
const QString kB = QStringLiteral("ZRNFW5K-ZDF4E2U-JONJDIM-ANHULCW-2S2BJGC-7IBUOX6-RF7KS5G-ZOJ25AX");

TEST(NormalizedDeviceIDTest, EveryFormTheEngineReadsGivesTheFormItWrites)
{
    const struct
    {
        QString typed;
        std::optional<QString> normalized;
    } cases[] = {
        {kA, kA},
        {kB, kB},
        {kA.toLower(), kA},
        {QString(kB).remove('-'), kB},
        {" " + QString(kA).replace('-', ' ') + "\n", kA},
        {QString(kA).replace("MVV5O4N", "mvv504n"), kA},     // "0" typed for "O"
        {"PATWR7PA3CTTVMVV5O4N7GG7EXZB5LWLPOCLIRZXKZLEPPRUZUOQ", kA},  // without check digits
        {QString(kA).replace("RUZUOQL", "RUZUOQM"), std::nullopt},     // a wrong check digit
        {kA.left(kA.size() - 1), std::nullopt},
        {QString(kA).replace('Z', u'\u017d'), std::nullopt},
        {"DEVICE-B", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(normalizedDeviceID(c.typed), c.normalized) << c.typed.toStdString();
}

} // namespace
} // namespace tw
