#include "app/TransferSummary.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using D = TransferSummary::Direction;

// This Mac and PEER share one sync "S" of two folders: "a" of 100 bytes,
// which PEER has whole, and "b", where PEER stands at `peerPercent`.
HealthInputs inputs(qint64 needA, qint64 globalB, std::optional<double> peerPercent, bool paused, bool connected)
{
    HealthInputs in{.localDeviceID = "ME"};
    in.engineFolders = {{.id = "a"}, {.id = "b"}};
    in.folderStatuses["a"] = {.id = "a", .globalBytes = 100, .needBytes = needA};
    in.folderStatuses["b"] = {.id = "b", .globalBytes = globalB};
    in.connections["PEER"].connected = connected;
    in.completion["a"]["PEER"] = 100;
    if (peerPercent)
        in.completion["b"]["PEER"] = *peerPercent;
    ProjectFolder b{.syncthingFolderID = "b"};
    if (paused)
        b.pausedDeviceIDs = {"PEER"};
    const ProjectFolder a{.syncthingFolderID = "a"};
    in.projects = {{.id = "S", .members = {{.deviceID = "ME"}, {.deviceID = "PEER"}}, .folders = {a, b}}};
    return in;
}

TEST(TransferSummaryTest, DownBeforeUpAndOnlyWholeBytesOfConnectedMacs)
{
    struct Row
    {
        const char *name;
        qint64 needA;
        qint64 globalB;
        std::optional<double> peerPercent;
        bool paused;
        bool connected;
        std::optional<QString> projectID;
        std::optional<TransferSummary> expected;
    };
    const Row rows[] = {
        {"down counts receiving folders only", 10, 500, 60, false, true, std::nullopt, TransferSummary{D::Down, 10, 100}},
        {"up: 40 % of 500 bytes", 0, 500, 60, false, true, "S", TransferSummary{D::Up, 200, 500}},
        {"nothing known of a Mac: all missing", 0, 500, std::nullopt, false, true, std::nullopt,
         TransferSummary{D::Up, 500, 500}},
        {"paused for the folder", 0, 500, 60, true, true, std::nullopt, std::nullopt},
        {"away", 0, 500, 60, false, false, std::nullopt, std::nullopt},
        {"under one byte", 0, 999, 99.95, false, true, std::nullopt, std::nullopt},
        {"no such sync", 10, 500, 60, false, true, "T", std::nullopt},
    };
    for (const Row &row : rows)
        EXPECT_EQ(summarizeTransfers(inputs(row.needA, row.globalB, row.peerPercent, row.paused, row.connected),
                                     row.projectID),
                  row.expected)
            << row.name;
}

} // namespace
} // namespace tw
