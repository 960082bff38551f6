#pragma once

#include <QString>

namespace tw {

// A transfer rate in bytes per second as the file-size text plus "/s"; a
// negative or non-finite rate reads as 0.
QString rateText(double bytesPerSecond);

} // namespace tw
