#pragma once

#include "app/AppPreferences.h"

namespace tw {

// The appearance setting applied to every widget: the desktop's own look,
// or Fusion in a light or dark palette. Main thread, after the QApplication.
void applyWidgetAppearance(AppPreferences::Appearance appearance);

} // namespace tw
