#include "creationdates/FileDateAccess.h"

#include "creationdates/FileDates.h"

namespace tw {

FileDateAccess FileDateAccess::system()
{
    return FileDateAccess{&FileDates::birthtime, &FileDates::crtimeXattrValue, &FileDates::setCrtimeXattr};
}

} // namespace tw
