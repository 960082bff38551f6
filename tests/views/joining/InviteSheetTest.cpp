// The invite sheet offscreen, on the real controllers over the fake engine,
// with a fake always-on node on loopback and a given tailnet address.

#include "views/joining/InviteSheet.h"

#include "cluster/InviteCodec.h"
#include "cluster/NasNodeController.h"
#include "design/ButtonTint.h"
#include "design/ContrastRatio.h"
#include "design/Theme.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "design/TextStyle.h"
#include "projects/ProjectController.h"
#include "views/kit/DisclosureGroup.h"
#include "views/kit/PanelTexts.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SaveShot.h"
#include "ScreenChecks.h"
#include "TextContrast.h"
#include "ViewTestEnv.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QAbstractItemView>
#include <QTest>

namespace tw {
namespace {

const QString kPeerA = QStringLiteral("PEERAAA-AAAAAAA-AAAAAAA-AAAAAAA-AAAAAAA-AAAAAAA-AAAAAAA-AAAAAAA");
const QString kPeerB = QStringLiteral("PEERBBB-BBBBBBB-BBBBBBB-BBBBBBB-BBBBBBB-BBBBBBB-BBBBBBB-BBBBBBB");
const QString kTailnet = QStringLiteral("100.101.102.103");

class InviteSheetTest : public ViewTestEnv
{
protected:
    void SetUp() override
    {
        ViewTestEnv::SetUp();
        project = app().projects().createProject("Film", std::nullopt);
    }

    void loadDevices()
    {
        awaitTask(app().devices().refresh());
        QCoreApplication::processEvents();
    }

    std::unique_ptr<InviteSheet> sheet(std::optional<QString> tailnet = kTailnet)
    {
        auto made = std::make_unique<InviteSheet>(app(), project.id, nullptr, [tailnet] { return tailnet; });
        made->show();
        QCoreApplication::processEvents();
        return made;
    }

    static QPushButton *button(QWidget &sheet, const QString &name) { return sheet.findChild<QPushButton *>(name); }
    static QWidget *part(QWidget &sheet, const QString &name) { return sheet.findChild<QWidget *>(name); }
    static QPoint donePlace(QWidget &sheet) { return button(sheet, "done")->mapTo(&sheet, QPoint()); }

    std::optional<ProjectMember> member(const QString &deviceID) const
    {
        const std::optional<Project> now = app().projects().project(project.id);
        for (const ProjectMember &m : now->members)
            if (m.deviceID == deviceID)
                return m;
        return std::nullopt;
    }

    Project project;
};

TEST_F(InviteSheetTest, ShowingOpensThePairingWindowAndTheLinkCarriesThisMac)
{
    loadDevices();
    struct Case { std::optional<QString> tailnet; QString deviceName; QString invitedAs; };
    const QList<Case> cases = {{kTailnet, QString(), "My Mac"}, {std::nullopt, "Studio", "Studio"}};
    for (const Case &c : cases) {
        app().engineState().storeDeviceName(c.deviceName);
        auto invite = sheet(c.tailnet);
        EXPECT_EQ(app().projects().pairingProjectID(), project.id);
        EXPECT_EQ(app().projects().pairingUntil(), app().now().addSecs(600));
        button(*invite, "copyLink")->click();
        const QString copied = QApplication::clipboard()->text();
        EXPECT_TRUE(copied.startsWith(InviteCodec::linkPrefix));
        const std::optional<Invite> decoded = InviteCodec::decode(copied);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->deviceID, engine.state.localDeviceID);
        EXPECT_EQ(decoded->name, c.invitedAs);
        EXPECT_EQ(decoded->project, "Film");
        EXPECT_EQ(decoded->tsIP, c.tailnet);
        EXPECT_EQ(part(*invite, "tailscale")->isVisibleTo(invite.get()), c.tailnet.has_value());
        EXPECT_EQ(invite->shownCode(), InviteCodec::code(*decoded));
        QApplication::clipboard()->clear();
        button(*invite, "share")->click();
        EXPECT_EQ(QApplication::clipboard()->text(), copied);
    }
    EXPECT_EQ(sheet()->findChild<QLabel *>("tailscale")->text(),
              "Tailscale active (100.101.102.103) \u2014 this invite also works through locked-down office networks.");
}

TEST_F(InviteSheetTest, NoInvitationLeavesBeforeThisMacsIDIsKnown)
{
    auto invite = sheet();
    EXPECT_FALSE(button(*invite, "copyLink")->isEnabled());
    EXPECT_FALSE(button(*invite, "share")->isEnabled());
    EXPECT_TRUE(invite->findChild<QLabel *>("notReady")->isVisible());
    EXPECT_EQ(invite->findChild<QLabel *>("notReady")->text(), "This Mac isn't ready yet \u2014 try again in a moment.");
    EXPECT_FALSE(part(*invite, "qrCode")->isVisible());
    QApplication::clipboard()->setText("before");
    invite->copyLink();
    EXPECT_EQ(QApplication::clipboard()->text(), "before");
    EXPECT_EQ(invite->qrRenders(), 0);

    loadDevices();
    ASSERT_TRUE(waitUntil([&] { return button(*invite, "copyLink")->isEnabled(); }));
    EXPECT_TRUE(button(*invite, "share")->isEnabled());
    EXPECT_FALSE(invite->findChild<QLabel *>("notReady")->isVisible());
    EXPECT_TRUE(part(*invite, "qrCode")->isVisible());
    EXPECT_EQ(invite->qrRenders(), 1);
    // A change that leaves the invitation as it is remakes no QR image.
    app().projects().createProject("Other", std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return app().projects().projects().size() == 2; }));
    runEventLoopFor(20);
    EXPECT_EQ(invite->qrRenders(), 1);
}

TEST_F(InviteSheetTest, ChipsListKnownNonMembersAndAddWithThePickedRole)
{
    engine.state.devices = {{.id = engine.state.localDeviceID, .name = "Me", .isThisDevice = true},
                            {.id = kPeerA, .name = "Ann"},
                            {.id = kPeerB, .name = "Bob"},
                            {.id = kNodeDeviceID, .name = "Vault"}};
    loadDevices();
    // Adding a member reconciles, which would bring a configured node in too.
    awaitTask(app().projects().addMember(project.id, kPeerA, "Ann", MemberRole::Editor, false, std::nullopt));
    ASSERT_TRUE(configureNode("Vault"));
    auto invite = sheet();
    EXPECT_EQ(part(*invite, "chip:" + kPeerA), nullptr);
    EXPECT_EQ(part(*invite, "chip:" + kNodeDeviceID), nullptr);
    QPushButton *bob = button(*invite, "chip:" + kPeerB);
    ASSERT_NE(bob, nullptr);
    // The name in the accent's shade that reads on the chip's wash.
    const QImage face = bob->grab().toImage();
    const QColor wash = face.pixelColor(face.width() - 4, face.height() / 2);
    const QColor name = test::strongestPixel(face, wash, face.rect().adjusted(25, 0, -9, 0));
    EXPECT_GE(contrastRatio(name, wash), markContrast) << name.name().toStdString();
    EXPECT_NEAR(name.toHsl().hslHueF(), Theme::accent().toHsl().hslHueF(), 0.02) << name.name().toStdString();
    EXPECT_TRUE(part(*invite, "contacts")->isVisible());
    EXPECT_TRUE(part(*invite, "node")->isVisible());
    EXPECT_EQ(invite->findChild<QLabel *>("nodeName")->text(), "Vault");
    EXPECT_TRUE(button(*invite, "addNode")->isVisible());
    EXPECT_EQ(TintedButtonPainter::tintOf(*button(*invite, "addNode")), ButtonTint::Prominent);
    EXPECT_FALSE(part(*invite, "nodeMember")->isVisible());
    EXPECT_FALSE(saveShot(*invite, "invite-sheet-full").isNull());

    button(*invite, "addNode")->click();
    ASSERT_TRUE(waitUntil([&] { return part(*invite, "nodeMember")->isVisible(); }));
    EXPECT_FALSE(button(*invite, "addNode")->isVisible());
    EXPECT_TRUE(member(kNodeDeviceID).has_value());
    // "In this sync" ends the node's row.
    EXPECT_FALSE(saveShot(*invite, "invite-sheet-node-member").isNull());
    QWidget *node = part(*invite, "node");
    for (QLabel *label : part(*invite, "nodeMember")->findChildren<QLabel *>()) {
        if (label->text() != texts::inThisSync)
            continue;
        const int textEnd = label->mapTo(node, label->contentsRect().topLeft()).x() +
                            label->fontMetrics().horizontalAdvance(texts::inThisSync);
        EXPECT_GE(textEnd, node->width() - 2);
    }

    invite->findChild<QComboBox *>("role")->setCurrentIndex(1);
    settleLayouts();
    const QPoint doneBefore = donePlace(*invite);
    engine.hold("addDevice");
    bob->click();
    EXPECT_FALSE(bob->isEnabled());
    bob->click();
    engine.release("addDevice");
    ASSERT_TRUE(waitUntil([&] { return member(kPeerB).has_value(); }));
    EXPECT_EQ(member(kPeerB)->role, MemberRole::Viewer);
    EXPECT_EQ(member(kPeerB)->displayName, "Bob");
    // Bob is a member now; his chip stays, added, and nothing moves.
    settleLayouts();
    EXPECT_TRUE(part(*invite, "contacts")->isVisible());
    EXPECT_FALSE(bob->isEnabled());
    EXPECT_EQ(donePlace(*invite), doneBefore);
    const QList<ProjectMember> members = app().projects().project(project.id)->members;
    EXPECT_EQ(std::count_if(members.cbegin(), members.cend(),
                            [](const ProjectMember &m) { return m.deviceID == kPeerB; }),
              1);
}

// A name a Mac announces is as long as its owner made it: its chip takes the
// line and ends in "…", and the sheet keeps its width.
TEST_F(InviteSheetTest, ALongKnownNameEndsInAnEllipsisWithinItsLine)
{
    const QString name =
        QStringLiteral("Laptop in the colour grading suite upstairs, second desk by the window, the one with the blinds");
    engine.state.devices = {{.id = engine.state.localDeviceID, .name = "Me", .isThisDevice = true},
                            {.id = kPeerB, .name = name}};
    loadDevices();
    auto invite = sheet();
    settleLayouts();
    QPushButton *chip = button(*invite, "chip:" + kPeerB);
    ASSERT_NE(chip, nullptr);
    EXPECT_TRUE(chip->text().startsWith(QStringLiteral("Laptop in"))) << chip->text().toStdString();
    EXPECT_TRUE(chip->text().endsWith(QChar(0x2026))) << chip->text().toStdString();
    EXPECT_EQ(screenchecks::placementFaults(*invite), QStringList());
}

TEST_F(InviteSheetTest, DoneAddsAPastedMacWithItsTailnetAddress)
{
    loadDevices();
    const QString ipv6 = "fd7a:115c:a1e0::1";
    const QString bareID = QString(50, QLatin1Char('C'));
    struct Case { QString paste; std::optional<QString> id; QString name; std::optional<QStringList> addresses; QString line; };
    const QList<Case> cases = {
        {InviteCodec::code({kPeerA, "Ann", "Film", ipv6}), kPeerA, "Ann",
         QStringList{"dynamic", "tcp://[" + ipv6 + "]:22000"}, "\u2192 will add \u2068" "Ann\u2069"},
        {bareID, bareID, "Mac", std::nullopt, "\u2192 will add their Mac"},
        {InviteCodec::code({kPeerB, QString(300, 'W'), "Film", std::nullopt}), kPeerB, QString(300, 'W'), std::nullopt,
         "\u2192 will add \u2068" + QString(300, 'W') + u'\u2069'},
        {"not an invitation", std::nullopt, {}, std::nullopt, {}},
    };
    for (const Case &c : cases) {
        engine.deviceRequests.clear();
        auto invite = sheet();
        // Fixed pitch at the caption's size.
        EXPECT_EQ(invite->findChild<QLineEdit *>("paste")->font().pointSizeF(),
                  textStyleFont(TextStyle::Caption).pointSizeF());
        invite->findChild<DisclosureGroup *>("pasteGroup")->setExpanded(true);
        settleLayouts();
        const QPoint done = donePlace(*invite);
        invite->findChild<QLineEdit *>("paste")->setText(c.paste);
        settleLayouts();
        EXPECT_EQ(donePlace(*invite), done);
        QLabel *line = invite->findChild<QLabel *>("willAdd");
        EXPECT_EQ(!line->isHidden(), c.id.has_value());
        EXPECT_EQ(line->property("fullText").toString(), c.line);
        int closed = 0;
        QObject::connect(invite.get(), &QDialog::finished, [&closed] { ++closed; });
        button(*invite, "done")->click();
        EXPECT_EQ(closed, 1);
        if (!c.id) {
            runEventLoopFor(20);
            EXPECT_TRUE(engine.deviceRequests.isEmpty());
            continue;
        }
        ASSERT_TRUE(waitUntil([&] { return member(*c.id).has_value(); }));
        EXPECT_EQ(member(*c.id)->displayName, c.name);
        ASSERT_EQ(engine.deviceRequests.size(), 1);
        EXPECT_EQ(engine.deviceRequests.front().addresses, c.addresses);
    }
}

// Return in the open "They get:" list picks the entry and no more: the
// sheet stays open and adds nobody until "Done".
TEST_F(InviteSheetTest, ReturnInTheOpenListOnlyPicksTheAccess)
{
    auto invite = sheet();
    invite->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(invite.get()));
    invite->findChild<QLineEdit *>("paste")->setText(InviteCodec::code({kPeerA, "Ann", "Film", std::nullopt}));
    auto *role = invite->findChild<QComboBox *>("role");
    role->setFocus();
    role->showPopup();
    ASSERT_TRUE(waitUntil([&] { return role->view()->isVisible(); }));
    QTest::keyClick(role->view(), Qt::Key_Down);
    QTest::keyClick(role->view(), Qt::Key_Return);
    runEventLoopFor(20);
    EXPECT_FALSE(role->view()->isVisible());
    EXPECT_EQ(role->currentText(), texts::receiveOnly);
    EXPECT_TRUE(invite->isVisible());
    EXPECT_FALSE(member(kPeerA));
    EXPECT_TRUE(engine.deviceRequests.isEmpty());
}

TEST_F(InviteSheetTest, TheSpinnerTurnsUntilAMacThatAskedToJoinIsAllowedIn)
{
    loadDevices();
    auto invite = sheet();
    EXPECT_TRUE(part(*invite, "spinner")->isVisible());
    // The sheet looks again once the environment tells of its changes.
    QSignalSpy told(&app(), &AppEnvironment::stateChanged);
    // A Mac asking to join another sync is not the one this sheet waits for.
    app().projects().setPendingDeviceApproval(ProjectController::PendingDeviceApproval{kPeerB, "Bob", "other", "Other"});
    ASSERT_TRUE(waitUntil([&] { return told.size() == 1; }));
    awaitTask(app().projects().addMember(project.id, kPeerB, "Bob", MemberRole::Editor, false, std::nullopt));
    const qsizetype before = told.size();
    app().projects().setPendingDeviceApproval(ProjectController::PendingDeviceApproval{kPeerA, "Ann", project.id, "Film"});
    ASSERT_TRUE(waitUntil([&] { return told.size() > before; }));
    EXPECT_TRUE(part(*invite, "spinner")->isVisible());
    EXPECT_FALSE(part(*invite, "joined")->isVisible());

    awaitTask(app().projects().approvePendingDevice());
    ASSERT_TRUE(waitUntil([&] { return part(*invite, "joined")->isVisible(); }));
    EXPECT_FALSE(part(*invite, "spinner")->isVisible());
    EXPECT_FALSE(saveShot(*invite, "invite-sheet-joined").isNull());
}

TEST_F(InviteSheetTest, WithoutKnownMacsOrANodeTheirSectionsAreAbsent)
{
    loadDevices();
    auto invite = sheet(std::nullopt);
    EXPECT_FALSE(part(*invite, "contacts")->isVisible());
    EXPECT_FALSE(part(*invite, "node")->isVisible());
    EXPECT_FALSE(part(*invite, "tailscale")->isVisible());
    EXPECT_FALSE(saveShot(*invite, "invite-sheet-plain").isNull());
}

} // namespace
} // namespace tw
