#pragma once

#include <QStringView>

namespace tw {

// The order in which file managers list names: case ignored (full case
// folding), and runs of decimal digits compared by their numeric value, so
// "file 9" goes before "File 10". Names that differ only in case or in
// leading zeros are equivalent: a stable sort keeps them as they came.
// QCollator's numeric mode is no substitute: it is lost under the C locale.
bool naturalLess(QStringView a, QStringView b);

} // namespace tw
