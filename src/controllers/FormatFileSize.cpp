#include "controllers/FormatFileSize.h"

#include <QLocale>

namespace tw {

QString formatFileSize(qint64 bytes)
{
    const int precision = bytes < 1'000'000 ? 0 : bytes < 1'000'000'000 ? 1 : 2;
    return QLocale().formattedDataSize(bytes, precision, QLocale::DataSizeSIFormat);
}

} // namespace tw
