// The product as a team uses it: two computers, A and B, each the whole
// windowed application on its own real Syncthing, and a bare Syncthing as the
// always-on node, all on loopback. Every step goes through the widgets a user
// would use; waits are on what a screen shows or what a Syncthing reports.
// Each step prints its name and time; a failed step names itself and keeps
// both applications' logs and a picture of each window under the build tree.
#include "app/AppEnvironment.h"
#include "app/InstanceChannel.h"
#include "cluster/NasNodeController.h"
#include "controllers/DirectoryTimes.h"
#include "controllers/EngineController.h"
#include "engine/syncthing/process/SyncthingSweep.h"
#include "projects/ProjectController.h"
#include "views/joining/AcceptFolderSheet.h"
#include "views/panels/ArchivePanel.h"
#include "views/panels/ArchiveRowDelegate.h"
#include "views/panels/ArchiveTreeModel.h"
#include "views/panels/FolderSettingsPanel.h"
#include "views/kit/DisclosureGroup.h"
#include "views/syncpage/FolderChip.h"
#include "views/syncpage/FolderInspector.h"
#include "views/window/IncomingBanner.h"
#include "views/joining/IncomingView.h"
#include "views/joining/InviteSheet.h"
#include "views/window/JoinApprovalPrompt.h"
#include "views/joining/JoinSheet.h"
#include "views/window/MainWindow.h"
#include "views/shell/MenuBarContent.h"
#include "views/overview/NewProjectSheet.h"
#include "views/panels/OmitLevelModel.h"
#include "views/panels/OmitPanel.h"
#include "views/panels/OmitRowDelegate.h"
#include "views/overview/ProjectCard.h"
#include "views/overview/ProjectOverviewView.h"
#include "views/syncpage/ProjectView.h"
#include "views/panels/PurgePanel.h"
#include "views/settings/SettingsView.h"
#include "views/shell/ShellWindow.h"
#include "views/joining/WelcomeSheet.h"

#include "JourneyMac.h"
#include "RefusedXattrs.h"
#include "SaveShot.h"
#include "WindowLookup.h"

#include <QCheckBox>
#include <QClipboard>
#include <QMutex>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLoggingCategory>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTcpServer>
#include <QTimer>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <cstdio>
#include <future>
#include <unistd.h>

namespace tw {
namespace {

const QString kSync = QStringLiteral("Film");
const QString kSubfolder = QStringLiteral("Cuts");
// The film's five files: two in a subfolder, one of 5 MB.
const QStringList kFiles = {QStringLiteral("script.txt"), QStringLiteral("notes.txt"), QStringLiteral("reel.bin"),
                            QStringLiteral("Cuts/one.txt"), QStringLiteral("Cuts/two.txt")};
constexpr qsizetype kReelBytes = 5 * 1024 * 1024;

QString g_step; // the step under way, for the messages and a crash
// Workers log too (a folder's directory pass): kept under a lock.
QMutex g_messagesLock;
QStringList g_messages;

void keepMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    const QMutexLocker locked(&g_messagesLock);
    g_messages.append(QStringLiteral("[%1] %2").arg(g_step, message));
}

void setStep(const QString &step)
{
    const QMutexLocker locked(&g_messagesLock);
    g_step = step;
}

QStringList keptMessages()
{
    const QMutexLocker locked(&g_messagesLock);
    return g_messages;
}

void reportCrash(int signal)
{
    const QByteArray line = "CRASH in step " + g_step.toUtf8() + "\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.constData(), size_t(line.size()));
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

quint16 freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

QByteArray checksum(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

bool exists(const QString &path)
{
    return QFileInfo::exists(path);
}

QStringList conflictCopies(const QString &folder)
{
    QStringList found;
    for (QDirIterator it(folder, {QStringLiteral("*.sync-conflict-*")}, QDir::Files | QDir::Hidden,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        found.append(it.next());
    return found;
}

void click(QWidget *widget, const QString &what)
{
    require(widget != nullptr, QStringLiteral("nothing to click: ") + what);
    waitFor([&] { return widget->isVisible() && widget->isEnabled(); }, what + QStringLiteral(" is shown and enabled"));
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

void type(QLineEdit *field, const QString &text, const QString &what)
{
    require(field != nullptr, QStringLiteral("no field: ") + what);
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

// Every directory's time on each computer, sampled every 0.5 s while the
// steps run. The maker's must hold at every sample, and a receiver's, once it
// shows the time, must keep it; a directory whose time moves (a save, a tree
// moved in) is held to its new time on each computer once it showed it there.
class FolderDates
{
public:
    FolderDates()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { sample(); });
        m_timer.start(500);
    }

    void watch(const QString &name, std::function<QString()> root, bool maker)
    {
        m_computers.append({name, std::move(root), maker, {}});
    }

    void expect(const QString &dir, qint64 time)
    {
        forget(dir);
        m_expected[dir] = time;
        m_moving.insert(dir);
    }

    // Held to nothing until expected again, as while pulls move it.
    void forget(const QString &dir)
    {
        m_expected.remove(dir);
        m_moving.remove(dir);
        m_atLeast.remove(dir);
        for (Computer &computer : m_computers)
            computer.reached.remove(dir);
    }

    // Where no time travels: the save's time or later, on every computer.
    std::optional<qint64> expected(const QString &dir) const
    {
        return m_expected.contains(dir) ? std::optional(m_expected.value(dir)) : std::nullopt;
    }

    void expectAtLeast(const QString &dir, qint64 time)
    {
        expect(dir, time);
        m_atLeast.insert(dir);
    }

    bool allShow()
    {
        sample();
        for (const Computer &computer : m_computers)
            if (!computer.root().isEmpty() && computer.reached.size() != m_expected.size())
                return false;
        return true;
    }

    // Each computer's times, as the closing lines of a step.
    QString table() const
    {
        QStringList lines;
        for (const Computer &computer : m_computers) {
            if (computer.root().isEmpty())
                continue;
            QStringList times;
            for (auto it = m_expected.cbegin(); it != m_expected.cend(); ++it)
                times.append(it.key() + ' ' + QDateTime::fromSecsSinceEpoch(shown(computer, it.key()).value_or(0))
                                                  .toUTC().toString(QStringLiteral("MM-dd HH:mm:ss")));
            lines.append(computer.name + QStringLiteral(": ") + times.join(QStringLiteral(", ")));
        }
        return lines.join('\n');
    }

    QStringList strays;

private:
    struct Computer
    {
        QString name;
        std::function<QString()> root;
        bool maker;
        QSet<QString> reached;
    };

    static std::optional<qint64> shown(const Computer &computer, const QString &dir)
    {
        const QString root = computer.root();
        const QFileInfo info(root + QLatin1Char('/') + dir);
        if (root.isEmpty() || !info.isDir())
            return std::nullopt;
        return info.lastModified().toSecsSinceEpoch();
    }

    void sample()
    {
        for (Computer &computer : m_computers)
            for (auto it = m_expected.cbegin(); it != m_expected.cend(); ++it) {
                const std::optional<qint64> time = shown(computer, it.key());
                if (!time)
                    continue;
                // A pull's moment can fall on the time's second (on the maker
                // too, for a teammate's save): it shows the time once it
                // carries it too.
                // Where no time travels, a receiver shows its pull's moment
                // or, once its engine applied it, the save's: never earlier.
                if (m_atLeast.contains(it.key())) {
                    if (*time >= *it)
                        computer.reached.insert(it.key());
                    else if (computer.reached.contains(it.key()))
                        strays.append(computer.name + ' ' + it.key() + ' ' + QString::number(*time));
                    continue;
                }
                const std::optional<qint64> carried = DirectoryTimes::carried(computer.root(), it.key());
                if (*time == *it && (!carried || *carried == *it))
                    computer.reached.insert(it.key());
                else if (*time == *it)
                    continue;
                else if (computer.reached.contains(it.key()) || (computer.maker && !m_moving.contains(it.key()))) {
                    const QString stray = computer.name + ' ' + it.key() + ' ' + QString::number(*time);
                    if (!strays.contains(stray))
                        strays.append(stray);
                }
            }
        for (auto it = m_moving.begin(); it != m_moving.end();)
            it = std::all_of(m_computers.cbegin(), m_computers.cend(),
                             [&](const Computer &computer) {
                                 return computer.root().isEmpty() || computer.reached.contains(*it);
                             })
                     ? m_moving.erase(it)
                     : std::next(it);
    }

    QMap<QString, qint64> m_expected;
    QSet<QString> m_moving;
    QSet<QString> m_atLeast;
    QList<Computer> m_computers;
    QTimer m_timer;
};

void setModified(const QString &path, qint64 seconds)
{
    const struct timespec set[2] = {{0, UTIME_OMIT}, {seconds, 0}};
    require(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), set, 0) == 0, QStringLiteral("dated ") + path);
}

class JourneyIntegrationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(qEnvironmentVariable("TIDEWELL_LOOPBACK_ONLY"), "1");
        ASSERT_TRUE(m_home.isValid());
        // Both computers share this process: its HOME, XDG directories and
        // runtime directory are the test's own; each computer's Syncthing
        // gets a HOME of its own.
        const QProcessEnvironment isolated = SyncthingInstance::isolatedEnvironment(m_home.path());
        for (const char *key : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME",
                                "XDG_RUNTIME_DIR"})
            qputenv(key, isolated.value(QString::fromLatin1(key)).toUtf8());
        {
            const QMutexLocker locked(&g_messagesLock);
            g_messages.clear();
        }
        // What each computer writes of its directory times goes to the log kept on failure.
        QLoggingCategory::setFilterRules(QStringLiteral("tw.dirtimes.debug=true\ntw.dirnews.debug=true"));
        m_previousHandler = qInstallMessageHandler(keepMessage);
        std::signal(SIGSEGV, reportCrash);
        std::signal(SIGABRT, reportCrash);
        const quint16 portA = freePort();
        const quint16 portB = freePort();
        a = std::make_unique<JourneyMac>(QStringLiteral("Studio A"), portA, portB);
        b = std::make_unique<JourneyMac>(QStringLiteral("Studio B"), portB, portA);
        node = std::make_unique<SyncthingInstance>(QStringLiteral("127.0.0.1"), QStringLiteral("NAS"));
    }

    void TearDown() override
    {
        // A crash while the applications go is no step's.
        setStep(QStringLiteral("teardown, after step %1").arg(m_count));
        d.reset();
        c.reset();
        b.reset();
        a.reset();
        node.reset();
        stranger.reset();
        qInstallMessageHandler(m_previousHandler);
        std::signal(SIGSEGV, SIG_DFL);
        std::signal(SIGABRT, SIG_DFL);
        std::printf("journey: %d steps in %lld ms\n", m_count, static_cast<long long>(m_total));
    }

    // Runs one step; a failure is reported with its name, the evidence is
    // kept, and the steps after it do not run.
    bool step(const QString &name, const std::function<void()> &action)
    {
        ++m_count;
        setStep(QStringLiteral("%1 %2").arg(m_count).arg(name));
        std::printf("step %s ...\n", qPrintable(g_step));
        std::fflush(stdout);
        QElapsedTimer timer;
        timer.start();
        QString failure;
        try {
            action();
        } catch (const std::exception &error) {
            failure = QString::fromUtf8(error.what());
        }
        m_total += timer.elapsed();
        std::printf("step %s: %lld ms%s\n", qPrintable(g_step), static_cast<long long>(timer.elapsed()),
                    failure.isEmpty() ? "" : " FAILED");
        std::fflush(stdout);
        if (failure.isEmpty())
            return true;
        const QString kept = keepEvidence();
        ADD_FAILURE() << "step " << g_step.toStdString() << ": " << failure.toStdString() << "\n(logs and pictures in "
                      << kept.toStdString() << ")";
        return false;
    }

    QString keepEvidence()
    {
        QDir folder(QStringLiteral(TIDEWELL_JOURNEY_DIR));
        const QString name = QStringLiteral("failed-step-%1").arg(m_count);
        QDir(folder.filePath(name)).removeRecursively();
        folder.mkpath(name);
        folder.cd(name);
        QFile messages(folder.filePath(QStringLiteral("applications.log")));
        if (messages.open(QIODevice::WriteOnly))
            messages.write(keptMessages().join(QLatin1Char('\n')).toUtf8());
        const auto keepSyncthingLog = [&](SyncthingInstance *instance, const QString &who) {
            if (instance)
                QFile::copy(instance->home() + QLatin1Char('/') + SyncthingProcess::logFileName,
                            folder.filePath(who + QStringLiteral("-syncthing.log")));
        };
        keepSyncthingLog(&a->syncthing(), QStringLiteral("A"));
        keepSyncthingLog(&b->syncthing(), QStringLiteral("B"));
        keepSyncthingLog(node.get(), QStringLiteral("node"));
        keepSyncthingLog(stranger.get(), QStringLiteral("stranger"));
        for (const auto &[mac, who] : {std::pair{a.get(), "A"}, std::pair{b.get(), "B"}}) {
            if (!mac->isLaunched())
                continue;
            mac->window().grab().save(folder.filePath(QStringLiteral("%1-window.png").arg(who)));
            if (mac->shell().settingsWindow().isVisible())
                mac->shell().settingsWindow().grab().save(folder.filePath(QStringLiteral("%1-settings.png").arg(who)));
            if (QDialog *sheet = mac->main().openSheet())
                sheet->grab().save(folder.filePath(QStringLiteral("%1-sheet.png").arg(who)));
        }
        return folder.path();
    }

    // The journey's pieces, in the words of the screens.

    void launched(JourneyMac &mac)
    {
        mac.launch();
        waitFor([&] { return mac.started && mac.env().engineState().status().isRunning; },
                mac.name + QStringLiteral(" starts up with a running Syncthing"));
    }

    template <typename Sheet>
    Sheet *sheetOn(JourneyMac &mac, const QString &what)
    {
        Sheet *sheet = nullptr;
        waitFor([&] {
            sheet = qobject_cast<Sheet *>(mac.main().openSheet());
            return sheet && sheet->isVisible();
        }, mac.name + QStringLiteral(" shows ") + what);
        return sheet;
    }

    // Back to the overview, then the sync's card.
    ProjectView &openSync(JourneyMac &mac)
    {
        MainWindow &main = mac.main();
        if (mac.syncPage() && mac.syncPage()->isVisible() && mac.syncPage()->findChild<FolderChip *>())
            return *mac.syncPage();
        waitFor([&] {
            if (main.path().ids().isEmpty())
                return true;
            if (QAbstractButton *back = toolButton(main.toolBar(), QStringLiteral("Back")); back && back->isVisible())
                QTest::mouseClick(back, Qt::LeftButton, {}, back->rect().center());
            return main.path().ids().isEmpty();
        }, mac.name + QStringLiteral(": Back reaches the overview"));
        ProjectCard *card = nullptr;
        waitFor([&] { return (card = shownChild<ProjectCard>(main.topPage())) != nullptr; },
                mac.name + QStringLiteral(": the sync's card"));
        click(card, QStringLiteral("the sync's card"));
        waitFor([&] { return mac.syncPage() && mac.syncPage()->isVisible() && shownChild<FolderChip>(mac.syncPage()); },
                mac.name + QStringLiteral(": the sync's page with its folder"));
        return *mac.syncPage();
    }

    // The folder's inspector, from its chip.
    FolderInspector &inspector(JourneyMac &mac)
    {
        ProjectView &page = openSync(mac);
        if (QWidget *back = shownChild<QToolButton>(&page, QStringLiteral("back"))) {
            click(back, QStringLiteral("the panel's back"));
            waitFor([&] { return shownChild<QWidget>(&page, QStringLiteral("panelHost")) == nullptr; },
                    mac.name + QStringLiteral(": the panel closes"));
        }
        FolderInspector *shownInspector = shownChild<FolderInspector>(&page);
        if (!shownInspector) {
            click(shownChild<FolderChip>(&page), QStringLiteral("the folder's chip"));
            waitFor([&] { return (shownInspector = shownChild<FolderInspector>(&page)) != nullptr; },
                    mac.name + QStringLiteral(": the folder's inspector"));
        }
        return *shownInspector;
    }

    template <typename Panel>
    Panel &panel(JourneyMac &mac, const char *button, const QString &what)
    {
        FolderInspector &folder = inspector(mac);
        click(shownChild<QToolButton>(folder.actionBar(), QString::fromLatin1(button)), what);
        Panel *opened = nullptr;
        waitFor([&] { return (opened = shownChild<Panel>(mac.syncPage())) != nullptr; }, mac.name + QStringLiteral(": ") + what);
        return *opened;
    }

    SettingsView &settingsTab(JourneyMac &mac, SettingsView::Tab tab)
    {
        QAction *open = menuAction(mac.window(), QStringLiteral("Settings\u2026"));
        require(open != nullptr, QStringLiteral("the Settings… menu item"));
        open->trigger();
        auto *settings = mac.shell().settingsWindow().findChild<SettingsView *>();
        require(settings != nullptr, QStringLiteral("the settings view"));
        waitFor([&] { return settings->isVisible(); }, mac.name + QStringLiteral(": the settings window"));
        QTabBar *bar = settings->tabs()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
        waitFor([&] { return settings->tabs()->currentIndex() == tab; }, QStringLiteral("the settings tab"));
        return *settings;
    }

    void expand(QWidget *root, const QString &name)
    {
        auto *group = root ? root->findChild<DisclosureGroup *>(name) : nullptr;
        require(group != nullptr, QStringLiteral("no group ") + name);
        if (!group->isExpanded())
            click(group->toggle(), name);
        waitFor([&] { return group->isExpanded(); }, name + QStringLiteral(" opens"));
    }

    // The maker's first sync, made through the welcome and new-sync sheets,
    // with the folder at path; m_folderID is its engine folder.
    void makeSync(JourneyMac &maker, const QString &path)
    {
        launched(maker);
        auto *welcome = sheetOn<WelcomeSheet>(maker, QStringLiteral("the welcome sheet"));
        click(welcome->findChild<QPushButton *>(QStringLiteral("create")), QStringLiteral("Create your first sync"));
        auto *sheet = sheetOn<NewProjectSheet>(maker, QStringLiteral("the new-sync sheet"));
        QTest::keyClicks(sheet->nameField(), kSync);
        click(sheet->createButton(), QStringLiteral("Create"));
        waitFor([&] { return maker.syncPage() && maker.syncPage()->isVisible(); }, QStringLiteral("the new sync's page"));
        maker.nextPick = path;
        click(maker.syncPage()->findChild<QToolButton *>(ProjectView::addFolderHelp), QStringLiteral("add a folder"));
        waitFor([&] { return shownChild<FolderChip>(maker.syncPage()) != nullptr; }, QStringLiteral("the folder's chip"));
        pollFor([&] { return !(m_folderID = folderWithPath(maker, path)).isEmpty(); },
                maker.name + QStringLiteral("'s Syncthing holds the folder"));
    }

    // The joiner starts, takes A's invite link, A allows it, and the joiner
    // places the offered folder in where. Answers the folder's path there.
    QString joinByInvite(JourneyMac &joiner, const QString &where)
    {
        launched(joiner);
        auto *welcome = sheetOn<WelcomeSheet>(joiner, QStringLiteral("the welcome sheet"));
        click(welcome->findChild<QPushButton *>(QStringLiteral("maybeLater")), QStringLiteral("Maybe later"));

        QAction *invite = openSync(*a).inviteAction();
        invite->trigger();
        InviteSheet *inviteSheet = nullptr;
        waitFor([&] { return (inviteSheet = shownChild<InviteSheet>(&a->window())) != nullptr; },
                QStringLiteral("A's invite sheet"));
        QGuiApplication::clipboard()->clear();
        click(inviteSheet->findChild<QPushButton *>(QStringLiteral("copyLink")), QStringLiteral("Copy link"));
        const QString link = QGuiApplication::clipboard()->text();
        require(!link.isEmpty(), QStringLiteral("the invite link is copied"));
        click(inviteSheet->findChild<QPushButton *>(QStringLiteral("done")), QStringLiteral("Done"));

        sendLink(joiner, link);
        auto *join = sheetOn<JoinSheet>(joiner, QStringLiteral("the join sheet"));
        click(join->findChild<QPushButton *>(QStringLiteral("join")), QStringLiteral("Join"));
        discoversA(joiner.syncthing(), joiner.name + QStringLiteral("'s Syncthing"));

        JoinApprovalPrompt *prompt = nullptr;
        waitFor([&] { return (prompt = a->main().approvalPrompt()) && prompt->isVisible(); },
                QStringLiteral("A's approval prompt"), 90'000);
        click(qobject_cast<QWidget *>(prompt->button(JoinApprovalPrompt::Choice::Allow)), QStringLiteral("Allow"));

        IncomingBanner *banner = joiner.main().incomingBanner();
        waitFor([&] { return banner->isVisible(); }, joiner.name + QStringLiteral("'s incoming banner"), 90'000);
        click(banner, QStringLiteral("the incoming banner"));
        IncomingView *incoming = nullptr;
        waitFor([&] { return (incoming = shownChild<IncomingView>(&joiner.window())) != nullptr; },
                joiner.name + QStringLiteral("'s Incoming page"));
        QPushButton *place = nullptr;
        waitFor([&] { return (place = shownChild<QPushButton>(incoming, QStringLiteral("place"))) != nullptr; },
                QStringLiteral("the offered folder's Place…"), 90'000);
        joiner.nextPick = where;
        QDir().mkpath(joiner.nextPick);
        click(place, QStringLiteral("Place…"));
        AcceptFolderSheet *accept = nullptr;
        waitFor([&] { return (accept = shownChild<AcceptFolderSheet>(&joiner.window())) != nullptr; },
                QStringLiteral("the place sheet"));
        click(accept->findChild<QPushButton *>(QStringLiteral("choose")), QStringLiteral("Choose…"));
        click(shownChild<QPushButton>(accept, QStringLiteral("place")), QStringLiteral("Place"));
        QString placed;
        pollFor([&] {
            placed = joiner.folderConfig(m_folderID).value(QStringLiteral("path")).toString();
            return !placed.isEmpty();
        }, joiner.name + QStringLiteral("'s Syncthing holds the folder"));
        require(QDir(placed).absolutePath().startsWith(QDir(where).absolutePath()),
                QStringLiteral("the folder is placed where chosen: ") + placed);
        return placed;
    }

    // The always-on node, started and connected through A's Team settings,
    // holds the folder; the settings stay open.
    SettingsView &connectNode()
    {
        node->start();
        SettingsView &settings = settingsTab(*a, SettingsView::Team);
        expand(&settings, QStringLiteral("connectManually"));
        type(shownChild<QLineEdit>(&settings, QStringLiteral("address")), node->baseURL().toString(),
             QStringLiteral("the node's address"));
        type(shownChild<QLineEdit>(&settings, QStringLiteral("apiKey")), node->apiKey(), QStringLiteral("the API key"));
        click(shownChild<QPushButton>(&settings, QStringLiteral("connect")), QStringLiteral("Connect"));
        waitFor([&] { return shownChild<QWidget>(&settings, QStringLiteral("nodePart")) != nullptr; },
                QStringLiteral("A shows the node connected"), 90'000);
        discoversA(*node, QStringLiteral("the node"));
        pollFor([&] { return node->get(QStringLiteral("/rest/config/folders/") + m_folderID).ok(); },
                QStringLiteral("the node holds the folder"));
        require(nodeFolder().startsWith(a->root()), QStringLiteral("the node's folder in the test's directory"));
        return settings;
    }

    QString nodeFolder()
    {
        return node->get(QStringLiteral("/rest/config/folders/") + m_folderID).json()[QStringLiteral("path")].toString();
    }

    // The folder's "Sync file manager tags & metadata" switch, through its
    // settings panel, by the keys.
    void switchMetadata(JourneyMac &mac, bool on)
    {
        auto &settings = panel<FolderSettingsPanel>(mac, "settings", mac.name + QStringLiteral("'s folder settings"));
        auto *metadata = shownChild<QCheckBox>(&settings, QStringLiteral("syncMetadata"));
        require(metadata != nullptr, QStringLiteral("the metadata switch"));
        if (metadata->isChecked() != on) {
            metadata->setFocus(Qt::TabFocusReason);
            QTest::keyClick(metadata, Qt::Key_Space);
        }
        click(shownChild<QPushButton>(&settings, QStringLiteral("save")), QStringLiteral("Save"));
        pollFor([&] {
            return mac.syncthing().get(QStringLiteral("/rest/config/folders/") + m_folderID)
                       .json()[QStringLiteral("syncXattrs")].toBool(!on) == on;
        }, mac.name + QStringLiteral("'s Syncthing takes the metadata switch"));
    }

    QString filmA(const QString &relative = {}) const
    {
        return a->file(QStringLiteral("Film")) + (relative.isEmpty() ? QString() : QLatin1Char('/') + relative);
    }

    QString filmB(const QString &relative = {}) const
    {
        return m_filmB + (relative.isEmpty() ? QString() : QLatin1Char('/') + relative);
    }

    // Puts a file on A and has A's Syncthing scan now, not after its watcher's delay.
    void writeOnA(const QString &relative, const QByteArray &content)
    {
        SyncthingInstance::writeFile(filmA(relative), content);
        a->scan(m_folderID);
    }

    void arrivesOnB(const QString &relative, const QByteArray &content, const QString &what)
    {
        pollFor([&] { return SyncthingInstance::readFile(filmB(relative)) == content; }, what);
    }

    QString folderWithPath(JourneyMac &mac, const QString &path)
    {
        const QJsonArray folders = mac.syncthing().get(QStringLiteral("/rest/config/folders")).json().array();
        for (const QJsonValue &folder : folders)
            if (QDir(folder[QStringLiteral("path")].toString()) == QDir(path))
                return folder[QStringLiteral("id")].toString();
        return {};
    }

    // Discovery is off on loopback: what it would find, A's address, is
    // given to the other Syncthing by hand once that one knows A.
    void discoversA(SyncthingInstance &other, const QString &who)
    {
        const QString path = QStringLiteral("/rest/config/devices/") + a->syncthing().deviceID();
        pollFor([&] { return other.get(path).ok(); }, who + QStringLiteral(" knows A"));
        const QJsonObject addresses{{QStringLiteral("addresses"), QJsonArray{a->syncthing().listenAddress()}}};
        require(other.request("PATCH", path, QJsonDocument(addresses).toJson(), other.apiKey()).ok(),
                who + QStringLiteral(" is given A's address"));
    }

    void sendLink(JourneyMac &mac, const QString &link)
    {
        // As a second launch with the link: it hands it over the local socket
        // to the copy running, and waits for its answer.
        const QString socket = InstanceChannel::socketPath(mac.paths());
        require(mac.shell().listen(socket), QStringLiteral("the running copy listens"));
        const QString request = InstanceChannel::requestFor({QStringLiteral("tidewellmesh"), link});
        std::future<bool> sent = std::async(std::launch::async, [socket, request] {
            return InstanceChannel::forward(socket, request, std::chrono::seconds(30));
        });
        waitFor([&] { return sent.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                QStringLiteral("the second launch hands over the link"));
        require(sent.get(), QStringLiteral("the running copy takes the link"));
    }

    void quitFromTray(JourneyMac &mac)
    {
        QAction *quit = nullptr;
        for (QAction *action : mac.shell().trayMenu().actions())
            if (action->text() == QStringLiteral("Quit TidewellMesh"))
                quit = action;
        require(quit != nullptr, QStringLiteral("Quit TidewellMesh in the tray menu"));
        quit->trigger();
    }

    std::unique_ptr<JourneyMac> a;
    std::unique_ptr<JourneyMac> b;
    std::unique_ptr<JourneyMac> c;
    std::unique_ptr<JourneyMac> d;
    std::unique_ptr<SyncthingInstance> node;
    std::unique_ptr<SyncthingInstance> stranger;
    QString m_folderID;
    QString m_filmB;
    QString m_filmC;
    QString m_filmD;
    QMap<QString, QByteArray> m_sums;

private:
    QTemporaryDir m_home;
    QtMessageHandler m_previousHandler = nullptr;
    int m_count = 0;
    qint64 m_total = 0;
};

TEST_F(JourneyIntegrationTest, TwoComputersAndANodeThroughTheirWindows)
{
    if (!step(QStringLiteral("first-start-and-film"), [&] {
            QDir().mkpath(filmA(kSubfolder));
            for (const QString &file : kFiles) {
                const QByteArray content = file.endsWith(QLatin1String(".bin"))
                                               ? QByteArray(kReelBytes, 'r')
                                               : file.toUtf8() + QByteArrayLiteral(" as shot\n");
                SyncthingInstance::writeFile(filmA(file), content);
                m_sums[file] = checksum(filmA(file));
            }
            makeSync(*a, filmA());
            // Five files and their subfolder.
            require(a->syncthing().waitUntilIndexed(m_folderID, int(kFiles.size()) + 1),
                    QStringLiteral("A's Syncthing has scanned the five files"));
        }))
        return;

    if (!step(QStringLiteral("invite-join-allow-place"), [&] {
            m_filmB = joinByInvite(*b, b->file(QStringLiteral("Projects")));
            for (const QString &file : kFiles)
                pollFor([&] { return checksum(filmB(file)) == m_sums[file]; }, file + QStringLiteral(" on B with A's checksum"));
        }))
        return;

    if (!step(QStringLiteral("edit-delete-restore"), [&] {
            SyncthingInstance::writeFile(filmB(QStringLiteral("script.txt")), "script, second draft from B\n");
            b->scan(m_folderID);
            pollFor([&] { return SyncthingInstance::readFile(filmA(QStringLiteral("script.txt")))
                                 == "script, second draft from B\n"; },
                    QStringLiteral("B's edit reaches A"));
            // A conflict copy is made as the edit lands, before it is in place.
            const QStringList conflicts = conflictCopies(filmA()) + conflictCopies(filmB());
            require(conflicts.isEmpty(), QStringLiteral("no conflict copy on either computer: ")
                                             + conflicts.join(QStringLiteral(", ")));
            const QByteArray notes = SyncthingInstance::readFile(filmA(QStringLiteral("notes.txt")));
            QFile::remove(filmA(QStringLiteral("notes.txt")));
            a->scan(m_folderID);
            pollFor([&] { return !exists(filmB(QStringLiteral("notes.txt"))); }, QStringLiteral("the deletion reaches B"));
            auto &archive = panel<ArchivePanel>(*b, "archive", QStringLiteral("B's archive panel"));
            QModelIndex row;
            waitFor([&] {
                row = archive.model().indexOf(QStringLiteral("file:notes.txt"));
                return !archive.isLoading() && row.isValid();
            }, QStringLiteral("the deleted file in B's archive"));
            archive.tree().scrollTo(row);
            QTest::mouseClick(archive.tree().viewport(), Qt::LeftButton, {}, archive.rowDelegate().buttonRect(row).center());
            pollFor([&] { return SyncthingInstance::readFile(filmB(QStringLiteral("notes.txt"))) == notes; },
                    QStringLiteral("Restore brings the file back on B with its content"));
        }))
        return;

    if (!step(QStringLiteral("exclude-subfolder"), [&] {
            auto &omit = panel<OmitPanel>(*b, "ignore", QStringLiteral("B's exclusion browser"));
            const auto cutsRow = [&] {
                const QList<BrowseEntry> &entries = omit.entries();
                for (int at = 0; at < entries.size(); ++at)
                    if (entries[at].name == kSubfolder)
                        return omit.model().index(at);
                return QModelIndex();
            };
            waitFor([&] { return !omit.isLoading() && cutsRow().isValid(); }, QStringLiteral("the subfolder is listed"));
            const QString line = QLatin1Char('/') + kSubfolder;
            QTest::mouseClick(omit.list().viewport(), Qt::LeftButton, {}, omit.rowDelegate().switchRect(cutsRow()).center());
            pollFor([&] { return b->ignoreLines(m_folderID).contains(line); }, QStringLiteral("B's ignore lines hold it"));
            const QByteArray before = SyncthingInstance::readFile(filmB(QStringLiteral("Cuts/one.txt")));
            SyncthingInstance::writeFile(filmA(QStringLiteral("Cuts/one.txt")), "one, recut on A\n");
            // A file beside it, in the same scan: once it is on B, so would the change be.
            writeOnA(QStringLiteral("beside.txt"), "beside\n");
            arrivesOnB(QStringLiteral("beside.txt"), "beside\n", QStringLiteral("the change beside it reaches B"));
            require(SyncthingInstance::readFile(filmB(QStringLiteral("Cuts/one.txt"))) == before,
                    QStringLiteral("the change in the switched-off subfolder stays off B"));
            require(SyncthingInstance::readFile(filmA(QStringLiteral("Cuts/one.txt"))) == "one, recut on A\n",
                    QStringLiteral("A's copy stays"));
            waitFor([&] { return !omit.isLoading() && cutsRow().isValid(); }, QStringLiteral("the subfolder is listed"));
            QTest::mouseClick(omit.list().viewport(), Qt::LeftButton, {}, omit.rowDelegate().switchRect(cutsRow()).center());
            pollFor([&] { return !b->ignoreLines(m_folderID).contains(line); },
                    QStringLiteral("switched back on, the line goes"));
            arrivesOnB(QStringLiteral("Cuts/one.txt"), "one, recut on A\n", QStringLiteral("the change arrives"));
        }))
        return;

    if (!step(QStringLiteral("pause-resume"), [&] {
            FolderInspector &folder = inspector(*b);
            click(shownChild<QToolButton>(folder.actionBar(), QStringLiteral("pause")), QStringLiteral("Pause"));
            pollFor([&] { return b->folderConfig(m_folderID).value(QStringLiteral("paused")).toBool(); },
                    QStringLiteral("B's Syncthing pauses the folder"));
            const QString statusPath = QStringLiteral("/rest/db/status?folder=") + m_folderID;
            const qint64 sequence = a->syncthing().get(statusPath).json()[QStringLiteral("sequence")].toInteger();
            const QByteArray before = SyncthingInstance::readFile(filmB(QStringLiteral("beside.txt")));
            writeOnA(QStringLiteral("beside.txt"), "beside, while B pauses\n");
            pollFor([&] { return a->syncthing().get(statusPath).json()[QStringLiteral("sequence")].toInteger() > sequence; },
                    QStringLiteral("A has scanned its change"));
            require(SyncthingInstance::readFile(filmB(QStringLiteral("beside.txt"))) == before,
                    QStringLiteral("the change waits while B is paused"));
            click(shownChild<QToolButton>(inspector(*b).actionBar(), QStringLiteral("pause")), QStringLiteral("Resume"));
            pollFor([&] { return !b->folderConfig(m_folderID).value(QStringLiteral("paused")).toBool(true); },
                    QStringLiteral("B's Syncthing resumes the folder"));
            arrivesOnB(QStringLiteral("beside.txt"), "beside, while B pauses\n", QStringLiteral("the change arrives"));
        }))
        return;

    if (!step(QStringLiteral("node-team-key-removal"), [&] {
            SettingsView &settingsA = connectNode();
            for (const QString &file : kFiles)
                pollFor([&] { return exists(nodeFolder() + QLatin1Char('/') + file); }, file + QStringLiteral(" on the node"));

            expand(&settingsA, QStringLiteral("manageTeamKey"));
            click(shownChild<QPushButton>(&settingsA, QStringLiteral("generateTeamKey")), QStringLiteral("Generate team key"));
            QString key;
            waitFor([&] {
                key = a->env().nasNode().teamKey().value_or(QString());
                auto *shownKey = shownChild<QLabel>(&settingsA, QStringLiteral("teamKey"));
                return !key.isEmpty() && shownKey && shownKey->text() == key;
            }, QStringLiteral("A shows its new team key"));
            a->shell().settingsWindow().close();

            SettingsView &settingsB = settingsTab(*b, SettingsView::Team);
            expand(&settingsB, QStringLiteral("manageTeamKey"));
            type(shownChild<QLineEdit>(&settingsB, QStringLiteral("teamKeyInput")), key, QStringLiteral("the team key"));
            click(shownChild<QPushButton>(&settingsB, QStringLiteral("useTeamKey")), QStringLiteral("Use"));
            waitFor([&] { return b->env().nasNode().teamKey() == key; }, QStringLiteral("B stores the team key"));
            b->shell().settingsWindow().close();

            auto &removal = panel<PurgePanel>(*a, "purge", QStringLiteral("A's removal panel"));
            type(removal.findChild<QLineEdit *>(QStringLiteral("subpath")), kSubfolder, QStringLiteral("the subfolder"));
            type(removal.findChild<QLineEdit *>(QStringLiteral("confirm")), kSubfolder, QStringLiteral("the confirmation"));
            click(removal.findChild<QPushButton *>(QStringLiteral("remove")), QStringLiteral("Remove from others"));
            pollFor([&] { return !exists(filmB(kSubfolder)); }, QStringLiteral("the subfolder goes from B"));
            const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash/files");
            bool trashed = false;
            for (QDirIterator it(trash, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
                 it.hasNext();)
                if (it.next().endsWith(QStringLiteral("/one.txt")))
                    trashed = true;
            require(trashed, QStringLiteral("B's subfolder is in the trash"));
            require(exists(filmA(QStringLiteral("Cuts/one.txt"))) && exists(filmA(QStringLiteral("Cuts/two.txt"))),
                    QStringLiteral("A keeps its copy"));
            pollFor([&] {
                const QJsonArray lines = node->get(QStringLiteral("/rest/db/ignores?folder=") + m_folderID)
                                             .json()[QStringLiteral("ignore")].toArray();
                return lines.contains(QJsonValue(QLatin1Char('/') + kSubfolder));
            }, QStringLiteral("the node hides the subfolder"));
            const QString nodePath = nodeFolder();
            require(exists(nodePath + QStringLiteral("/Cuts/one.txt")) && exists(nodePath + QStringLiteral("/Cuts/two.txt")),
                    QStringLiteral("the node keeps its files"));
        }))
        return;

    if (!step(QStringLiteral("upload-limit"), [&] {
            SettingsView &settings = settingsTab(*a, SettingsView::Network);
            auto *limit = shownChild<QSpinBox>(&settings, QStringLiteral("upLimit"));
            require(limit != nullptr, QStringLiteral("the upload limit field"));
            limit->setFocus();
            limit->selectAll();
            QTest::keyClicks(limit, QStringLiteral("750"));
            click(shownChild<QPushButton>(&settings, QStringLiteral("applyNetwork")), QStringLiteral("Apply"));
            pollFor([&] {
                return a->syncthing().get(QStringLiteral("/rest/config/options")).json()[QStringLiteral("maxSendKbps")]
                           .toInt() == 750;
            }, QStringLiteral("Syncthing's options show the upload limit"));
            a->shell().settingsWindow().close();
        }))
        return;

    if (!step(QStringLiteral("accept-a-stranger"), [&] {
            stranger = std::make_unique<SyncthingInstance>(QStringLiteral("127.0.0.1"), QStringLiteral("Stranger"));
            stranger->start();
            const QString idA = a->syncthing().deviceID();
            const QString idStranger = stranger->deviceID();
            const QJsonObject device{{QStringLiteral("deviceID"), idA},
                                     {QStringLiteral("addresses"), QJsonArray{a->syncthing().listenAddress()}}};
            require(stranger->request("POST", QStringLiteral("/rest/config/devices"), QJsonDocument(device).toJson(),
                                      stranger->apiKey())
                        .ok(),
                    QStringLiteral("the stranger dials A"));
            openSync(*a);
            IncomingBanner *banner = a->main().incomingBanner();
            waitFor([&] { return banner->isVisible(); }, QStringLiteral("A's incoming banner"), 90'000);
            click(banner, QStringLiteral("the incoming banner"));
            QWidget *row = nullptr;
            waitFor([&] { return (row = shownChild<QWidget>(&a->window(), QStringLiteral("device:") + idStranger)) != nullptr; },
                    QStringLiteral("the stranger on A's Incoming page"));
            click(shownChild<QPushButton>(row, QStringLiteral("accept")), QStringLiteral("Accept"));
            pollFor([&] { return a->syncthing().get(QStringLiteral("/rest/config/devices/") + idStranger).ok(); },
                    QStringLiteral("the device is added"));
            pollFor([&] {
                return a->syncthing().get(QStringLiteral("/rest/system/connections")).json()[QStringLiteral("connections")]
                    [idStranger][QStringLiteral("connected")].toBool();
            }, QStringLiteral("A runs on and connects the stranger"));
            waitFor([&] { return a->env().engineState().status().isRunning && a->window().isVisible(); },
                    QStringLiteral("A keeps running"));
        }))
        return;

    step(QStringLiteral("quit-from-trays"), [&] {
        for (JourneyMac *mac : {a.get(), b.get()}) {
            quitFromTray(*mac);
            waitFor([&] { return !mac->exits.isEmpty(); }, mac->name + QStringLiteral(" ends"));
            require(mac->exits == QList<int>{0}, mac->name + QStringLiteral(" exits 0"));
            const QString home = mac->syncthing().home();
            pollFor([&] { return SyncthingSweep::processesServing(home).isEmpty(); },
                    mac->name + QStringLiteral(": no Syncthing of its home is left"));
        }
    });
}

// Folder dates through whole applications, in each condition in turn: a tree
// dated by its maker before the sync was made (a directory holding only
// directories among it), placed by invite on B, a tree moved in, a save on B
// and on the maker, a change made on B while B and its Syncthing were
// stopped, a change that B pulls as it starts, a third computer joining
// later; then left alone, nothing is sent again. Every directory's time is
// sampled on every computer every 0.5 s (FolderDates).
TEST_F(JourneyIntegrationTest, FolderDatesHoldOnEveryComputer)
{
    const auto at = [](int day, int hour) { return QDateTime(QDate(2020, 3, day), QTime(hour, 0), Qt::UTC).toSecsSinceEpoch(); };
    const QList<std::pair<QString, qint64>> tree{{"Day1", at(1, 9)},        {"Day1/Sub", at(1, 10)}, {"Day2", at(1, 11)},
                                                 {"Reel1", at(1, 12)},      {"Reel1/Sub", at(1, 13)}};
    FolderDates dates;
    dates.watch(QStringLiteral("A"), [this] { return filmA(); }, true);
    dates.watch(QStringLiteral("B"), [this] { return m_filmB; }, false);
    const auto folderStatus = [&] {
        QStringList states;
        const auto add = [&](const QString &name, SyncthingInstance &syncthing) {
            const QJsonObject status = syncthing.get(QStringLiteral("/rest/db/status?folder=") + m_folderID).json().object();
            states.append(name + ' ' + status.value("state").toString() + ", need "
                          + QString::number(status.value("needTotalItems").toInteger()));
        };
        for (JourneyMac *mac : {a.get(), b.get(), c.get(), d.get()})
            if (mac && mac->isLaunched())
                add(mac->name, mac->syncthing());
        if (node->isRunning())
            add(QStringLiteral("node"), *node);
        return states.join(QStringLiteral("; "));
    };
    // Within the time given, and as every step ends: no stray sample.
    const auto allShow = [&](const QString &what, int withinMs) {
        const bool shown = waitUntil([&] { return dates.allShow(); }, withinMs);
        std::printf("%s\n%s\nstatus: %s\n", qPrintable(what), qPrintable(dates.table()), qPrintable(folderStatus()));
        require(shown, QStringLiteral("never came: ") + what);
        require(dates.strays.isEmpty(), QStringLiteral("strays: ") + dates.strays.join(QStringLiteral(", ")));
    };
    const auto arrives = [&](const QString &root, const QString &relative) {
        pollFor([&] { return exists(root + QLatin1Char('/') + relative); }, relative + QStringLiteral(" arrives"));
    };
    const auto save = [&](JourneyMac &mac, const QString &root, const QString &relative) {
        SyncthingInstance::writeFile(root + QLatin1Char('/') + relative, relative.toUtf8());
        const QString dir = relative.section(QLatin1Char('/'), 0, -2);
        dates.expect(dir, QFileInfo(root + QLatin1Char('/') + dir).lastModified().toSecsSinceEpoch());
        mac.scan(m_folderID);
    };
    const auto quit = [&](JourneyMac &mac) {
        quitFromTray(mac);
        waitFor([&] { return !mac.exits.isEmpty(); }, mac.name + QStringLiteral(" ends"));
        pollFor([&] { return SyncthingSweep::processesServing(mac.syncthing().home()).isEmpty(); },
                mac.name + QStringLiteral("'s Syncthing ends"));
        mac.exits.clear();
    };
    const auto relaunch = [&](JourneyMac &mac) {
        mac.relaunch();
        waitFor([&] { return mac.started && mac.env().engineState().status().isRunning; },
                mac.name + QStringLiteral(" starts again"));
    };
    // A dated tree made outside the folder, moved in on A with `mv`.
    const auto moveIn = [&](const QString &file, const QList<std::pair<QString, qint64>> &dated) {
        const QString outside = a->file(QStringLiteral("outside")) + QLatin1Char('/');
        SyncthingInstance::writeFile(outside + file, "take");
        for (const auto &[dir, time] : dated) {
            setModified(outside + dir, time);
            dates.expect(dir, time);
        }
        const QString top = file.section(QLatin1Char('/'), 0, 0);
        require(QDir().rename(outside + top, filmA(top)), QStringLiteral("moved in"));
        a->scan(m_folderID);
    };

    // Each Syncthing of the team scans; the others meet only through A, so a
    // round ends once each took in what A sent and A what each sent. What
    // each took in of the others is sent on once; then nothing.
    const auto quietAfterScans = [&] {
        QList<SyncthingInstance *> team;
        for (JourneyMac *mac : {a.get(), b.get(), c.get(), d.get()})
            team.append(&mac->syncthing());
        if (node->isRunning())
            team.append(node.get());
        const auto sequence = [&](SyncthingInstance &member) {
            return member.get(QStringLiteral("/rest/db/status?folder=") + m_folderID)
                .json()[QStringLiteral("sequence")].toInteger();
        };
        const auto tookIn = [&](SyncthingInstance &receiver, SyncthingInstance &sender) {
            const QString path = QStringLiteral("/rest/db/completion?folder=%1&device=%2")
                                     .arg(m_folderID, sender.deviceID());
            return receiver.get(path).json()[QStringLiteral("sequence")].toInteger(-1) == sequence(sender);
        };
        const auto roundOfScans = [&] {
            QList<qint64> values;
            for (SyncthingInstance *member : team)
                member->scan(m_folderID);
            for (SyncthingInstance *other : team.mid(1))
                pollFor([&] { return tookIn(*other, *team[0]) && tookIn(*team[0], *other); },
                        QStringLiteral("all taken in"));
            for (SyncthingInstance *member : team)
                values.append(sequence(*member));
            return values;
        };
        QList<qint64> before = roundOfScans();
        int rounds = 0;
        for (QList<qint64> now = roundOfScans(); now != before; now = roundOfScans()) {
            require(++rounds < 6, QStringLiteral("still sending after 5 rounds of scans"));
            before = now;
        }
        std::printf("quiet after %d rounds of scans\n", rounds);
        require(roundOfScans() == before && roundOfScans() == before, QStringLiteral("a change announced once quiet"));
    };

    if (!step(QStringLiteral("dated-tree-made-a-sync"), [&] {
            for (const auto &[dir, time] : tree)
                if (dir != QStringLiteral("Reel1"))
                    SyncthingInstance::writeFile(filmA(dir + QStringLiteral("/clip.txt")), dir.toUtf8());
            for (auto it = tree.crbegin(); it != tree.crend(); ++it) {
                setModified(filmA(it->first), it->second);
                dates.expect(it->first, it->second);
            }
            makeSync(*a, filmA());
            require(a->syncthing().waitUntilIndexed(m_folderID, 2 * int(tree.size()) - 1),
                    QStringLiteral("A's Syncthing has scanned the tree"));
            waitFor([&] {
                for (const auto &[dir, time] : tree)
                    if (DirectoryTimes::carried(filmA(), dir) != time)
                        return false;
                return true;
            }, QStringLiteral("every directory on A carries its time"));
            allShow(QStringLiteral("A keeps its times"), 1000);
        }))
        return;

    if (!step(QStringLiteral("placed-by-invite"), [&] {
            m_filmB = joinByInvite(*b, b->file(QStringLiteral("Projects")));
            arrives(m_filmB, QStringLiteral("Reel1/Sub/clip.txt"));
            allShow(QStringLiteral("B shows the maker's times"), 10'000);
        }))
        return;

    if (!step(QStringLiteral("tree-moved-in"), [&] {
            moveIn(QStringLiteral("Moved/Inner/take.txt"),
                   {{QStringLiteral("Moved/Inner"), at(1, 7) - 86'400}, {QStringLiteral("Moved"), at(1, 7)}});
            arrives(m_filmB, QStringLiteral("Moved/Inner/take.txt"));
            allShow(QStringLiteral("the moved tree's times on both"), 10'000);
        }))
        return;

    if (!step(QStringLiteral("saves-on-B-and-on-A"), [&] {
            // A directory's new time may come before its file: once the file is
            // there too, the time must hold.
            save(*b, m_filmB, QStringLiteral("Day2/saved-on-B.txt"));
            arrives(filmA(), QStringLiteral("Day2/saved-on-B.txt"));
            allShow(QStringLiteral("B's save moves Day2 on, on both"), 60'000);
            save(*a, filmA(), QStringLiteral("Day1/Sub/saved-on-A.txt"));
            arrives(m_filmB, QStringLiteral("Day1/Sub/saved-on-A.txt"));
            allShow(QStringLiteral("A's save moves Day1/Sub on, on both"), 60'000);
        }))
        return;

    if (!step(QStringLiteral("changed-while-B-was-stopped"), [&] {
            quit(*b);
            SyncthingInstance::writeFile(m_filmB + QStringLiteral("/Day1/while-closed.txt"), "closed");
            setModified(m_filmB + QStringLiteral("/Day1"), 1'600'000'000);
            dates.expect(QStringLiteral("Day1"), 1'600'000'000);
            relaunch(*b);
            allShow(QStringLiteral("the change made while closed reaches A and stays on B"), 60'000);
        }))
        return;

    if (!step(QStringLiteral("pulled-as-B-starts"), [&] {
            quit(*b);
            save(*a, filmA(), QStringLiteral("Day2/while-B-was-away.txt"));
            relaunch(*b);
            arrives(m_filmB, QStringLiteral("Day2/while-B-was-away.txt"));
            allShow(QStringLiteral("what B pulled as it started shows A's time"), 10'000);
        }))
        return;

    if (!step(QStringLiteral("quit-between-pull-and-restore"), [&] {
            // Made on B by the pull at this moment; its time comes with the pass.
            moveIn(QStringLiteral("Late/take.txt"), {{QStringLiteral("Late"), at(2, 7)}});
            arrives(m_filmB, QStringLiteral("Late/take.txt"));
            quit(*b);
            std::printf("B quit with Late at %s\n",
                        qPrintable(QFileInfo(m_filmB + QStringLiteral("/Late")).lastModified().toUTC().toString()));
            relaunch(*b);
            allShow(QStringLiteral("B shows what it pulled before it quit"), 10'000);
        }))
        return;

    if (!step(QStringLiteral("a-third-computer-joins"), [&] {
            c = std::make_unique<JourneyMac>(QStringLiteral("Studio C"), freePort(), freePort());
            dates.watch(QStringLiteral("C"), [this] { return m_filmC; }, false);
            m_filmC = joinByInvite(*c, c->file(QStringLiteral("Projects")));
            arrives(m_filmC, QStringLiteral("Moved/Inner/take.txt"));
            allShow(QStringLiteral("C shows every time"), 10'000);
        }))
        return;

    // Its drive keeps no user attributes: no time travels with its
    // directories, which take their teammates' from Syncthing's index.
    std::optional<test::RefusedXattrs> drive;
    if (!step(QStringLiteral("a-computer-on-a-drive-without-extended-attributes"), [&] {
            d = std::make_unique<JourneyMac>(QStringLiteral("Studio D"), freePort(), freePort());
            drive.emplace(d->file(QStringLiteral("Drive")));
            dates.watch(QStringLiteral("D"), [this] { return m_filmD; }, false);
            m_filmD = joinByInvite(*d, d->file(QStringLiteral("Drive/Projects")));
            arrives(m_filmD, QStringLiteral("Moved/Inner/take.txt"));
            pollFor([&] {
                return !d->syncthing().get(QStringLiteral("/rest/config/folders/") + m_folderID)
                            .json()[QStringLiteral("syncXattrs")].toBool(true);
            }, QStringLiteral("D's Syncthing syncs no attributes there"));
            allShow(QStringLiteral("D shows every time"), 10'000);
        }))
        return;

    // A teammate whose Syncthing runs without this application restores no
    // times: its pulls and its own saves send directories on with what they
    // carry, which undoes no time here.
    if (!step(QStringLiteral("the-node-pulls-the-tree"), [&] {
            connectNode();
            a->shell().settingsWindow().close();
            pollFor([&] { return exists(nodeFolder() + QStringLiteral("/Moved/Inner/take.txt")); },
                    QStringLiteral("the tree on the node"));
            quietAfterScans();
            allShow(QStringLiteral("the times hold while the node syncs"), 1000);
        }))
        return;

    if (!step(QStringLiteral("saved-on-the-node"), [&] {
            const QString dir = QStringLiteral("Day1/Sub");
            const QString file = dir + QStringLiteral("/saved-on-node.txt");
            // No stamp comes: each receiver whose folder carries times moves
            // the directory on to the file's time and carries it; D reads it
            // in Syncthing's index, or finds the same file time.
            dates.forget(dir);
            SyncthingInstance::writeFile(nodeFolder() + QLatin1Char('/') + file, "node");
            node->scan(m_folderID);
            for (const QString &root : {filmA(), m_filmB, m_filmC, m_filmD})
                arrives(root, file);
            dates.expect(dir, QFileInfo(nodeFolder() + QLatin1Char('/') + file).lastModified().toSecsSinceEpoch());
            allShow(QStringLiteral("the node's save moves its directory on, on every computer"), 60'000);
            // Once each receiver carries it, nothing more is sent.
            quietAfterScans();
            allShow(QStringLiteral("and then quiet"), 1000);
            save(*a, filmA(), QStringLiteral("Day2/after-the-node.txt"));
            arrives(m_filmB, QStringLiteral("Day2/after-the-node.txt"));
            allShow(QStringLiteral("A's save moves Day2 on, on every computer"), 60'000);
        }))
        return;

    // A tree the node's user made: no time travels with it. Each receiver
    // reads the node's from Syncthing's record at the pull, before the
    // receivers' engines send the directory again with the moment it landed;
    // those whose folder carries times carry it on, and D, where the record
    // read was not the node's own, reads what they carry.
    if (!step(QStringLiteral("a-tree-made-on-the-node"), [&] {
            // Dated outside, then moved in: the node's scanner sees it whole.
            const QString made = node->root() + QStringLiteral("/FromNode");
            SyncthingInstance::writeFile(made + QStringLiteral("/Inner/take.txt"), "take");
            setModified(made + QStringLiteral("/Inner"), at(4, 7));
            setModified(made, at(4, 8));
            require(QDir().rename(made, nodeFolder() + QStringLiteral("/FromNode")), QStringLiteral("moved in on the node"));
            const QList<std::pair<QString, qint64>> times{{QStringLiteral("FromNode"), at(4, 8)},
                                                          {QStringLiteral("FromNode/Inner"), at(4, 7)}};
            for (const auto &[dir, time] : times)
                dates.expect(dir, time);
            node->scan(m_folderID);
            for (const QString &root : {filmA(), m_filmB, m_filmC, m_filmD})
                arrives(root, QStringLiteral("FromNode/Inner/take.txt"));
            allShow(QStringLiteral("every computer shows the node's times"), 10'000);
        }))
        return;

    // With the folder's metadata not synced, a directory new here takes the
    // time of the teammate's version; a save moves it on where it is made,
    // and where it is pulled at least to the save's time.
    if (!step(QStringLiteral("metadata-switched-off"), [&] {
            for (JourneyMac *mac : {a.get(), b.get(), c.get()})
                switchMetadata(*mac, false);
            allShow(QStringLiteral("the times hold with metadata off"), 1000);
        }))
        return;

    if (!step(QStringLiteral("tree-made-without-metadata"), [&] {
            moveIn(QStringLiteral("Plain/Inner/take.txt"),
                   {{QStringLiteral("Plain/Inner"), at(3, 7)}, {QStringLiteral("Plain"), at(3, 8)}});
            for (const QString &root : {m_filmB, m_filmC, m_filmD})
                arrives(root, QStringLiteral("Plain/Inner/take.txt"));
            allShow(QStringLiteral("the receivers show the maker's times"), 10'000);
        }))
        return;

    if (!step(QStringLiteral("saves-without-metadata"), [&] {
            const auto saveAtLeast = [&](JourneyMac &mac, const QString &root, const QString &relative) {
                save(mac, root, relative);
                const QString dir = relative.section(QLatin1Char('/'), 0, -2);
                dates.expectAtLeast(dir, QFileInfo(root + QLatin1Char('/') + dir).lastModified().toSecsSinceEpoch());
                for (const QString &other : {filmA(), m_filmB, m_filmC, m_filmD})
                    arrives(other, relative);
            };
            saveAtLeast(*a, filmA(), QStringLiteral("Plain/saved-on-A.txt"));
            allShow(QStringLiteral("A's save moves Plain on, on every computer"), 60'000);
            saveAtLeast(*b, m_filmB, QStringLiteral("Plain/Inner/saved-on-B.txt"));
            allShow(QStringLiteral("B's save moves Plain/Inner on, on every computer"), 60'000);
        }))
        return;

    step(QStringLiteral("left-alone-nothing-is-sent"), [&] {
        quietAfterScans();
        allShow(QStringLiteral("left alone"), 1000);
    });
}

} // namespace
} // namespace tw
