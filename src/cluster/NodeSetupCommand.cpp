#include "cluster/NodeSetupCommand.h"

#include "utilities/HostName.h"
#include "utilities/TrimSpacesAndTabs.h"

#include <QStringList>

// The build gives the installer's host; without one the guide offers no
// command.
#ifndef TIDEWELL_INSTALLER_HOST
#define TIDEWELL_INSTALLER_HOST ""
#endif

namespace tw {
namespace {

std::optional<QString> &hostOverride()
{
    static std::optional<QString> host;
    return host;
}

// Line breaks of every kind count: a value must stay on its line.
bool isControl(QChar c)
{
    const QChar::Category category = c.category();
    return category == QChar::Other_Control || category == QChar::Separator_Line
        || category == QChar::Separator_Paragraph;
}

// A host name or IPv4 address ending in a letter or digit: never an ssh
// option, nothing a shell reads.
bool isValidAddress(const QString &address)
{
    return isHostName(address) && isAsciiAlphanumeric(address.back());
}

std::optional<QString> validPort(const QString &port)
{
    if (port.isEmpty())
        return NodeSetupCommand::defaultPort;
    const bool digits = std::all_of(port.cbegin(), port.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    bool ok = false;
    const uint value = port.toUInt(&ok);
    if (!digits || !ok || value < 1 || value > 65535)
        return std::nullopt;
    return QString::number(value);
}

// Single-quoted in two shells; a leading "-" would make it an ssh option.
bool isValidUser(const QString &user)
{
    if (user.isEmpty() || user.startsWith(u'-') || user.contains(NodeSetupCommand::callbackMarker))
        return false;
    return std::none_of(user.cbegin(), user.cend(),
                        [](QChar c) { return c == u'\'' || c.isSpace() || isControl(c); });
}

// Double-quoted in `script`'s shell, single-quoted on the NAS.
bool isValidShare(const QString &share)
{
    if (!share.startsWith(u'/') || share.contains(NodeSetupCommand::callbackMarker))
        return false;
    const QString forbidden = QStringLiteral("'\"$`\\");
    if (std::any_of(share.cbegin(), share.cend(), [&](QChar c) { return forbidden.contains(c) || isControl(c); }))
        return false;
    return !share.split(u'/').contains(QStringLiteral(".."));
}

} // namespace

NodeSetupCommand::Validation NodeSetupCommand::validate(const Fields &typed)
{
    const QString address = trimSpacesAndTabs(typed.address);
    const std::optional<QString> port = validPort(trimSpacesAndTabs(typed.port));
    const QString user = trimSpacesAndTabs(typed.user);
    QString share = trimSpacesAndTabs(typed.share);
    if (share.isEmpty())
        share = defaultShare;

    Validation result;
    if (!isValidAddress(address))
        result.refused.append(Field::Address);
    if (!port)
        result.refused.append(Field::Port);
    if (!isValidUser(user))
        result.refused.append(Field::User);
    if (!isValidShare(share))
        result.refused.append(Field::Share);
    if (result.refused.isEmpty())
        result.values = Fields{address, *port, user, share};
    return result;
}

QString NodeSetupCommand::build(const Fields &values, const QUrl &installerURL)
{
    const QString url = installerURL.toString(QUrl::FullyEncoded);
    const QString rule = QStringLiteral("----------------------------------------------------------");
    const QStringList lines = {
        u"( TW_HOST='"_qs + values.address + u"'; TW_PORT='"_qs + values.port + u"'; TW_USER='"_qs + values.user
            + u"'; TW_SHARE='"_qs + values.share + u"'"_qs,
        uR"~(  TW_LOG=$(mktemp "${TMPDIR:-/tmp}/tidewellmesh-node.XXXXXX"))~"_qs,
        uR"~(  SHELL=/bin/sh script -q -c "ssh -t -p '$TW_PORT' '$TW_USER@$TW_HOST' \"curl -fsSL )~"_qs + url
            + uR"~( -o /tmp/tidewell-node.sh && sudo bash /tmp/tidewell-node.sh '$TW_SHARE'\"" "$TW_LOG")~"_qs,
        uR"~(  TW_CB=$(tr -d '\r' < "$TW_LOG" 2>/dev/null | grep -a 'TIDEWELL_CALLBACK:' | tail -1); rm -f "$TW_LOG")~"_qs,
        uR"~(  TW_KEY=$(printf '%s' "$TW_CB" | sed -n 's/.*[ ]key=\([^ ]*\).*/\1/p'))~"_qs,
        uR"~(  TW_ADDR=$(printf 'http://%s:8384' "$TW_HOST" | sed 's|:|%3A|g; s|/|%2F|g'))~"_qs,
        uR"~(  if [ -n "$TW_KEY" ]; then)~"_qs,
        u"    printf '\\nDone \u2014 opening TidewellMesh to finish the connection...\\n'"_qs,
        uR"~(    xdg-open "tidewellsync://node-setup?addr=$TW_ADDR&key=$TW_KEY&name=Synology")~"_qs,
        u"  else"_qs,
        u"    printf '\\n"_qs + rule + u"\\n'"_qs,
        uR"~(    printf 'Automatic setup did not complete.\n\n')~"_qs,
        uR"~(    printf 'Open TidewellMesh, go to Settings > Team > "Connect manually\n')~"_qs,
        uR"~(    printf '(advanced)", and paste the Address and API key shown above.\n\n')~"_qs,
        uR"~(    printf 'If nothing was printed above, check the NAS address, the\n')~"_qs,
        uR"~(    printf 'SSH port and your password, then run this command again.\n')~"_qs,
        // A format that begins with "-" is an option to bash's printf.
        u"    printf '%s\\n' '"_qs + rule + u"'"_qs,
        u"  fi )"_qs,
    };
    return lines.join(u'\n');
}

QString NodeSetupCommand::installerHost()
{
    return hostOverride().value_or(QStringLiteral(TIDEWELL_INSTALLER_HOST));
}

void NodeSetupCommand::overrideInstallerHost(std::optional<QString> host)
{
    hostOverride() = std::move(host);
}

std::optional<QUrl> NodeSetupCommand::installerURL()
{
    const QString host = installerHost();
    if (host.isEmpty())
        return std::nullopt;
    const QUrl url(QStringLiteral("https://") + host + installerPath, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || url.path() != installerPath)
        return std::nullopt;
    return url;
}

} // namespace tw
