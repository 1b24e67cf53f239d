// The main of every unit and widget test: a QApplication (or the one the test program names) on
// the offscreen platform (unless the environment names another), so widgets, fonts and pictures
// work without a display.

#include "TestSupport.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

// Constant-initialised, so set before any namespace-scope initialiser runs.
std::unique_ptr<QApplication> (*quill::test::makeTestApplication)(int&, char**) = nullptr;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const std::unique_ptr<QApplication> app = quill::test::makeTestApplication
                                                  ? quill::test::makeTestApplication(argc, argv)
                                                  : std::make_unique<QApplication>(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
