#include "platform/FreedesktopNotifier.h"

#include "AwaitTask.h"
#include "FakeNotificationServer.h"
#include "PrivateBus.h"
#include "WaitUntil.h"

#include <QScopeGuard>
#include <gtest/gtest.h>

namespace tw {
namespace {

// A name from another Mac reaches the body; a server that reads markup must
// show it as typed, and one that does not must not show escapes.
TEST(FreedesktopNotifierTest, TheBodyIsEscapedOnlyForAServerThatReadsMarkup)
{
    PrivateBus bus;
    ASSERT_FALSE(bus.address().isEmpty());
    const struct { QStringList capabilities; QString posted; } servers[] = {
        {{"body", "body-markup"}, "<i>T</i>|&lt;b&gt;Q&amp;A&lt;/b&gt;"},
        {{"body"}, "<i>T</i>|<b>Q&A</b>"},
    };
    for (const auto &server : servers) {
        const auto disconnect = qScopeGuard([] {
            QDBusConnection::disconnectFromBus("notification-server");
            QDBusConnection::disconnectFromBus("notification-client");
        });
        QDBusConnection serverBus = QDBusConnection::connectToBus(bus.address(), "notification-server");
        FakeNotificationServer fake(server.capabilities);
        ASSERT_TRUE(serverBus.registerObject("/org/freedesktop/Notifications", &fake, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(serverBus.registerService("org.freedesktop.Notifications"));

        FreedesktopNotifier notifier(QDBusConnection::connectToBus(bus.address(), "notification-client"));
        ASSERT_TRUE(awaitTask(notifier.requestAuthorization()));
        notifier.notify("<i>T</i>", "<b>Q&A</b>");
        ASSERT_TRUE(waitUntil([&] { return !fake.posted().isEmpty(); }));
        EXPECT_EQ(fake.posted(), QStringList{server.posted}) << server.capabilities.join(' ').toStdString();
    }
}

} // namespace
} // namespace tw
