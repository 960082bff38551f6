#include "engine/syncthing/NetworkOptions.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

// The merged patch is read back from a real Syncthing; what it cannot show:
// only the exact word "default" is its own entry, and networks split at every
// line break or tab, a blank inside a line staying.
TEST(NetworkOptions, DefaultEntriesAndLineBreaks)
{
    EXPECT_EQ(NetworkOptions::discoveryServers(QStringList{"default", "Default", "https://127.0.0.1:8/"}, "https://127.0.0.1:9/"),
              (QStringList{"default", "https://127.0.0.1:9/"}));
    EXPECT_EQ(NetworkOptions::splitNetworks(QString(" 10.0.0.0/8 \n") + QChar(0x2028) + QChar(0x3000) + "a b" + QChar(0x85)),
              (QStringList{"10.0.0.0/8", "a b"}));
    EXPECT_EQ(NetworkOptions::splitNetworks("10.0.0.0/8\t10.1.0.0/16\t"), (QStringList{"10.0.0.0/8", "10.1.0.0/16"}));
}

} // namespace
} // namespace tw
