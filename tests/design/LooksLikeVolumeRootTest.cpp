#include "design/LooksLikeVolumeRoot.h"

#include <gtest/gtest.h>

using namespace tw;

TEST(LooksLikeVolumeRootTest, OnlyTheRootAndMountPointsOneNameDeep)
{
    const std::pair<const char *, bool> rows[] = {
        {"/", true},
        {"/media/ann/Backup", true},
        {"/run/media/ann/Backup", true},
        {"/media/ann/Backup/", false},
        {"/media/ann/Backup/Photos", false},
        {"/run/media/ann/Backup/Photos", false},
        {"/media/ann", false},
        {"/media", false},
        {"/run/media/ann", false},
        {"/media//Backup", false},
        {"/mnt/Backup/x", false},
        {"media/ann/Backup", false},
        {"", false},
    };
    for (const auto &[path, expected] : rows)
        EXPECT_EQ(looksLikeVolumeRoot(QString::fromUtf8(path)), expected) << path;
}
