#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace tw {

class UserDefaults;

// The user's settings, each kept in the user defaults under a key of its own
// name. Every assignment writes the key, also when the value is unchanged;
// observers hear only of changes. An unreadable or mistyped stored value reads
// as the default. Main thread only.
class AppPreferences : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString defaultIgnores READ defaultIgnores WRITE setDefaultIgnores NOTIFY defaultIgnoresChanged)
    Q_PROPERTY(bool autoJoinNode READ autoJoinNode WRITE setAutoJoinNode NOTIFY autoJoinNodeChanged)
    Q_PROPERTY(bool clusterSyncEnabled READ clusterSyncEnabled WRITE setClusterSyncEnabled NOTIFY
                   clusterSyncEnabledChanged)

public:
    static inline const QString defaultIgnoresKey = QStringLiteral("defaultIgnores");
    static inline const QString autoJoinNodeKey = QStringLiteral("autoJoinNode");
    static inline const QString clusterSyncEnabledKey = QStringLiteral("clusterSyncEnabled");

    // The commented default ignore text: 66 lines, no final line feed.
    static const QString &defaultIgnoreText();

    explicit AppPreferences(UserDefaults &defaults, QObject *parent = nullptr);

    const QString &defaultIgnores() const { return m_defaultIgnores; }
    void setDefaultIgnores(QString text);
    // New folders' ignore lines: the stored text's lines trimmed of spaces and
    // tabs, without empty lines and "# " comments; order and repeats kept.
    QStringList defaultIgnoreList() const;

    // The always-on node joins new syncs.
    bool autoJoinNode() const { return m_autoJoinNode; }
    void setAutoJoinNode(bool on);

    // The team configuration is replicated.
    bool clusterSyncEnabled() const { return m_clusterSyncEnabled; }
    void setClusterSyncEnabled(bool on);

signals:
    void defaultIgnoresChanged();
    void autoJoinNodeChanged();
    void clusterSyncEnabledChanged();

private:
    UserDefaults &m_defaults;
    QString m_defaultIgnores;
    bool m_autoJoinNode = true;
    bool m_clusterSyncEnabled = false;
};

} // namespace tw
