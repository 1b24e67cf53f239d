// The main of every unit and widget test: a QApplication (or the one the test program names) on
// the offscreen platform (unless the environment names another), so widgets, fonts and pictures
// work without a display.

#include "TestSupport.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

quill::test::ApplicationMaker& applicationMaker() {
    static quill::test::ApplicationMaker maker = nullptr;
    return maker;
}

} // namespace

quill::test::TestApplication::TestApplication(ApplicationMaker make) {
    applicationMaker() = make;
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const std::unique_ptr<QApplication> app = applicationMaker()
                                                  ? applicationMaker()(argc, argv)
                                                  : std::make_unique<QApplication>(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
