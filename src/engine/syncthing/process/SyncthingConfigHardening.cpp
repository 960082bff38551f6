#include "engine/syncthing/process/SyncthingConfigHardening.h"

#include "engine/PlatformError.h"
#include "engine/SyncEngineError.h"

#include <QFile>
#include <QHostAddress>
#include <QSaveFile>
#include <QSet>
#include <QUrl>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>

namespace tw {

namespace {

const QString listenAddressKey = QStringLiteral("listenAddress");

[[noreturn]] void fail(const QString &reason)
{
    throw SyncEngineError::backend(QStringLiteral("Could not restrict Syncthing to loopback: ") + reason);
}

// The texts of every <listenAddress> of <configuration><options>; fails when
// the document is not a readable configuration with an options element.
QStringList listenAddresses(const QByteArray &config)
{
    QXmlStreamReader reader(config);
    QStringList addresses;
    bool sawOptions = false;
    int depth = 0;
    bool inOptions = false;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            if (depth == 1 && reader.name() != QLatin1String("configuration"))
                fail(QStringLiteral("config.xml has no configuration element"));
            if (depth == 2 && reader.name() == QLatin1String("options")) {
                inOptions = true;
                sawOptions = true;
            } else if (inOptions && depth == 3 && reader.name() == listenAddressKey) {
                addresses.append(reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed());
                --depth;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (depth == 2)
                inOptions = false;
            --depth;
        }
    }
    if (reader.hasError())
        fail(QStringLiteral("config.xml: ") + reader.errorString());
    if (!sawOptions)
        fail(QStringLiteral("config.xml has no options element"));
    return addresses;
}

void writeElement(QXmlStreamWriter &writer, const QString &name, const QXmlStreamAttributes &attributes,
                  const QString &text)
{
    writer.writeStartElement(name);
    writer.writeAttributes(attributes);
    writer.writeCharacters(text);
    writer.writeEndElement();
}

// One element's text written by rewrite(): `parent` is the path of the
// element that holds it, below <configuration>.
struct Setting
{
    QString parent;
    QString name;
    QString value;
};

// Copies the document, replacing the listed values, keeping only the first
// element of each listed name and adding listed elements that are missing
// from their parent.
QByteArray rewrite(const QByteArray &config, const QList<Setting> &settings)
{
    QXmlStreamReader reader(config);
    QByteArray out;
    QXmlStreamWriter writer(&out);
    QSet<QString> written; // "parent/name"
    QStringList path;      // the open elements below <configuration>
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartDocument) {
            writer.writeStartDocument();
            continue;
        }
        const QString parent = path.mid(1).join(QLatin1Char('/'));
        if (token == QXmlStreamReader::StartElement) {
            const QString name = reader.name().toString();
            const auto match = std::find_if(settings.begin(), settings.end(), [&](const Setting &setting) {
                return setting.parent == parent && setting.name == name;
            });
            if (match != settings.end()) {
                const QXmlStreamAttributes attributes = reader.attributes();
                reader.readElementText(QXmlStreamReader::SkipChildElements);
                const QString key = parent + QLatin1Char('/') + name;
                if (!written.contains(key))
                    writeElement(writer, name, attributes, match->value);
                written.insert(key);
                continue;
            }
            path.append(name);
        } else if (token == QXmlStreamReader::EndElement) {
            for (const Setting &setting : settings) {
                if (setting.parent == parent && !written.contains(parent + QLatin1Char('/') + setting.name))
                    writeElement(writer, setting.name, {}, setting.value);
            }
            path.removeLast();
        }
        writer.writeCurrentToken(reader);
    }
    if (reader.hasError())
        fail(QStringLiteral("config.xml: ") + reader.errorString());
    return out;
}

} // namespace

const QList<std::pair<QString, QString>> &SyncthingConfigHardening::switchedOff()
{
    static const QList<std::pair<QString, QString>> values{
        {QStringLiteral("globalAnnounceEnabled"), QStringLiteral("false")},
        {QStringLiteral("localAnnounceEnabled"), QStringLiteral("false")},
        {QStringLiteral("relaysEnabled"), QStringLiteral("false")},
        {QStringLiteral("natEnabled"), QStringLiteral("false")},
        {QStringLiteral("urAccepted"), QStringLiteral("-1")},
        {QStringLiteral("crashReportingEnabled"), QStringLiteral("false")},
        {QStringLiteral("autoUpgradeIntervalH"), QStringLiteral("0")},
        {QStringLiteral("startBrowser"), QStringLiteral("false")},
    };
    return values;
}

std::optional<QString> SyncthingConfigHardening::keptListenAddress(const QStringList &addresses,
                                                                   const QString &host)
{
    if (addresses.size() != 1)
        return std::nullopt;
    const QUrl url(addresses.first(), QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("tcp") || url.host() != host || url.port() <= 0
        || !url.path().isEmpty() || url.hasQuery() || !url.userInfo().isEmpty())
        return std::nullopt;
    return addresses.first();
}

QString SyncthingConfigHardening::chooseListenAddress(const QByteArray &config, const QString &host,
                                                     quint16 freshPort)
{
    const QHostAddress address(host);
    if (address.isNull() || !address.isLoopback() || address.protocol() != QAbstractSocket::IPv4Protocol)
        fail(host + QStringLiteral(" is not an IPv4 loopback address"));
    const std::optional<QString> kept = keptListenAddress(listenAddresses(config), host);
    return kept.value_or(QStringLiteral("tcp://%1:%2").arg(host).arg(freshPort));
}

QByteArray SyncthingConfigHardening::harden(const QByteArray &config, const QString &host, quint16 freshPort,
                                           DiskFloors floors)
{
    const QString options = QStringLiteral("options");
    QList<Setting> settings{{options, listenAddressKey, chooseListenAddress(config, host, freshPort)}};
    for (const auto &[name, value] : switchedOff())
        settings.append({options, name, value});
    if (floors == DiskFloors::Off) {
        settings.append({options, QStringLiteral("minHomeDiskFree"), QStringLiteral("0")});
        settings.append({QStringLiteral("defaults/folder"), QStringLiteral("minDiskFree"), QStringLiteral("0")});
    }
    return rewrite(config, settings);
}

QString SyncthingConfigHardening::hardenFile(const QString &path, const QString &host, quint16 freshPort,
                                            DiskFloors floors)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        throw PlatformError(path + QStringLiteral(": ") + in.errorString());
    const QByteArray config = in.readAll();
    in.close();
    const QString listen = chooseListenAddress(config, host, freshPort);
    const QByteArray hardened = harden(config, host, freshPort, floors);
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(hardened) != hardened.size() || !out.commit())
        throw PlatformError(path + QStringLiteral(": ") + out.errorString());
    return listen;
}

} // namespace tw
