#include "web/download.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sys/stat.h>

#include "support/test_util.h"
#include "web/loopback_http.h"

namespace fs = std::filesystem;

namespace {

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(gen());
    return s;
}

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
