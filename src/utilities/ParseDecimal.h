#pragma once

#include <QStringView>
#include <optional>

namespace tw {

// A decimal integer within signed 64 bits: an optional single "+" or "-", then
// one or more ASCII digits and nothing else. Callers that allow surrounding
// blanks trim them first.
std::optional<qint64> parseDecimal(QStringView text);

} // namespace tw
