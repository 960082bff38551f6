#pragma once

#include "app/AppEnvironment.h"
#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"
#include "views/shell/AppShell.h"

#include "MemoryKeychain.h"
#include "RecordingNotifier.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QJsonArray>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

namespace tw {

class MainWindow;
class ProjectView;

// A step's expectation that did not hold; the step that threw it fails.
struct StepFailure : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

inline void require(bool holds, const QString &what)
{
    if (!holds)
        throw StepFailure(what.toStdString());
}

// Waits on what a screen shows, pumping the event loop.
inline void waitFor(const std::function<bool()> &condition, const QString &what, int timeoutMs = 60'000)
{
    require(waitUntil(condition, timeoutMs), QStringLiteral("never came: ") + what);
}

// Waits on what a Syncthing reports over REST: each ask is a request, so
// the loop runs a while between asks.
inline void pollFor(const std::function<bool()> &condition, const QString &what, int timeoutMs = 90'000)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        require(!deadline.hasExpired(), QStringLiteral("never came: ") + what);
        runEventLoopFor(100);
    }
}

// One computer of the team: its own real Syncthing (hardened, loopback),
// root, settings and LAN port, and the whole windowed application on it.
// The folder chooser answers `nextPick`, as a user choosing that folder.
class JourneyMac
{
public:
    JourneyMac(const QString &name, quint16 lanPort, quint16 peerPort);
    ~JourneyMac();

    // Starts its Syncthing, then the application, and shows its window.
    void launch();
    // After the application quit (its Syncthing with it): starts both again.
    void relaunch();
    // The windows and pages a user looks at.
    MainWindow &main() const;
    ProjectView *syncPage() const;
    QWidget &window() const;
    AppShell &shell() const { return *m_shell; }
    AppEnvironment &env() const { return m_shell->environment(); }
    bool isLaunched() const { return m_shell != nullptr; }

    SyncthingInstance &syncthing() { return m_syncthing; }
    AppPaths paths() const;
    QString root() const { return m_syncthing.root(); }
    QString file(const QString &relative) const { return root() + QLatin1Char('/') + relative; }

    // Syncthing's own records of a folder, over REST.
    QJsonObject folderConfig(const QString &folderID);
    QStringList ignoreLines(const QString &folderID);
    void scan(const QString &folderID);

    const QString name;
    QString nextPick;
    QList<int> exits;
    bool started = false;

private:
    SyncthingInstance m_syncthing;
    std::unique_ptr<SyncthingEngine> m_engine;
    UserDefaults m_defaults;
    MemoryKeychain m_keychain;
    RecordingNotifier m_notifier;
    FeedbackService m_feedback;
    AppEnvironment::LanSetting m_lan;
    std::unique_ptr<AppShell> m_shell;
};

} // namespace tw
