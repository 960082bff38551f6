#include "app/AppPreferences.h"

#include "engine/syncthing/SyncthingIgnoreSyntax.h"

#include "utilities/AssignIfChanged.h"
#include "utilities/TrimSpacesAndTabs.h"
#include "utilities/UserDefaults.h"

#include <QJsonDocument>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>

namespace tw {

namespace {

// The comment that heads each run of categories in the default text.
struct IgnoreSection
{
    const char *comment;
    QStringList categoryIDs;
};

QStringList patternsOf(const QString &categoryID)
{
    for (const IgnoreCategory &category : IgnoreCategory::all())
        if (category.id == categoryID)
            return category.patterns;
    return {};
}

// A tab inside a pattern is a pasted column or two patterns run together,
// never a name the user means: the list is refused with a note before
// Syncthing sees it, as is a pattern Syncthing cannot use.
std::optional<QString> refusalOf(const QStringList &patterns)
{
    for (const QString &pattern : patterns)
        if (pattern.contains(QLatin1Char('\t')))
            return QStringLiteral("\u201C%1\u201D holds a tab: put each pattern on a line of its own.")
                .arg(SyncthingIgnoreSyntax::named(pattern));
    return SyncthingIgnoreSyntax::refusal(patterns);
}

} // namespace

const QString &AppPreferences::defaultIgnoreText()
{
    static const QString text = [] {
        const QList<IgnoreSection> sections = {
            {"# OS / System", {QStringLiteral("macos"), QStringLiteral("windows")}},
            {"# Synology / NAS", {QStringLiteral("nas")}},
            {"# Temp / Lock / partial downloads", {QStringLiteral("temp")}},
            {"# Apps / tools", {QStringLiteral("apps")}},
        };
        QStringList lines;
        for (const IgnoreSection &section : sections) {
            lines.append(QString::fromLatin1(section.comment));
            for (const QString &id : section.categoryIDs)
                lines.append(patternsOf(id));
        }
        return lines.join(QLatin1Char('\n'));
    }();
    return text;
}

QString AppPreferences::makeRemoteStatusToken()
{
    QByteArray bytes(12, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(QRandomGenerator::system()->bounded(256));
    return QString::fromLatin1(bytes.toHex());
}

QString AppPreferences::toRawValue(Appearance appearance)
{
    switch (appearance) {
    case Appearance::Light:
        return QStringLiteral("light");
    case Appearance::Dark:
        return QStringLiteral("dark");
    case Appearance::System:
        break;
    }
    return QStringLiteral("system");
}

std::optional<AppPreferences::Appearance> AppPreferences::appearanceFromRawValue(const QString &raw)
{
    for (const Appearance appearance : {Appearance::System, Appearance::Light, Appearance::Dark})
        if (toRawValue(appearance) == raw)
            return appearance;
    return std::nullopt;
}

AppPreferences::AppPreferences(UserDefaults &defaults, XdgAutostart loginItem, QObject *parent)
    : QObject(parent),
      m_defaults(defaults),
      m_loginItem(std::move(loginItem)),
      m_defaultIgnores(defaults.string(defaultIgnoresKey).value_or(defaultIgnoreText())),
      m_startAtLogin(m_loginItem.isEnabled()),
      m_showNotifications(defaults.boolean(showNotificationsKey).value_or(true)),
      m_autoJoinNode(defaults.boolean(autoJoinNodeKey).value_or(true)),
      m_lanDiagnostics(defaults.boolean(lanDiagnosticsKey).value_or(true)),
      m_remoteStatusEnabled(defaults.boolean(remoteStatusEnabledKey).value_or(false)),
      m_alwaysShowTechnicalDetails(defaults.boolean(alwaysShowTechnicalDetailsKey).value_or(false)),
      m_clusterSyncEnabled(defaults.boolean(clusterSyncEnabledKey).value_or(false))
{
    if (const std::optional<QString> token = defaults.string(remoteStatusTokenKey)) {
        m_remoteStatusToken = *token;
    } else {
        m_remoteStatusToken = makeRemoteStatusToken();
        m_defaults.setString(remoteStatusTokenKey, m_remoteStatusToken);
    }
    const std::optional<QJsonValue> schedule = defaults.value(bandwidthScheduleKey);
    if (schedule && schedule->isObject())
        m_bandwidthSchedule = BandwidthSchedule::fromJsonObject(schedule->toObject()).value_or(BandwidthSchedule());
    const std::optional<QString> appearance = defaults.string(appearanceKey);
    m_appearance = appearanceFromRawValue(appearance.value_or(QString())).value_or(Appearance::System);
}

void AppPreferences::setBooleanSetting(const QString &key, bool &field, bool on, void (AppPreferences::*changed)())
{
    m_defaults.setBoolean(key, on);
    assignIfChanged(field, on, this, changed);
}

void AppPreferences::setStartAtLogin(bool on)
{
    assignIfChanged(m_startAtLogin, on, this, &AppPreferences::startAtLoginChanged);
    applyStartAtLogin();
}

void AppPreferences::setShowNotifications(bool on)
{
    setBooleanSetting(showNotificationsKey, m_showNotifications, on, &AppPreferences::showNotificationsChanged);
}

void AppPreferences::setAppearance(Appearance appearance)
{
    m_defaults.setString(appearanceKey, toRawValue(appearance));
    assignIfChanged(m_appearance, appearance, this, &AppPreferences::appearanceChanged);
    applyAppearance();
}

void AppPreferences::setAutoJoinNode(bool on)
{
    setBooleanSetting(autoJoinNodeKey, m_autoJoinNode, on, &AppPreferences::autoJoinNodeChanged);
}

void AppPreferences::setLanDiagnostics(bool on)
{
    setBooleanSetting(lanDiagnosticsKey, m_lanDiagnostics, on, &AppPreferences::lanDiagnosticsChanged);
}

void AppPreferences::setBandwidthSchedule(BandwidthSchedule schedule)
{
    m_defaults.setValue(bandwidthScheduleKey, schedule.toJsonObject());
    assignIfChanged(m_bandwidthSchedule, std::move(schedule), this, &AppPreferences::bandwidthScheduleChanged);
}

void AppPreferences::setRemoteStatusEnabled(bool on)
{
    setBooleanSetting(remoteStatusEnabledKey, m_remoteStatusEnabled, on, &AppPreferences::remoteStatusEnabledChanged);
}

void AppPreferences::setAlwaysShowTechnicalDetails(bool on)
{
    setBooleanSetting(alwaysShowTechnicalDetailsKey, m_alwaysShowTechnicalDetails, on,
                      &AppPreferences::alwaysShowTechnicalDetailsChanged);
}

void AppPreferences::setRemoteStatusToken(QString token)
{
    m_defaults.setString(remoteStatusTokenKey, token);
    assignIfChanged(m_remoteStatusToken, std::move(token), this, &AppPreferences::remoteStatusTokenChanged);
}

void AppPreferences::setClusterSyncEnabled(bool on)
{
    setBooleanSetting(clusterSyncEnabledKey, m_clusterSyncEnabled, on, &AppPreferences::clusterSyncEnabledChanged);
}

void AppPreferences::setDefaultIgnores(QString text)
{
    m_defaults.setString(defaultIgnoresKey, text);
    assignIfChanged(m_defaultIgnores, std::move(text), this, &AppPreferences::defaultIgnoresChanged);
}

QStringList AppPreferences::defaultIgnoreList() const
{
    return ignoreListOf(m_defaultIgnores);
}

QStringList AppPreferences::ignoreListOf(const QString &text)
{
    static const QRegularExpression lineBreak(QStringLiteral("[\\n\\x{0B}\\f\\r\\x{85}\\x{2028}\\x{2029}]"));
    QStringList patterns;
    for (const QString &line : text.split(lineBreak, Qt::SkipEmptyParts)) {
        const QString pattern = trimSpacesAndTabs(line);
        if (!pattern.isEmpty() && !pattern.startsWith(QStringLiteral("# ")))
            patterns.append(pattern);
    }
    return patterns;
}

std::optional<QString> AppPreferences::saveDefaultIgnores(QString text)
{
    if (const std::optional<QString> refusal = refusalOf(ignoreListOf(text)))
        return refusal;
    setDefaultIgnores(std::move(text));
    return std::nullopt;
}

QStringList AppPreferences::customIgnorePatterns() const
{
    QStringList custom;
    for (const QString &pattern : defaultIgnoreList())
        if (!IgnoreCategory::allPatterns().contains(pattern))
            custom.append(pattern);
    return custom;
}

void AppPreferences::storeIgnoreList(const QStringList &patterns)
{
    setDefaultIgnores(patterns.join(QLatin1Char('\n')));
}

bool AppPreferences::isIgnoreCategoryOn(const IgnoreCategory &category) const
{
    const QStringList list = defaultIgnoreList();
    const QSet<QString> lines(list.begin(), list.end());
    return std::ranges::all_of(category.patterns, [&lines](const QString &pattern) { return lines.contains(pattern); });
}

void AppPreferences::setIgnoreCategory(const IgnoreCategory &category, bool on)
{
    QStringList patterns = defaultIgnoreList();
    for (const QString &pattern : category.patterns) {
        if (!on)
            patterns.removeAll(pattern);
        else if (!patterns.contains(pattern))
            patterns.append(pattern);
    }
    storeIgnoreList(patterns);
}

// A list holding a line Syncthing cannot use would stop every folder made
// with it, so the line is turned away where it is typed.
std::optional<QString> AppPreferences::addCustomIgnore(const QString &pattern)
{
    const QString trimmed = pattern.trimmed();
    QStringList patterns = defaultIgnoreList();
    if (trimmed.isEmpty() || patterns.contains(trimmed))
        return std::nullopt;
    if (const std::optional<QString> refusal = refusalOf({trimmed}))
        return refusal;
    patterns.append(trimmed);
    storeIgnoreList(patterns);
    return std::nullopt;
}

void AppPreferences::removeIgnorePattern(const QString &pattern)
{
    QStringList patterns = defaultIgnoreList();
    patterns.removeAll(pattern);
    storeIgnoreList(patterns);
}

void AppPreferences::applyStartAtLogin()
{
    if (m_startAtLogin)
        m_loginItem.enable();
    else
        m_loginItem.disable();
}

void AppPreferences::applyAppearance()
{
    if (m_appearanceHook)
        m_appearanceHook(m_appearance);
}

} // namespace tw
