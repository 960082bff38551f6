#include "app/AppEnvironment.h"

namespace tw {

void AppEnvironment::applyDiagServer()
{
    step("applyDiagServer");
}

} // namespace tw
