// The removal from the other Macs offscreen on the view-test rig: when it
// may start, what it sends, and the result it shows; the removal itself is
// held and answered by the test except where the environment refuses it.

#include "views/panels/PurgePanel.h"

#include "cluster/NasNodeController.h"
#include "design/ContrastRatio.h"
#include "design/Theme.h"
#include "views/kit/PanelTexts.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SaveShot.h"
#include "ViewTestEnv.h"
#include "WaitUntil.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <gtest/gtest.h>
#include <qcoro/qcorosignal.h>

namespace tw {
namespace {

constexpr PurgeOutcome::NodeCopy kHidden = PurgeOutcome::NodeCopy::Hidden;
constexpr PurgeOutcome::LocalCopy kSyncs = PurgeOutcome::LocalCopy::SyncsAsBefore;

// Answers `outcome` at once, or once `gate` is triggered when held.
QCoro::Task<PurgeOutcome> answer(QAction *gate, bool held, PurgeOutcome outcome)
{
    if (held)
        co_await qCoro(gate, &QAction::triggered);
    co_return outcome;
}

class PurgePanelTest : public ViewTestEnv
{
protected:
    void SetUp() override
    {
        ViewTestEnv::SetUp();
        folder = {.id = "F", .label = "Work", .localPath = "/Volumes/Media/Work", .syncthingFolderID = "st"};
    }

    std::unique_ptr<PurgePanel> panel()
    {
        const PurgePanel::Purge purge = [this](QString projectID, QString folderID, QString anchored) {
            sent.append({projectID, folderID, anchored});
            return answer(&gate, held, outcome);
        };
        auto made = std::make_unique<PurgePanel>(app(), "S", folder, nullptr, purge);
        QObject::connect(made.get(), &PurgePanel::finished, [this] { ++finished; });
        // As the inspector holds it.
        made->resize(600, 440);
        made->show();
        return made;
    }

    static QLineEdit *field(PurgePanel &panel, const char *name) { return panel.findChild<QLineEdit *>(name); }
    static QLabel *label(PurgePanel &panel, const char *name) { return panel.findChild<QLabel *>(name); }
    static QPushButton *button(PurgePanel &panel, const char *name)
    {
        return panel.findChild<QPushButton *>(name);
    }
    static void type(PurgePanel &panel, const QString &subpath, const QString &confirm)
    {
        field(panel, "subpath")->setText(subpath);
        field(panel, "confirm")->setText(confirm);
    }

    ProjectFolder folder;
    QAction gate;
    bool held = false;
    PurgeOutcome outcome;
    QList<QStringList> sent;
    int finished = 0;
};

TEST_F(PurgePanelTest, TheButtonWaitsForAnExactConfirmationAndANode)
{
    const struct
    {
        QString subpath;
        QString confirm;
        bool enabled;
        QString placeholder;
    } rows[] = {
        {"  Backups/Old \n", "Backups/Old", true, "Backups/Old"},
        {"Backups/Old", "Backups/Old ", false, "Backups/Old"},
        {"Backups/Old", "backups/old", false, "Backups/Old"},
        {"   ", "", false, "type the path above"},
        {"   ", "   ", false, "type the path above"},
    };
    auto shown = panel();
    type(*shown, "Backups/Old", "Backups/Old");
    EXPECT_FALSE(shown->canRun());
    EXPECT_TRUE(label(*shown, "nodeNote")->isVisible());
    EXPECT_EQ(label(*shown, "nodeNote")->text(), texts::purgeNeedsNode);
    EXPECT_TRUE(label(*shown, "nodeNote")->text().endsWith(u"Set it up under Settings \u2192 Team."_qs));
    EXPECT_FALSE(button(*shown, "remove")->isEnabled());

    ASSERT_TRUE(configureNode());
    EXPECT_FALSE(label(*shown, "nodeNote")->isVisible());
    // The preview appears in room kept for it: the confirmation stays put.
    type(*shown, "", "");
    QCoreApplication::sendPostedEvents();
    const auto confirmAt = [&] { return field(*shown, "confirm")->mapTo(shown.get(), QPoint()).y(); };
    const int confirmY = confirmAt();
    for (const auto &row : rows) {
        type(*shown, row.subpath, row.confirm);
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(confirmAt(), confirmY) << row.subpath.toStdString();
        EXPECT_EQ(shown->canRun(), row.enabled) << row.subpath.toStdString() << "|" << row.confirm.toStdString();
        EXPECT_EQ(button(*shown, "remove")->isEnabled(), row.enabled);
        EXPECT_EQ(field(*shown, "confirm")->placeholderText(), row.placeholder);
        EXPECT_EQ(label(*shown, "keptPreview")->isVisible(), !row.subpath.trimmed().isEmpty());
    }
    // Red with white text that reads while it can run; dimmed, not red,
    // while it cannot. The centre row, just inside the edge, is pure fill.
    QPushButton *remove = button(*shown, "remove");
    const auto fillOf = [remove] {
        const QImage shot = remove->grab().toImage();
        return shot.pixelColor(3 * int(remove->devicePixelRatio()), shot.height() / 2);
    };
    type(*shown, "Backups/Old", "Backups/Old");
    ASSERT_TRUE(remove->isEnabled());
    const QColor enabled = fillOf();
    EXPECT_GE(contrastRatio(Qt::white, enabled), textContrast);
    EXPECT_NEAR(enabled.hslHueF(), Theme::danger().hslHueF(), 0.02);
    type(*shown, "Backups/Old", "");
    ASSERT_FALSE(remove->isEnabled());
    EXPECT_LT(fillOf().hslSaturationF(), 0.2);

    type(*shown, "  Backups/Old ", "");
    EXPECT_EQ(label(*shown, "keptPreview")->text(), "KEPT on this Mac:  \u2068/Volumes/Media/Work/Backups/Old\u2069");
    EXPECT_EQ(label(*shown, "removedPreview")->text(),
              "Removed from: your teammates' Macs.   NAS: hidden (files kept).");
}

TEST_F(PurgePanelTest, ARunShowsItsResultAndClearsTheFieldsOnlyAfterSuccess)
{
    ASSERT_TRUE(configureNode());
    const struct
    {
        QString typed;
        PurgeOutcome outcome;
        QString sentPath;
        QString result;
        bool cleared;
    } rows[] = {
        {" Backups/Old ", {.removedCount = 2, .failed = {{"Mac B"}}, .node = kHidden}, "/Backups/Old",
         u"\u2713 Removed on 2 Mac(s). Your copy here is untouched. It no longer syncs \u2014 new files in it stay "
         "on this Mac. Failed (try again): \u2068Mac B\u2069. NAS: hidden, files kept."_qs,
         true},
        // Each refusal with its reason; the ones running again cannot get past each in a sentence of its own.
        {"Old",
         {.removedCount = 1,
          .failed = {{"Studio B", "no key there", true}, {"Mac C", "in progress"}, {"Mac D"}, {"Mac E", "gone", true}},
          .node = kHidden},
         "/Old",
         u"\u2713 Removed on 1 Mac(s). Your copy here is untouched. It no longer syncs \u2014 new files in it stay "
         "on this Mac. Failed (try again): \u2068Mac C\u2069 (in progress), \u2068Mac D\u2069. Refused by "
         "\u2068Studio B\u2069: no key there. Refused by \u2068Mac E\u2069: gone. NAS: hidden, files kept."_qs,
         true},
        // Nothing removed anywhere leads with the warning sign; each run says what the copy here does.
        {"Old", {.removedCount = 0, .offline = {"Mac B", "Mac C"}, .node = kHidden}, "/Old",
         u"\u26A0\uFE0F Removed on 0 Mac(s). Your copy here is untouched. It no longer syncs \u2014 new files in it "
         "stay on this Mac. Offline \u2014 run again when online: \u2068Mac B\u2069, \u2068Mac C\u2069. NAS: hidden, "
         "files kept."_qs,
         true},
        {"Old", {.failed = {{"laptop-b", "no key there", true}}, .copy = kSyncs}, "/Old",
         u"\u26A0\uFE0F Removed on 0 Mac(s). Your copy here is untouched. It goes on syncing as before. Refused by "
         "\u2068laptop-b\u2069: no key there."_qs,
         true},
        {"Old", {.failed = {{"laptop-b", "no key there", true}}, .copy = PurgeOutcome::LocalCopy::LineNotLifted},
         "/Old",
         u"\u26A0\uFE0F Removed on 0 Mac(s). Your copy here is untouched. It no longer syncs for now \u2014 it "
         "syncs again by itself within a few minutes. Refused by \u2068laptop-b\u2069: no key there."_qs,
         true},
        {"Old",
         {.failed = {{"laptop-b", "no key there", true}}, .copy = PurgeOutcome::LocalCopy::OutOfSyncSinceEarlier},
         "/Old",
         u"\u26A0\uFE0F Removed on 0 Mac(s). Your copy here is untouched. It stays out of syncing since an earlier "
         "removal \u2014 new files in it stay on this Mac. Refused by \u2068laptop-b\u2069: no key there."_qs,
         true},
        {"Old", {.copy = kSyncs, .unaddressable = {"laptop-b", "mac-c"}}, "/Old",
         u"\u26A0\uFE0F Removed on 0 Mac(s). Your copy here is untouched. It goes on syncing as before. Not asked "
         "\u2014 their connection address can\u2019t be used: \u2068laptop-b\u2069, \u2068mac-c\u2069."_qs,
         true},
        {"Old", {.removedCount = 2, .node = PurgeOutcome::NodeCopy::NotReached}, "/Old",
         u"\u2713 Removed on 2 Mac(s). Your copy here is untouched. It no longer syncs \u2014 new files in it stay "
         "on this Mac. NAS: not reached \u2014 run again when online to hide it (files kept)."_qs,
         true},
        {"Old", PurgeOutcome::refused("Folder not found."), "/Old", u"\u26A0\uFE0F Folder not found."_qs, false},
        {"/x", PurgeOutcome::refused("Invalid path."), "//x", u"\u26A0\uFE0F Invalid path."_qs, false},
    };
    auto shown = panel();
    for (const auto &row : rows) {
        sent.clear();
        outcome = row.outcome;
        type(*shown, row.typed, row.typed.trimmed());
        button(*shown, "remove")->click();
        ASSERT_TRUE(waitUntil([&] { return shown->resultText().has_value(); }));
        EXPECT_EQ(sent, QList<QStringList>({{"S", "F", row.sentPath}}));
        EXPECT_EQ(*shown->resultText(), row.result);
        EXPECT_EQ(label(*shown, "result")->text(), row.result);
        EXPECT_TRUE(label(*shown, "result")->isVisible());
        EXPECT_EQ(field(*shown, "subpath")->text().isEmpty(), row.cleared);
        EXPECT_EQ(field(*shown, "confirm")->text().isEmpty(), row.cleared);
        EXPECT_EQ(button(*shown, "remove")->isEnabled(), !row.cleared);
        // Whole in view, also when later rows run in a short inspector.
        const QLabel *result = label(*shown, "result");
        const QWidget *viewport = shown->findChild<QScrollArea *>()->viewport();
        EXPECT_TRUE(waitUntil([&] {
            const QRect area(result->mapTo(viewport, QPoint()), result->size());
            return result->height() > 0 && viewport->rect().contains(area);
        })) << "the result is under the fold";
        if (&row == &rows[0]) {
            const QImage shot = saveShot(*shown, QStringLiteral("purge-result"));
            ASSERT_FALSE(shot.isNull());
            EXPECT_EQ(shot.size(), shown->size() * shown->devicePixelRatio());
            EXPECT_TRUE(shotShowsColour(shot, shotArea(shot, *shown, *label(*shown, "warning")), Theme::danger()));
            // Every line of the warning shows, below the form's top margin.
            const QLabel *warning = label(*shown, "warning");
            EXPECT_GE(warning->height(), warning->heightForWidth(warning->width()));
            EXPECT_GT(warning->mapTo(shown.get(), QPoint()).y(), 0);
            shown->resize(shown->width(), 150);
        }
    }
}

TEST_F(PurgePanelTest, ARunningRemovalShowsItsRunningFormAndOutlivesCancel)
{
    ASSERT_TRUE(configureNode());
    auto shown = panel();
    type(*shown, "Old", "Old");
    held = true;
    outcome = {.removedCount = 1, .node = kHidden};
    button(*shown, "remove")->click();
    EXPECT_TRUE(shown->isRunning());
    EXPECT_EQ(button(*shown, "remove")->text(), u"Removing\u2026"_qs);
    EXPECT_FALSE(button(*shown, "remove")->isEnabled());
    EXPECT_FALSE(label(*shown, "result")->isVisible());
    button(*shown, "cancel")->click();
    EXPECT_EQ(finished, 1);
    EXPECT_TRUE(shown->isRunning());
    gate.trigger();
    ASSERT_TRUE(waitUntil([&] { return !shown->isRunning(); }));
    EXPECT_EQ(shown->resultText().value_or(""),
              u"\u2713 Removed on 1 Mac(s). Your copy here is untouched. It no longer syncs \u2014 new files in it "
              "stay on this Mac. NAS: hidden, files kept."_qs);
    EXPECT_EQ(button(*shown, "remove")->text(), "Remove from other Macs");
    EXPECT_EQ(sent.size(), 1);

    // A panel closed meanwhile takes no answer.
    type(*shown, "Old", "Old");
    button(*shown, "remove")->click();
    shown.reset();
    gate.trigger();
    EXPECT_EQ(sent.size(), 2);
}

TEST_F(PurgePanelTest, TheEnvironmentRefusesANodeWithoutAKey)
{
    ASSERT_TRUE(configureNode());
    keychain.items.clear();
    awaitTask(app().nasNode().migrateLegacyKey());
    ASSERT_FALSE(app().nasNode().nodes().isEmpty());
    PurgePanel shown(app(), "S", folder);
    shown.show();
    type(shown, "Old", "Old");
    ASSERT_TRUE(shown.canRun());
    button(shown, "remove")->click();
    ASSERT_TRUE(waitUntil([&] { return shown.resultText().has_value(); }));
    EXPECT_EQ(*shown.resultText(),
              u"\u26A0\uFE0F Secure remote delete needs an always-on node (NAS) configured \u2014 its key is the "
              "shared secret that proves the command is really from you."_qs);
    EXPECT_EQ(field(shown, "subpath")->text(), "Old");
}

} // namespace
} // namespace tw
