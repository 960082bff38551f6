#pragma once

#include <QByteArray>
#include <QString>

namespace tw::test {

// The bytes of a fixture file, by its path below tests/ in the source tree
// (for example "engine/syncthing/data/config-folders.json"). A missing file
// fails the calling test and yields an empty array.
QByteArray testData(const QString &relativePath);

} // namespace tw::test
