#pragma once

#include <QImage>
#include <QString>
#include <optional>

namespace tw {

// The QR image of a text (the invite link): the text's UTF-8 bytes in 8-bit
// mode, error correction level M, a quiet zone of 4 modules, scaled without
// smoothing to `size` by `size` pixels (the factor need not be whole).
class QRCode
{
public:
    static constexpr int quietZone = 4;

    // Nothing when the text does not fit a QR code or `size` is not positive.
    static std::optional<QImage> image(const QString &text, int size);
};

} // namespace tw
