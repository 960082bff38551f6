#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <gtest/gtest.h>

namespace tw::test {

// The bytes of a fixture file, by its path below tests/ in the source tree
// (for example "engine/syncthing/data/config-folders.json"). A missing file
// fails the calling test and yields an empty array.
inline QByteArray testData(const QString &relativePath)
{
    QFile file(QStringLiteral(TIDEWELL_TEST_DATA_DIR "/") + relativePath);
    if (!file.open(QIODevice::ReadOnly))
        ADD_FAILURE() << "cannot read test data " << file.fileName().toStdString();
    return file.readAll();
}

} // namespace tw::test
