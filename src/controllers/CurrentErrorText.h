#pragma once

#include <QString>

namespace tw {

// The user-facing text of the exception being handled; call it only inside a
// catch block. Engine and platform errors give their own text, any other
// standard exception its what(), anything else a fixed sentence.
QString currentErrorText();

} // namespace tw
