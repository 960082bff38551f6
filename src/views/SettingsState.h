#pragma once

#include "engine/model/NetworkSettings.h"

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
// shown anew, so an edit left unapplied does not outlive a closing.
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

    // The window was shown: the first time the engine is asked (once, while
    // no load runs), later the copies are taken again from the controllers.
    void shown();

signals:
    void netChanged();
    void deviceNameChanged();
    void ignoreTextChanged();
    void loadedChanged();

private:
    static QCoro::Task<void> load(QPointer<SettingsState> self, QPointer<AppEnvironment> env);
    void copyFromControllers();

    AppEnvironment &m_env;
    NetworkSettings m_net;
    QString m_deviceName;
    QString m_ignoreText;
    bool m_loaded = false;
    bool m_loading = false;
};

} // namespace tw
