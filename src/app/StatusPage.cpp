#include "app/StatusPage.h"

#include "app/HealthRules.h"
#include "app/texts/HealthBadge.h"
#include "controllers/FormatDuration.h"
#include "utilities/IsolatedName.h"

namespace tw {

namespace {

// The page is read on phones and other computers, so the font list names each
// platform's interface font rather than this desktop's.
const QString styleRules = QStringLiteral(
    ":root{color-scheme:dark light}\n"
    "*{box-sizing:border-box}\n"
    "body{font:15px system-ui,-apple-system,\"Segoe UI\",Roboto,sans-serif;margin:0;padding:18px;\n"
    "     background:#1c1c1e;color:#fff;max-width:680px;margin:0 auto}\n"
    "h1{font-size:20px;margin:0 0 2px}\n"
    ".muted{color:#8e8e93;font-size:13px;margin:0 0 16px}\n"
    ".card{background:#2c2c2e;border-radius:14px;padding:14px 16px;margin-bottom:12px}\n"
    ".head{display:flex;justify-content:space-between;align-items:baseline;gap:10px;margin-bottom:8px}\n"
    ".name{font-weight:600;font-size:16px}\n"
    ".badge{font-size:13px;font-weight:600;white-space:nowrap}\n"
    ".dev{display:flex;align-items:center;gap:8px;padding:5px 0;font-size:14px}\n"
    ".dot{width:9px;height:9px;border-radius:50%;flex:none}\n"
    ".dn{flex:1;color:#d1d1d6}\n"
    ".ds{color:#8e8e93;font-size:13px;text-align:right;font-variant-numeric:tabular-nums}\n");

// A name set into the page: isolated by the markup, escaped, and its own
// isolate marks balanced inside (isolatedName), so that none of them closes
// the element's isolation early.
QString pageName(const QString &name)
{
    return QStringLiteral("<bdi>") + htmlEscaped(isolatedName(name)) + QStringLiteral("</bdi>");
}

QString statusText(const ProjectDeviceRef &device, const SyncHealth &health, const DeviceTimeLeft &timeLeft)
{
    QString text = healthBadge(health).text;
    if (device.isThisMac || health.kind != SyncHealth::Kind::Syncing || !timeLeft)
        return text;
    if (const std::optional<double> seconds = timeLeft(device.id))
        text += QStringLiteral(" \u00b7 ") + formatDuration(*seconds);
    return text;
}

QString deviceRow(const Project &project, const ProjectDeviceRef &device, const HealthInputs &in,
                  const DeviceTimeLeft &timeLeft)
{
    const SyncHealth health = deviceHealth(project, device.id, in);
    return QStringLiteral("<div class=dev><span class=dot style=\"background:") + healthBadge(health).colour
        + QStringLiteral("\"></span><span class=dn>") + pageName(device.name)
        + QStringLiteral("</span><span class=ds>") + htmlEscaped(statusText(device, health, timeLeft))
        + QStringLiteral("</span></div>");
}

QString card(const Project &project, const HealthInputs &in, const DeviceTimeLeft &timeLeft)
{
    const HealthBadge badge = healthBadge(projectHealth(project, in));
    QString html = QStringLiteral("<div class=card><div class=head><span class=name>") + pageName(project.name)
        + QStringLiteral("</span><span class=badge style=\"color:") + badge.colour + QStringLiteral("\">")
        + htmlEscaped(badge.text) + QStringLiteral("</span></div>");
    for (const ProjectDeviceRef &device : projectDevices(project, in))
        html += deviceRow(project, device, in, timeLeft);
    return html + QStringLiteral("</div>");
}

QString body(const HealthInputs &in, const DeviceTimeLeft &timeLeft)
{
    if (in.projects.isEmpty())
        return QStringLiteral("<p class=muted>No syncs yet.</p>");
    QString html;
    for (const Project &project : in.projects)
        html += card(project, in, timeLeft);
    return html;
}

} // namespace

QString htmlEscaped(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    escaped.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    escaped.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    escaped.replace(QLatin1Char('"'), QStringLiteral("&quot;"));
    escaped.replace(QLatin1Char('\''), QStringLiteral("&#39;"));
    return escaped;
}

QString dashboardHTML(const HealthInputs &in, const DeviceTimeLeft &timeLeft)
{
    // The title holds no markup: there the name is isolated by its marks alone.
    const bool named = !in.deviceName.isEmpty();
    const QString title = named ? htmlEscaped(isolatedName(in.deviceName)) : QStringLiteral("This Mac");
    const QString name = named ? pageName(in.deviceName) : QStringLiteral("This Mac");
    return QStringLiteral("<!doctype html><html lang=en><head><meta charset=utf-8>\n"
                          "<meta name=viewport content=\"width=device-width,initial-scale=1\">\n"
                          "<meta http-equiv=refresh content=5>\n"
                          "<title>TidewellMesh \u2014 ")
        + title + QStringLiteral("</title>\n<style>\n") + styleRules
        + QStringLiteral("</style></head><body>\n<h1>TidewellMesh</h1>\n<p class=muted>Live status from \u201c") + name
        + QStringLiteral("\u201d \u00b7 refreshes every 5s \u00b7 read-only</p>\n") + body(in, timeLeft)
        + QStringLiteral("\n</body></html>");
}

bool tokensMatch(const QString &presented, const QString &stored)
{
    const QByteArray given = presented.toUtf8();
    const QByteArray expected = stored.toUtf8();
    if (given.isEmpty() || given.size() != expected.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < given.size(); ++i)
        difference |= static_cast<unsigned char>(given[i] ^ expected[i]);
    return difference == 0;
}

} // namespace tw
