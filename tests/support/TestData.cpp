#include "TestData.h"

#include <QFile>
#include <gtest/gtest.h>

namespace tw::test {

QByteArray testData(const QString &relativePath)
{
    QFile file(QStringLiteral(TIDEWELL_TEST_DATA_DIR "/") + relativePath);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read test data " << file.fileName().toStdString();
        return {};
    }
    return file.readAll();
}

} // namespace tw::test
