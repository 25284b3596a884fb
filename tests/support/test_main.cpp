// Shared main of every test executable: a QApplication (offscreen unless the
// environment says otherwise) so that window tests can create widgets.
#include <QApplication>
#include <gtest/gtest.h>

#include "platform/controls.h"
#include "platform/file_io.h"
#include "platform/web_engine_setup.h"
#include "support/qt_test_environment.h"

namespace {

// A test that names no settings file gets the program's own beside the test
// program (build/bin/test_NAME.ini), which outlives the run: such a test fails, and
// the file goes.
class NoSettingsFileLeftBeside : public ::testing::Environment {
public:
    void SetUp() override {
        path_ = fileio::ChangeFileExt(fileio::ExecutablePath(), ".ini");
        existed_ = fileio::FileExists(path_);
    }
    void TearDown() override {
        if (existed_ || !fileio::FileExists(path_)) return;
        ADD_FAILURE() << "a test left " << path_ << ": give it a settings file in its own folder";
        fileio::DeleteFile(path_);
    }

private:
    std::string path_;
    bool existed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    testutil::PrepareQtTestEnvironment();
    platform::PrepareWebEngine();
    QApplication app(argc, argv);
    ShowEditTextFromStart(app);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new NoSettingsFileLeftBeside);
    return RUN_ALL_TESTS();
}
