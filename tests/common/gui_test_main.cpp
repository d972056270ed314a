// Main of the GUI suites: Qt runs offscreen with test-mode standard paths and empty settings, so no test
// reads or writes the user's own files or needs a display.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>

#include <clocale>
#include <cstdlib>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName("VexariumTest");
    QCoreApplication::setApplicationName("VexariumTest");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QSettings().clear();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
