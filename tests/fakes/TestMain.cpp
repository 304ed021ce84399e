#include "media/MediaRuntime.h"

#include <QApplication>
#include <gtest/gtest.h>

// Widgets need an application; tests run offscreen unless told otherwise.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef TVNSH_PATH
    if (qEnvironmentVariableIsEmpty("TVNSH")) qputenv("TVNSH", TVNSH_PATH);
#endif
    tvn::MediaRuntime::initialise();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
