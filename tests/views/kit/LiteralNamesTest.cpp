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
#include "views/syncpage/ProjectPageFactories.h"
#include "views/syncpage/ProjectView.h"
#include "views/window/JoinApprovalPrompt.h"
#include "views/window/NavigationPath.h"

#include "../support/SyncPageRig.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTabBar>
#include <QTextDocument>
#include <QWidgetAction>
#include <functional>

namespace tw {
namespace {

const QString kDash = QStringLiteral(" \u2014 ");

// Each name, and a word of it that no text of the screens holds otherwise:
// wherever the word shows, the whole name must show as typed.
struct HostileName
{
    QString name;
    QString word;
};

const HostileName kSyncName{QStringLiteral("<font color=red>Reel & Co</font> [*]"), QStringLiteral("Reel")};
const HostileName kFolderName{QStringLiteral("<u>Underfolder"), QStringLiteral("Underfolder")};
const HostileName kPeerName{QStringLiteral("Edit <b>Bay</b> & \"2\""), QStringLiteral("Bay")};
const HostileName kOwnName{QStringLiteral("<b>Studio B</b>"), QStringLiteral("Studio B")};
const HostileName kPersonName{QStringLiteral("Tom & Jerry"), QStringLiteral("Jerry")};
const HostileName kNodeName{QStringLiteral("<i>Attic</i> & Loft"), QStringLiteral("Attic")};
const HostileName kPattern{QStringLiteral("<b>Boldpattern</b>"), QStringLiteral("Boldpattern")};
const QList<HostileName> kNames = {kSyncName, kFolderName, kPeerName, kOwnName, kPersonName, kNodeName, kPattern};

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

struct Shown
{
    QString where;
    QString text;
};

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

// The sync of the page rig under hostile names: this Mac, a teammate and a
// Mac that is no member yet; one folder.
class LiteralNamesTest : public SyncPageRig
{
protected:
    void SetUp() override
    {
        SyncPageRig::SetUp();
        ProjectFolder shared = folder(QStringLiteral("f1"), QStringLiteral("st1"));
        shared.label = kFolderName.name;
        Project project{.id = syncID, .name = kSyncName.name};
        project.members = {{.deviceID = local(), .displayName = kOwnName.name, .isOwnDevice = true},
                           {.deviceID = kPeer, .displayName = kPeerName.name}};
        project.folders = {shared};
        SyncFolder listed{.id = QStringLiteral("st1"), .label = kSyncName.name + kDash + kFolderName.name,
                          .path = shared.localPath};
        listed.sharedDeviceIDs = {local(), kPeer};
        engine.state.running = true;
        engine.state.folders = {listed};
        engine.state.folderStatuses.insert(listed.id, {.id = listed.id, .state = FolderState::Idle,
                                                       .globalBytes = 1'500'000});
        engine.state.ignores.insert(listed.id, {kPattern.name});
        engine.state.deviceName = kOwnName.name;
        engine.state.devices = {{.id = local(), .name = kOwnName.name, .isThisDevice = true},
                                {.id = kPeer, .name = kPeerName.name},
                                {.id = kPersonID, .name = kPersonName.name}};
        app().projects().add(project);
        connectPeer();
        load();
        app().engineState().storeDeviceName(kOwnName.name);
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

    NavigationPath path;
};

struct Screen
{
    const char *name;
    std::function<std::unique_ptr<QWidget>()> build;
    QList<HostileName> shows;
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

TEST_F(LiteralNamesTest, EveryScreenShowsNamesAsTyped)
{
    const PendingFolder offer{.folderID = QStringLiteral("offered"),
                              .label = kSyncName.name + kDash + kFolderName.name,
                              .offeredByDeviceID = kPeer,
                              .offeredByName = kPeerName.name};
    const QList<Screen> screens = {
        {"overview with its cards and Mac tiles",
         [this]() -> std::unique_ptr<QWidget> {
             return std::make_unique<ProjectOverviewView>(app(), path);
         },
         {kSyncName, kOwnName, kPeerName}},
        {"sync page with its switcher, Mac cards and folder chips",
         [this]() -> std::unique_ptr<QWidget> { return syncPage(); },
         {kSyncName, kOwnName, kPeerName, kFolderName}},
        {"folder inspector",
         [this]() -> std::unique_ptr<QWidget> {
             auto page = syncPage();
             page->tapFolder(QStringLiteral("f1"));
             return page;
         },
         {kFolderName, kPeerName, kPattern}},
        {"folder panel: settings",
         [this]() -> std::unique_ptr<QWidget> { return syncPageWithPanel(ProjectSelection::FolderPanel::Settings); },
         {kFolderName}},
        {"folder panel: exclusions",
         [this]() -> std::unique_ptr<QWidget> { return syncPageWithPanel(ProjectSelection::FolderPanel::Omit); },
         {kFolderName}},
        {"folder panel: archive",
         [this]() -> std::unique_ptr<QWidget> { return syncPageWithPanel(ProjectSelection::FolderPanel::Archive); },
         {kFolderName}},
        {"folder panel: removal",
         [this]() -> std::unique_ptr<QWidget> { return syncPageWithPanel(ProjectSelection::FolderPanel::Purge); },
         {kFolderName}},
        {"Mac inspector",
         [this]() -> std::unique_ptr<QWidget> {
             auto page = syncPage();
             page->tapDevice(kPeer);
             return page;
         },
         {kPeerName, kFolderName}},
        {"incoming page",
         [this, &offer]() -> std::unique_ptr<QWidget> {
             PendingFolder solo = offer;
             solo.folderID = QStringLiteral("solo");
             solo.label = kFolderName.name;
             engine.state.pendingFolders = {offer, solo};
             engine.state.pendingDevices = {{.id = kPersonID, .name = kPersonName.name, .address = {}}};
             awaitTask(app().projects().refreshPending());
             return std::make_unique<IncomingView>(app());
         },
         {kSyncName, kFolderName, kPeerName, kPersonName}},
        {"placing sheet",
         [this, &offer]() -> std::unique_ptr<QWidget> {
             return std::make_unique<AcceptFolderSheet>(app(), offer, &noFolder);
         },
         {kSyncName, kFolderName, kPeerName}},
        {"new-sync sheet",
         [this]() -> std::unique_ptr<QWidget> {
             return std::make_unique<NewProjectSheet>(app(), [](QString) {});
         },
         {kPeerName, kPersonName}},
        {"invite sheet",
         [this]() -> std::unique_ptr<QWidget> {
             return std::make_unique<InviteSheet>(app(), syncID, nullptr, [] { return std::optional<QString>(); });
         },
         {kSyncName, kPersonName}},
        {"joining by link",
         [this]() -> std::unique_ptr<QWidget> {
             const Invite invite{.deviceID = kPersonID, .name = kPersonName.name, .project = kSyncName.name,
                                 .tsIP = std::nullopt};
             return std::make_unique<JoinSheet>(app(), invite, [](QString) {});
         },
         {kSyncName, kPersonName}},
        {"node set-up link",
         [this]() -> std::unique_ptr<QWidget> {
             const NodeSetupPayload payload{.baseURL = nodeURL(), .apiKey = kNodeKey, .name = kNodeName.name};
             return std::make_unique<NodeSetupConfirmSheet>(app(), payload);
         },
         {kNodeName}},
        {"join approval",
         [this]() -> std::unique_ptr<QWidget> {
             const JoinApprovalPrompt::Request request{
                 .deviceID = kPersonID, .name = kPersonName.name, .projectID = syncID, .projectName = kSyncName.name};
             return std::make_unique<JoinApprovalPrompt>(request, nullptr);
         },
         {kSyncName, kPersonName}},
        {"settings",
         [this]() -> std::unique_ptr<QWidget> {
             EXPECT_TRUE(configureNode(kNodeName.name));
             return std::make_unique<SettingsView>(app());
         },
         {kOwnName, kNodeName}},
    };
    for (const Screen &screen : screens) {
        SCOPED_TRACE(screen.name);
        std::unique_ptr<QWidget> widget = screen.build();
        widget->resize(900, 900);
        widget->show();
        for (int round = 0; round < 3; ++round)
            QCoreApplication::processEvents();
        const QList<Shown> shown = shownTexts(*widget);
        for (const HostileName &name : screen.shows)
            EXPECT_TRUE(std::any_of(shown.cbegin(), shown.cend(),
                                    [&name](const Shown &text) { return text.text.contains(name.name); }))
                << "never shown as typed: " << name.name.toStdString();
        for (const Shown &text : shown)
            for (const HostileName &name : kNames)
                if (text.text.contains(name.word)) {
                    EXPECT_TRUE(showsAsTyped(text.text, name))
                        << text.where.toStdString() << " shows \"" << text.text.toStdString() << "\"";
                }
    }
}

} // namespace
} // namespace tw
