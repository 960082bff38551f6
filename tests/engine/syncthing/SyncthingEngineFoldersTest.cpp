// Adding a folder under a given ID against a fake Syncthing: exactly what is
// written.

#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "EngineOnFakeServer.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using Request = FakeHttpServer::Request;
using Response = FakeHttpServer::Response;

// Without ignore lines nothing is posted: an existing .stignore keeps its lines.
TEST(SyncthingEngineFoldersTest, AddFolderKeepsAGivenIDAndEmptyLabelAndPostsNoEmptyIgnores)
{
    EngineOnFakeServer rig;
    rig.start();
    rig.server().setHandler([](const Request &request) {
        return Response::json(request.path() == "/rest/system/status" ? R"({"myID": "MYID777"})" : "");
    });
    NewFolderRequest request;
    request.id = QStringLiteral("tdw-given01");
    request.path = QStringLiteral("/data/Photos");
    const SyncFolder folder = awaitTask(rig.engine().addFolder(request));
    EXPECT_EQ(folder.id, QStringLiteral("tdw-given01"));
    EXPECT_EQ(folder.label, QString()); // not replaced by the ID
    QByteArrayList writes;
    for (const Request &sent : rig.requests()) {
        if (sent.method != "GET")
            writes.append(sent.method + ' ' + sent.target);
    }
    EXPECT_EQ(writes, QByteArrayList{"PUT /rest/config/folders/tdw-given01"});
}

} // namespace
} // namespace tw
