#include "utilities/OwnerOnlyFile.h"

#include <QSaveFile>

namespace tw {

bool openOwnerOnly(QSaveFile &file)
{
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // The mode of the temporary file is the one the rename puts in place.
    if (file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return true;
    file.cancelWriting();
    return false;
}

} // namespace tw
