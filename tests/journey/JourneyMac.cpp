#include "JourneyMac.h"

#include "engine/syncthing/process/SyncthingSweep.h"
#include "views/window/MainWindow.h"
#include "views/syncpage/ProjectView.h"
#include "views/shell/ShellWindow.h"
#include "views/shell/WindowController.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QUrl>

namespace tw {
namespace {

QCoro::Task<std::optional<QString>> picked(QString path)
{
    co_return path;
}

// Where nothing answers: feedback is never sent from the journey.
const QString kFeedbackEndpoint = QStringLiteral("http://127.0.0.1:9") + QLatin1String(FeedbackService::kRecordsPath);

QString encoded(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

} // namespace

JourneyMac::JourneyMac(const QString &macName, quint16 lanPort, quint16 peerPort)
    : name(macName)
    , m_syncthing(QStringLiteral("127.0.0.1"), macName)
    , m_defaults(m_syncthing.root() + QStringLiteral("/defaults.json"))
    , m_feedback(kFeedbackEndpoint, paths())
    , m_lan{QHostAddress(QHostAddress::LocalHost), lanPort, peerPort}
{
}

JourneyMac::~JourneyMac()
{
    m_shell.reset();
    m_engine.reset();
}

AppPaths JourneyMac::paths() const
{
    // The Syncthing instance keeps its home under this root too.
    return AppPaths(m_syncthing.root() + QStringLiteral("/TidewellSync"));
}

void JourneyMac::launch()
{
    // Started by the instance, which picks its ports again when a parallel
    // test took one first; the application finds it running and attaches.
    m_syncthing.start();
    m_engine = m_syncthing.makeEngine();
    AppEnvironment::Services services{paths()};
    services.defaults = &m_defaults;
    services.keychain = &m_keychain;
    services.feedback = &m_feedback;
    services.notifier = &m_notifier;
    services.lan = m_lan;
    services.autostartEntry = root() + QStringLiteral("/autostart.desktop");
    // The node's Syncthing runs here too: its folders stay in the test's own directory.
    services.nodeFolderRoot = root() + QStringLiteral("/node-folders");
    AppShell::Injectables injectables;
    injectables.exit = [this](int code) { exits.append(code); };
    injectables.aboutToQuit = [] {};
    injectables.trayAvailable = [] { return false; };
    injectables.started = [this] { started = true; };
    injectables.folderPicker = [this](QWidget *) { return picked(nextPick); };
    m_shell = std::make_unique<AppShell>(*m_engine, std::move(services), std::move(injectables));
    m_shell->windowController().show();
}

void JourneyMac::relaunch()
{
    m_shell.reset();
    m_engine.reset();
    started = false;
    launch();
}

MainWindow &JourneyMac::main() const
{
    auto *content = m_shell->window().findChild<MainWindow *>();
    require(content != nullptr, name + QStringLiteral(": no main window"));
    return *content;
}

ProjectView *JourneyMac::syncPage() const
{
    return qobject_cast<ProjectView *>(main().topPage());
}

QWidget &JourneyMac::window() const
{
    return m_shell->window();
}

QJsonObject JourneyMac::folderConfig(const QString &folderID)
{
    const SyncthingInstance::Response response = m_syncthing.get(QStringLiteral("/rest/config/folders/") + encoded(folderID));
    return response.ok() ? response.json().object() : QJsonObject();
}

QStringList JourneyMac::ignoreLines(const QString &folderID)
{
    const SyncthingInstance::Response response =
        m_syncthing.get(QStringLiteral("/rest/db/ignores?folder=") + encoded(folderID));
    QStringList lines;
    for (const QJsonValue &line : response.json().object().value(QStringLiteral("ignore")).toArray())
        lines.append(line.toString());
    return lines;
}

void JourneyMac::scan(const QString &folderID)
{
    m_syncthing.scan(folderID);
}

} // namespace tw
