// The DirectShow-style reader: the step log of whole opens line by line, the RGB32 retry,
// status texts, seek arithmetic, frames against the decoder's, and files that are not videos.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QImage>
#include <QPointer>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <numeric>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "fixtures.h"
#include "platform/numtext.h"
#include "support/test_util.h"
#include "video/DshowError1.h"
#include "video/avidshow.h"
#include "video/decoder.h"

namespace {

using namespace dshow;

struct Files {
    testutil::TempDir dir;
    std::string pal, ntsc, audio, badAudio, badVideo, tenFrames;
    bool ok = false;
};

// Made once per process; a static owner removes the folder when the process ends.
Files& F() {
    static const std::unique_ptr<Files> f = [] {
        auto f = std::make_unique<Files>();
        if (!testutil::HaveProgram("ffmpeg")) return f;
        for (auto [member, name] : {std::pair{&Files::pal, "pal"}, {&Files::ntsc, "ntsc"}, {&Files::audio, "audio"},
                                    {&Files::badAudio, "bad_audio"}, {&Files::badVideo, "bad_video"}, {&Files::tenFrames, "ten"}})
            (*f).*member = f->dir.File(std::string(name) + ".avi");
        f->ok = vfix::Ffmpeg(vfix::NumberedSource(160, 120, "25", 2) + " -c:v mpeg4 -bf 2 -g 12 -q:v 3 '" + f->pal + "'") &&
                vfix::Ffmpeg(vfix::NumberedSource(160, 120, "30000/1001", 2.002) + " -c:v mpeg4 -bf 2 -g 15 -q:v 3 '" + f->ntsc + "'") &&
                vfix::Ffmpeg(vfix::NumberedSource(64, 48, "25", 1) + " -f lavfi -i sine=d=1 -c:v mjpeg -q:v 3 -c:a pcm_s16le -shortest '" +
                             f->audio + "'") &&
                vfix::Ffmpeg(vfix::NumberedSource(64, 48, "25", 0.4) + " -c:v mjpeg -q:v 3 '" + f->tenFrames + "'");
        // An audio format tag nothing decodes (in the WAVEFORMATEX after 'auds'...'strf'), and an unknown video codec.
        std::string audio = testutil::ReadAll(f->audio), video = testutil::ReadAll(f->tenFrames);
        const size_t strf = audio.find("strf", audio.find("auds"));
        f->ok = f->ok && strf != std::string::npos && video.find("MJPG") < 8192;
        if (!f->ok) return f;
        audio[strf + 8] = audio[strf + 9] = 0x7A;
        for (size_t at = video.find("MJPG"); at < 8192; at = video.find("MJPG", at + 1)) video.replace(at, 4, "ZQZQ");
        testutil::WriteAll(f->badAudio, audio);
        testutil::WriteAll(f->badVideo, video);
        return f;
    }();
    return *f;
}

struct Dshow : ::testing::Test {
    void SetUp() override {
        if (!F().ok) GTEST_SKIP() << "ffmpeg not found or fixtures failed";
        Reset();
    }
    void TearDown() override { Reset(); }
    static void Reset() {
        DshowClose();
        DshowGraph = TDshowGraph{};
        DshowStepLogIndex = -1;
        DshowVideoSink = nullptr;
        DshowClearMemo2 = nullptr;
        RefuseRgb24 = RefuseRgb32 = false;
    }
    static std::string Open(const std::string& file) {
        std::string err;
        DshowOpen(file, err);
        return err;
    }
    static std::string Log() {  // lines 1 to the last, each ended by a newline
        std::string v;
        for (int i = 1; i <= DshowStepLogIndex; ++i) v += DshowStepLog[i] + "\n";
        return v;
    }
    static int64_t Position() {
        int64_t p = -1;
        DshowGraph.pMediaSeeking->GetCurrentPosition(p);
        return p;
    }
    // Fetches frame n into bmp; returns the status text.
    std::string Fetch(int n, bool running = false, int step = 0) {
        std::string status;
        DshowGetFrame(n, bmp, status, running, step);
        return status;
    }
    static int64_t FrameCount() {  // as the main window asks: rate, then duration
        const long double rate = DshowFramesPerSecond();
        return numtext::RoundHalfAway(DshowDurationSeconds() * static_cast<double>(rate));
    }
    static std::vector<Bitmap24> DecoderFrames(const std::string& file) {
        video::VideoDecoder dec;
        EXPECT_TRUE(dec.Open(file));
        std::vector<Bitmap24> v(dec.FrameCount());
        for (int i = 0; i < dec.FrameCount(); ++i) EXPECT_TRUE(dec.GetFrame(i, v[i]));
        return v;
    }
    static bool AllRefuse() { return DshowRunPause() == S_FALSE && DshowPlay() == S_FALSE && DshowPause() == S_FALSE && DshowStopBuffering() == S_FALSE; }
    Bitmap24 bmp;
};

std::string Attempt(const std::string& render, const std::string& connect) {
    return "CoCreateInstance pGraph : S_OK\nQueryInterface pMediaControl : S_OK\nCoCreateInstance pSampleGrabberFilter : S_OK\n"
           "pSampleGrabberFilter.QueryInterface : S_OK\nSetMediaType(AmMediaType) : S_OK\nAddFilter(pSampleGrabber Filter)S_OK\n"
           "pGraphBuilder.RenderFile : " + render + "\nGetConnectMediaType : " + connect + "\n";
}

std::string RestOfOpen(const std::string& audio, const std::string& rate, const std::string& size, const std::string& seconds) {
    return "QueryInterface pBasicAudio S_OK\npBasicAudio.put_Balance : " + audio + "\npBasicAudio.put_Volune : " + audio +
           "\nQueryInterface(pVideoWindow) : S_OK\npVideoWindow.put_Owner(Panel) : S_OK\nQueryInterface pMediaSeeking S_OK\n"
           "pMediaSeeking.SetTimeFormat(TIME_FORMAT_MEDIA_TIME) S_OK\nQueryInterface pMediaEvent : S_OK\n"
           "QueryInterface pBasicVideo S_OK\npBasicVideo.get_AvgTimePerFrame : S_OK" + rate + "\n" + size +
           "\npMediaSeeking.getDuration : S_OK" + seconds + "\nQueryInterface MediaFilter S_OK\n"
           "pMediaFilter.SetSyncSource(Nil) S_OK\npSampleGrabber.SetOneShot(Faslse) S_OK\npSampleGrabber.SetBurrerSample(True) S_OK\n"
           "Run : S_OK\nWaitForCompletion : E_ABORT\nPause : S_OK\nWaitForCompletion : \nSetPositions : S_OK\n";
}

TEST_F(Dshow, WholeOpenLogsEveryStepAndTheCallerQueriesAddTwoLines) {
    int memoCleared = 0;
    DshowClearMemo2 = [&] { ++memoCleared; };
    std::string err = "left over";
    DshowOpen(F().ntsc, err);
    EXPECT_TRUE(err.empty() && memoCleared == 1);
    EXPECT_EQ(Log(), Attempt("S_OK", "S_OK") + RestOfOpen("E_NOTIMPL", "29.970000", "VW=160, VH=120", "2.00200"));
    // What the main window asks next, and the frame count it derives (333667 x 100 ns per frame).
    EXPECT_EQ(FrameCount(), 60);
    EXPECT_EQ(DshowStepLog[30] + "|" + DshowStepLog[31], "pBasicVideo.get_AvgTimePerFrame : S_OK29.970000|pMediaSeeking.getDuration : S_OK2.00200");
    EXPECT_EQ(DshowGraph.DshowDuration100ns, 60 * 333667);
    EXPECT_TRUE(DshowGraph.DshowGraphBuilt && DshowGraph.DshowRendered && DshowGraph.DshowVideoReady);
    EXPECT_TRUE(DshowVideoWidth() == 160 && DshowVideoHeight() == 120);
    EXPECT_TRUE(DshowGraph.DshowBitmapInfo.biBitCount == 24 && DshowGraph.DshowBitmapInfo.biSizeImage == 160u * 120 * 3);
    err = "kept";  // a second open without closing leaves everything as it was
    DshowOpen(F().pal, err);
    EXPECT_TRUE(err == "kept" && memoCleared == 1 && DshowStepLogIndex == 31);
    EXPECT_EQ(DshowGraph.DshowDuration100ns, 60 * 333667);
}

TEST_F(Dshow, AudioThatDecodesTakesVolumeAndOneThatDoesNotLeavesTheGraphUnrendered) {
    EXPECT_EQ(Open(F().audio), "");
    EXPECT_EQ(Log(), Attempt("S_OK", "S_OK") + RestOfOpen("S_OK", "25.000000", "VW=64, VH=48", "1.00000"));
    EXPECT_EQ(DshowRunPause(), S_OK);
    DshowClose();
    EXPECT_EQ(Open(F().badAudio), "");
    EXPECT_EQ(Log(), Attempt("VFW_S_AUDIO_NOT_RENDERED", "S_OK") + RestOfOpen("E_NOTIMPL", "25.000000", "VW=64, VH=48", "1.00000"));
    EXPECT_TRUE(DshowGraph.DshowGraphBuilt && DshowGraph.DshowVideoReady && !DshowGraph.DshowRendered);
    EXPECT_TRUE(AllRefuse());
    EXPECT_EQ(Fetch(7), "S_OK");  // frames still come: the open left the graph paused
    EXPECT_EQ(vfix::ReadCode(bmp), 7);
}

TEST_F(Dshow, DecoderOfferingOnlyRgb32IsTakenOnTheSecondAttempt) {
    RefuseRgb24 = true;
    EXPECT_EQ(Open(F().pal), "");
    EXPECT_EQ(Log(), Attempt("S_OK", "VFW_E_NOT_CONNECTED") + Attempt("S_OK", "S_OK") +
                         RestOfOpen("E_NOTIMPL", "25.000000", "VW=160, VH=120", "2.00000"));
    FrameCount();
    EXPECT_EQ(DshowStepLogIndex, 39);  // the longest log of an open
    EXPECT_EQ(DshowGraph.DshowBitmapInfo.biBitCount, 32);
    const auto frames = DecoderFrames(F().pal);
    for (int n : {0, 13, 49, 2}) {
        EXPECT_EQ(Fetch(n), "S_OK");
        EXPECT_TRUE(DshowGraph.DshowBufferSize == 160 * 120 * 4 && bmp == frames[n]) << n;
    }
}

TEST_F(Dshow, FilesWithoutDecodableVideoFailWithTheOpenErrorAndAFullLog) {
    testutil::TempDir dir;
    const std::string garbage = dir.File("garbage.avi"), empty = dir.File("empty.avi"), wav = dir.File("tone.wav");
    std::string noise(5000, '\0');
    std::mt19937 rng(5);
    for (char& c : noise) c = static_cast<char>(rng());
    testutil::WriteAll(garbage, noise);
    testutil::WriteAll(empty, "");
    ASSERT_TRUE(vfix::Ffmpeg("-f lavfi -i sine=d=0.2 '" + wav + "'"));
    ASSERT_EQ(::mkfifo(dir.File("fifo.avi").c_str(), 0644), 0);  // refused at once, never waited on
    ::alarm(60);
    const std::pair<std::string, std::string> cases[] = {{dir.File("fifo.avi"), "VFW_E_UNKNOWN_FILE_TYPE"},
        {F().badVideo, "VFW_E_CANNOT_RENDER"}, {dir.File("missing.avi"), ""},  // not found: a code outside the table
        {garbage, "VFW_E_UNKNOWN_FILE_TYPE"}, {empty, "VFW_E_UNKNOWN_FILE_TYPE"}, {wav, "VFW_E_INVALID_FILE_FORMAT"}};
    for (const auto& [file, render] : cases) {
        SCOPED_TRACE(file);
        Reset();
        EXPECT_EQ(Open(file), "Incorrect formated file or unknown compressor.");
        EXPECT_EQ(Log(), Attempt(render, "VFW_E_NOT_CONNECTED") + Attempt(render, "VFW_E_NOT_CONNECTED"));
        EXPECT_FALSE(DshowGraph.DshowGraphBuilt || DshowGraph.DshowVideoReady);
        EXPECT_TRUE(DshowFramesPerSecond() == 1.0L && DshowDurationSeconds() == 0.0);
        bmp = Bitmap24(4, 4);
        EXPECT_TRUE(Fetch(0) == "" && bmp.Width() == 4);
    }
    ::alarm(0);
    Reset();  // a file cut inside its header fails the same way or opens; it never crashes
    testutil::WriteAll(dir.File("cut.avi"), testutil::ReadAll(F().pal).substr(0, 300));
    Open(dir.File("cut.avi"));
    Fetch(3);
}

// RenderFile succeeds, so the video counts as ready although the open failed.
TEST_F(Dshow, BothSubtypesRefusedLeavesAReadyFlagButNothingReachesTheMissingParts) {
    RefuseRgb24 = RefuseRgb32 = true;
    EXPECT_EQ(Open(F().pal), kDshowOpenError);
    EXPECT_EQ(DshowStepLogIndex, 16);
    EXPECT_EQ(DshowStepLog[16], "GetConnectMediaType : VFW_E_NOT_CONNECTED");
    EXPECT_TRUE(DshowGraph.DshowVideoReady && DshowGraph.DshowRendered && !DshowGraph.DshowGraphBuilt);
    EXPECT_TRUE(DshowFramesPerSecond() == 1.0L && DshowVideoWidth() == 0 && DshowDurationSeconds() == 0.0);
    EXPECT_EQ(DshowStepLogIndex, 16);  // no call, no line
    bmp = Bitmap24(8, 8);
    EXPECT_EQ(Fetch(2), "Sample is not buffered.");  // buffering was never switched on
    EXPECT_TRUE(bmp.Empty());
    DshowGraph.pSampleGrabber->SetBufferSamples(true);
    EXPECT_EQ(Fetch(2), "Filter is not connected");
    EXPECT_EQ(DshowRunPause(), S_FALSE);  // the event interface was never queried
    DshowClose();                         // not built: leaves the partial graph, the next open replaces it
    EXPECT_TRUE(DshowGraph.pMediaControl != nullptr);
    RefuseRgb24 = RefuseRgb32 = false;
    EXPECT_EQ(Open(F().audio), "");
    EXPECT_TRUE(Fetch(2) == "S_OK" && vfix::ReadCode(bmp) == 2);
}

TEST_F(Dshow, SeekTimesAtTheExamplesAndThePreSeekClamps) {
    ASSERT_EQ(Open(F().pal), "");
    EXPECT_EQ(DshowGraph.ReaderFrameRate, DshowFramesPerSecond());
    for (auto [n, position] : {std::pair{0, 200000}, {1, 600000}, {49, 19800000}}) {
        Fetch(n);
        EXPECT_EQ(Position(), position) << n;
    }
    // Running: no seek before the copy, the next frame's seek after it.
    Fetch(10, true, 1);
    EXPECT_TRUE(vfix::ReadCode(bmp) == 49 && Position() == 4600000);  // the graph stood at frame 49
    Fetch(11, true, 3);
    EXPECT_TRUE(vfix::ReadCode(bmp) == 11 && Position() == 5800000);
    Fetch(49, true, 1);  // onto the last frame: clamped to the end
    EXPECT_TRUE(Position() == DshowGraph.DshowDuration100ns && Position() == 20000000);
    EXPECT_EQ(Fetch(50, true, 1), "S_OK");  // the end shows the last frame
    EXPECT_EQ(vfix::ReadCode(bmp), 49);
    Fetch(0, true, -1);  // backward past frame 0: held at 0
    EXPECT_EQ(Position(), 0);
    Fetch(0, true, -1);
    EXPECT_EQ(vfix::ReadCode(bmp), 0);
    const Bitmap24 before = bmp;
    EXPECT_TRUE(Fetch(-1) == "" && bmp == before);  // index -1 touches nothing
}

TEST_F(Dshow, FramesMatchTheDecoderWhicheverWayTheyAreReached) {
    for (const std::string& file : {F().pal, F().ntsc}) {
        SCOPED_TRACE(file);
        Reset();
        ASSERT_EQ(Open(file), "");
        const auto frames = DecoderFrames(file);
        const int count = static_cast<int>(frames.size());
        ASSERT_EQ(FrameCount(), count);
        std::vector<int> order(count);  // single frames in random order
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), std::mt19937(11));
        for (int n : order) ASSERT_TRUE(Fetch(n) == "S_OK" && bmp == frames[n]) << n << " shows " << vfix::ReadCode(bmp);
        Fetch(5);  // a forward run from frame 5 by 2, then a backward run by 1
        for (int n = 5; n < count; n += 2) ASSERT_TRUE(Fetch(n, true, 2) == "S_OK" && bmp == frames[n]) << "forward " << n;
        Fetch(count - 1);
        for (int n = count - 1; n >= 0; --n) ASSERT_TRUE(Fetch(n, true, -1) == "S_OK" && bmp == frames[n]) << "backward " << n;
    }
}

TEST_F(Dshow, StatusTextsAndAFailedFetchNeverHandsOverOldPixels) {
    ASSERT_EQ(Open(F().pal), "");
    ASSERT_EQ(Fetch(3), "S_OK");
    const Bitmap24 good = bmp, zero(160, 120);
    EXPECT_EQ(DshowStopBuffering(), S_OK);
    EXPECT_TRUE(Fetch(4) == "Sample is not buffered." && bmp == zero);
    DshowGraph.pSampleGrabber->SetBufferSamples(true);  // buffering on but the graph stopped: no sample
    EXPECT_TRUE(Fetch(4) == "Sample is not receibed yet" && bmp == zero);
    EXPECT_EQ(DshowRunPause(), S_OK);
    EXPECT_TRUE(Fetch(3) == "S_OK" && bmp == good);
    int32_t small = 100;  // a buffer size below the sample's
    EXPECT_EQ(DshowGraph.pSampleGrabber->GetCurrentBuffer(&small, &bmp), E_OUTOFMEMORY);
    EXPECT_EQ(DshowGraph.pSampleGrabber->GetCurrentBuffer(nullptr, &bmp), E_POINTER);
    const std::pair<HRESULT, const char*> table[] = {
        {S_OK, "S_OK"}, {E_INVALIDARG, "Sample is not buffered."}, {E_OUTOFMEMORY, "Buffer size is too small."},
        {E_POINTER, "Null pointer"}, {VFW_E_NOT_CONNECTED, "Filter is not connected"},
        {VFW_E_WRONG_STATE, "Sample is not receibed yet"}, {E_FAIL, "Error"}, {S_FALSE, "Error"}};
    for (const auto& [code, text] : table) EXPECT_EQ(DshowStatusText(code), text);
}

TEST_F(Dshow, LogStopsAtItsLastLineAndCloseReleasesTheGraph) {
    Open(F().pal);
    for (int i = 0; i < 150; ++i) DshowFramesPerSecond();
    EXPECT_EQ(DshowStepLogIndex, 100);
    EXPECT_EQ(DshowStepLog[100], "pBasicVideo.get_AvgTimePerFrame : S_OK25.000000");
    DshowClose();
    EXPECT_FALSE(DshowGraph.DshowGraphBuilt || DshowGraph.DshowVideoReady);
    EXPECT_TRUE(DshowGraph.DshowRendered);  // as the last render left it
    EXPECT_FALSE(DshowGraph.pGraph || DshowGraph.pMediaControl || DshowGraph.pSampleGrabber);
    EXPECT_TRUE(AllRefuse() && DshowFramesPerSecond() == 1.0L);
    DshowClose();  // twice is harmless
    EXPECT_EQ(Open(F().audio), "");
    EXPECT_TRUE(DshowStepLogIndex == 29 && DshowVideoWidth() == 64);  // a new open starts at line 1 again
}

TEST_F(Dshow, PlayShowsFramesInOrderOnTheSinkUntilTheEnd) {
    ASSERT_NE(QCoreApplication::instance(), nullptr);
    std::vector<int> shown;
    DshowVideoSink = [&](const QImage& img) { shown.push_back(vfix::ReadCode(Bitmap24::FromImage(img))); };
    ASSERT_EQ(Open(F().pal), "");
    EXPECT_EQ(DshowPlay(), E_ABORT);  // 50 frames: more than the one-second wait is left
    QElapsedTimer clock;
    clock.start();
    while (shown.size() < 3 && clock.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(DshowPause(), VFW_E_WRONG_STATE);
    ASSERT_GE(shown.size(), 3u);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()) && shown.front() == 0);
    Fetch(0, true, 1);  // paused where it stopped: that frame is fetched without a seek
    EXPECT_EQ(vfix::ReadCode(bmp), shown.back());
    DshowClose();
    shown.clear();  // ten frames end within the wait; the last one is shown
    ASSERT_EQ(Open(F().tenFrames), "");
    EXPECT_EQ(DshowPlay(), S_OK);
    clock.restart();
    long ev = 0;
    while (DshowGraph.pMediaEvent->WaitForCompletion(0, ev) != S_OK && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_TRUE(ev == 1 && Position() == DshowGraph.DshowDuration100ns);
    ASSERT_FALSE(shown.empty());
    EXPECT_TRUE(shown.back() == 9 && std::is_sorted(shown.begin(), shown.end()));
}

// Each test runs in a process of its own; the fixture files it made go with it.
TEST(DshowFixtures, ATestProcessLeavesNoFolderBehind) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    testutil::TempDir dir;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    ASSERT_EQ(testutil::Run("TEVORIN_TEST_TMP='" + dir.Path() + "' '" + self +
                            "' --gtest_filter=Dshow.LogStopsAtItsLastLineAndCloseReleasesTheGraph >/dev/null 2>&1"),
              0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(DshowNames, EveryCodeOfTheTableAndOthersLeaveTheText) {
    const std::pair<uint32_t, const char*> table[] = {
        {0x00000000, "S_OK"}, {0x00000001, "S_FALSE"}, {0x0004022D, "VFW_S_DUPLICATE_NAME"},
        {0x00040242, "VFW_S_PARTIAL_RENDER"}, {0x00040258, "VFW_S_AUDIO_NOT_RENDERED"}, {0x80004001, "E_NOTIMPL"},
        {0x80004002, "E_NOINTERFACE"}, {0x80004003, "E_POINTER"}, {0x80004004, "E_ABORT"}, {0x80004005, "E_FAIL"},
        {0x8007000E, "E_OUTOFMEMORY"}, {0x80070057, "E_INVALIDARG"}, {0x80040110, "CLASS_E_NOAGGREGATION"},
        {0x80040154, "REGDB_E_CLASSNOTREG"}, {0x80040209, "VFW_E_NOT_CONNECTED"}, {0x80040216, "VFW_E_NOT_FOUND"},
        {0x80040217, "VFW_E_CANNOT_CONNECT"}, {0x80040218, "VFW_E_CANNOT_RENDER"}, {0x8004022F, "VFW_E_INVALID_FILE_FORMAT"},
        {0x80040240, "VFW_E_UNKNOWN_FILE_TYPE"}, {0x80040241, "VFW_E_CANNOT_LOAD_SOURCE_FILTER"},
        {0x80040265, "VFW_E_UNSUPPORTED_STREAM"},
        {0x80040227, "x"}, {0x00000002, "x"}, {0x80070002, "x"}, {0x0004022C, "x"},  // not in the table: left alone
    };
    for (const auto& [code, name] : table) {
        std::string text = "x";
        HResultName(static_cast<HRESULT>(code), text);
        EXPECT_EQ(text, name) << std::hex << code;
    }
}

TEST(DshowNumbers, RoundingAndTimePerFrame) {
    const std::pair<long double, int64_t> rounded[] = {{2.5L, 3}, {-2.5L, -3}, {2.4999L, 2}, {-0.4L, 0}, {1e19L, INT64_MAX},
                                                       {-1e19L, INT64_MIN}, {5000000000.5L, 5000000001}};
    for (auto [x, want] : rounded) EXPECT_EQ(RoundHalfAwayInt64(x), want) << double(x);
    // 1e7 x den / num by hand: 333666.67, 417083.33, 166833.33, 3333333.33.
    const std::tuple<int, int, int64_t> rates[] = {{25, 1, 400000}, {30000, 1001, 333667}, {24000, 1001, 417083}, {60000, 1001, 166833},
                                                   {20000, 1, 500}, {3, 1, 3333333}, {16, 1, 625000}, {0, 1, 0}, {25, 0, 0}};
    for (auto [num, den, want] : rates) EXPECT_EQ(TimePerFrame(num, den), want) << num << "/" << den;
}

TEST_F(Dshow, FrameCountFromDurationAndRateIsExactAtCommonRates) {
    testutil::TempDir dir;
    for (const std::string rate : {"25", "30000/1001", "24000/1001", "60000/1001", "15", "50"}) {
        SCOPED_TRACE(rate);
        Reset();
        const std::string file = dir.File("r.avi");
        ASSERT_TRUE(vfix::Ffmpeg("-f lavfi -i testsrc2=s=32x24:r=" + rate + ":d=1.7 -c:v rawvideo -pix_fmt bgr24 '" + file + "'"));
        ASSERT_EQ(Open(file), "");
        EXPECT_EQ(FrameCount(), static_cast<int64_t>(vfix::ReferenceFrames(file, 32, 24).size()));
    }
}

// The step-log window lists the last open's lines, stays on top and frees itself.
TEST(TDshowErrorsWindow, ListsLinesOneToTheLastAndClosesItself) {
    const auto savedIndex = DshowStepLogIndex;
    const char* lines[] = {"never shown", "CoCreateInstance pGraph : S_OK", "AddFilter(pSampleGrabber Filter)S_OK", "WaitForCompletion : ",
                           "beyond the last line"};
    for (int i = 0; i < 5; ++i) DshowStepLog[i] = lines[i];
    DshowStepLogIndex = 3;
    DshowErrorsShown = false;
    QPointer<TDshowErrors> w = new TDshowErrors;
    EXPECT_TRUE(DshowErrorsShown && DshowErrors == w.data());
    EXPECT_EQ(w->windowTitle().toStdString(), "Result of DirectShow's process");
    EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(w->ErrorOfDshow->text().toStdString(), "Close");
    EXPECT_EQ(w->Memo1->toPlainText().toStdString(), "CoCreateInstance pGraph : S_OK\nAddFilter(pSampleGrabber Filter)S_OK\nWaitForCompletion : ");
    w->show();
    w->ErrorOfDshow->click();
    EXPECT_FALSE(DshowErrorsShown);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull() && DshowErrors == nullptr);
    for (int index : {-1, 0, 500}) {  // before any open, and past the end: the list stays in bounds
        DshowStepLogIndex = index;
        auto* v = new TDshowErrors;
        EXPECT_EQ(v->Memo1->toPlainText().isEmpty() ? 0 : v->Memo1->blockCount(), index <= 0 ? 0 : 100) << index;
        delete v;
    }
    DshowErrorsShown = false;
    DshowStepLogIndex = savedIndex;
}

}  // namespace
