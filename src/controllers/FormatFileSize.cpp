#include "controllers/FormatFileSize.h"

#include <QLocale>

namespace tw {

QString formatFileSize(qint64 bytes)
{
    const int precision = bytes < 1'000'000 ? 0 : bytes < 1'000'000'000 ? 1 : 2;
    QString text = QLocale().formattedDataSize(bytes, precision, QLocale::DataSizeSIFormat);
    // The locale's word for bytes is a plural alone: one byte is not "bytes".
    static const QString plural = QStringLiteral(" bytes");
    if (bytes == 1 && text.endsWith(plural))
        text.chop(1);
    return text;
}

} // namespace tw
