#include "app/removal/PurgeAuth.h"

#include <QMessageAuthenticationCode>
#include <QStringList>
#include <QUuid>

namespace tw {

QString PurgeAuth::sign(const QString &from, const QString &folderID, const QString &path, const QString &nonce,
                        qint64 timestamp, const QString &key)
{
    const QStringList fields = {from, folderID, path, nonce, QString::number(timestamp)};
    const QByteArray code = QMessageAuthenticationCode::hash(fields.join(QLatin1Char('\n')).toUtf8(), key.toUtf8(),
                                                             QCryptographicHash::Sha256);
    return QString::fromLatin1(code.toHex());
}

bool PurgeAuth::constantTimeEquals(const QString &a, const QString &b)
{
    const QByteArray left = a.toUtf8();
    const QByteArray right = b.toUtf8();
    if (left.size() != right.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < left.size(); ++i)
        difference |= static_cast<unsigned char>(left[i] ^ right[i]);
    return difference == 0;
}

bool PurgeAuth::withinClockWindow(qint64 now, qint64 timestamp)
{
    qint64 difference = 0;
    if (qSubOverflow(now, timestamp, &difference))
        return false;
    return difference >= -kMaxClockSkewSeconds && difference <= kMaxClockSkewSeconds;
}

QString PurgeAuth::newNonce()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

} // namespace tw
