// The node set-up confirmation offscreen, on the application environment
// over the fake engine, with a fake always-on node on loopback.

#include "views/joining/NodeSetupConfirmSheet.h"

#include "app/AppEnvironment.h"
#include "cluster/NasNodeController.h"
#include "controllers/FolderController.h"
#include "design/Theme.h"
#include "projects/ProjectController.h"
#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"

#include "FakeHttpServer.h"
#include "FakeSyncEngine.h"
#include "MemoryKeychain.h"
#include "QtPrinters.h"
#include "ReadableTexts.h"
#include "RecordingNotifier.h"
#include "SaveShot.h"
#include "TextContrast.h"
#include "WaitUntil.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <gtest/gtest.h>

namespace tw {
namespace {

const QString kKey = u"k3y-7f1e0c9a5b2d4e6f8a0b1c2d3e4f5a6b"_qs;

// An environment whose always-on node answers from a fake server: its status
// gives the device ID for the right key only, everything else is accepted.
struct Rig
{
    Rig() : defaults(dir.filePath("defaults.json")), feedback(QString(), AppPaths(dir.path()))
    {
        node.listen();
        node.setHandler([this](const FakeHttpServer::Request &request) {
            if (request.path() != "/rest/system/status")
                return FakeHttpServer::Response::json("{}");
            if (request.header("X-API-Key") != kKey.toUtf8() && !acceptAnyKey)
                return FakeHttpServer::Response::text(403, "forbidden");
            return FakeHttpServer::Response::json(R"({"myID":"NODE-1"})");
        });
        AppEnvironment::Services services{AppPaths(dir.path())};
        services.defaults = &defaults;
        services.keychain = &keychain;
        services.feedback = &feedback;
        services.notifier = &notifier;
        services.lan = {QHostAddress::LocalHost, 0, 1};
        engine.state.running = true;
        env = std::make_unique<AppEnvironment>(engine, std::move(services));
    }

    NodeSetupPayload payload(const QString &key = kKey, const QString &name = "Synology") const
    {
        return {node.baseURL().toString(), key, name};
    }

    // What happened, in order: the registration, the reconciliation, the
    // folder refresh, the sheet closing.
    void watch(NodeSetupConfirmSheet &sheet)
    {
        QObject::connect(&env->nasNode(), &NasNodeController::nodesChanged, &sheet, [this] { trace << "registered"; });
        QObject::connect(&env->projects(), &ProjectController::isReconcilingChanged, &sheet, [this] {
            trace << (env->projects().isReconciling() ? "reconcile" : "reconciled");
        });
        QObject::connect(&env->folders(), &FolderController::isLoadingChanged, &sheet, [this] {
            trace << (env->folders().isLoading() ? "refresh" : "refreshed");
        });
        QObject::connect(&sheet, &QDialog::finished, &sheet, [this] { trace << "closed"; });
    }

    QTemporaryDir dir;
    UserDefaults defaults;
    MemoryKeychain keychain;
    FeedbackService feedback;
    RecordingNotifier notifier;
    FakeSyncEngine engine;
    FakeHttpServer node;
    bool acceptAnyKey = false;
    std::unique_ptr<AppEnvironment> env;
    QStringList trace;
};

QPushButton *button(QDialog &sheet, const char *name)
{
    return sheet.findChild<QPushButton *>(name);
}

QLabel *label(QDialog &sheet, const char *name)
{
    return sheet.findChild<QLabel *>(name);
}

TEST(NodeSetupConfirmSheetTest, ConnectRegistersReconcilesRefreshesThenCloses)
{
    Rig rig;
    rig.env->setPendingNodeSetup(rig.payload());
    NodeSetupConfirmSheet sheet(*rig.env, rig.payload());
    rig.watch(sheet);
    EXPECT_EQ(label(sheet, "nodeName")->text(), "Synology");
    EXPECT_EQ(label(sheet, "nodeAddress")->text(), rig.node.baseURL().toString());
    EXPECT_EQ(label(sheet, "nodeAddress")->textFormat(), Qt::PlainText);
    EXPECT_FALSE(readableTexts(sheet).join('\n').contains(kKey));
    sheet.show();
    const QImage idle = saveShot(sheet, QStringLiteral("node-confirm-idle"));
    ASSERT_FALSE(idle.isNull());
    EXPECT_EQ(idle.size(), sheet.size() * sheet.devicePixelRatio());

    button(sheet, "connect")->click();
    ASSERT_TRUE(waitUntil([&] { return rig.trace.contains("closed"); }));
    EXPECT_EQ(rig.trace, QStringList({"registered", "reconcile", "reconciled", "refresh", "refreshed", "closed"}));
    EXPECT_EQ(rig.env->nasNode().nodes(), QList<NasNode>({{rig.node.baseURL().toString(), "NODE-1", "Synology"}}));
    EXPECT_EQ(rig.keychain.items.value("nasApiKey-NODE-1"), kKey);
    EXPECT_EQ(sheet.result(), QDialog::Accepted);
    EXPECT_EQ(rig.env->pendingNodeSetup(), std::nullopt);
}

TEST(NodeSetupConfirmSheetTest, ARefusedKeyShowsTheReasonAndAHeldRetryCanBeCancelled)
{
    Rig rig;
    NodeSetupConfirmSheet sheet(*rig.env, rig.payload("wrong-key"));
    rig.watch(sheet);
    sheet.show();
    // Where "Connect" comes to rest: once the sheet is on screen and laid out.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
    settleLayouts();
    QPushButton *connect = button(sheet, "connect");
    const QPoint connectAt = connect->mapTo(&sheet, QPoint());
    connect->click();
    ASSERT_TRUE(waitUntil([&] { return !sheet.connecting(); }));
    QLabel *error = label(sheet, "error");
    EXPECT_TRUE(error->isVisible());
    // "Connect" stays under the pointer for another try.
    settleLayouts();
    EXPECT_EQ(connect->mapTo(&sheet, QPoint()), connectAt);
    EXPECT_EQ(error->text(), u"Couldn't reach the node at "_qs + rig.node.baseURL().toString() +
                                 u". Check the address and API key (Syncthing \u2192 Actions \u2192 Settings \u2192 "
                                 u"API Key)."_qs);
    EXPECT_TRUE(test::isShadeOf(error->palette().color(QPalette::WindowText), Theme::danger()));
    EXPECT_TRUE(connect->isEnabled());
    EXPECT_EQ(connect->text(), "Connect");
    EXPECT_FALSE(readableTexts(sheet).join('\n').contains("wrong-key"));
    const QImage failed = saveShot(sheet, QStringLiteral("node-confirm-failed"));
    ASSERT_FALSE(failed.isNull());
    EXPECT_EQ(failed.size(), sheet.size() * sheet.devicePixelRatio());
    EXPECT_TRUE(shotShowsColour(failed, shotArea(failed, sheet, *error), Theme::danger()));

    // The node answers again, but only once the test lets it.
    rig.acceptAnyKey = true;
    rig.node.hold();
    connect->click();
    EXPECT_FALSE(error->isVisible());
    EXPECT_EQ(connect->text(), u"Connecting\u2026"_qs);
    EXPECT_FALSE(connect->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return rig.node.requests().size() == 2; }));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&sheet, &enter);
    runEventLoopFor(50);
    EXPECT_EQ(rig.node.requests().size(), 2);

    button(sheet, "cancel")->click();
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(sheet.result(), QDialog::Rejected);
    rig.node.release();
    ASSERT_TRUE(waitUntil([&] { return rig.trace.contains("refreshed"); }));
    EXPECT_EQ(rig.env->nasNode().nodes().size(), 1);
    EXPECT_EQ(rig.trace.count("closed"), 1);
}

// A link's address with more after it is never offered for "Connect".
TEST(NodeSetupConfirmSheetTest, AnAddressThatIsNotOneWebAddressIsRefused)
{
    Rig rig;
    NodeSetupPayload payload = rig.payload();
    payload.baseURL += " evil";
    NodeSetupConfirmSheet sheet(*rig.env, payload);
    sheet.show();
    EXPECT_FALSE(button(sheet, "connect")->isEnabled());
    EXPECT_TRUE(label(sheet, "error")->isVisible());
    EXPECT_TRUE(label(sheet, "error")->text().startsWith("This address isn't one web address"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&sheet, &enter);
    EXPECT_FALSE(sheet.connecting());
    EXPECT_TRUE(rig.node.requests().isEmpty());
}

TEST(NodeSetupConfirmSheetTest, AnEmptyNameRegistersTheDefaultName)
{
    Rig rig;
    NodeSetupConfirmSheet sheet(*rig.env, rig.payload(kKey, ""));
    rig.watch(sheet);
    EXPECT_EQ(label(sheet, "nodeName")->text(), "");
    button(sheet, "connect")->click();
    ASSERT_TRUE(waitUntil([&] { return rig.trace.contains("closed"); }));
    EXPECT_EQ(rig.env->nasNode().nodes().value(0).name, "Always-on node");
}

// Another link that arrived meanwhile stays for the window to show.
TEST(NodeSetupConfirmSheetTest, ClosingClearsOnlyItsOwnPendingSetUp)
{
    Rig rig;
    const NodeSetupPayload other{"http://192.0.2.7:8384", "other", "Attic"};
    for (const bool stillOurs : {true, false}) {
        rig.env->setPendingNodeSetup(stillOurs ? rig.payload() : other);
        NodeSetupConfirmSheet sheet(*rig.env, rig.payload());
        button(sheet, "cancel")->click();
        EXPECT_EQ(rig.env->pendingNodeSetup(), stillOurs ? std::nullopt : std::optional(other)) << stillOurs;
    }
    EXPECT_TRUE(rig.env->nasNode().nodes().isEmpty());
    EXPECT_TRUE(rig.node.requests().isEmpty());
}

} // namespace
} // namespace tw
