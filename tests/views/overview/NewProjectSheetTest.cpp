#include "views/overview/NewProjectSheet.h"

#include "controllers/DeviceController.h"
#include "projects/ProjectController.h"
#include "views/kit/KeyboardFocus.h"

#include "AwaitTask.h"
#include "SaveShot.h"
#include "ViewTestEnv.h"
#include "WaitUntil.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>

namespace tw {
namespace {

class NewProjectSheetTest : public ViewTestEnv
{
protected:
    void knowPeers(const QStringList &names)
    {
        engine.state.devices.clear();
        SyncDevice self;
        self.id = engine.state.localDeviceID;
        self.name = QStringLiteral("This Mac");
        self.isThisDevice = true;
        engine.state.devices.append(self);
        for (const QString &name : names) {
            SyncDevice peer;
            peer.id = idOf(name);
            peer.name = name;
            engine.state.devices.append(peer);
        }
        // The device list is read in full at most once per interval.
        clock.advanceMs(3'600'000);
        awaitTask(app().devices().refresh());
    }
    static QString idOf(const QString &name) { return name.toUpper() + QStringLiteral("-AAAAAAA-BBBBBBB"); }

    std::unique_ptr<NewProjectSheet> makeSheet()
    {
        auto sheet = std::make_unique<NewProjectSheet>(app(), [this](QString id) { created.append(id); });
        sheet->show();
        return sheet;
    }

    QStringList created;
};

TEST_F(NewProjectSheetTest, NameTestKeepsCreateDisabledForBlanksAndTheControllerNamesTheSync)
{
    auto sheet = makeSheet();
    EXPECT_EQ(sheet->findChild<QLabel *>(QStringLiteral("noPeopleHint"))->text(),
              QStringLiteral("Next: add the drive to sync, then invite your team."));
    EXPECT_TRUE(sheet->findChildren<QCheckBox *>().isEmpty());
    EXPECT_EQ(sheet->nameField()->placeholderText(), QStringLiteral("Sync name (e.g. your film)"));
    EXPECT_FALSE(sheet->createButton()->isEnabled());
    for (const QString &blank : {QStringLiteral("  \t "), QStringLiteral(" \u00A0 ")}) {
        sheet->nameField()->setText(blank);
        EXPECT_FALSE(sheet->createButton()->isEnabled());
        // Return does nothing while "Create" is disabled.
        QTest::keyClick(sheet->nameField(), Qt::Key_Return);
        EXPECT_TRUE(app().projects().projects().isEmpty());
    }
    saveShot(*sheet, QStringLiteral("new-project-sheet"));
    sheet->nameField()->setText(QStringLiteral("\n\n"));
    ASSERT_TRUE(sheet->createButton()->isEnabled());
    QTest::keyClick(sheet->nameField(), Qt::Key_Return);
    ASSERT_EQ(app().projects().projects().size(), 1);
    EXPECT_EQ(app().projects().projects().first().name, QStringLiteral("New Sync"));
    EXPECT_EQ(created, QStringList{app().projects().projects().first().id});
    EXPECT_FALSE(sheet->isVisible());

    auto second = makeSheet();
    second->nameField()->setText(QStringLiteral(" Film "));
    second->createButton()->click();
    ASSERT_EQ(app().projects().projects().size(), 2);
    EXPECT_EQ(app().projects().projects().last().name, QStringLiteral("Film"));
    EXPECT_EQ(created.last(), app().projects().projects().last().id);
    EXPECT_TRUE(app().projects().projects().last().members.isEmpty());
}

TEST_F(NewProjectSheetTest, MacsTheEngineLearnsWhileItIsOpenAreOfferedAndChoicesStay)
{
    engine.state.running = true;
    auto sheet = makeSheet();
    const auto heading = [&]() -> QLabel * {
        for (QLabel *label : sheet->findChildren<QLabel *>())
            if (label->text() == NewProjectSheet::peopleHeading)
                return label;
        return nullptr;
    };
    auto *hint = sheet->findChild<QLabel *>(QStringLiteral("noPeopleHint"));
    ASSERT_TRUE(hint);
    EXPECT_TRUE(hint->isVisible());

    // A control added to a shown layout shows a turn later.
    const auto shownToggle = [&](const char *name) {
        QCheckBox *toggle = sheet->personToggle(idOf(QString::fromLatin1(name)));
        return toggle && toggle->isVisible();
    };
    knowPeers({QStringLiteral("Ann")});
    ASSERT_TRUE(waitUntil([&] { return shownToggle("Ann"); }));
    EXPECT_FALSE(hint->isVisible());
    ASSERT_TRUE(heading());
    EXPECT_TRUE(heading()->isVisible());
    EXPECT_EQ(heading()->font().weight(), QFont::Medium);
    QCheckBox *ann = sheet->personToggle(idOf(QStringLiteral("Ann")));
    ann->setChecked(true);

    knowPeers({QStringLiteral("Ann"), QStringLiteral("Bob")});
    ASSERT_TRUE(waitUntil([&] { return shownToggle("Bob"); }));
    EXPECT_EQ(sheet->personToggle(idOf(QStringLiteral("Ann"))), ann);
    EXPECT_TRUE(ann->isChecked());
    // Tab reads the sheet as the eye does, the people made after the buttons included.
    sheet->nameField()->setText(QStringLiteral("Film"));
    settleLayouts();
    const QList<QWidget *> stops = KeyboardFocus::stopsAsRead(*sheet);
    const QList<QWidget *> read{sheet->nameField(), ann, sheet->personToggle(idOf(QStringLiteral("Bob"))), sheet->createButton()};
    EXPECT_GE(stops.indexOf(read[0]), 0);
    for (qsizetype i = 1; i < read.size(); ++i)
        EXPECT_LT(stops.indexOf(read[i - 1]), stops.indexOf(read[i])) << i;
}

TEST_F(NewProjectSheetTest, AddsOnlyTheSelectedPeopleStillKnownInListOrderAsEditors)
{
    engine.state.running = true;
    knowPeers({QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("Cy"), QStringLiteral("Dee")});
    auto sheet = makeSheet();
    ASSERT_EQ(sheet->findChildren<QCheckBox *>().size(), 4);
    for (const QString &name : {QStringLiteral("Dee"), QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("Cy")})
        sheet->personToggle(idOf(name))->setChecked(true);
    // Cy is gone from the engine before "Create".
    knowPeers({QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("Dee")});
    // The first addition is refused; the others still follow.
    engine.failNext(QStringLiteral("devices"), SyncEngineError::backend(QStringLiteral("refused")));
    QStringList errors;
    QObject::connect(&app().projects(), &ProjectController::lastErrorMessageChanged, &app(), [&] {
        if (app().projects().lastErrorMessage())
            errors.append(*app().projects().lastErrorMessage());
    });
    sheet->nameField()->setText(QStringLiteral("Team"));
    sheet->createButton()->click();
    sheet.reset();  // the additions outlive the sheet

    ASSERT_EQ(created.size(), 1);
    ASSERT_TRUE(waitUntil([&] {
        const std::optional<Project> project = app().projects().project(created.first());
        return project && project->members.size() >= 2 && !app().projects().isReconciling();
    }));
    const Project project = *app().projects().project(created.first());
    QStringList members;
    for (const ProjectMember &member : project.members) {
        if (member.deviceID == engine.state.localDeviceID || member.isAlwaysOnNode)
            continue;
        members.append(member.displayName);
        EXPECT_EQ(member.role, MemberRole::Editor);
    }
    EXPECT_EQ(members, (QStringList{QStringLiteral("Bob"), QStringLiteral("Dee")}));
    EXPECT_EQ(errors.value(0), QStringLiteral("Couldn't add \u2068" "Ann\u2069 to Syncthing \u2014 check the connection and try again."));
}

} // namespace
} // namespace tw
