// Shared main of every test executable: a QApplication (offscreen unless the
// environment says otherwise) so that window tests can create widgets.
#include <QApplication>
#include <gtest/gtest.h>

#include "platform/web_engine_setup.h"
#include "support/qt_test_environment.h"

int main(int argc, char** argv) {
    testutil::PrepareQtTestEnvironment();
    platform::PrepareWebEngine();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
