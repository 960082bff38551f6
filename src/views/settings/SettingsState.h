#pragma once

#include "engine/model/NetworkSettings.h"
#include "views/settings/MeasuredSpeed.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <qcoro/qcorotask.h>

namespace tw {

class AppEnvironment;

// What the settings window's tabs edit together: copies of the network
// settings, this Mac's device name and the default ignore text, which wait
// for their tab's own button. They are loaded from the engine once per
// window and copied again from the controllers each time the window is
// shown anew, so an edit left unapplied does not outlive a closing. While
// the engine has never told its network settings the load does not count as
// done and each showing asks again: an apply of the initial settings would
// overwrite the user's relay, discovery server and limits.
class SettingsState : public QObject
{
    Q_OBJECT
    Q_PROPERTY(tw::NetworkSettings net READ net WRITE setNet NOTIFY netChanged)
    Q_PROPERTY(QString deviceName READ deviceName WRITE setDeviceName NOTIFY deviceNameChanged)
    Q_PROPERTY(QString ignoreText READ ignoreText WRITE setIgnoreText NOTIFY ignoreTextChanged)
    Q_PROPERTY(bool loaded READ loaded NOTIFY loadedChanged)

public:
    explicit SettingsState(AppEnvironment &env, QObject *parent = nullptr);

    AppEnvironment &env() const { return m_env; }

    const NetworkSettings &net() const { return m_net; }
    void setNet(NetworkSettings net);
    const QString &deviceName() const { return m_deviceName; }
    void setDeviceName(QString name);
    const QString &ignoreText() const { return m_ignoreText; }
    void setIgnoreText(QString text);
    bool loaded() const { return m_loaded; }

    // What the tabs show of their running and finished actions; it outlives
    // tab switches and closings of the window, never the view.
    struct Activity
    {
        bool speedTesting = false;
        std::optional<MeasuredSpeed> speedResult;  // only what can be shown
        bool speedTestFailed = false;  // the last run gave nothing to show
        bool applyingIgnores = false;
        bool resetting = false;
        QString diagText;
        bool diagLoading = false;
        bool diagCopied = false;
        bool remoteCopied = false;

        bool operator==(const Activity &) const = default;
    };
    const Activity &activity() const { return m_activity; }
    // Changes the activity and tells the tabs when anything changed.
    template <typename Edit>
    void editActivity(Edit edit)
    {
        Activity next = m_activity;
        edit(next);
        if (next == m_activity)
            return;
        m_activity = std::move(next);
        emit activityChanged();
    }

    // The window was shown: the first time the engine is asked (once, while
    // no load runs), later the copies are taken again from the controllers.
    void shown();

signals:
    void netChanged();
    void deviceNameChanged();
    void ignoreTextChanged();
    void loadedChanged();
    void activityChanged();

private:
    static QCoro::Task<void> load(QPointer<SettingsState> self, QPointer<AppEnvironment> env);
    void copyFromControllers();

    AppEnvironment &m_env;
    NetworkSettings m_net;
    QString m_deviceName;
    QString m_ignoreText;
    Activity m_activity;
    bool m_loaded = false;
    bool m_loading = false;
};

} // namespace tw
