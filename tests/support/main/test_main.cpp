// Test entry: GoogleTest inside a Qt application object, so that event loops, timers and sockets work.
#include <QTemporaryDir>
#include <gtest/gtest.h>

#ifdef BRELLIN_TEST_GUI
#include <QApplication>
using TestApp = QApplication;
#else
#include <QCoreApplication>
using TestApp = QCoreApplication;
#endif

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
#ifdef BRELLIN_TEST_GUI
    // Widget tests run offscreen, also when the build lists them (no display needed).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    // Remembered menu structures and other per-user cache files go to a folder of this run only
    // (the programs the tests start inherit it): no test sees what another left behind.
    QTemporaryDir cacheHome;
    if (cacheHome.isValid())
        qputenv("XDG_CACHE_HOME", cacheHome.path().toLocal8Bit());
    TestApp app(argc, argv);
    return RUN_ALL_TESTS();
}
