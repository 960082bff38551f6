// The Mac cards and folder chips of a sync's page offscreen, on the fake
// engine.

#include "views/syncpage/DeviceCard.h"
#include "views/syncpage/FolderChip.h"

#include "app/AppEnvironment.h"
#include "views/overview/ProjectCard.h"

#include "app/texts/SyncPageTexts.h"
#include "controllers/FormatFileSize.h"
#include "design/DeviceSyncRing.h"
#include "design/ShownSymbol.h"
#include "design/StatusDot.h"
#include "design/ContrastRatio.h"
#include "design/Theme.h"

#include "QtPrinters.h"
#include "SaveShot.h"
#include "../support/SyncPageRig.h"

#include <QLabel>
#include <QShortcut>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

namespace tw {
namespace {

class SyncPageCardsTest : public SyncPageRig
{
protected:
    std::unique_ptr<DeviceCard> card(const QString &deviceID)
    {
        auto made = std::make_unique<DeviceCard>(app(), "S", deviceID);
        made->resize(320, 110);
        made->show();
        made->refresh();
        return made;
    }
    static QString status(QWidget &card) { return card.findChild<QLabel *>("status")->text(); }
    static int visibleDots(QWidget &card)
    {
        int shown = 0;
        for (StatusDot *dot : card.findChildren<StatusDot *>("folderDot"))
            shown += dot->isVisibleTo(&card) ? 1 : 0;
        return shown;
    }
    static bool showsPauseMark(QWidget &card)
    {
        auto *badge = card.findChild<QLabel *>("pauseMark");
        return card.findChild<QStackedWidget *>()->currentWidget() == badge;
    }
};

TEST_F(SyncPageCardsTest, ThisMacsCardNeverReadsPausedAndAPausedTeammateShowsThePauseMark)
{
    QList<ProjectFolder> folders;
    for (int i = 1; i <= 7; ++i)
        folders.append(folder(QStringLiteral("F%1").arg(i), QStringLiteral("st%1").arg(i)));
    makeSync(folders);
    engine.state.devices[0].isPaused = true;  // this Mac as the engine lists it
    engine.state.devices[1].isPaused = true;
    connectPeer();
    load();

    auto mine = card(local());
    EXPECT_EQ(status(*mine), SyncPageTexts::thisMac);
    EXPECT_FALSE(showsPauseMark(*mine));
    EXPECT_EQ(shownSymbol(*mine->findChild<QLabel *>("symbol")), Symbol::Desktopcomputer);
    EXPECT_EQ(visibleDots(*mine), DeviceCard::maxDots);
    // The ring, stroke and all, lies inside what holds it.
    const QWidget *ring = mine->findChild<QWidget *>("ring");
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(ring->size(), ring->sizeHint());
    EXPECT_TRUE(ring->parentWidget()->rect().contains(ring->geometry()));

    auto bob = card(kPeer);
    EXPECT_EQ(status(*bob), SyncPageTexts::paused);
    EXPECT_TRUE(showsPauseMark(*bob));
    // The syncing orange, in a shade that reads on the card.
    const QColor pausedColour = bob->findChild<QLabel *>("status")->palette().color(QPalette::WindowText);
    EXPECT_NEAR(pausedColour.hslHueF(), Theme::syncing().hslHueF(), 0.01);
    EXPECT_GE(contrastRatio(pausedColour, bob->palette().color(QPalette::Base)), markContrast);
    EXPECT_EQ(shownSymbol(*bob->findChild<QLabel *>("symbol")), Symbol::Laptopcomputer);
    EXPECT_EQ(visibleDots(*bob), DeviceCard::maxDots);
    saveShot(*mine, "device-card-this-mac");
    EXPECT_FALSE(saveShot(*bob, "device-card-paused").isNull());

    engine.state.devices[1].isPaused = false;
    app().devices().noteDevicesChanged();
    awaitTask(app().devices().refresh());
    bob->refresh();
    EXPECT_EQ(status(*bob), QStringLiteral("Online \u00b7 Fast (direct)"));
    EXPECT_FALSE(showsPauseMark(*bob));
    bob->setSelected(true);
    EXPECT_FALSE(saveShot(*bob, "device-card-selected").isNull());
}

TEST_F(SyncPageCardsTest, ASyncWithoutFoldersShowsNoDotsAndAClickIsTold)
{
    makeSync({});
    load();
    auto bob = card(kPeer);
    EXPECT_EQ(visibleDots(*bob), 0);
    EXPECT_EQ(status(*bob), SyncPageTexts::offline);
    QSignalSpy clicks(bob.get(), &DeviceCard::clicked);
    QTest::mouseClick(bob.get(), Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1);
    // Return, Enter and Space on the focused card are a click, even where
    // the window binds Return to a panel's button.
    QShortcut panelsReturn(QKeySequence(Qt::Key_Return), bob.get());
    QSignalSpy panelPresses(&panelsReturn, &QShortcut::activated);
    bob->show();
    bob->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(bob.get()));
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space})
        QTest::keyClick(bob.get(), key);
    EXPECT_EQ(clicks.count(), 4);
    EXPECT_EQ(panelPresses.count(), 0);
    EXPECT_TRUE(bob->focusPolicy() & Qt::TabFocus);
    EXPECT_FALSE(saveShot(*bob, "device-card-offline").isNull());
}

TEST_F(SyncPageCardsTest, AChipShowsTheSizeAndTheStateOnThisMac)
{
    makeSync({folder("Docs", "st1"), folder("New", std::nullopt)});
    engine.state.folderStatuses["st1"].state = FolderState::Syncing;
    engine.state.folderStatuses["st1"].needBytes = 600'000;
    load();
    const struct
    {
        QString folderID;
        QString detail;
        const char *shot;
    } rows[] = {
        {"Docs", formatFileSize(1'500'000) + QStringLiteral(" \u00b7 60%"), "folder-chip-syncing"},
        {"New", QStringLiteral("\u2014 \u00b7 0%"), "folder-chip-new"},
    };
    for (const auto &row : rows) {
        FolderChip chip(app(), "S", row.folderID);
        chip.resize(220, 70);
        chip.show();
        chip.refresh();
        EXPECT_EQ(chip.findChild<QLabel *>("detail")->text(), row.detail) << row.folderID.toStdString();
        EXPECT_EQ(chip.findChild<QLabel *>("label")->text(), row.folderID);
        QSignalSpy clicks(&chip, &FolderChip::clicked);
        QTest::keyClick(&chip, Qt::Key_Space);
        EXPECT_EQ(clicks.count(), 1);
        chip.setSelected(true);
        EXPECT_FALSE(saveShot(chip, row.shot).isNull());
    }
}

// A grid gives a card its row's height: the content keeps to the top, level
// with the card beside it, and the room left goes below.
TEST_F(SyncPageCardsTest, ACardTallerThanItsContentKeepsTheContentAtTheTop)
{
    makeSync({folder("Docs", "st1")});
    load();
    const struct
    {
        const char *card;
        std::function<std::unique_ptr<QWidget>()> build;
        const char *first;
    } rows[] = {
        {"a sync's card",
         [this] {
             auto made = std::make_unique<ProjectCard>(app(), "S");
             made->refresh(app().healthInputs());
             return std::unique_ptr<QWidget>(std::move(made));
         },
         "iconTile"},
        {"a Mac card", [this] { return std::make_unique<DeviceCard>(app(), "S", kPeer); }, "name"},
        {"a folder chip",
         [this] {
             auto made = std::make_unique<FolderChip>(app(), "S", "Docs");
             made->refresh();
             return std::unique_ptr<QWidget>(std::move(made));
         },
         "label"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.card);
        std::unique_ptr<QWidget> card = row.build();
        card->resize(480, card->sizeHint().height());
        card->show();
        settleLayouts();
        const QWidget *first = card->findChild<QWidget *>(row.first);
        ASSERT_NE(first, nullptr);
        const QPoint natural = first->mapTo(card.get(), QPoint());
        card->resize(480, card->height() + 60);
        settleLayouts();
        EXPECT_EQ(first->mapTo(card.get(), QPoint()), natural);
    }
}

} // namespace
} // namespace tw
