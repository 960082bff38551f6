#include "utilities/Utf8OrEmpty.h"

#include <QStringDecoder>

namespace tw {

QString utf8OrEmpty(const QByteArray &bytes, InitialBom bom)
{
    QStringDecoder::Flags flags = QStringDecoder::Flag::Stateless;
    if (bom == InitialBom::Keep)
        flags |= QStringDecoder::Flag::ConvertInitialBom;
    QStringDecoder decoder(QStringDecoder::Utf8, flags);
    const QString text = decoder(bytes);
    return decoder.hasError() ? QString() : text;
}

} // namespace tw
