#pragma once

#include <QString>

namespace tw {

// A name from outside (a sync, a Mac, a folder, a file, a teammate) as it is
// set into a sentence of the application: between FIRST STRONG ISOLATE and
// POP DIRECTIONAL ISOLATE, so that a right-to-left name, or one holding an
// override, turns nothing around it. The name's own isolates are balanced
// first: an unmatched closing one would end the isolate early, an unmatched
// opening one would swallow its end.
QString isolatedName(const QString &name);

} // namespace tw
