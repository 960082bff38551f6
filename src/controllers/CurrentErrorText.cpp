#include "controllers/CurrentErrorText.h"

#include "engine/PlatformError.h"

#include <exception>

namespace tw {

QString currentErrorText()
{
    try {
        throw;
    } catch (const std::exception &error) {
        return describeError(error);
    } catch (...) {
        return QStringLiteral("An unexpected error occurred.");
    }
}

} // namespace tw
