#pragma once

#include "support/TempDir.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <optional>

// The body of every app test's main: widgets offscreen unless a display is
// asked for (also when ctest lists the tests), one QApplication, the tests.
// With `ownSettings` the settings go to a folder of this run's own, set
// before Qt first reads the location.
inline int runQtTests(int argc, char** argv, bool ownSettings = false) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::optional<skyloom::test::TempDir> config;
    if (ownSettings)
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.emplace().path()));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
