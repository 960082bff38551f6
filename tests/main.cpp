#include <QCoreApplication>
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include "IsolatedHome.h"

// Every test runs with an event loop object present, so coroutines awaited with
// QCoro::waitFor can deliver network replies, timers and process signals.
int main(int argc, char **argv)
{
    // Before anything reads HOME or the XDG directories.
    const tw::IsolatedHome home;
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
