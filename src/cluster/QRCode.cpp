#include "cluster/QRCode.h"

#include <memory>
#include <qrencode.h>

namespace tw {
namespace {

using Symbol = std::unique_ptr<QRcode, decltype(&QRcode_free)>;

// One pixel per module, quiet zone included.
QImage modules(const QRcode &symbol)
{
    const int side = symbol.width + 2 * QRCode::quietZone;
    QImage image(side, side, QImage::Format_Mono);
    image.fill(1);
    image.setColor(0, qRgb(0, 0, 0));
    image.setColor(1, qRgb(255, 255, 255));
    for (int y = 0; y < symbol.width; ++y) {
        for (int x = 0; x < symbol.width; ++x) {
            // The low bit of each byte is the module's colour: 1 is dark.
            if (symbol.data[y * symbol.width + x] & 1)
                image.setPixel(x + QRCode::quietZone, y + QRCode::quietZone, 0);
        }
    }
    return image;
}

} // namespace

std::optional<QImage> QRCode::image(const QString &text, int size)
{
    if (size <= 0)
        return std::nullopt;
    const QByteArray bytes = text.toUtf8();
    const Symbol symbol(QRcode_encodeData(int(bytes.size()), reinterpret_cast<const unsigned char *>(bytes.constData()),
                                          0, QR_ECLEVEL_M),
                        &QRcode_free);
    if (!symbol)
        return std::nullopt;
    return modules(*symbol).scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

} // namespace tw
