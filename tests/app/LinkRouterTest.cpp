#include "app/LinkRouter.h"

#include "app/AppEnvironment.h"
#include "app/LinkQueue.h"
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
    using Outcome = LinkRouter::Outcome;
    const auto dismissAll = [&] {
        while (env.pendingInvite() || env.pendingNodeSetup()) {
            env.setPendingInvite(std::nullopt);
            env.setPendingNodeSetup(std::nullopt);
        }
    };

    // Each link opens over an earlier invitation's sheet: it never takes
    // that sheet's place, and has its turn once that one is dismissed.
    const struct
    {
        const char *name;
        QString raw;
        Outcome outcome;
        std::optional<Invite> invite;
        std::optional<NodeSetupPayload> node;
    } rows[] = {
        {"an invitation", inviteLink, Outcome::Invite, invite, std::nullopt},
        {"a set-up link", "tidewellsync://node-setup?addr=http%3A%2F%2F127.0.0.1%3A8384&key=k3y", Outcome::NodeSetup,
         std::nullopt, node},
        {"an invitation whatever its host", "tidewellsync://node-setup?d=" + payload + "&addr=x&key=y",
         Outcome::Invite, invite, std::nullopt},
        {"the scheme in other letters", "TidewellSync://invite?d=" + payload, Outcome::Ignored, {}, {}},
        {"another scheme", "https://invite?d=" + payload, Outcome::Ignored, {}, {}},
        {"a broken invitation", "tidewellsync://invite?d=" + payload.left(10), Outcome::UnreadableInvite, {}, {}},
        {"an invitation that is no invitation", "tidewellsync://join?d=zzz", Outcome::UnreadableInvite, {}, {}},
        {"an invitation that names no Mac",
         InviteCodec::url({"", "Ada's Mac", "Plans", std::nullopt})->toString(QUrl::FullyEncoded),
         Outcome::UnusableInvite, {}, {}},
        {"a set-up link without its key", "tidewellsync://node-setup?addr=http%3A%2F%2F127.0.0.1%3A8384",
         Outcome::Ignored, {}, {}},
        {"no link at all", "show", Outcome::Ignored, {}, {}},
    };
    for (const auto &row : rows) {
        dismissAll();
        env.setPendingInvite(earlier);
        EXPECT_EQ(LinkRouter::route(row.raw, env), row.outcome) << row.name;
        EXPECT_EQ(env.pendingInvite(), earlier) << row.name;
        env.setPendingInvite(std::nullopt);
        EXPECT_EQ(env.pendingInvite(), row.invite) << row.name;
        EXPECT_EQ(env.pendingNodeSetup(), row.node) << row.name;
    }

    // The same link twice waits once; a flood of links waits only so far.
    env.setPendingInvite(earlier);
    LinkRouter::route(inviteLink, env);
    LinkRouter::route(inviteLink, env);
    EXPECT_EQ(env.waitingLinkCount(), 1);
    for (int i = 0; i < LinkQueue::capacity; ++i)
        LinkRouter::route(InviteCodec::url({"D" + QString::number(i), "Ada", "P", std::nullopt})->toString(QUrl::FullyEncoded), env);
    EXPECT_EQ(env.waitingLinkCount(), LinkQueue::capacity);
}

} // namespace
} // namespace tw
