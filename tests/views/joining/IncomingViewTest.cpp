// The incoming page offscreen, on the real project controller over the fake
// engine.

#include "views/joining/IncomingView.h"

#include "controllers/EngineController.h"
#include "engine/SyncEngineError.h"
#include "projects/ProjectController.h"
#include "views/kit/PanelTexts.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SaveShot.h"
#include "ViewTestEnv.h"
#include "WaitUntil.h"

#include <QLabel>
#include <QPushButton>

namespace tw {
namespace {

const QString kDash = QStringLiteral(" \u2014 ");

PendingFolder offer(const QString &id, const QString &label, const QString &by)
{
    return {.folderID = id, .label = label, .offeredByDeviceID = by + QStringLiteral("-ID"), .offeredByName = by};
}

class IncomingViewTest : public ViewTestEnv
{
protected:
    void setPending(QList<PendingFolder> folders, QList<PendingDevice> devices = {})
    {
        engine.state.pendingFolders = std::move(folders);
        engine.state.pendingDevices = std::move(devices);
        awaitTask(app().projects().refreshPending());
        QCoreApplication::processEvents();
    }

    std::unique_ptr<IncomingView> page()
    {
        auto view = std::make_unique<IncomingView>(app());
        view->resize(560, 640);
        view->show();
        // New rows are shown from the event loop.
        QCoreApplication::processEvents();
        return view;
    }

    static QString text(QWidget &row, const char *name) { return row.findChild<QLabel *>(name)->text(); }
    static QPushButton *button(QWidget &row, const char *name) { return row.findChild<QPushButton *>(name); }

    static inline const PendingDevice kDevice{.id = QStringLiteral("DEVICE1-AAAAAAA"), .name = QStringLiteral("Studio"),
                                              .address = QStringLiteral("tcp://10.0.0.9:22000")};
};

TEST_F(IncomingViewTest, GroupsOffersIntoCardsAndSoloRowsByTheirLabels)
{
    setPending({offer("f-audio", "Film" + kDash + "Audio", "Ann"), offer("notes", "Notes", "Bob"),
                offer("notes", "Notes", "Cid"), offer("f-video", "Film" + kDash + "Video", "Dan"),
                offer("notes", "Notes", "Eve"), offer("f-raw", "Film" + kDash + "Audio" + kDash + "Raw", "Fay"),
                offer("solo", kDash + "Audio", "Gus"), offer("one", "Clip" + kDash + "Take", "Hal")});
    auto view = page();

    QWidget *film = view->findChild<QWidget *>("offer:sync:Film");
    ASSERT_NE(film, nullptr);
    EXPECT_EQ(text(*film, "title"), "Film");
    EXPECT_EQ(text(*film, "caption"), "3 folders \u00B7 shared by \u2068" "Ann\u2069");
    QStringList lines;
    for (QLabel *line : film->findChildren<QLabel *>("folderName"))
        lines << line->text();
    EXPECT_EQ(lines, QStringList({"Audio", "Video", "Audio" + kDash + "Raw"}));
    EXPECT_EQ(text(*view->findChild<QWidget *>("offer:sync:Clip"), "caption"), "1 folder \u00B7 shared by \u2068" "Hal\u2069");

    QWidget *notes = view->findChild<QWidget *>("offer:solo:notes");
    ASSERT_NE(notes, nullptr);
    EXPECT_EQ(text(*notes, "title"), "Notes");
    EXPECT_EQ(text(*notes, "caption"), "Shared by \u2068" "Bob\u2069 +2 more");
    QWidget *audio = view->findChild<QWidget *>("offer:solo:solo");
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(text(*audio, "title"), "Audio");
    EXPECT_EQ(text(*audio, "caption"), "Shared by \u2068" "Gus\u2069");
    EXPECT_FALSE(view->findChild<QWidget *>("emptyState")->isVisible());
    EXPECT_FALSE(saveShot(*view, "incoming-page").isNull());
}

TEST_F(IncomingViewTest, ShowsTheEmptyStateOnlyWhenBothListsAreEmpty)
{
    struct Case { QList<PendingFolder> folders; QList<PendingDevice> devices; bool empty, folderSection, deviceSection; };
    const QList<Case> cases = {
        {{}, {}, true, false, false},
        {{}, {kDevice}, false, false, true},
        {{offer("notes", "Notes", "Bob")}, {}, false, true, false},
        {{offer("notes", "Notes", "Bob")}, {kDevice}, false, true, true},
    };
    auto view = page();
    for (const Case &c : cases) {
        setPending(c.folders, c.devices);
        EXPECT_EQ(view->findChild<QWidget *>("emptyState")->isVisible(), c.empty);
        EXPECT_EQ(view->findChild<QWidget *>("foldersSection")->isVisible(), c.folderSection);
        EXPECT_EQ(view->findChild<QWidget *>("devicesSection")->isVisible(), c.deviceSection);
    }
    setPending({}, {});
    EXPECT_FALSE(saveShot(*view, "incoming-empty").isNull());
}

TEST_F(IncomingViewTest, AcceptingADeviceAddsItThenRefreshesThenReconciles)
{
    setPending({}, {kDevice});
    auto view = page();
    QWidget *row = view->findChild<QWidget *>("device:" + kDevice.id);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(text(*row, "name"), "Studio");
    // The ID is the caption under the name: never the larger of the two.
    EXPECT_LT(QFontMetrics(row->findChild<QWidget *>("deviceID")->font()).height(),
              QFontMetrics(row->findChild<QLabel *>("name")->font()).height());
    const qsizetype before = engine.callLog().size();
    qsizetype reconcileAt = -1;
    QObject::connect(&app().projects(), &ProjectController::isReconcilingChanged, view.get(), [&] {
        if (app().projects().isReconciling() && reconcileAt < 0)
            reconcileAt = engine.callLog().size();
    });
    button(*row, "accept")->click();
    ASSERT_TRUE(waitUntil([&] { return reconcileAt >= 0 && !app().projects().isReconciling(); }));

    ASSERT_EQ(engine.deviceRequests.size(), 1);
    const NewDeviceRequest &request = engine.deviceRequests.front();
    EXPECT_EQ(request.id, kDevice.id);
    EXPECT_EQ(request.name, "Studio");
    EXPECT_EQ(request.addresses, std::nullopt);
    EXPECT_FALSE(request.introducer);
    const QStringList log = engine.callLog();
    const auto at = [&log, before](const QString &prefix) {
        qsizetype i = before;
        while (i < log.size() && !log[i].startsWith(prefix))
            ++i;
        return i;
    };
    EXPECT_LT(at("addDevice("), at("pendingDevices("));
    EXPECT_LT(at("pendingDevices("), reconcileAt) << log.join("\n").toStdString();
}

TEST_F(IncomingViewTest, AFailedAcceptReportsAndKeepsTheRow)
{
    setPending({}, {kDevice});
    auto view = page();
    engine.failNext("addDevice", SyncEngineError::backend("down"));
    const int refreshes = engine.callCount("pendingDevices");
    button(*view->findChild<QWidget *>("device:" + kDevice.id), "accept")->click();
    ASSERT_TRUE(waitUntil([this] { return app().projects().lastErrorMessage().has_value(); }));
    EXPECT_EQ(app().projects().lastErrorMessage(), texts::couldntAddDevice);
    runEventLoopFor(50);
    EXPECT_EQ(engine.callCount("pendingDevices"), refreshes);
    EXPECT_NE(view->findChild<QWidget *>("device:" + kDevice.id), nullptr);
}

TEST_F(IncomingViewTest, IgnoringADeviceRefreshesEvenWhenTheDismissFails)
{
    setPending({}, {kDevice});
    auto view = page();
    engine.failNext("dismissPendingDevice", SyncEngineError::backend("down"));
    const int refreshes = engine.callCount("pendingDevices");
    button(*view->findChild<QWidget *>("device:" + kDevice.id), "ignore")->click();
    ASSERT_TRUE(waitUntil([&] { return engine.callCount("pendingDevices") > refreshes; }));
    EXPECT_EQ(engine.callsOf("dismissPendingDevice").size(), 1);
}

TEST_F(IncomingViewTest, AnEqualPollKeepsTheRowWidgetsAndAnOpenSheetKeepsItsOffer)
{
    const PendingFolder notes = offer("notes", "Notes", "Bob");
    setPending({offer("f-audio", "Film" + kDash + "Audio", "Ann"), notes}, {kDevice});
    auto view = page();
    QWidget *film = view->findChild<QWidget *>("offer:sync:Film");
    QWidget *line = film->findChild<QLabel *>("folderName");
    QWidget *device = view->findChild<QWidget *>("device:" + kDevice.id);
    const int refreshes = view->refreshCount();
    setPending({offer("f-audio", "Film" + kDash + "Audio", "Ann"), notes}, {kDevice});
    app().engineState().storeDeviceName("Changed elsewhere");
    ASSERT_TRUE(waitUntil([&] { return view->refreshCount() > refreshes; }));
    EXPECT_EQ(view->findChild<QWidget *>("offer:sync:Film"), film);
    EXPECT_EQ(film->findChild<QLabel *>("folderName"), line);
    EXPECT_EQ(view->findChild<QWidget *>("device:" + kDevice.id), device);

    button(*view->findChild<QWidget *>("offer:solo:notes"), "place")->click();
    ASSERT_NE(view->acceptSheet(), nullptr);
    setPending({}, {});
    EXPECT_EQ(view->acceptingFolder(), notes);
    EXPECT_EQ(view->acceptSheet()->folder(), notes);
    view->acceptSheet()->reject();
    EXPECT_EQ(view->acceptingFolder(), std::nullopt);
}

// Labels come from other Macs: none may hide another offer or turn a sync's
// folder into a lone one whose "Ignore" dismisses some other folder ID.
TEST_F(IncomingViewTest, NoLabelHidesAnotherOfferAndIgnoreDismissesItsOwnFolder)
{
    struct Case
    {
        const char *name;
        QList<PendingFolder> pending;
        // Titles of the rows or lines shown, whose "Ignore" is pressed in turn.
        QStringList titles;
        QStringList dismissed;
    };
    const QList<Case> cases = {
        {"a sync part spelling a lone folder's key",
         {offer("fid-notes", "Notes", "Bob"), offer("fid-trap", "__solo__fid-notes" + kDash + "Trap", "Eve")},
         {"Notes", "Trap"},
         {"fid-notes", "fid-trap"}},
        {"the same, the trap first",
         {offer("fid-trap2", "__solo__fid-memo" + kDash + "Trap", "Eve"), offer("fid-memo", "Memo", "Bob")},
         {"Trap", "Memo"},
         {"fid-trap2", "fid-memo"}},
        {"a sync part spelling a tagged key",
         {offer("fid-plan", "Plan", "Bob"), offer("fid-trap3", "solo:fid-plan" + kDash + "Trap", "Eve"),
          offer("fid-sync", "sync:Film" + kDash + "Cut", "Eve"), offer("fid-film", "Film" + kDash + "Take", "Ann")},
         {"Trap", "Plan", "Take", "Cut"},
         {"fid-trap3", "fid-plan", "fid-film", "fid-sync"}},
        {"a folder ID holding the identity's bar",
         {offer("a|b", "Reel" + kDash + "Cut", "Ann"), offer("a", "Reel" + kDash + "Take", "Ann")},
         {"Cut", "Take"},
         {"a|b", "a"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        setPending(c.pending);
        auto view = page();
        QStringList shown;
        for (QLabel *label : view->findChildren<QLabel *>())
            if (label->objectName() == "title" || label->objectName() == "folderName")
                if (!label->parentWidget()->findChildren<QPushButton *>("ignore", Qt::FindDirectChildrenOnly).isEmpty())
                    shown << label->text();
        shown.sort();
        QStringList expected = c.titles;
        expected.sort();
        EXPECT_EQ(shown, expected);
        const int before = engine.callCount("dismissPendingFolder");
        for (const QString &title : c.titles) {
            QPushButton *ignore = nullptr;
            for (QLabel *label : view->findChildren<QLabel *>())
                if (label->text() == title && label->isVisible())
                    ignore = label->parentWidget()->findChild<QPushButton *>("ignore", Qt::FindDirectChildrenOnly);
            ASSERT_NE(ignore, nullptr) << title.toStdString();
            const int calls = engine.callCount("dismissPendingFolder");
            ignore->click();
            ASSERT_TRUE(waitUntil([&] { return engine.callCount("dismissPendingFolder") > calls; }));
            QCoreApplication::processEvents();
        }
        QStringList expectedCalls;
        for (const QString &id : c.dismissed)
            for (const PendingFolder &folder : c.pending)
                if (folder.folderID == id)
                    expectedCalls << "dismissPendingFolder(" + id + ", " + folder.offeredByDeviceID + ")";
        EXPECT_EQ(engine.callsOf("dismissPendingFolder").mid(before), expectedCalls);
    }
}

} // namespace
} // namespace tw
