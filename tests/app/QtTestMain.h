#pragma once

#include <QApplication>
#include <gtest/gtest.h>

// The body of every app test's main: widgets offscreen unless a display is
// asked for (also when ctest lists the tests), one QApplication, the tests.
inline int runQtTests(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
