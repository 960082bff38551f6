#pragma once

#include <QByteArray>
#include <QString>

namespace tw {

enum class InitialBom { Skip, Keep };

// The whole of `bytes` as text; bytes that are not UTF-8 (also a sequence cut
// off at the end) give empty text rather than a guess.
QString utf8OrEmpty(const QByteArray &bytes, InitialBom bom = InitialBom::Skip);

} // namespace tw
