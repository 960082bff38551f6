// Names reach the screens from other Macs (a device announces its own name),
// from directory names and from offers: every screen shows them as typed,
// never as markup or as a keyboard mnemonic.

#include "controllers/DeviceController.h"
#include "design/ElidedLabel.h"
#include "projects/ProjectController.h"
#include "views/joining/AcceptFolderSheet.h"
#include "views/joining/IncomingView.h"
#include "views/joining/InviteSheet.h"
#include "views/joining/JoinSheet.h"
#include "views/joining/NodeSetupConfirmSheet.h"
#include "views/overview/NewProjectSheet.h"
#include "views/overview/ProjectOverviewView.h"
#include "views/settings/SettingsView.h"
#include "views/syncpage/CapsuleChip.h"
#include "views/syncpage/DeviceInspector.h"
#include "views/syncpage/ProjectPageFactories.h"
#include "views/syncpage/ProjectView.h"
#include "views/syncpage/RenameSheet.h"
#include "views/window/JoinApprovalPrompt.h"
#include "views/window/NavigationPath.h"

#include "../support/SyncPageRig.h"
#include "QtPrinters.h"
#include "ScreenChecks.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QTabBar>
#include <QTextDocument>
#include <QWidgetAction>
#include <functional>

namespace tw {
namespace {

const QString kDash = QStringLiteral(" \u2014 ");

// Each name, and a word of it that no text of the screens holds otherwise:
// wherever the word shows, the whole name must show as typed.
struct HostileName { QString name; QString word; };

// The names one run gives every place: the sync's, its folder's, a
// teammate's, this Mac's, a Mac that is no member yet, the node's and an
// ignore pattern.
struct Names
{
    HostileName sync, folder, peer, own, person, node, pattern;
    QList<HostileName> all() const { return {sync, folder, peer, own, person, node, pattern}; }
};

const Names kMarkup{
    .sync = {QStringLiteral("<font color=red>Reel & Co</font> [*]"), QStringLiteral("Reel")},
    .folder = {QStringLiteral("<u>Underfolder"), QStringLiteral("Underfolder")},
    .peer = {QStringLiteral("Edit <b>Bay</b> & \"2\""), QStringLiteral("Bay")},
    .own = {QStringLiteral("<b>Studio B</b>"), QStringLiteral("Studio B")},
    .person = {QStringLiteral("Tom & Jerry"), QStringLiteral("Jerry")},
    .node = {QStringLiteral("<i>Attic</i> & Loft"), QStringLiteral("Attic")},
    .pattern = {QStringLiteral("<b>Boldpattern</b>"), QStringLiteral("Boldpattern")},
};

// Names holding line breaks, as a teammate's record or a pasted name may:
// a line feed, a carriage return, the line and paragraph separators, a tab
// and the next-line control.
const Names kLineBreaks{
    .sync = {QStringLiteral("Reel\nand Co"), QStringLiteral("Reel")},
    .folder = {QStringLiteral("Under\r\nfolder"), QStringLiteral("Under")},
    .peer = {QStringLiteral("Edit\u2028Bay"), QStringLiteral("Bay")},
    .own = {QStringLiteral("Studio\u2029B"), QStringLiteral("Studio")},
    .person = {QStringLiteral("Tom\tand\u0085Jerry"), QStringLiteral("Jerry")},
    .node = {QStringLiteral("Attic\nLoft"), QStringLiteral("Attic")},
    .pattern = {QStringLiteral("Bold\npattern"), QStringLiteral("Bold")},
};

// A name of one word, a few times wider than a sheet, as a teammate's
// record, a link or a directory name may hold.
HostileName oneLongWord(const QString &word)
{
    return {word + QStringLiteral("_final_grade_v2").repeated(8), word};
}

const Names kLongWords{
    .sync = oneLongWord(QStringLiteral("ReelAndCo")),
    .folder = oneLongWord(QStringLiteral("Underfolder")),
    .peer = oneLongWord(QStringLiteral("EditBay")),
    .own = oneLongWord(QStringLiteral("StudioB")),
    .person = oneLongWord(QStringLiteral("TomAndJerry")),
    .node = oneLongWord(QStringLiteral("AtticLoft")),
    .pattern = oneLongWord(QStringLiteral("Boldpattern")),
};

const QString kPersonID = QStringLiteral("PERSONT-AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG");

// "&&" draws "&", and a lone "&" marks the next letter as a shortcut.
QString withoutMnemonics(const QString &text)
{
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        shown += text[i];
    }
    return shown;
}

// An unmodified window drops a lone "[*]" from its title; "[*][*]" shows "[*]".
QString titleShown(const QString &title)
{
    const QString mark = QStringLiteral("[*]");
    QString shown;
    qsizetype i = 0;
    while (i < title.size()) {
        qsizetype marks = 0;
        for (; title.mid(i, mark.size()) == mark; i += mark.size())
            ++marks;
        shown += mark.repeated(marks / 2);
        if (marks == 0)
            shown += title[i++];
    }
    return shown;
}

QString drawn(const QString &text, Qt::TextFormat format)
{
    if (format == Qt::PlainText || (format == Qt::AutoText && !Qt::mightBeRichText(text)))
        return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

struct Shown { QString where; QString text; };

void addWidgetTexts(QWidget &widget, QList<Shown> &shown)
{
    const QString where = QString::fromLatin1(widget.metaObject()->className()) + QLatin1Char(' ') + widget.objectName();
    const auto add = [&shown, &where](const QString &text) {
        if (!text.isEmpty())
            shown.append({where, text});
    };
    add(drawn(widget.toolTip(), Qt::AutoText));
    if (widget.isWindow())
        add(titleShown(widget.windowTitle()));
    if (auto *elided = qobject_cast<ElidedLabel *>(&widget))
        add(elided->textFormat() == Qt::PlainText ? elided->fullText() : drawn(elided->text(), elided->textFormat()));
    else if (auto *label = qobject_cast<QLabel *>(&widget))
        add(label->buddy() ? withoutMnemonics(label->text()) : drawn(label->text(), label->textFormat()));
    if (auto *chip = qobject_cast<CapsuleChip *>(&widget))
        add(chip->face().text);
    if (auto *button = qobject_cast<QAbstractButton *>(&widget))
        add(withoutMnemonics(button->text()));
    if (auto *group = qobject_cast<QGroupBox *>(&widget))
        add(withoutMnemonics(group->title()));
    if (auto *tabs = qobject_cast<QTabBar *>(&widget))
        for (int i = 0; i < tabs->count(); ++i)
            add(withoutMnemonics(tabs->tabText(i)));
    if (auto *field = qobject_cast<QLineEdit *>(&widget))
        add(field->text());
    if (auto *combo = qobject_cast<QComboBox *>(&widget))
        for (int i = 0; i < combo->count(); ++i)
            add(combo->itemText(i));
    for (QAction *action : widget.actions())
        add(withoutMnemonics(action->text().section(QLatin1Char('\t'), 0, 0)));
}

// What every widget under the root draws, also those a page hands to the
// window's toolbar.
QList<Shown> shownTexts(QWidget &root)
{
    QList<QWidget *> widgets = root.findChildren<QWidget *>();
    widgets.prepend(&root);
    for (qsizetype i = 0; i < widgets.size(); ++i)
        for (QAction *action : widgets[i]->actions())
            if (auto *holder = qobject_cast<QWidgetAction *>(action); holder && holder->defaultWidget()) {
                widgets.append(holder->defaultWidget());
                widgets.append(holder->defaultWidget()->findChildren<QWidget *>());
            }
    QList<Shown> shown;
    for (QWidget *widget : widgets)
        addWidgetTexts(*widget, shown);
    return shown;
}

QCoro::Task<std::optional<QString>> noFolder(QWidget *)
{
    co_return std::nullopt;
}

struct Screen
{
    const char *name;
    std::function<std::unique_ptr<QWidget>()> build;
    QList<HostileName> shows;
};

// The sync of the page rig under hostile names: this Mac, a teammate and a
// Mac that is no member yet; one folder.
class LiteralNamesTest : public SyncPageRig
{
protected:
    void SetUp() override
    {
        SyncPageRig::SetUp();
        ProjectFolder shared = folder(QStringLiteral("f1"), QStringLiteral("st1"));
        shared.label = names.folder.name;
        Project project{.id = syncID, .name = names.sync.name};
        project.members = {{.deviceID = local(), .displayName = names.own.name, .isOwnDevice = true},
                           {.deviceID = kPeer, .displayName = names.peer.name}};
        project.folders = {shared};
        SyncFolder listed{.id = QStringLiteral("st1"), .label = names.sync.name + kDash + names.folder.name,
                          .path = shared.localPath};
        listed.sharedDeviceIDs = {local(), kPeer};
        engine.state.running = true;
        engine.state.folders = {listed};
        engine.state.folderStatuses.insert(listed.id, {.id = listed.id, .state = FolderState::Idle,
                                                       .globalBytes = 1'500'000});
        engine.state.ignores.insert(listed.id, {names.pattern.name});
        engine.state.deviceName = names.own.name;
        engine.state.devices = {{.id = local(), .name = names.own.name, .isThisDevice = true},
                                {.id = kPeer, .name = names.peer.name},
                                {.id = kPersonID, .name = names.person.name}};
        app().projects().add(project);
        connectPeer();
        load();
        app().engineState().storeDeviceName(names.own.name);
    }

    // The page of the sync with the application's own cards, chips and
    // inspectors.
    std::unique_ptr<ProjectView> syncPage()
    {
        path.setIDs({syncID});
        auto page = std::make_unique<ProjectView>(app(), path, syncID, ProjectPageFactories::standard());
        page->setAnimated(false);
        return page;
    }

    std::unique_ptr<ProjectView> syncPageWithPanel(ProjectSelection::FolderPanel panel)
    {
        auto page = syncPage();
        page->tapFolder(QStringLiteral("f1"));
        page->openPanel(panel);
        return page;
    }

    // Every screen that shows one of the names, with the names it shows.
    QList<Screen> screens();
    // The questions that name what they remove or rename.
    QList<Screen> questions();

    Names names = kMarkup;
    NavigationPath path;
};

// The whole name, or its start cut with "…" where room ran out.
bool showsAsTyped(const QString &text, const HostileName &name)
{
    if (text.contains(name.name))
        return true;
    const qsizetype cut = text.indexOf(QChar(0x2026));
    for (qsizetype start = 0; start < cut; ++start) {
        const QString kept = text.mid(start, cut - start);
        if (kept.contains(name.word) && name.name.startsWith(kept))
            return true;
    }
    return false;
}

QList<Screen> LiteralNamesTest::screens()
{
    const PendingFolder offer{.folderID = QStringLiteral("offered"),
                              .label = names.sync.name + kDash + names.folder.name,
                              .offeredByDeviceID = kPeer,
                              .offeredByName = names.peer.name};
    return {
        {"overview with its cards and Mac tiles",
         [this]() -> std::unique_ptr<QWidget> {
             return std::make_unique<ProjectOverviewView>(app(), path);
         },
         {names.sync, names.own, names.peer}},
        {"sync page with its switcher, Mac cards and folder chips",
         [this]() -> std::unique_ptr<QWidget> { return syncPage(); },
         {names.sync, names.own, names.peer, names.folder}},
        {"folder inspector",
         [this]() -> std::unique_ptr<QWidget> {
             auto page = syncPage();
             page->tapFolder(QStringLiteral("f1"));
             return page;
         },
         {names.folder, names.peer, names.pattern}},
        {"folder panel: settings",
         [this]() -> std::unique_ptr<QWidget> { return syncPageWithPanel(ProjectSelection::FolderPanel::Settings); },
         {names.folder}},
        {"folder panel: exclusions",
         [this]() -> std::unique_ptr<QWidget> { return syncPageWithPanel(ProjectSelection::FolderPanel::Omit); },
         {names.folder}},
        {"folder panel: archive",
         [this]() -> std::unique_ptr<QWidget> { return syncPageWithPanel(ProjectSelection::FolderPanel::Archive); },
         {names.folder}},
        {"folder panel: removal",
         [this]() -> std::unique_ptr<QWidget> { return syncPageWithPanel(ProjectSelection::FolderPanel::Purge); },
         {names.folder}},
        {"Mac inspector",
         [this]() -> std::unique_ptr<QWidget> {
             auto page = syncPage();
             page->tapDevice(kPeer);
             return page;
         },
         {names.peer, names.folder}},
        {"incoming page",
         [this, offer]() -> std::unique_ptr<QWidget> {
             PendingFolder solo = offer;
             solo.folderID = QStringLiteral("solo");
             solo.label = names.folder.name;
             engine.state.pendingFolders = {offer, solo};
             engine.state.pendingDevices = {{.id = kPersonID, .name = names.person.name, .address = {}}};
             awaitTask(app().projects().refreshPending());
             return std::make_unique<IncomingView>(app());
         },
         {names.sync, names.folder, names.peer, names.person}},
        {"placing sheet",
         [this, offer]() -> std::unique_ptr<QWidget> {
             return std::make_unique<AcceptFolderSheet>(app(), offer, &noFolder);
         },
         {names.sync, names.folder, names.peer}},
        {"new-sync sheet",
         [this]() -> std::unique_ptr<QWidget> {
             return std::make_unique<NewProjectSheet>(app(), [](QString) {});
         },
         {names.peer, names.person}},
        {"invite sheet",
         [this]() -> std::unique_ptr<QWidget> {
             return std::make_unique<InviteSheet>(app(), syncID, nullptr, [] { return std::optional<QString>(); });
         },
         {names.sync, names.person}},
        {"joining by link",
         [this]() -> std::unique_ptr<QWidget> {
             const Invite invite{.deviceID = kPersonID, .name = names.person.name, .project = names.sync.name,
                                 .tsIP = std::nullopt};
             return std::make_unique<JoinSheet>(app(), invite, [](QString) {});
         },
         {names.sync, names.person}},
        {"node set-up link",
         [this]() -> std::unique_ptr<QWidget> {
             const NodeSetupPayload payload{.baseURL = nodeURL(), .apiKey = kNodeKey, .name = names.node.name};
             return std::make_unique<NodeSetupConfirmSheet>(app(), payload);
         },
         {names.node}},
        {"node set-up link's address",
         [this]() -> std::unique_ptr<QWidget> {
             const NodeSetupPayload payload{
                 .baseURL = nodeURL() + QStringLiteral("/") + names.node.name, .apiKey = kNodeKey, .name = {}};
             return std::make_unique<NodeSetupConfirmSheet>(app(), payload);
         },
         {names.node}},
        {"join approval",
         [this]() -> std::unique_ptr<QWidget> {
             const JoinApprovalPrompt::Request request{
                 .deviceID = kPersonID, .name = names.person.name, .projectID = syncID, .projectName = names.sync.name};
             return std::make_unique<JoinApprovalPrompt>(request, nullptr);
         },
         {names.sync, names.person}},
        {"settings",
         [this]() -> std::unique_ptr<QWidget> {
             EXPECT_TRUE(configureNode(names.node.name));
             return std::make_unique<SettingsView>(app());
         },
         {names.own, names.node}},
    };
}

QList<Screen> LiteralNamesTest::questions()
{
    return {
        {"removing a sync", [this]() -> std::unique_ptr<QWidget> {
             auto overview = std::make_unique<ProjectOverviewView>(app(), path);
             overview->confirmRemoval(syncID);
             return overview;
         }, {names.sync}},
        {"removing and renaming a Mac", [this]() -> std::unique_ptr<QWidget> {
             auto inspector = std::make_unique<DeviceInspector>(app(), syncID, kPeer);
             inspector->confirmRemove();
             inspector->openRename();
             return inspector;
         }, {names.peer}},
    };
}

// Shows the screen as a person sees it, for the check.
void showScreen(QWidget &widget, QSize size = {900, 900})
{
    widget.resize(size);
    widget.show();
    for (int round = 0; round < 3; ++round)
        QCoreApplication::processEvents();
}

TEST_F(LiteralNamesTest, EveryScreenShowsNamesAsTyped)
{
    for (const Screen &screen : screens()) {
        SCOPED_TRACE(screen.name);
        std::unique_ptr<QWidget> widget = screen.build();
        showScreen(*widget);
        const QList<Shown> shown = shownTexts(*widget);
        for (const HostileName &name : screen.shows)
            EXPECT_TRUE(std::any_of(shown.cbegin(), shown.cend(),
                                    [&name](const Shown &text) { return text.text.contains(name.name); }))
                << "never shown as typed: " << name.name.toStdString();
        for (const Shown &text : shown)
            for (const HostileName &name : names.all())
                if (text.text.contains(name.word)) {
                    EXPECT_TRUE(showsAsTyped(text.text, name))
                        << text.where.toStdString() << " shows \"" << text.text.toStdString() << "\"";
                }
    }
}

class OneLineNamesTest : public LiteralNamesTest
{
protected:
    OneLineNamesTest() { names = kLineBreaks; }
};

// A name holding a line break stays on one line wherever one line is its
// place: the break shows as a space.
TEST_F(OneLineNamesTest, EveryScreenDrawsNamesOnOneLine)
{
    for (const Screen &screen : screens()) {
        SCOPED_TRACE(screen.name);
        std::unique_ptr<QWidget> widget = screen.build();
        showScreen(*widget);
        EXPECT_EQ(screenchecks::lineBreakFaults(*widget), QStringList());
    }
}

class LongNamesTest : public LiteralNamesTest
{
protected:
    LongNamesTest() { names = kLongWords; }
};

// A long name without a space keeps to its place: wrapped inside the word
// or cut with "…", never widening a sheet beyond its width nor cut off
// where its label ends.
TEST_F(LongNamesTest, EveryScreenKeepsALongNameWithinItsWidth)
{
    for (const Screen &screen : screens()) {
        SCOPED_TRACE(screen.name);
        std::unique_ptr<QWidget> widget = screen.build();
        const int setWidth = widget->maximumWidth();
        // Within the tests' screen.
        showScreen(*widget, {760, 700});
        EXPECT_EQ(screenchecks::placementFaults(*widget) + screenchecks::labelFitFaults(*widget)
                      + screenchecks::textFootFaults(*widget),
                  QStringList());
        if (setWidth < QWIDGETSIZE_MAX) {
            EXPECT_EQ(widget->width(), setWidth);
        }
    }
}

// Names that would turn the words around them: each holds a right-to-left
// override, and the folder's is written right to left.
const Names kRightToLeft{
    .sync = {QStringLiteral("\u202EReel Co"), QStringLiteral("Reel")},
    .folder = {QStringLiteral("\u05D0\u05D1 Underfolder\u202E"), QStringLiteral("Underfolder")},
    .peer = {QStringLiteral("Edit \u202EBay"), QStringLiteral("Bay")},
    .own = {QStringLiteral("\u202EStudio B"), QStringLiteral("Studio B")},
    .person = {QStringLiteral("Tom \u202EJerry"), QStringLiteral("Jerry")},
    .node = {QStringLiteral("\u202EAttic"), QStringLiteral("Attic")},
    .pattern = {QStringLiteral("Bold\u202Epattern"), QStringLiteral("Bold")},
};

class RightToLeftNamesTest : public LiteralNamesTest
{
protected:
    RightToLeftNamesTest() { names = kRightToLeft; }
};

// A name set into the application's own words sits between FIRST STRONG
// ISOLATE and POP DIRECTIONAL ISOLATE: it turns nothing around it.
TEST_F(RightToLeftNamesTest, EveryScreenIsolatesANameInItsSentences)
{
    for (const Screen &screen : screens() + questions()) {
        // There the name is a piece of the link's address, which has a line of its own.
        if (qstrcmp(screen.name, "node set-up link's address") == 0)
            continue;
        SCOPED_TRACE(screen.name);
        std::unique_ptr<QWidget> widget = screen.build();
        showScreen(*widget);
        for (const Shown &text : shownTexts(*widget))
            for (const HostileName &name : names.all())
                if (text.text.contains(name.name) && text.text != name.name) {
                    EXPECT_TRUE(text.text.contains(u'\u2068' + name.name + u'\u2069'))
                        << text.where.toStdString() << " shows \"" << text.text.toStdString() << "\"";
                }
    }
}

// The long names grown to 12,000 letters.
class OversizedNamesTest : public LiteralNamesTest
{
protected:
    OversizedNamesTest()
    {
        names = kLongWords;
        for (HostileName *name : {&names.sync, &names.folder, &names.peer, &names.own, &names.person, &names.node})
            name->name = name->name.leftJustified(12'000, u'x');
    }
};

// Every question and sheet stays within the screen, a name far longer than
// the screen is wide shortened with "…" to a line of its sentence.
TEST_F(OversizedNamesTest, EveryQuestionAndSheetFitsTheScreen)
{
    for (const Screen &screen : screens() + questions()) {
        SCOPED_TRACE(screen.name);
        std::unique_ptr<QWidget> widget = screen.build();
        showScreen(*widget, {760, 700});
        QList<QDialog *> dialogs = widget->findChildren<QDialog *>();
        if (auto *dialog = qobject_cast<QDialog *>(widget.get()))
            dialogs.append(dialog);
        for (QDialog *dialog : dialogs) {
            const QSize room = dialog->screen()->availableGeometry().size();
            EXPECT_TRUE(dialog->isHidden() || (dialog->width() <= room.width() && dialog->height() <= room.height()))
                << dialog->metaObject()->className() << " " << dialog->width() << " x " << dialog->height();
            for (QLabel *label : dialog->findChildren<QLabel *>())
                for (const HostileName &name : screen.shows)
                    if (label->isVisible() && label->text().remove(QChar(0x200B)).contains(name.word)) {
                        EXPECT_LE(label->height(), 5 * label->fontMetrics().lineSpacing())
                            << label->objectName().toStdString();
                    }
        }
    }
}

} // namespace
} // namespace tw
