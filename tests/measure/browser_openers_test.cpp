// The main window's openers of the browser windows: the browser engine starts its
// helper processes only when a browser window opens, "Map" needs a video and a
// position, the data viewer is modal.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "measure/main_2.h"
#include "measure/settings_file.h"
#include "platform/activity.h"
#include "platform/dialogs.h"
#include "support/event_wait.h"
#include "support/test_util.h"
#include "web/Browser1.h"
#include "web/browser_policy.h"

namespace {

using testutil::Until;

// Processes whose parent is this one and whose name is the browser engine's helper.
int EngineChildren() {
    int n = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!stat || !std::getline(stat, line)) continue;
        // "pid (comm) state ppid ...": the name may hold blanks, so read after the last ')'.
        const size_t open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close < open) continue;
        const std::string comm = line.substr(open + 1, close - open - 1);
        char state = 0;
        long ppid = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &ppid) != 2) continue;
        if (ppid == static_cast<long>(getpid()) && comm.rfind("QtWebEngine", 0) == 0) ++n;
    }
    return n;
}

void Spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

struct BrowserOpeners : ::testing::Test {
    ScriptedDialogs dialogs;
    testutil::TempDir dir;
    std::unique_ptr<TPlatform> w;
    void SetUp() override {
        web::SetBrowsersLocalOnly(true);
        dialogs.Install();
        SetSettingsFilePath(dir.File("tevorin.ini"));
        w = std::make_unique<TPlatform>();
        w->show();
    }
    void TearDown() override {
        w.reset();
        SetSettingsFilePath("");
    }
    template <typename T>
    T* Top(const char* name) {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == name && top->isVisible()) return qobject_cast<T*>(top);
        return nullptr;
    }
};

}  // namespace

TEST_F(BrowserOpeners, TheEngineStartsOnlyWithABrowserWindow) {
    Spin(300);
    EXPECT_EQ(EngineChildren(), 0);
    w->WebBrowser1->trigger();
    QPointer<TBrowser1> b = Top<TBrowser1>("Browser1");
    ASSERT_TRUE(b);
    testutil::WriteAll(dir.File("p.html"), "<html><head><title>P</title></head><body>p</body></html>");
    ASSERT_TRUE(b->Navigate(dir.File("p.html")));
    ASSERT_TRUE(Until([] { return !activity::Busy("load"); }));
    EXPECT_EQ(b->WebBrowser1->title().toStdString(), "P");
    EXPECT_GT(EngineChildren(), 0);
    // Each opening makes a window of its own.
    w->WebBrowser1->trigger();
    int browsers = 0;
    for (QWidget* top : QApplication::topLevelWidgets()) browsers += top->objectName() == "Browser1" && top->isVisible();
    EXPECT_EQ(browsers, 2);
}

TEST_F(BrowserOpeners, MapNeedsAVideoAndTheDataViewerIsModal) {
    w->GpsRecord.Latitude = "3542.5990 N";
    w->GpsRecord.Satellites = "07";
    w->Map1->trigger();
    EXPECT_EQ(Top<QWidget>("Map"), nullptr);

    w->Button38->click();
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back().what, "window");
    EXPECT_EQ(dialogs.shown.back().text, "DataViewer");
    QPointer<QWidget> viewer = Top<QWidget>("DataViewer");
    ASSERT_TRUE(viewer);
    viewer->close();
    ASSERT_TRUE(Until([&] { return viewer.isNull(); }));
}
