#include <QApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

// The window tests need one application object for the whole run.
int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Keeps anything that asks Qt for a standard folder away from the user's own.
    QStandardPaths::setTestModeEnabled(true);
    ::testing::InitGoogleTest(&argc, argv);
    // Window tests run no threads of their own, but Qt may: re-run the
    // binary for a death test instead of forking this process.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
