#include "services/RetryQueueFile.h"

#include "utilities/JsonDecodeError.h"
#include "utilities/OwnerOnlyFile.h"
#include "utilities/StrictJson.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

namespace tw {

QJsonArray RetryQueueFile::read()
{
    if (!m_path)
        return {};
    QFile file(*m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        // A queue that is there but can't be read must not be written over.
        if (file.exists())
            keepAside();
        return {};
    }
    try {
        return StrictJson::parseArray(file.readAll());
    } catch (const JsonDecodeError &) {
        keepAside();
        return {};
    }
}

// Without a copy the damaged file is left as it is: the reports still in it
// are worth more than one write.
bool RetryQueueFile::copyAside() const
{
    const QString copy = *m_path + QStringLiteral(".corrupt-") + QString::number(QDateTime::currentSecsSinceEpoch());
    return QFile::copy(*m_path, copy) || !QFile::exists(*m_path);
}

void RetryQueueFile::write(const QJsonArray &entries)
{
    if (!m_path || !QDir().mkpath(QFileInfo(*m_path).absolutePath()))
        return;
    if (m_keepAside && !copyAside())
        return;
    m_keepAside = false;
    QSaveFile file(*m_path);
    if (!openOwnerOnly(file))
        return;
    file.write(QJsonDocument(entries).toJson(QJsonDocument::Compact));
    file.commit();
}

} // namespace tw
