// The windows around the embedded browser, offscreen, on local pages (there is no
// network here): the station map's page and lists, the web browser's navigation
// and history, the data viewer's address. Waits are for the browser's signals,
// with generous limits, since its first start is slow.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QWebEngineHistory>
#include <filesystem>

#include "platform/activity.h"
#include "platform/dialogs.h"
#include "platform/shell_service.h"
#include "support/event_wait.h"
#include "support/test_util.h"
#include "web/Browser1.h"
#include "web/DataViewer.h"
#include "web/StationMap.h"
#include "web/browser_policy.h"
#include "web/loopback_http.h"
#include "web/map_page.h"

namespace {

using testutil::Until;

bool LoadDone() { return Until([] { return !activity::Busy("load"); }); }

// Views made by these tests reach only this machine.
struct LocalOnly : ::testing::Environment {
    void SetUp() override { web::SetBrowsersLocalOnly(true); }
};
const auto* const kLocalOnly = ::testing::AddGlobalTestEnvironment(new LocalOnly);

std::string Page(const std::string& title) {
    return "<html><head><title>" + title + "</title></head><body>" + title + "</body></html>";
}

}  // namespace

TEST(StationMapWindow, ShowsThePageBuiltFromTheRecord) {
    overlay::GpsRecord g;
    g.Satellites = "07";
    g.HDOP = "1.2";
    g.UTC = "12:34:56 2026-12-07";
    g.Latitude = "3542.5990 N";
    g.Longitude = "13948.6422 W";
    g.Altitude = "12.3 m MSL";
    g.WGSSeparation = "39.5 m";
    QPointer<TMap> map = new TMap(g, overlay::kIotaVti);
    map->show();
    const web::MapPage want = web::MakeMapPage(g, overlay::kIotaVti);
    std::string page, memo1;
    for (const std::string& line : want.MapPageLines) {
        page += line + "\r\n";
        memo1 += (memo1.empty() ? "" : "\n") + line;
    }
    EXPECT_EQ(map->PageText(), page);
    EXPECT_EQ(map->Memo1->toPlainText().toStdString(), memo1);
    EXPECT_NE(page.find("LatLng(35.709983,-139.810703);"), std::string::npos);
    EXPECT_EQ(map->Memo2->toPlainText().toStdString(),
              "Satellites : 07   HDOP : 1.2\nUTC        : 12:34:56 2026-12-07\n"
              "Latitude   :  35o 42'35.94\"   (35.709983)\nLongitude  : -139o 48'38.53\"   (-139.810703)\n"
              "Altitude   : 12.3 m MSL\nWGSSeparation : 39.5 m");
    // The browser reads the page from memory: its title appears although the map
    // service's script cannot load here.
    ASSERT_TRUE(Until([&] { return map->WebBrowser1->title() == "Google Maps for observation station"; }))
        << map->WebBrowser1->title().toStdString();
    ASSERT_TRUE(LoadDone());
    // Closing frees the window and its browser.
    map->close();
    ASSERT_TRUE(Until([&] { return map.isNull(); }));
}

TEST(BrowserWindow, NavigatesAndKeepsItsHistory) {
    testutil::TempDir dir;
    testutil::WriteAll(dir.File("a.html"), Page("Page A"));
    testutil::WriteAll(dir.File("b.html"), Page("Page B"));
    QPointer<TBrowser1> b = new TBrowser1;
    b->show();
    auto title = [&] { return b->WebBrowser1->title().toStdString(); };
    auto url = [&] { return b->WebBrowser1->url().toString().toStdString(); };

    // Nothing shown yet: the history buttons and Home do nothing.
    b->BackButton->click();
    b->HomeButton->click();
    EXPECT_FALSE(activity::Busy("load"));

    b->Edit1->setText(QString::fromStdString(dir.File("a.html")));
    b->NavigateButton->click();
    ASSERT_TRUE(LoadDone());
    EXPECT_EQ(title(), "Page A");
    EXPECT_EQ(url(), "file://" + dir.File("a.html"));
    // Enter in the address box navigates as the button does.
    b->Edit1->setText(QString::fromStdString("file://" + dir.File("b.html")));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(b->Edit1, &enter);
    ASSERT_TRUE(LoadDone());
    EXPECT_EQ(title(), "Page B");

    b->BackButton->click();
    ASSERT_TRUE(LoadDone());
    EXPECT_EQ(title(), "Page A");
    EXPECT_EQ(b->Edit1->text().toStdString(), "file://" + dir.File("a.html"));
    b->ForwardButton->click();
    ASSERT_TRUE(LoadDone());
    EXPECT_EQ(title(), "Page B");
    EXPECT_FALSE(b->WebBrowser1->history()->canGoForward());

    // Refresh shows the page as it is now on disk.
    testutil::WriteAll(dir.File("b.html"), Page("Page B again"));
    b->RefreshButton->click();
    ASSERT_TRUE(LoadDone());
    EXPECT_EQ(title(), "Page B again");

    // Home is the first page shown.
    b->HomeButton->click();
    ASSERT_TRUE(LoadDone());
    EXPECT_EQ(title(), "Page A");
    EXPECT_EQ(b->Home().Url(), "file://" + dir.File("a.html"));

    // Another machine is refused at once (198.51.100.7 is a documentation address
    // that may never answer), the load ends as failed; Back returns to the page.
    QSignalSpy finished(b->WebBrowser1, &QWebEngineView::loadFinished);
    ASSERT_TRUE(b->Navigate("http://198.51.100.7/x.html"));
    ASSERT_TRUE(LoadDone());
    ASSERT_EQ(finished.count(), 1);
    EXPECT_FALSE(finished.at(0).at(0).toBool());
    b->BackButton->click();
    ASSERT_TRUE(LoadDone());
    EXPECT_EQ(title(), "Page A");

    // A text that is no address goes nowhere.
    EXPECT_FALSE(b->Navigate("   "));
    EXPECT_EQ(title(), "Page A");
    b->StopButton->click();

    b->close();
    ASSERT_TRUE(Until([&] { return b.isNull(); }));
    EXPECT_FALSE(activity::Busy("load"));
}

TEST(BrowserWindow, FollowsLinksOnALoopbackServer) {
    if (!testutil::HaveProgram("python3")) GTEST_SKIP() << "python3 not found";
    testutil::TempDir dir;
    testutil::WriteAll(dir.File("a.html"), "<html><head><title>Served A</title></head><body>"
                                           "<a id=\"next\" href=\"b.html\">b</a></body></html>");
    testutil::WriteAll(dir.File("b.html"), Page("Served B"));
    testutil::WriteAll(dir.File("serve.py"),
                       "import http.server, os, sys\n"
                       "os.chdir(sys.argv[1])\n"
                       "class Quiet(http.server.SimpleHTTPRequestHandler):\n"
                       "    def log_message(self, *a): pass\n"
                       "s = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Quiet)\n"
                       "open(sys.argv[2] + '.tmp', 'w').write(str(s.server_address[1]))\n"
                       "os.rename(sys.argv[2] + '.tmp', sys.argv[2])\n"
                       "s.serve_forever()\n");
    ASSERT_EQ(testutil::Run("/usr/bin/python3 '" + dir.File("serve.py") + "' '" + dir.Path() + "' '" + dir.File("port") +
                            "' >/dev/null 2>&1 & echo $! > '" + dir.File("pid") + "'"),
              0);
    struct Stop {
        std::string pidFile;
        ~Stop() {
            const std::string pid = testutil::ReadAll(pidFile);
            if (!pid.empty()) testutil::Run("kill " + pid);
        }
    } stop{dir.File("pid")};
    ASSERT_TRUE(Until([&] { return !testutil::ReadAll(dir.File("port")).empty(); }));
    const std::string base = "http://127.0.0.1:" + testutil::ReadAll(dir.File("port")) + "/";

    QPointer<TBrowser1> b = new TBrowser1;
    b->show();
    auto title = [&] { return b->WebBrowser1->title().toStdString(); };
    ASSERT_TRUE(b->Navigate(base + "b.html"));
    ASSERT_TRUE(LoadDone());
    EXPECT_EQ(title(), "Served B");
    ASSERT_TRUE(b->Navigate(base + "a.html"));
    ASSERT_TRUE(LoadDone());
    EXPECT_EQ(title(), "Served A");
    b->BackButton->click();
    ASSERT_TRUE(LoadDone());
    EXPECT_EQ(title(), "Served B");
    b->ForwardButton->click();
    ASSERT_TRUE(LoadDone());
    EXPECT_EQ(title(), "Served A");
    // A link followed by the page itself counts as a load too.
    b->WebBrowser1->page()->runJavaScript("document.getElementById('next').click();");
    ASSERT_TRUE(Until([&] { return title() == "Served B" && !activity::Busy("load"); }));
    EXPECT_EQ(b->Edit1->text().toStdString(), base + "b.html");
    // The engine may skip the entry a script's click made; either way the wait
    // for the load ends.
    b->BackButton->click();
    ASSERT_TRUE(LoadDone());
    EXPECT_TRUE(title() == "Served A" || title() == "Served B") << title();
    delete b;
}

TEST(BrowserWindow, AFilePageReadsNoOtherFileAndReachesNoServer) {
    testutil::TempDir dir, served;
    testutil::WriteAll(dir.File("secret.txt"), "secret");
    testutil::WriteAll(served.File("x.txt"), "hello");
    testutil::TricklingSite server(served.Path(), {});
    // The page reports what its fetches brought in its title: a file beside it, and
    // a server on this machine (which the tests' own limit lets through).
    auto page = [&](const std::string& file, const std::string& net) {
        return "<html><head><title>start</title></head><body><script>\n"
               "function get(what, url) {\n"
               "  return fetch(url).then(r => r.text()).then(t => what + ':' + t, e => what + ':blocked');\n"
               "}\n"
               "const img = new Promise(done => {\n"
               "  const i = new Image(); i.onload = i.onerror = done; i.src = '" + net + ".png';\n"
               "});\n"
               "Promise.all([get('file', '" + file + "'), get('net', '" + net + "'), img])\n"
               "  .then(r => { document.title = r[0] + ',' + r[1]; });\n"
               "</script></body></html>";
    };
    testutil::WriteAll(dir.File("a.html"), page("secret.txt", server.Base() + "x.txt"));
    testutil::WriteAll(served.File("page.html"), page("x.txt", "x.txt"));

    QPointer<TBrowser1> b = new TBrowser1;
    b->show();
    auto title = [&] { return b->WebBrowser1->title().toStdString(); };
    ASSERT_TRUE(b->Navigate(dir.File("a.html")));
    ASSERT_TRUE(LoadDone());
    ASSERT_TRUE(Until([&] { return title().find(':') != std::string::npos; })) << title();
    EXPECT_EQ(title(), "file:blocked,net:blocked");
    EXPECT_TRUE(server.Requests().empty()) << server.Requests().front();

    // A page from a server keeps its own site's files.
    ASSERT_TRUE(b->Navigate(server.Base() + "page.html"));
    ASSERT_TRUE(LoadDone());
    ASSERT_TRUE(Until([&] { return title().find(':') != std::string::npos; })) << title();
    EXPECT_EQ(title(), "file:hello,net:hello");
    delete b;
}

TEST(StationMapWindow, ThePageLoadsItsMapScript) {
    // The map service stood in for by a server on this machine: its script makes
    // the map and the marker as the page asks.
    testutil::TempDir served;
    std::filesystem::create_directories(served.File("maps/api"));
    testutil::WriteAll(served.File("maps/api/js"),
                       "var google = {maps: {MapTypeId: {ROADMAP: 'roadmap'}, LatLng: function (a, b) {},\n"
                       "  Map: function (element, options) {},\n"
                       "  Marker: function (options) { document.title = 'marker: ' + options.title; }}};\n");
    testutil::TricklingSite server(served.Path(), {});
    overlay::GpsRecord g;
    QPointer<TMap> map = new TMap(g, overlay::kIotaVti);
    map->show();
    ASSERT_TRUE(LoadDone());
    std::string page = map->PageText();
    const std::string host = web::kMapServiceHost;
    ASSERT_NE(page.find(host + "/maps/api/js?sensor=false"), std::string::npos);
    page.replace(page.find(host), host.size(), server.Base().substr(0, server.Base().size() - 1));
    map->WebBrowser1->setHtml(QString::fromStdString(page), QUrl("about:blank"));
    ASSERT_TRUE(Until([&] { return map->WebBrowser1->title() == "marker: marker test"; }))
        << map->WebBrowser1->title().toStdString();
    EXPECT_EQ(server.Requests(), (std::vector<std::string>{"maps/api/js?sensor=false"}));
    delete map;
}

TEST(BrowserPolicy, FilePagesReachNothingButTheEngineAndTheDisk) {
    using web::BrowserRequestAllowed;
    const std::string file = "file:///tmp/a.html";
    // What a file page asks for besides itself.
    EXPECT_TRUE(BrowserRequestAllowed(file, "file:///tmp/b.png", false, false));
    EXPECT_TRUE(BrowserRequestAllowed(file, "data:image/png;base64,AAAA", false, false));
    for (const char* net : {"http://127.0.0.1:8000/x", "https://example.org/x.js", "ws://localhost/", "ftp://h/x"})
        EXPECT_FALSE(BrowserRequestAllowed(file, net, false, false)) << net;
    // The user may still go anywhere from a file page.
    EXPECT_TRUE(BrowserRequestAllowed(file, "https://example.org/", true, false));
    // A page from memory (the station map) and pages from the network keep their loads.
    for (const char* page : {"about:blank", "data:text/html,x", "https://example.org/"})
        EXPECT_TRUE(BrowserRequestAllowed(page, "https://maps.googleapis.com/maps/api/js?sensor=false", false, false))
            << page;
    // The tests' limit: this machine only, whatever the page.
    EXPECT_FALSE(BrowserRequestAllowed("about:blank", "https://maps.googleapis.com/x", false, true));
    EXPECT_FALSE(BrowserRequestAllowed(file, "https://example.org/", true, true));
    EXPECT_TRUE(BrowserRequestAllowed("http://127.0.0.1/", "http://127.0.0.1/x", false, true));
}

TEST(DataViewerWindow, OpensTheIndexThroughTheShell) {
    ScriptedDialogs dialogs;
    dialogs.Install();
    platform::ShellRecording shell;
    QPointer<TDataViewer> v = new TDataViewer;
    Dialogs().ShowModal(v);
    EXPECT_EQ(v->OpenButton->text().toStdString(), "Download and Open the index file");
    v->OpenButton->click();
    ASSERT_EQ(shell.requests.size(), 1u);
    EXPECT_EQ(platform::ShellRequestLine(shell.requests[0]),
              std::string("open\t") + web::kPredictionSiteHost +
                  "/data/occult-e/Index%20Asteroidal%20Occultation%20Worldwide.xls");
    v->close();
    ASSERT_TRUE(Until([&] { return v.isNull(); }));
}
