// The settings window's Ignores tab offscreen on the view-test rig: the
// category switches, the custom patterns and the raw text, each pushed to
// the project controller, and the apply to every sync after its question.

#include "views/settings/IgnoresTab.h"

#include "app/AppPreferences.h"
#include "app/IgnoreCategory.h"
#include "design/TextStyle.h"
#include "projects/ProjectController.h"
#include "views/kit/DisclosureGroup.h"
#include "views/kit/PanelTexts.h"
#include "views/settings/SettingsState.h"
#include "views/settings/SettingsView.h"

#include "QtPrinters.h"
#include "SaveShot.h"
#include "ViewTestEnv.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QWindow>

namespace tw {
namespace {

const IgnoreCategory &category(const QString &id)
{
    for (const IgnoreCategory &category : IgnoreCategory::all())
        if (category.id == id)
            return category;
    throw std::logic_error("no such category");
}

class IgnoresTabTest : public ViewTestEnv
{
protected:
    template <typename T = QWidget>
    T *find(const char *name) const
    {
        return view->ignoresTab()->findChild<T *>(name);
    }
    QStringList customRows() const
    {
        QStringList rows;
        // A row taken away is deleted once the loop comes round.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (const QLabel *label : view->ignoresTab()->findChildren<QLabel *>("customPattern"))
            rows << label->text();
        return rows;
    }
    QString rawText() const { return find<QPlainTextEdit>("rawIgnores")->toPlainText(); }
    // Every place the list lives agrees with what is stored.
    void expectInStep() const
    {
        const AppPreferences &preferences = app().preferences();
        EXPECT_EQ(app().projects().defaultIgnores(), preferences.defaultIgnoreList());
        EXPECT_EQ(view->state().ignoreText(), preferences.defaultIgnores());
        EXPECT_EQ(rawText(), preferences.defaultIgnores());
    }
    QMessageBox *confirmation() const
    {
        QMessageBox *box = nullptr;
        waitUntil([&] { return (box = view->ignoresTab()->findChild<QMessageBox *>()) != nullptr; });
        return box;
    }

    std::unique_ptr<SettingsView> view = std::make_unique<SettingsView>(app());
};

TEST_F(IgnoresTabTest, CategoriesSwitchOffAndBackOnAtTheEnd)
{
    view->show();
    for (const IgnoreCategory &each : IgnoreCategory::all())
        EXPECT_TRUE(find<QCheckBox>(qPrintable("category_" + each.id))->isChecked()) << qPrintable(each.id);
    EXPECT_TRUE(find("ownRulesHint")->isVisibleTo(view->ignoresTab()));
    EXPECT_EQ(find<QLabel>("ownRulesHint")->text(), texts::ownRulesHint);

    const IgnoreCategory &windows = category("windows");
    ASSERT_EQ(windows.patterns.size(), 7);
    find<QCheckBox>("category_windows")->click();
    const QStringList list = app().preferences().defaultIgnoreList();
    for (const QString &pattern : windows.patterns)
        EXPECT_FALSE(list.contains(pattern)) << qPrintable(pattern);
    EXPECT_FALSE(app().preferences().defaultIgnores().contains("# "));
    EXPECT_FALSE(find<QCheckBox>("category_windows")->isChecked());
    expectInStep();

    find<QCheckBox>("category_windows")->click();
    EXPECT_EQ(app().preferences().defaultIgnoreList().mid(list.size()), windows.patterns);
    EXPECT_TRUE(find<QCheckBox>("category_windows")->isChecked());
    expectInStep();
}

TEST_F(IgnoresTabTest, CustomPatternsAreTrimmedKnownOnesHiddenAndRawCommentsNeedTheSpace)
{
    view->show();
    auto *field = find<QLineEdit>("newPattern");
    EXPECT_FALSE(find<QPushButton>("addPattern")->isEnabled());
    QTest::keyClicks(field, "  Renders  ");
    EXPECT_TRUE(find<QPushButton>("addPattern")->isEnabled());
    find<QPushButton>("addPattern")->click();
    EXPECT_EQ(customRows(), QStringList{"Renders"});
    EXPECT_EQ(field->text(), "");
    EXPECT_FALSE(find("ownRulesHint")->isVisibleTo(view->ignoresTab()));
    expectInStep();
    view->tabs()->setCurrentIndex(SettingsView::Ignores);
    settleLayouts();
    view->ignoresTab()->ensureWidgetVisible(find("newPattern"));
    const QImage shot = saveShot(*view, QStringLiteral("ignores-custom-rows"));
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), view->size() * view->devicePixelRatio());

    // Return adds as the button does; a category's pattern stays under it.
    const QString before = app().preferences().defaultIgnores();
    QTest::keyClicks(field, "Thumbs.db");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(customRows(), QStringList{"Renders"});
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(app().preferences().defaultIgnores(), before);

    view->ignoresTab()->findChild<QToolButton *>("removePattern")->click();
    EXPECT_EQ(customRows(), QStringList());
    EXPECT_FALSE(app().preferences().defaultIgnoreList().contains("Renders"));
    expectInStep();

    auto *raw = find<QPlainTextEdit>("rawIgnores");
    // Twelve points of the body's thirteen, whatever size the desktop's font is.
    EXPECT_DOUBLE_EQ(raw->font().pointSizeF(), pointsFont(12).pointSizeF());
    EXPECT_LT(raw->font().pointSizeF(), QApplication::font().pointSizeF());
    raw->setPlainText(raw->toPlainText() + "\n  # note\n#note\n\n");
    find<QPushButton>("saveRawList")->click();
    EXPECT_EQ(customRows(), QStringList{"#note"});
    EXPECT_TRUE(app().preferences().defaultIgnores().endsWith("\n  # note\n#note\n\n"));
    expectInStep();

    find<QPushButton>("restoreDefaults")->click();
    EXPECT_EQ(app().preferences().defaultIgnores(), AppPreferences::defaultIgnoreText());
    EXPECT_EQ(AppPreferences::defaultIgnoreText().size(), 812);
    EXPECT_EQ(customRows(), QStringList());
    expectInStep();
}

// A pattern Syncthing cannot use would stop every folder made with the list:
// it is turned away where it is typed, with the reason, and stays to be mended.
TEST_F(IgnoresTabTest, APatternSyncthingCannotUseIsRefusedWhereTypedWithItsReason)
{
    view->show();
    const QString stored = app().preferences().defaultIgnores();
    auto *field = find<QLineEdit>("newPattern");
    QTest::keyClicks(field, "[abc");
    QTest::keyClick(field, Qt::Key_Return);
    auto *refusal = find<QLabel>("patternRefusal");
    ASSERT_NE(refusal, nullptr);
    EXPECT_TRUE(refusal->isVisibleTo(view->ignoresTab()));
    EXPECT_EQ(refusal->text(), u"Syncthing can\u2019t use \u201C[abc\u201D as an ignore pattern: a \u201C[\u201D "
                               "has no closing \u201C]\u201D."_qs);
    EXPECT_EQ(field->text(), "[abc");
    EXPECT_EQ(app().preferences().defaultIgnores(), stored);
    // Emptied, the field has nothing left refused.
    field->clear();
    EXPECT_FALSE(refusal->isVisibleTo(view->ignoresTab()));
    QTest::keyClicks(field, "[abc");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_TRUE(refusal->isVisibleTo(view->ignoresTab()));
    QTest::keyClicks(field, "]");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_FALSE(refusal->isVisibleTo(view->ignoresTab()));
    EXPECT_EQ(customRows(), QStringList{"[abc]"});

    find<QPlainTextEdit>("rawIgnores")->setPlainText("*.wav\n(?i)");
    find<QPushButton>("saveRawList")->click();
    EXPECT_FALSE(find<QLabel>("rawRefusal")->isHidden());
    EXPECT_TRUE(find<QLabel>("rawRefusal")->text().contains(u"\u201C(?i)\u201D"_qs));
    EXPECT_EQ(customRows(), QStringList{"[abc]"});
    EXPECT_EQ(app().projects().defaultIgnores(), app().preferences().defaultIgnoreList());
}

// A double-click whose first click moved a row under the pointer: "Add"
// puts a row with its minus button where "Add" was, a minus button's row
// goes and the next one's moves up. The second click acts on nothing.
TEST_F(IgnoresTabTest, ADoubleClickActsOnlyOnTheRowItWasAimedAt)
{
    struct Row
    {
        const char *clicked;
        QStringList added;
        QString typed;
        const char *button;
        QStringList left;
    };
    const QList<Row> rows = {
        {"Add", {"Proxies"}, "Renders", "addPattern", {"Proxies", "Renders"}},
        {"a row's minus", {"Renders", "Proxies"}, "", "removePattern", {"Proxies"}},
    };
    view->resize(580, 560);
    view->show();
    view->tabs()->setCurrentIndex(SettingsView::Ignores);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.clicked);
        find<QPushButton>("restoreDefaults")->click();
        for (const QString &pattern : row.added + QStringList{row.typed}) {
            QTest::keyClicks(find<QLineEdit>("newPattern"), pattern);
            if (pattern != row.typed)
                find<QPushButton>("addPattern")->click();
        }
        // New rows show once the loop comes round.
        QCoreApplication::processEvents();
        settleLayouts();
        view->ignoresTab()->ensureWidgetVisible(find("newPattern"));
        QWidget *target = nullptr;
        for (QWidget *shown : view->ignoresTab()->findChildren<QWidget *>(row.button))
            if (!target && shown->isVisible())
                target = shown;
        ASSERT_NE(target, nullptr);
        QWindow *window = view->windowHandle();
        const QPoint at = target->mapTo(view.get(), QPoint(target->width() - 3, target->height() / 2));
        QTest::mouseClick(window, Qt::LeftButton, {}, at);
        settleLayouts();
        QWidget *moved = view->childAt(at);
        ASSERT_TRUE(moved && moved != target && moved->objectName() == "removePattern");
        // The second press of the same double-click.
        QTest::lastMouseTimestamp -= QTest::mouseDoubleClickInterval;
        QTest::mousePress(window, Qt::LeftButton, {}, at);
        QTest::mouseRelease(window, Qt::LeftButton, {}, at);
        EXPECT_EQ(customRows(), row.left);
    }
}

TEST_F(IgnoresTabTest, ApplyToAllAsksThenStoresTheRawEditAndWritesEachFolderOnce)
{
    const QStringList own = {"/Gone", ".*", "/Renders/old", "*.tmp"};
    SyncFolder listed;
    listed.id = "st";
    listed.path = dir.filePath("Work");
    engine.state.folders = {listed};
    engine.state.ignores["st"] = own;
    ProjectFolder folder{.id = "F", .label = "Work", .localPath = listed.path};
    folder.ignorePatterns = own;
    folder.purgeProtected = {"/Gone"};
    folder.syncthingFolderID = "st";
    app().projects().add({.id = "S", .folders = {folder}});
    view->show();
    const QString stored = app().preferences().defaultIgnores();

    // An edit never saved, the editor closed.
    find<QPlainTextEdit>("rawIgnores")->setPlainText("*.wav\n# sound");
    EXPECT_FALSE(find<DisclosureGroup>("rawList")->isExpanded());
    auto *apply = find<QPushButton>("applyToAll");
    apply->click();
    QMessageBox *box = confirmation();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Apply this list to all syncs?");
    EXPECT_EQ(box->informativeText(), texts::applyToAllMessage);
    EXPECT_EQ(box->findChild<QPushButton *>("confirm")->text(), "Apply to all syncs");
    box->findChild<QPushButton *>("cancel")->click();
    ASSERT_TRUE(waitUntil([&] { return !view->ignoresTab()->findChild<QMessageBox *>(); }));
    EXPECT_EQ(app().preferences().defaultIgnores(), stored);
    EXPECT_EQ(engine.callCount("updateIgnorePatterns"), 0);

    engine.hold("updateIgnorePatterns");
    apply->click();
    confirmation()->findChild<QPushButton *>("confirm")->click();
    EXPECT_EQ(app().preferences().defaultIgnores(), "*.wav\n# sound");
    EXPECT_EQ(app().projects().defaultIgnores(), QStringList{"*.wav"});
    ASSERT_TRUE(waitUntil([&] { return engine.waiting("updateIgnorePatterns") == 1; }));
    EXPECT_EQ(apply->text(), texts::applying);
    EXPECT_FALSE(apply->isEnabled());
    engine.release("updateIgnorePatterns");
    ASSERT_TRUE(waitUntil([&] { return apply->isEnabled(); }));
    EXPECT_EQ(apply->text(), texts::applyToAllSyncs);
    EXPECT_EQ(engine.callsOf("updateIgnorePatterns").size(), 1);
    EXPECT_EQ(engine.state.ignores["st"], QStringList({"/Gone", "*.wav"}));
}

} // namespace
} // namespace tw
