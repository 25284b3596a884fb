#include "web/download.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "support/test_util.h"
#include "web/loopback_http.h"

namespace fs = std::filesystem;

namespace {

using testutil::RandomBytes;

// Every name in the folder: a failed download leaves no temporary file behind.
std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(Download, CopiesTheServedFileByteForByte) {
    testutil::TempDir site, here;
    const std::string body = RandomBytes(3 * 1024 * 1024 + 17, 1);
    testutil::WriteAll(site.File("pack.zip"), body);
    testutil::WriteAll(site.File("empty.txt"), "");
    testutil::PythonHttpServer server(site.Path());
    ASSERT_TRUE(server.Ok());

    const web::DownloadResult r = web::DownloadToFile(server.Url("pack.zip"), here.File("pack.zip"));
    EXPECT_EQ(r.Code(), 0) << r.message;
    EXPECT_EQ(r.httpStatus, 200);
    EXPECT_EQ(r.bytes, body.size());
    EXPECT_TRUE(testutil::ReadAll(here.File("pack.zip")) == body);
    // An ordinary file of the user's, not a private temporary one.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat st {};
    ASSERT_EQ(::stat(here.File("pack.zip").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);

    // An existing file is replaced; an empty body gives an empty file.
    testutil::WriteAll(here.File("info.txt"), "old text");
    EXPECT_TRUE(web::DownloadToFile(server.Url("empty.txt"), here.File("info.txt")).Ok());
    EXPECT_EQ(testutil::ReadAll(here.File("info.txt")), "");
    EXPECT_EQ(Names(here.Path()), (std::vector<std::string>{"info.txt", "pack.zip"}));
}

TEST(Download, AnErrorStatusWritesNothingAndKeepsTheTarget) {
    testutil::TempDir site, here;
    testutil::PythonHttpServer server(site.Path());
    ASSERT_TRUE(server.Ok());

    const web::DownloadResult missing = web::DownloadToFile(server.Url("info.txt"), here.File("info.txt"));
    EXPECT_EQ(missing.error, web::DownloadError::HttpStatus);
    EXPECT_NE(missing.Code(), 0);
    EXPECT_EQ(missing.httpStatus, 404);
    EXPECT_TRUE(Names(here.Path()).empty());

    testutil::WriteAll(here.File("info.txt"), "0.9.97.3i\n");
    EXPECT_NE(web::DownloadToFile(server.Url("info.txt"), here.File("info.txt")).Code(), 0);
    EXPECT_EQ(testutil::ReadAll(here.File("info.txt")), "0.9.97.3i\n");
    EXPECT_EQ(Names(here.Path()), (std::vector<std::string>{"info.txt"}));

    // A server error with a body is not a download either.
    testutil::ScriptedHttpServer broken("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 5\r\n\r\noops!");
    const web::DownloadResult r = web::DownloadToFile(broken.Url("info.txt"), here.File("x.txt"));
    EXPECT_EQ(r.error, web::DownloadError::HttpStatus);
    EXPECT_EQ(r.httpStatus, 500);
    EXPECT_FALSE(fs::exists(here.File("x.txt")));
}

TEST(Download, AServerThatNeverAnswersStallsOut) {
    testutil::TempDir here;
    testutil::ScriptedHttpServer silent;
    web::DownloadOptions options;
    options.stallMs = 300;
    const web::DownloadResult r = web::DownloadToFile(silent.Url("info.txt"), here.File("info.txt"), options);
    EXPECT_EQ(r.error, web::DownloadError::Stalled);
    EXPECT_TRUE(Names(here.Path()).empty());

    // Headers and part of the body, then silence: stalled, partial file removed.
    testutil::ScriptedHttpServer halting("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + QByteArray(5000, 'x'));
    const web::DownloadResult h = web::DownloadToFile(halting.Url("a.zip"), here.File("a.zip"), options);
    EXPECT_EQ(h.error, web::DownloadError::Stalled);
    EXPECT_TRUE(Names(here.Path()).empty());
}

TEST(Download, ATransferThatBreaksOffIsAFailure) {
    testutil::TempDir here;
    testutil::ScriptedHttpServer cut("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n0123456789", true);
    const web::DownloadResult r = web::DownloadToFile(cut.Url("a.zip"), here.File("a.zip"));
    EXPECT_EQ(r.error, web::DownloadError::Connection) << r.message;
    EXPECT_TRUE(Names(here.Path()).empty());

    // Nobody listening on the port.
    std::string closedPort;
    {
        testutil::ScriptedHttpServer gone;
        closedPort = gone.Url("info.txt");
    }
    EXPECT_EQ(web::DownloadToFile(closedPort, here.File("info.txt")).error, web::DownloadError::Connection);
    EXPECT_TRUE(Names(here.Path()).empty());
}

TEST(Download, RefusesOtherAddressesUnwritableTargetsAndOversizedBodies) {
    testutil::TempDir site, here;
    testutil::WriteAll(site.File("big.bin"), RandomBytes(200000, 2));
    testutil::PythonHttpServer server(site.Path());
    ASSERT_TRUE(server.Ok());

    for (const char* bad : {"", "file:///etc/passwd", "ftp://127.0.0.1/x", "http://", "not an address"})
        EXPECT_EQ(web::DownloadToFile(bad, here.File("x")).error, web::DownloadError::BadAddress) << bad;

    const web::DownloadResult w = web::DownloadToFile(server.Url("big.bin"), here.File("no/such/folder/big.bin"));
    EXPECT_EQ(w.error, web::DownloadError::Write);
    EXPECT_NE(w.message.find("no/such/folder"), std::string::npos) << w.message;

    web::DownloadOptions options;
    options.maxBytes = 100000;
    EXPECT_EQ(web::DownloadToFile(server.Url("big.bin"), here.File("big.bin"), options).error,
              web::DownloadError::TooLarge);
    options.maxBytes = 200000;
    EXPECT_TRUE(web::DownloadToFile(server.Url("big.bin"), here.File("big.bin"), options).Ok());
    EXPECT_EQ(Names(here.Path()), (std::vector<std::string>{"big.bin"}));
}

}  // namespace

namespace {

TEST(DownloadLimits, ATricklingServerEndsAtTheDeadline) {
    testutil::TempDir site, here;
    testutil::WriteAll(site.File("info.txt"), std::string(5000, 'x'));
    // A byte every 100 ms never trips the stall limit.
    testutil::TricklingSite server(site.Path(), {"info.txt"});
    web::DownloadOptions options;
    options.stallMs = 2000;
    options.deadlineMs = 500;
    const web::DownloadResult r = web::DownloadToFile(server.Base() + "info.txt", here.File("info.txt"), options);
    EXPECT_EQ(r.error, web::DownloadError::TimedOut) << r.message;
    EXPECT_EQ(r.bytes, 0u);
    EXPECT_TRUE(Names(here.Path()).empty());

    std::string body = "left over";
    EXPECT_EQ(web::DownloadToMemory(server.Base() + "info.txt", body, options).error, web::DownloadError::TimedOut);
    EXPECT_EQ(body, "");
}

TEST(DownloadLimits, TheDeadlineGrowsWithTheAnnouncedLength) {
    testutil::TempDir site, here;
    // 2000 bytes at 200 bytes a tick: about a second, twice the least deadline.
    const std::string body = RandomBytes(2000, 3);
    testutil::WriteAll(site.File("a.zip"), body);
    testutil::TricklingSite server(site.Path(), {"a.zip"}, 100, 200);
    web::DownloadOptions options;
    options.stallMs = 5000;
    options.deadlineMs = 500;
    EXPECT_EQ(web::DownloadToFile(server.Base() + "a.zip", here.File("a.zip"), options).error,
              web::DownloadError::TimedOut);
    // At 50 bytes/s the announced 2000 bytes may take 40 s.
    options.minBytesPerSecond = 50;
    const web::DownloadResult r = web::DownloadToFile(server.Base() + "a.zip", here.File("a.zip"), options);
    EXPECT_TRUE(r.Ok()) << r.message;
    EXPECT_TRUE(testutil::ReadAll(here.File("a.zip")) == body);

    // A length over the limit is refused as soon as it is announced.
    options.maxBytes = 1000;
    options.deadlineMs = 60000;
    EXPECT_EQ(web::DownloadToFile(server.Base() + "a.zip", here.File("b.zip"), options).error,
              web::DownloadError::TooLarge);
    EXPECT_EQ(Names(here.Path()), (std::vector<std::string>{"a.zip"}));
}

TEST(DownloadLimits, CancelEndsTheDownloadAndLeavesNothing) {
    testutil::TempDir site, here;
    testutil::WriteAll(site.File("a.zip"), RandomBytes(100000, 4));
    testutil::WriteAll(site.File("small.txt"), "small");
    testutil::TricklingSite server(site.Path(), {"a.zip"}, 20, 100);
    testutil::WriteAll(here.File("a.zip"), "the old file");

    web::DownloadCancel cancel;
    web::DownloadOptions options;
    options.cancel = &cancel;
    options.userInput = true;
    QTimer::singleShot(300, [&] { cancel.Cancel(); });
    const web::DownloadResult r = web::DownloadToFile(server.Base() + "a.zip", here.File("a.zip"), options);
    EXPECT_EQ(r.error, web::DownloadError::Cancelled) << r.message;
    EXPECT_TRUE(cancel.Requested());
    EXPECT_EQ(Names(here.Path()), (std::vector<std::string>{"a.zip"}));
    EXPECT_EQ(testutil::ReadAll(here.File("a.zip")), "the old file");

    // Cancelled before it starts: nothing is asked of the server.
    const size_t asked = server.Requests().size();
    std::string body;
    EXPECT_EQ(web::DownloadToMemory(server.Base() + "small.txt", body, options).error, web::DownloadError::Cancelled);
    EXPECT_EQ(server.Requests().size(), asked);
    // Reset: usable again.
    cancel.Reset();
    EXPECT_TRUE(web::DownloadToMemory(server.Base() + "small.txt", body, options).Ok());
    EXPECT_EQ(body, "small");
    EXPECT_EQ(web::DownloadToMemory(server.Base() + "missing.txt", body, options).error,
              web::DownloadError::HttpStatus);
    EXPECT_EQ(body, "");
}

}  // namespace
