#include "app/AppPreferences.h"

#include "utilities/AssignIfChanged.h"
#include "utilities/TrimSpacesAndTabs.h"
#include "utilities/UserDefaults.h"

#include <QRegularExpression>

namespace tw {

const QString &AppPreferences::defaultIgnoreText()
{
    static const QString text = QStringList{
        QStringLiteral("# OS / System"),
        QStringLiteral(".DS_Store"), QStringLiteral(".DS_Store?"), QStringLiteral("._*"),
        QStringLiteral(".Spotlight-V100"), QStringLiteral(".Trashes"), QStringLiteral(".Trash-*"),
        QStringLiteral(".TemporaryItems"), QStringLiteral(".fseventsd"), QStringLiteral(".DocumentRevisions-V100"),
        QStringLiteral(".DocumentRevisions-V100-bad-1"), QStringLiteral(".VolumeIcon.icns"),
        QStringLiteral(".icloud"), QStringLiteral(".iCloud"),
        QStringLiteral("Thumbs.db"), QStringLiteral("ehthumbs.db"), QStringLiteral("desktop.ini"),
        QStringLiteral("$RECYCLE.BIN"), QStringLiteral("$Recycle.Bin"), QStringLiteral("System Volume Information"),
        QStringLiteral("lost+found"),
        QStringLiteral("# Synology / NAS"),
        QStringLiteral("@eaDir"), QStringLiteral("@SynoResource"), QStringLiteral("#SynoRecycle"),
        QStringLiteral("#snapshot"), QStringLiteral("?snapshot"), QStringLiteral("#recycle"),
        QStringLiteral("?recycle"), QStringLiteral(".!@#$recycle"), QStringLiteral(".SynologyWorkingDirectory"),
        QStringLiteral("DfsrPrivate"), QStringLiteral(".zfs"),
        QStringLiteral("# Temp / Lock / partial downloads"),
        QStringLiteral("~*"), QStringLiteral("*~"), QStringLiteral(".~lock.*"), QStringLiteral("*.tmp"),
        QStringLiteral("*.tmp.chck"), QStringLiteral("*.part"), QStringLiteral("*.filepart"),
        QStringLiteral("*.crdownload"), QStringLiteral("*.download"), QStringLiteral("*.swn"),
        QStringLiteral("*.swp"), QStringLiteral("*.swo"), QStringLiteral(".csync_journal.db"),
        QStringLiteral(".csync_journal.db.tmp"),
        QStringLiteral("# Apps / tools"),
        QStringLiteral(".dropbox"), QStringLiteral(".dropbox.attr"), QStringLiteral(".dropbox.cache"),
        QStringLiteral(".streams"), QStringLiteral(".caches"), QStringLiteral(".Statuses"),
        QStringLiteral(".teamdrive"), QStringLiteral(".@__thumb"), QStringLiteral(".thumbnails"),
        QStringLiteral("_gsdata_"), QStringLiteral("_Archived Items"), QStringLiteral("FCP_BU"),
        QStringLiteral(".neofinder.abemeda.volinfo"), QStringLiteral(".hedge-enabled"), QStringLiteral(".FCLM-UUID"),
        QStringLiteral(".ARCTIC-UUID"), QStringLiteral(".bzvol")}
                                     .join(QLatin1Char('\n'));
    return text;
}

AppPreferences::AppPreferences(UserDefaults &defaults, QObject *parent)
    : QObject(parent),
      m_defaults(defaults),
      m_defaultIgnores(defaults.string(defaultIgnoresKey).value_or(defaultIgnoreText())),
      m_autoJoinNode(defaults.boolean(autoJoinNodeKey).value_or(true)),
      m_clusterSyncEnabled(defaults.boolean(clusterSyncEnabledKey).value_or(false))
{
}

void AppPreferences::setDefaultIgnores(QString text)
{
    m_defaults.setString(defaultIgnoresKey, text);
    assignIfChanged(m_defaultIgnores, std::move(text), this, &AppPreferences::defaultIgnoresChanged);
}

QStringList AppPreferences::defaultIgnoreList() const
{
    static const QRegularExpression lineBreak(QStringLiteral("[\\n\\x{0B}\\f\\r\\x{85}\\x{2028}\\x{2029}]"));
    QStringList patterns;
    for (const QString &line : m_defaultIgnores.split(lineBreak, Qt::SkipEmptyParts)) {
        const QString pattern = trimSpacesAndTabs(line);
        if (!pattern.isEmpty() && !pattern.startsWith(QStringLiteral("# ")))
            patterns.append(pattern);
    }
    return patterns;
}

void AppPreferences::setAutoJoinNode(bool on)
{
    m_defaults.setBoolean(autoJoinNodeKey, on);
    assignIfChanged(m_autoJoinNode, on, this, &AppPreferences::autoJoinNodeChanged);
}

void AppPreferences::setClusterSyncEnabled(bool on)
{
    m_defaults.setBoolean(clusterSyncEnabledKey, on);
    assignIfChanged(m_clusterSyncEnabled, on, this, &AppPreferences::clusterSyncEnabledChanged);
}

} // namespace tw
