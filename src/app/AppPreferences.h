#pragma once

#include "app/IgnoreCategory.h"
#include "controllers/BandwidthSchedule.h"
#include "platform/XdgAutostart.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace tw {

class UserDefaults;

// The user's settings, each kept in the user defaults under a key of its own
// name (all but startAtLogin, which is the desktop's autostart entry). Every
// assignment writes the key, also when the value is unchanged; observers hear
// only of changes. An unreadable or mistyped stored value reads as the
// default. Main thread only.
class AppPreferences : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool startAtLogin READ startAtLogin WRITE setStartAtLogin NOTIFY startAtLoginChanged)
    Q_PROPERTY(bool showNotifications READ showNotifications WRITE setShowNotifications NOTIFY
                   showNotificationsChanged)
    Q_PROPERTY(tw::AppPreferences::Appearance appearance READ appearance WRITE setAppearance NOTIFY appearanceChanged)
    Q_PROPERTY(bool autoJoinNode READ autoJoinNode WRITE setAutoJoinNode NOTIFY autoJoinNodeChanged)
    Q_PROPERTY(bool lanDiagnostics READ lanDiagnostics WRITE setLanDiagnostics NOTIFY lanDiagnosticsChanged)
    Q_PROPERTY(tw::BandwidthSchedule bandwidthSchedule READ bandwidthSchedule WRITE setBandwidthSchedule NOTIFY
                   bandwidthScheduleChanged)
    Q_PROPERTY(bool remoteStatusEnabled READ remoteStatusEnabled WRITE setRemoteStatusEnabled NOTIFY
                   remoteStatusEnabledChanged)
    Q_PROPERTY(bool alwaysShowTechnicalDetails READ alwaysShowTechnicalDetails WRITE setAlwaysShowTechnicalDetails
                   NOTIFY alwaysShowTechnicalDetailsChanged)
    Q_PROPERTY(QString remoteStatusToken READ remoteStatusToken WRITE setRemoteStatusToken NOTIFY
                   remoteStatusTokenChanged)
    Q_PROPERTY(bool clusterSyncEnabled READ clusterSyncEnabled WRITE setClusterSyncEnabled NOTIFY
                   clusterSyncEnabledChanged)
    Q_PROPERTY(QString defaultIgnores READ defaultIgnores WRITE setDefaultIgnores NOTIFY defaultIgnoresChanged)

public:
    enum class Appearance { System, Light, Dark };
    Q_ENUM(Appearance)
    static QString toRawValue(Appearance appearance);
    static std::optional<Appearance> appearanceFromRawValue(const QString &raw);
    // Sets the application-wide look; installed by the executable, which
    // owns the widgets. Without one, applyAppearance() does nothing.
    using AppearanceHook = std::function<void(Appearance)>;

    static inline const QString showNotificationsKey = QStringLiteral("showNotifications");
    static inline const QString appearanceKey = QStringLiteral("appearance");
    static inline const QString autoJoinNodeKey = QStringLiteral("autoJoinNode");
    static inline const QString lanDiagnosticsKey = QStringLiteral("lanDiagnostics");
    static inline const QString bandwidthScheduleKey = QStringLiteral("bandwidthSchedule");
    static inline const QString remoteStatusEnabledKey = QStringLiteral("remoteStatusEnabled");
    static inline const QString alwaysShowTechnicalDetailsKey = QStringLiteral("alwaysShowTechnicalDetails");
    static inline const QString remoteStatusTokenKey = QStringLiteral("remoteStatusToken");
    static inline const QString clusterSyncEnabledKey = QStringLiteral("clusterSyncEnabled");
    static inline const QString defaultIgnoresKey = QStringLiteral("defaultIgnores");

    // The commented default ignore text: 66 lines, no final line feed.
    static const QString &defaultIgnoreText();
    // 24 lower-case hex digits from 12 secure random bytes.
    static QString makeRemoteStatusToken();

    // Stores a new status token at once when none is stored; applies nothing.
    explicit AppPreferences(UserDefaults &defaults, XdgAutostart loginItem = XdgAutostart::standard(),
                            QObject *parent = nullptr);

    bool startAtLogin() const { return m_startAtLogin; }
    // Writes or removes the autostart entry on every assignment.
    void setStartAtLogin(bool on);
    bool showNotifications() const { return m_showNotifications; }
    void setShowNotifications(bool on);
    Appearance appearance() const { return m_appearance; }
    // Applies the new appearance after storing it.
    void setAppearance(Appearance appearance);
    // The always-on node joins new syncs.
    bool autoJoinNode() const { return m_autoJoinNode; }
    void setAutoJoinNode(bool on);
    // This Mac answers and reads paired Macs' LAN status.
    bool lanDiagnostics() const { return m_lanDiagnostics; }
    void setLanDiagnostics(bool on);
    const BandwidthSchedule &bandwidthSchedule() const { return m_bandwidthSchedule; }
    void setBandwidthSchedule(BandwidthSchedule schedule);
    // The read-only status page is served.
    bool remoteStatusEnabled() const { return m_remoteStatusEnabled; }
    void setRemoteStatusEnabled(bool on);
    bool alwaysShowTechnicalDetails() const { return m_alwaysShowTechnicalDetails; }
    void setAlwaysShowTechnicalDetails(bool on);
    // The token the status page link carries.
    const QString &remoteStatusToken() const { return m_remoteStatusToken; }
    void setRemoteStatusToken(QString token);
    // The team configuration is replicated.
    bool clusterSyncEnabled() const { return m_clusterSyncEnabled; }
    void setClusterSyncEnabled(bool on);
    const QString &defaultIgnores() const { return m_defaultIgnores; }
    // Stored as given (the free-text editor).
    void setDefaultIgnores(QString text);
    // The same unless Syncthing cannot use one of the text's patterns, or
    // one holds a tab: then nothing is stored, and the answer says which and
    // why.
    std::optional<QString> saveDefaultIgnores(QString text);

    // New folders' ignore lines: the stored text's lines trimmed of spaces and
    // tabs, without empty lines and "# " comments; order and repeats kept.
    QStringList defaultIgnoreList() const;
    // That of any text.
    static QStringList ignoreListOf(const QString &text);
    // The entries of defaultIgnoreList() that belong to no category.
    QStringList customIgnorePatterns() const;
    // Every pattern of the category is a line of defaultIgnoreList().
    bool isIgnoreCategoryOn(const IgnoreCategory &category) const;
    // The edits below store the list without comments: a category switched on
    // is appended (patterns not yet there), switched off is removed.
    void setIgnoreCategory(const IgnoreCategory &category, bool on);
    // Trimmed; nothing when empty or already listed. A pattern Syncthing
    // cannot use, or holding a tab, is not stored either: the answer says why.
    std::optional<QString> addCustomIgnore(const QString &pattern);
    // Exact matches only.
    void removeIgnorePattern(const QString &pattern);

    void applyStartAtLogin();
    void setAppearanceHook(AppearanceHook hook) { m_appearanceHook = std::move(hook); }
    void applyAppearance();

signals:
    void startAtLoginChanged();
    void showNotificationsChanged();
    void appearanceChanged();
    void autoJoinNodeChanged();
    void lanDiagnosticsChanged();
    void bandwidthScheduleChanged();
    void remoteStatusEnabledChanged();
    void alwaysShowTechnicalDetailsChanged();
    void remoteStatusTokenChanged();
    void clusterSyncEnabledChanged();
    void defaultIgnoresChanged();

private:
    void setBooleanSetting(const QString &key, bool &field, bool on, void (AppPreferences::*changed)());
    void storeIgnoreList(const QStringList &patterns);

    UserDefaults &m_defaults;
    XdgAutostart m_loginItem;
    AppearanceHook m_appearanceHook;
    QString m_defaultIgnores;
    bool m_startAtLogin = false;
    bool m_showNotifications = true;
    bool m_autoJoinNode = true;
    bool m_lanDiagnostics = true;
    bool m_remoteStatusEnabled = false;
    bool m_alwaysShowTechnicalDetails = false;
    bool m_clusterSyncEnabled = false;
    QString m_remoteStatusToken;
    BandwidthSchedule m_bandwidthSchedule;
    Appearance m_appearance = Appearance::System;
};

} // namespace tw
