// The capture engine and the capture window's procedures on generated inputs: the
// AVI files are checked with ffprobe and ffmpeg, the step logs to the character.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "support/test_util.h"
#include "video/capture_graph.h"
#include "video/decoder.h"

namespace {

using namespace capture;

const char* const kPal = "testsrc2=size=720x576:rate=25,realtime";
const char* const kSine = "sine=frequency=1000:sample_rate=48000";

struct NoSystemDevices {
    NoSystemDevices() {
        setenv("TEVORIN_CAPTURE_SYSTEM_DEVICES", "0", 1);
        ClearTestDevices();
    }
    ~NoSystemDevices() { ClearTestDevices(); }
};

// ffprobe's view of a file: "v." and "a." keys per stream type.
std::map<std::string, std::string> Probe(const std::string& file) {
    std::string out;
    testutil::Run("ffprobe -v error -count_frames -show_entries "
                  "format=format_name:stream=codec_type,codec_name,r_frame_rate,nb_read_frames,sample_rate,"
                  "nb_frames -of compact=nk=0 '" + file + "'",
                  &out);
    std::map<std::string, std::string> m;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::pair<std::string, std::string>> fields;
        std::istringstream parts(line);
        std::string part, prefix;
        while (std::getline(parts, part, '|')) {
            const size_t eq = part.find('=');
            if (eq == std::string::npos) continue;
            fields.emplace_back(part.substr(0, eq), part.substr(eq + 1));
            if (fields.back().first == "codec_type") prefix = fields.back().second == "audio" ? "a." : "v.";
        }
        for (const auto& [k, v] : fields) m[prefix + k] = v;
    }
    return m;
}

// A unit with its log collected.
struct Unit {
    CaptureUnit u;
    std::vector<std::string> log;
    Unit() {
        u.view.log = [this](const std::string& l) { log.push_back(l); };
    }
    void Lists() {
        capturedevices(u);
        audiodevices(u);
        compressors(u);
    }
    void Choose(const std::string& compressor) {
        for (int i = 0; i < u.CompressorCount; ++i)
            if (u.CompressorNames[i] == compressor) u.CompressorIndex = i;
    }
};

TEST(CaptureRecord, EveryCompressorWritesAnAviThatFfprobeReads) {
    if (!testutil::HaveProgram("ffprobe")) GTEST_SKIP() << "no ffprobe";
    NoSystemDevices none;
    // Three seconds of a paced source: the input ends after its 75th frame.
    AddTestDevice(true, "PAL", "lavfi", "testsrc2=size=720x576:rate=25:duration=3,realtime");
    AddTestDevice(false, "Tone", "lavfi", kSine);
    testutil::TempDir dir;
    const std::map<std::string, std::string> codecs = {{"DV Video Encoder", "dvvideo"},
                                                       {"MJPEG Compressor", "mjpeg"},
                                                       {"FFV1 Lossless Codec", "ffv1"},
                                                       {"HuffYUV Lossless Codec", "huffyuv"},
                                                       {"Uncompressed RGB", "rawvideo"}};
    // All five record side by side.
    std::vector<std::unique_ptr<Unit>> units;
    for (const auto& [name, codec] : codecs) {
        auto& x = *units.emplace_back(std::make_unique<Unit>());
        x.Lists();
        ASSERT_EQ(x.u.CompressorNames[x.u.CompressorIndex], "DV Video Encoder");  // the default choice
        x.Choose(name);
        x.u.CapturedFileName = dir.File(codec + ".avi");
        EXPECT_EQ(AviCaptureWithRetry(x.u, 0), 0);
        EXPECT_TRUE(x.u.CaptureRecorded);
    }
    // The file is complete once the source ended and the sound reached the video's end.
    for (auto& x : units) {
        for (int i = 0; i < 600 && x->u.graph->WaitForCompletion(50) != dshow::S_OK; ++i) {
        }
        StopCapture(x->u);
    }
    size_t i = 0;
    for (const auto& [name, codec] : codecs) {
        SCOPED_TRACE(name);
        const Unit& x = *units[i++];
        EXPECT_EQ(x.log, (std::vector<std::string>{"pMediaControl Stop : S_OK", "pMediaEventl WaitForCompletion : S_OK",
                                                   "The video device stopped : End of file"}));
        auto p = Probe(x.u.CapturedFileName);
        EXPECT_EQ(p["format_name"], "avi");
        EXPECT_EQ(p["v.codec_name"], codec);
        EXPECT_EQ(p["v.r_frame_rate"], "25/1");
        const int frames = std::atoi(p["v.nb_read_frames"].c_str());
        EXPECT_NEAR(frames, 75, 5);
        EXPECT_EQ(frames, x.u.framesRecorded);
        EXPECT_EQ(p["a.codec_name"], "pcm_s16le");
        EXPECT_EQ(p["a.sample_rate"], "48000");
        // Audio within 0.2 s of the video's length (PCM in AVI: nb_frames counts samples).
        const double audioSeconds = std::atof(p["a.nb_frames"].c_str()) / 48000;
        EXPECT_NEAR(audioSeconds, frames / 25.0, 0.2);
        // The program's own reader opens it with every slot.
        video::VideoDecoder dec;
        ASSERT_TRUE(dec.Open(x.u.CapturedFileName)) << dec.Error();
        EXPECT_EQ(dec.FrameCount(), frames);
        Bitmap24 last;
        EXPECT_TRUE(dec.GetFrame(frames - 1, last));
    }
}

TEST(CaptureRecord, LosslessFramesAreTheSourceFramesOfTheSameIndex) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
    NoSystemDevices none;
    // Unpaced and short: the source ends by itself, as a lost device would.
    AddTestDevice(true, "Small", "lavfi", "testsrc2=size=160x120:rate=25:duration=1.2");
    AddTestDevice(false, "Tone", "lavfi", kSine);
    testutil::TempDir dir;
    Unit x;
    x.Lists();
    x.Choose("FFV1 Lossless Codec");
    x.u.CapturedFileName = dir.File("ffv1.avi");
    ASSERT_EQ(AviCapture(x.u, 0), 0);
    for (int i = 0; i < 600 && x.u.graph->WaitForCompletion(50) != dshow::S_OK; ++i) {
    }
    StopCapture(x.u);
    EXPECT_EQ(x.log, (std::vector<std::string>{"pMediaControl Stop : S_OK", "pMediaEventl WaitForCompletion : S_OK",
                                               "The video device stopped : End of file"}));
    EXPECT_EQ(x.u.framesRecorded, 30);
    const std::string ours = dir.File("ours.yuv"), ref = dir.File("ref.yuv");
    ASSERT_EQ(testutil::Run("ffmpeg -v error -y -i '" + x.u.CapturedFileName + "' -map 0:v -f rawvideo -pix_fmt yuv420p '" +
                            ours + "'"),
              0);
    ASSERT_EQ(testutil::Run("ffmpeg -v error -y -f lavfi -i testsrc2=size=160x120:rate=25:duration=1.2 -f rawvideo "
                            "-pix_fmt yuv420p '" + ref + "'"),
              0);
    const std::string a = testutil::ReadAll(ours), b = testutil::ReadAll(ref);
    ASSERT_EQ(a.size(), 30u * 160 * 120 * 3 / 2);
    EXPECT_TRUE(a == b);
    // The audio stops where the video does.
    auto p = Probe(x.u.CapturedFileName);
    EXPECT_NEAR(std::atof(p["a.nb_frames"].c_str()) / 48000, 1.2, 0.2);
}

TEST(CaptureRecord, ADvCamcorderIsRecordedAsItComes) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
    NoSystemDevices none;
    testutil::TempDir dir;
    const std::string tape = dir.File("tape.dv");
    ASSERT_EQ(testutil::Run("ffmpeg -v error -y -f lavfi -i testsrc2=size=720x576:rate=25 -f lavfi -i "
                            "sine=frequency=440:sample_rate=48000 -t 3 -c:v dvvideo -c:a pcm_s16le -ac 2 -f dv '" +
                            tape + "'"),
              0);
    AddTestDevice(true, "Camcorder", "dv", tape);
    AddTestDevice(false, "Tone", "lavfi", kSine);
    Unit x;
    x.Lists();
    ASSERT_EQ(x.u.videoDevices[0].kind, DeviceKind::DvCamera);
    x.Choose("Uncompressed RGB");  // not used: the stream is copied
    x.u.CapturedFileName = dir.File("dv.avi");
    std::atomic<int> previews{0};
    int pw = 0, ph = 0;
    x.u.view.previewSink = [&](const Bitmap24& b) {
        if (b.Width() == 720 && b.Height() == 576) ++previews;
    };
    x.u.view.previewPosition = [&](int w, int h) { pw = w, ph = h; };
    x.u.view.smallPreview = [] { return true; };
    ASSERT_EQ(AviCapture(x.u, 0), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    StopCapture(x.u);
    EXPECT_EQ(x.log, (std::vector<std::string>{"pMediaControl Stop : S_OK", "pMediaEventl WaitForCompletion : S_OK"}));
    EXPECT_EQ(pw, 360);
    EXPECT_EQ(ph, 288);
    EXPECT_GT(previews.load(), 20);
    auto p = Probe(x.u.CapturedFileName);
    EXPECT_EQ(p["v.codec_name"], "dvvideo");
    const int frames = std::atoi(p["v.nb_read_frames"].c_str());
    // Paced: not the whole three-second tape in a second and a half.
    EXPECT_GT(frames, 10);
    EXPECT_LT(frames, 75);
    EXPECT_EQ(p["a.sample_rate"], "48000");
    // The video packets are the tape's first ones, byte for byte.
    std::string ours, ref;
    testutil::Run("ffmpeg -v error -i '" + x.u.CapturedFileName + "' -map 0:v -c copy -f framemd5 - | grep -v '^#' | cut -d, -f6",
                  &ours);
    testutil::Run("ffmpeg -v error -i '" + tape + "' -map 0:v -c copy -frames:v " + std::to_string(frames) +
                      " -f framemd5 - | grep -v '^#' | cut -d, -f6",
                  &ref);
    EXPECT_FALSE(ours.empty());
    EXPECT_EQ(ours, ref);
}

TEST(CaptureGraph, ListsAndTheBuildsThatEndEarly) {
    NoSystemDevices none;
    Unit x;
    std::vector<std::string> status;
    std::vector<std::pair<bool, bool>> buttons;
    x.u.view.status = [&](const std::string& s, StatusColour) { status.push_back(s); };
    x.u.view.buttons = [&](bool f1, bool esc) { buttons.emplace_back(f1, esc); };
    x.Lists();
    EXPECT_EQ(x.log, (std::vector<std::string>{"No device is detected", "No audio device is detected"}));
    EXPECT_EQ(status, std::vector<std::string>{"No device is detected"});
    EXPECT_EQ(buttons, (std::vector<std::pair<bool, bool>>{{false, false}}));
    EXPECT_TRUE(x.u.NoAudioDevice);
    EXPECT_EQ(x.u.VideoDeviceIndex, -1);
    EXPECT_EQ(x.u.CompressorCount, 5);
    EXPECT_EQ(x.u.CompressorIndex, 0);

    // No video device: the build ends at once, and there is nothing to stop.
    x.log.clear();
    EXPECT_EQ(AviCapture(x.u, 1), 0);
    StopCapture(x.u);
    EXPECT_EQ(x.log, std::vector<std::string>{"No video device is detected"});
    EXPECT_FALSE(x.u.CaptureRunning);

    // No compressor.
    AddTestDevice(true, "PAL", "lavfi", kPal);
    x.Lists();
    x.u.compressorList.clear();
    x.log.clear();
    EXPECT_EQ(AviCapture(x.u, 1), 0);
    StopCapture(x.u);
    EXPECT_EQ(x.log, std::vector<std::string>{"No device is detected"});

    // No audio device.
    x.Lists();
    x.log.clear();
    x.u.NoAudioDevice = false;
    EXPECT_EQ(AviCapture(x.u, 1), 0);
    StopCapture(x.u);
    EXPECT_EQ(x.log, std::vector<std::string>{"No audio-device is detected"});
    EXPECT_TRUE(x.u.NoAudioDevice);

    // A folder that is not there: the file cannot be named, nothing is left behind.
    AddTestDevice(false, "Tone", "lavfi", kSine);
    x.Lists();
    x.log.clear();
    testutil::TempDir dir;
    x.u.CapturedFileName = dir.File("missing/x.avi");
    EXPECT_EQ(AviCapture(x.u, 0), 0);
    StopCapture(x.u);
    EXPECT_EQ(x.log, std::vector<std::string>{"SetOutPutFileName : VFW_E_NOT_FOUND"});
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
}

TEST(CaptureGraph, ADvCamcorderThatDoesNotOpenIsTriedOnceMore) {
    NoSystemDevices none;
    testutil::TempDir dir;
    AddTestDevice(true, "Camcorder", "dv", dir.File("no-tape.dv"));
    AddTestDevice(false, "Tone", "lavfi", kSine);
    Unit x;
    x.Lists();
    const std::vector<std::string> build = {
        "pMoniker BindToObject : VFW_E_NOT_FOUND", "AddFilter : E_POINTER",           "RenderStream Preview : E_POINTER",
        "pWindow Put_Owner : E_NOINTERFACE",      "pWindow Put_Owner : E_NOINTERFACE", "pWindow Get_Width : E_NOINTERFACE",
        "pWindow Get_Width : E_NOINTERFACE",      "pWindow SetPosition : E_NOINTERFACE"};
    EXPECT_EQ(AviCaptureWithRetry(x.u, 1), static_cast<int>(dshow::E_POINTER));
    std::vector<std::string> expected = build;
    expected.push_back("pMediaControl Stop : S_OK");
    expected.push_back("pMediaEventl WaitForCompletion : S_OK");
    expected.insert(expected.end(), build.begin(), build.end());
    EXPECT_EQ(x.log, expected);
    StopCapture(x.u);
    EXPECT_FALSE(x.u.CaptureRunning);

    // Recording from it: the capture connection fails as well and nothing is recorded.
    x.log.clear();
    x.u.CapturedFileName = dir.File("x.avi");
    EXPECT_EQ(AviCapture(x.u, 0), static_cast<int>(dshow::E_POINTER));
    EXPECT_EQ(x.log[2], "RenderStream pFileOutPut : E_POINTER");
    EXPECT_FALSE(x.u.CaptureRecorded);
    StopCapture(x.u);
    EXPECT_FALSE(std::filesystem::exists(x.u.CapturedFileName));  // no header: no file
}

TEST(CaptureGraph, NameListsNeverHoldMoreThanTheirSlots) {
    NoSystemDevices none;
    for (int i = 0; i < 30; ++i) {
        AddTestDevice(true, "V" + std::to_string(i), "lavfi", kPal);
        AddTestDevice(false, "A" + std::to_string(i), "lavfi", kSine);
    }
    Unit x;
    x.Lists();
    EXPECT_EQ(x.u.VideoDeviceCount, 21);
    EXPECT_EQ(x.u.AudioDeviceCount, 21);
    EXPECT_EQ(x.u.VideoDeviceNames[20], "V20");
    EXPECT_EQ(x.u.AudioDeviceNames[20], "A20");
    EXPECT_EQ(x.u.videoDevices.size(), 21u);
}

TEST(CaptureProbe, DevicesAndARecordingFromTheCommandLine) {
    std::string out;
    const std::string probe = "TEVORIN_CAPTURE_SYSTEM_DEVICES=0 " + testutil::BinFile("tevorin-probe");
    ASSERT_EQ(testutil::Run(probe + " capture-devices --video Cam 'lavfi:" + kPal + "' --audio Mic lavfi:" + kSine, &out), 0);
    EXPECT_EQ(out, "video:\nCam\naudio:\nMic\ncompressors:\nDV Video Encoder\nMJPEG Compressor\nFFV1 Lossless Codec\n"
                   "HuffYUV Lossless Codec\nUncompressed RGB\n");
    testutil::TempDir dir;
    ASSERT_EQ(testutil::Run(probe + " capture --video lavfi:testsrc2=size=64x48:rate=25:duration=0.4 --audio lavfi:" +
                                kSine + " --compressor 'FFV1 Lossless Codec' --seconds 0.5 " + dir.File("p.avi"),
                            &out),
              0);
    EXPECT_EQ(out, "pMediaControl Stop : S_OK\npMediaEventl WaitForCompletion : S_OK\n"
                   "The video device stopped : End of file\nframes 10\n");
    EXPECT_NE(testutil::Run(probe + " capture --video lavfi --seconds 1 " + dir.File("q.avi") + " 2>/dev/null"), 0);
}

}  // namespace
