#include "app/LinkRouter.h"

#include "app/AppEnvironment.h"
#include "cluster/InviteCodec.h"
#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"

#include "FakeSyncEngine.h"
#include "MemoryKeychain.h"
#include "QtPrinters.h"

#include <QHostAddress>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(LinkRouterTest, AnInvitationFirstANodeSetUpSecondAnythingElseNowhere)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.json"));
    MemoryKeychain keychain;
    FeedbackService feedback(QString(), AppPaths(dir.path()));
    FakeSyncEngine engine;
    AppEnvironment::Services services{AppPaths(dir.path())};
    services.defaults = &defaults;
    services.keychain = &keychain;
    services.feedback = &feedback;
    services.lan = {QHostAddress::LocalHost, 0, 1};
    AppEnvironment env(engine, std::move(services));

    const Invite invite{"AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG-HHHHHHH", "Ada's Mac", "Plans",
                        std::nullopt};
    const QString inviteLink = InviteCodec::url(invite)->toString(QUrl::FullyEncoded);
    const QString payload = inviteLink.mid(InviteCodec::linkPrefix.size());
    const Invite earlier{"ZZZZZZZ-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG-HHHHHHH", "Old", "Old", std::nullopt};
    const NodeSetupPayload node{"http://127.0.0.1:8384", "k3y", "Synology NAS"};
    const NodeSetupPayload earlierNode{"http://127.0.0.1:9999", "old", "Shelf"};
    using Outcome = LinkRouter::Outcome;

    const struct
    {
        const char *name;
        QString raw;
        Outcome outcome;
        std::optional<Invite> invite;
        std::optional<NodeSetupPayload> node;
    } rows[] = {
        {"an invitation", inviteLink, Outcome::Invite, invite, earlierNode},
        {"a set-up link", "tidewellsync://node-setup?addr=http%3A%2F%2F127.0.0.1%3A8384&key=k3y", Outcome::NodeSetup,
         earlier, node},
        {"an invitation whatever its host", "tidewellsync://node-setup?d=" + payload + "&addr=x&key=y",
         Outcome::Invite, invite, earlierNode},
        {"the scheme in other letters", "TidewellSync://invite?d=" + payload, Outcome::Ignored, earlier, earlierNode},
        {"another scheme", "https://invite?d=" + payload, Outcome::Ignored, earlier, earlierNode},
        {"a broken invitation", "tidewellsync://invite?d=" + payload.left(10), Outcome::UnreadableInvite, earlier,
         earlierNode},
        {"an invitation that is no invitation", "tidewellsync://join?d=zzz", Outcome::UnreadableInvite, earlier,
         earlierNode},
        {"an invitation that names no Mac",
         InviteCodec::url({"", "Ada's Mac", "Plans", std::nullopt})->toString(QUrl::FullyEncoded),
         Outcome::UnusableInvite, earlier, earlierNode},
        {"a set-up link without its key", "tidewellsync://node-setup?addr=http%3A%2F%2F127.0.0.1%3A8384",
         Outcome::Ignored, earlier, earlierNode},
        {"no link at all", "show", Outcome::Ignored, earlier, earlierNode},
    };
    for (const auto &row : rows) {
        env.setPendingInvite(earlier);
        env.setPendingNodeSetup(earlierNode);
        EXPECT_EQ(LinkRouter::route(row.raw, env), row.outcome) << row.name;
        EXPECT_EQ(env.pendingInvite(), row.invite) << row.name;
        EXPECT_EQ(env.pendingNodeSetup(), row.node) << row.name;
    }
}

} // namespace
} // namespace tw
