// A node set-up link opened on this Mac reaches the window as its
// confirmation sheet, through the same routing the desktop's links take.

#include "views/joining/NodeSetupConfirmSheet.h"

#include "app/AppEnvironment.h"
#include "app/AppSignals.h"
#include "app/LinkRouter.h"
#include "views/window/MainWindow.h"
#include "views/window/ViewFactories.h"

#include "ViewTestEnv.h"
#include "WaitUntil.h"

#include <QLabel>
#include <QUrl>
#include <QUrlQuery>

namespace tw {
namespace {

class NodeSetupLinkTest : public ViewTestEnv
{
};

TEST_F(NodeSetupLinkTest, ARoutedSetUpLinkShowsItsConfirmationWithNameAndAddress)
{
    defaults.setBoolean(MainWindow::didCompleteSetupKey, true);
    AppSignals appSignals;
    MainWindow window(app(), appSignals, ViewFactories::standard());
    window.show();

    QUrlQuery query;
    query.addQueryItem(QStringLiteral("addr"), QString::fromLatin1(QUrl::toPercentEncoding(nodeURL())));
    query.addQueryItem(QStringLiteral("key"), kNodeKey);
    query.addQueryItem(QStringLiteral("name"), QStringLiteral("Synology"));
    const QString link = QStringLiteral("tidewellsync://node-setup?") + query.toString(QUrl::FullyEncoded);
    ASSERT_EQ(LinkRouter::route(link, app()), LinkRouter::Outcome::NodeSetup);

    NodeSetupConfirmSheet *sheet = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        sheet = window.findChild<NodeSetupConfirmSheet *>();
        return sheet && sheet->isVisible();
    }));
    QStringList texts;
    for (const QLabel *label : sheet->findChildren<QLabel *>())
        texts.append(label->text());
    EXPECT_TRUE(texts.contains(QStringLiteral("Synology"))) << texts.join(u'|').toStdString();
    EXPECT_TRUE(texts.contains(nodeURL())) << texts.join(u'|').toStdString();
}

} // namespace
} // namespace tw
