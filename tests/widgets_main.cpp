#include <QApplication>
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include "IsolatedHome.h"

// Widgets need a QApplication, and CI has no display: unless told otherwise
// the tests draw offscreen. Test discovery runs this binary too.
int main(int argc, char **argv)
{
    // Before anything reads HOME or the XDG directories.
    const tw::IsolatedHome home;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
