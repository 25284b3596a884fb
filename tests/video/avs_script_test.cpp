// The script interpreter: the forms it reads, the frames they give, and the
// line every error names.
#include <gtest/gtest.h>

#include <random>

#include "fixtures.h"
#include "support/test_util.h"
#include "video/VfwAvi.h"
#include "video/avs_script.h"

namespace {

// Frame n of a fake source is grey (n + seed) % 256, with a marker at the top-left corner
// and the row number down the right-hand column, to see where a crop went.
struct FakeClip final : video::Clip {
    FakeClip(int w, int h, int count, double fps, int seed) : w(w), h(h), count(count), fps(fps), seed(seed) {}
    int Width() const override { return w; }
    int Height() const override { return h; }
    int FrameCount() const override { return count; }
    double FrameRate() const override { return fps; }
    bool GetFrame(int n, Bitmap24& out, std::string& error) override {
        if (n < 0 || n >= count) return error = "out of range", false;
        out.Resize(w, h);
        const uint8_t v = static_cast<uint8_t>((n + seed) % 256);
        out.Fill(v, v, v);
        out.Scanline(0)[0] = 255;
        for (int y = 0; y < h; ++y) out.Scanline(y)[3 * (w - 1) + 1] = static_cast<uint8_t>(y);
        return true;
    }
    int w, h, count;
    double fps;
    int seed;
};

struct Fakes {
    std::vector<std::string> opened;
    video::ScriptFiles files;
    Fakes() {
        files.openVideo = [this](const std::string& path, std::string& error) -> video::ClipPtr {
            opened.push_back(path);
            if (path.find("missing") != std::string::npos) return error = "Could not open " + path + ".", nullptr;
            const int seed = static_cast<int>(opened.size()) * 100;
            if (path.find("small") != std::string::npos) return std::make_shared<FakeClip>(32, 24, 10, 25, seed);
            return std::make_shared<FakeClip>(64, 48, 100, 30000.0 / 1001, seed);
        };
        files.openTimes = [](const std::string& path, std::string& error) -> std::unique_ptr<video::DvTimeReader> {
            return error = "Could not open " + path + ".", nullptr;
        };
    }
    video::ClipPtr Run(const std::string& text, std::string& error) {
        opened.clear();
        return video::RunAvsScript(text, "/scripts", files, error);
    }
};

int Grey(video::Clip& c, int n) {
    Bitmap24 b;
    std::string err;
    EXPECT_TRUE(c.GetFrame(n, b, err)) << err;
    return b.Empty() ? -1 : b.Scanline(b.Height() / 2)[3 * (b.Width() / 2)];
}

// '@' at the start stands for the line AVISource("a.avi").
std::string Script(const std::string& text) { return text[0] == '@' ? "AVISource(\"a.avi\")\n" + text.substr(1) : text; }

TEST(AvsScript, FormsAUserWrites) {
    Fakes f;
    std::string err;
    const double ntsc = 30000.0 / 1001;
    const struct {
        const char* text;
        int width, height, count;
        double fps;
        int firstGrey;  // grey level of frame 0
    } cases[] = {
        {"DirectShowSource(\"/v/a.avi\" , pixel_type=\"RGB24\")", 64, 48, 100, ntsc, 100},
        {"@Trim(10, 19)", 64, 48, 10, ntsc, 110}, {"AVISource(\"a.avi\").Trim(10, -5)", 64, 48, 5, ntsc, 110},
        {"@Trim(95, 0)", 64, 48, 5, ntsc, 195}, {"@Trim(-3, 1000)", 64, 48, 100, ntsc, 100},
        {"@Trim(0, -1)", 64, 48, 1, ntsc, 100},
        {"OpenDMLSource(\"a.avi\", audio=false, pixel_type=\"YUY2\")\nCrop(4, 2, -8, -6)", 52, 40, 100,
         ntsc, 100},
        {"@Crop(0, 0, 16, 0)", 16, 48, 100, ntsc, 100},
        {"@Crop(left=10, top=20, width=0, height=28)", 54, 28, 100, ntsc, 100},
        {"# a comment line\nclip = AVISource(\"a.avi\") # trailing comment\nclip.ConvertToRGB24()\nConvertToRGB32\n"
         "ConvertToRGB()",
         64, 48, 100, ntsc, 100},
        {"LoadPlugin(\"C:\\Program Files\\DVInfo.dll\")\nAVISource(\"a.avi\")\nAssumeFPS(25)", 64, 48, 100, 25, 100},
        {"@AssumeFPS(30000, 1001)", 64, 48, 100, ntsc, 100},
        {"@AssumeFPS(29.97, sync_audio=true)", 64, 48, 100, 29.97, 100},
        {"@AssumeFPS(\"PAL_video\")", 64, 48, 100, 25, 100},
        {"@AssumeFPS(\"ntsc_film\")", 64, 48, 100, 24000.0 / 1001, 100},
        {"DirectShowSource(\"a.avi\", fps=50, audio=false, convertfps=true)", 64, 48, 100, 50, 100},
        // Continuation at the end of a line and at the start of the next.
        {"AVISource(\"a.avi\", \\\n  \"b.avi\")\n\\ .Trim(140, \\\n 149)", 64, 48, 10, ntsc, 240},
        {"@\n# between\n   \\ .Crop(0, 0, 8, 8)", 8, 8, 100, ntsc, 100},
        {"v = \"\"\"a\n.avi\"\"\"\nAVISource(v)\nlast.Trim(1, 2)", 64, 48, 2, ntsc, 101},
        {"dir = \"sub/\"\nAVISource(dir + \"a.avi\")\nTrim(2 * 3 - (4 - 2) / 2, (7 % 4) + 6)", 64, 48, 5,
         ntsc, 105},
        {"x = AVISource(\"a.avi\")\ny = x.Trim(1, 1)\nlast = x\n", 64, 48, 100, ntsc, 100},
        {"avisource(\"a.avi\")\nTRIM(5, 6)\r\ncrop(0, 0, -1, -1)\r\n", 63, 47, 2, ntsc, 105},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        video::ClipPtr clip = f.Run(Script(c.text), err);
        ASSERT_TRUE(clip) << err;
        EXPECT_EQ(std::vector<int>({clip->Width(), clip->Height(), clip->FrameCount(), Grey(*clip, 0), Grey(*clip, c.count - 1)}),
                  std::vector<int>({c.width, c.height, c.count, c.firstGrey, c.firstGrey + c.count - 1}));
        EXPECT_DOUBLE_EQ(clip->FrameRate(), c.fps);
        Bitmap24 b;
        EXPECT_FALSE(clip->GetFrame(c.count, b, err) || clip->GetFrame(-1, b, err));
    }
}

TEST(AvsScript, FilesAndPixels) {
    Fakes f;
    std::string err;
    // Relative names from the script's folder, absolute ones as written; the
    // written source line keeps the path exactly.
    ASSERT_TRUE(f.Run("AVISource(\"a.avi\", \"/abs/b.avi\")", err)) << err;
    EXPECT_EQ(f.opened, (std::vector<std::string>{"/scripts/a.avi", "/abs/b.avi"}));
    ASSERT_TRUE(f.Run("DirectShowSource(\"/v/my clip, #1.avi\" , pixel_type=\"RGB24\")", err)) << err;
    EXPECT_EQ(f.opened, (std::vector<std::string>{"/v/my clip, #1.avi"}));
    ASSERT_TRUE(f.Run("AVISource(\"\"\"/v/say \"hi\".avi\"\"\")", err)) << err;
    EXPECT_EQ(f.opened, (std::vector<std::string>{"/v/say \"hi\".avi"}));

    // Crop moves the marker at the origin and the row numbers down the right-hand column
    // (source column 63 is cut off: the new right edge is source column 60).
    video::ClipPtr c = f.Run("AVISource(\"a.avi\")\nCrop(0, 5, -3, 0)\nCrop(1, 0, 0, -1)", err);
    Bitmap24 b;
    ASSERT_TRUE(c && c->Width() == 60 && c->Height() == 42 && c->GetFrame(3, b, err)) << err;
    EXPECT_TRUE(b.Scanline(0)[0] == 103 && b.Scanline(7)[3 * 59 + 1] == 103);
    c = f.Run("AVISource(\"a.avi\")\nCrop(0, 0, 0, 0)", err);
    ASSERT_TRUE(c && c->GetFrame(0, b, err)) << err;
    EXPECT_TRUE(b.Scanline(0)[0] == 255 && b.Scanline(30)[3 * 63 + 1] == 30);
}

TEST(AvsScript, EveryErrorNamesItsLine) {
    Fakes f;
    const struct {
        const char* text;
        int line;
        const char* says;
    } cases[] = {
        {"@Blur(1.0)", 2, "\"Blur\" is not a function"}, {"@\n\nfoo", 4, "\"foo\" is not a function or variable"},
        {"Trim(0, 10)", 1, "Trim has no clip to work on"}, {"@Trim(0)", 2, "Trim needs the argument last_frame"},
        {"@Trim(0, 5, true, 7)", 2, "at most 4 arguments"},
        {"@Trim(0, 5.5)", 2, "last_frame must be a whole number, not a number"},
        {"@Trim(0, 5, \\\n pad=1)", 3, "pad must be true or false"}, {"@Trim(100, 0)", 2, "leaves no frames of the 100"},
        {"@Trim(50, 40)", 2, "leaves no frames"}, {"@Crop(0, 0, 65, 48)", 2, "reaches outside the 64 x 48 frame"},
        {"@Crop(-1, 0, 0, 0)", 2, "reaches outside"}, {"@Crop(0, 0, -64, 0)", 2, "reaches outside"},
        {"@Crop(0, 0, 10, 10, colour=1)", 2, "Crop has no argument named colour"},
        {"@Crop(0, 0, 10, 10, left=1)", 2, "left is given twice"},
        {"@ConvertToRGB24(matrix=\"Rec709\")", 2, "matrix is not supported"},
        {"AVISource(\"a.avi\", fourCC=\"DIVX\")", 1, "fourCC is not supported"},
        {"AVISource(\"a.avi\", pixel_type=\"XYZ\")", 1, "pixel type \"XYZ\" is not understood"},
        {"AVISource()", 1, "AVISource needs a file name"},
        {"AVISource(\"a.avi\", true)", 1, "only file names can be given without a name"},
        {"AVISource(\"a.avi\", \"small.avi\")", 1, "small.avi has another frame size"},
        {"\n\nDirectShowSource(\"missing.avi\")", 3, "DirectShowSource: Could not open /scripts/missing.avi"},
        {"DirectShowSource(\"a.avi\", video=false)", 1, "video=false"},
        {"DirectShowSource(\"a.avi\", framecount=10)", 1, "framecount is not supported"},
        {"DirectShowSource(\"a.avi\", fps=0)", 1, "frame rate must be above 0"},
        {"@AssumeFPS(\"pal_tv\")", 2, "preset \"pal_tv\" is not known"},
        {"@AssumeFPS(25, 0)", 2, "denominator must be above 0"}, {"@AssumeFPS(25.0, 2)", 2, "takes no denominator"},
        {"@AssumeFPS(true)", 2, "frame rate must be a number or a preset"},
        {"@DVInfo(\"a.avi\", \"rec_time\", 50, 380, \"Gothic\", 30, 0, 0, \"%x\")", 2,
         "DVInfo: Could not open /scripts/a.avi"},
        {"@DVInfo(\"a.avi\", \"timecode\", 50, 380, \"Gothic\", 30, 0, 0, \"%x\")", 2,
         "type \"timecode\" is not supported"},
        {"@DVInfo(\"a.avi\", \"rec_time\", 50, 380, \"Gothic\", 0, 0, 0, \"%x\")", 2,
         "size must be 1 to 1000"},
        {"@DVInfo(\"a.avi\", \"rec_time\", 50, 380, \"Gothic\", 30, 256*65536, 0, \"%x\")", 2,
         "colour 16777216 is outside"},
        {"@DVInfo(\"a.avi\", \"rec_time\", 50, 380, \"Gothic\", 30, 0, 0)", 2,
         "DVInfo needs the argument format"},
        {"AVISource(\"a.avi\"", 1, "expected ',' or ')' but found the end of the script"},
        {"AVISource(\"a.avi)\nTrim(0,1)", 1, "string is not closed on its line"},
        {"\n\nx = \"\"\"never\nclosed", 3, "opened with \"\"\" is not closed"},
        {"AVISource(\"a.avi\") Trim(0, 1)", 1, "\"Trim\" is not understood after the end of a statement"},
        {"@Trim(0, 1) \\ x", 2, "'\\' that neither ends nor starts"},
        {"@Trim(0, 1) ; Crop(0,0,0,0)", 2, "character ';' is not understood"},
        {"@Trim(0, \x01)", 2, "the byte 0x01 is not understood"}, {"@Trim(0, 12abc)", 2, "number 12a is not understood"},
        {"@Trim(0, 99999999999)", 2, "number 99999999999 is too large"}, {"@Trim(0, 65536 * 65536)", 2, "is too large"},
        {"@Trim(0, 5 / 0)", 2, "division by zero"}, {"@Trim(0, \"5\" * 2)", 2, "'*' between a string and a whole number"},
        {"@Trim(0, -\"5\")", 2, "sign in front of a string"}, {"@Trim(0, )", 2, "')' is not understood here"},
        {"AVISource(\"a.avi\").\nTrim(0, 1)", 1, "expected a function name after '.'"},
        {"x = LoadPlugin(\"a.dll\")", 1, "\"x\" cannot be given nothing"}, {"last = 5", 1, "last can only be a clip"},
        {"x = last", 1, "there is no clip before this line for last"},
        {"x = 1\ny = 2\n", 3, "ends without giving a video clip"}, {"", 1, "ends without giving a video clip"},
        {"@Trim(0, ((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((1)))"
         ")))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))",
         2, "nested too deeply"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string err;
        EXPECT_FALSE(f.Run(Script(c.text), err));
        EXPECT_EQ(err.rfind("Line " + std::to_string(c.line) + ": ", 0), 0u) << err;
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
        EXPECT_EQ(err.back(), '.') << err;
    }
    // Too many filters for one script.
    std::string many = "AVISource(\"a.avi\")\n";
    for (int i = 0; i < video::kMaxClips; ++i) many += "Trim(0, 0)\n";
    std::string err;
    EXPECT_FALSE(f.Run(many, err));
    EXPECT_NE(err.find("Line 257: the script uses too many sources and filters"), std::string::npos) << err;
    std::string files = "AVISource(\"a.avi\"";
    for (int i = 1; i < video::kMaxSources; ++i) files += ", \"a.avi\"";
    EXPECT_TRUE(f.Run(files + ")", err)) << err;
    EXPECT_FALSE(f.Run(files + ", \\\n\"a.avi\")", err));
    EXPECT_EQ(err, "Line 1: the script opens more than 16 video files.");
}

TEST(AvsScript, RandomAndTruncatedScriptsFailCleanly) {
    Fakes f;
    const std::string good =
        "# written\nLoadPlugin(\"x.dll\")\nv = DirectShowSource(\"/v/a.avi\" , pixel_type=\"RGB24\")\n"
        "v.Trim(3, -20).Crop(2, 2, -2, -2)\n\\ .AssumeFPS(30000, 1001)\nx = \"\"\"multi\nline\"\"\" + \"s\"\n"
        "ConvertToRGB24\nTrim(first_frame=1, last_frame=0 - -5)\n";
    std::mt19937 rng(12345);
    const std::string alphabet = "AVISourceTrimCrop()\",.=+-*/%#\\\n\r 0123456789.\"\"\"_x\x01\xff";
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text = good.substr(0, static_cast<size_t>(round));  // every cut, then random edits
        for (int e = round < static_cast<int>(good.size()) ? 0 : 1 + static_cast<int>(rng() % 6); e > 0; --e) {
            const size_t at = rng() % (text.size() + 1), kind = rng() % 3;
            const char ch = alphabet[rng() % alphabet.size()];
            if (kind == 0) text.insert(at, 1, ch);
            else if (at < text.size()) kind == 1 ? void(text.erase(at, 1)) : void(text[at] = ch);
        }
        std::string err;
        video::ClipPtr c = f.Run(text, err);
        Bitmap24 b;
        accepted += c != nullptr;
        EXPECT_TRUE(c ? c->GetFrame(c->FrameCount() - 1, b, err) && b.Width() == c->Width() : err.rfind("Line ", 0) == 0)
            << text << "\n" << err;
    }
    EXPECT_GT(accepted, 10);
    // Over the size limit.
    std::string err;
    EXPECT_FALSE(f.Run(std::string(video::kMaxScriptBytes + 1, '#'), err));
    EXPECT_NE(err.find("longer than"), std::string::npos);
}

class AvsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    }
    testutil::TempDir dir;
};

// The script the program writes beside a video (without the camcorder time), and a user's edit of it.
TEST_F(AvsFileTest, WrittenAndEditedScriptsReadTheVideosFrames) {
    const std::string video = dir.File("clip 1.avi"), script = dir.File("clip 1.avs"), edited = dir.File("edited.AVS");
    ASSERT_TRUE(vfix::Ffmpeg(vfix::NumberedSource(160, 120, "30000/1001", 1.0) + " -c:v mjpeg '" + video + "'"));
    testutil::WriteAll(script, "DirectShowSource(\"" + video + "\" , pixel_type=\"RGB24\")\r\n");
    TVfwAvi direct, scripted;
    ASSERT_TRUE(direct.Open(video));
    ASSERT_TRUE(scripted.Open(script)) << scripted.LastError();
    EXPECT_TRUE(scripted.FrameCount() == 30 && direct.FrameCount() == 30 && !scripted.HasAudio());
    EXPECT_FLOAT_EQ(scripted.GetFrameRate(), direct.GetFrameRate());
    Bitmap24 a, b;
    for (int n : {0, 1, 2, 17, 29, 5, 0}) {
        ASSERT_TRUE(direct.GetFrame(n, a) && scripted.GetFrame(n, b)) << scripted.LastError();
        EXPECT_TRUE(a == b && vfix::ReadCode(b) == n) << n;
    }
    ASSERT_TRUE(scripted.GetFrame(30, b));  // outside: the frame delivered last, as for a video
    EXPECT_EQ(vfix::ReadCode(b), 0);
    scripted.Close();
    EXPECT_TRUE(scripted.FrameCount() == -1 && !scripted.GetFrame(-1, b));

    testutil::WriteAll(edited, "LoadPlugin(\"DVInfo.dll\")\nAVISource(\"clip 1.avi\")\nTrim(10, 19)\nCrop(0, 0, -40, -30)\nConvertToRGB24()\n");
    ASSERT_TRUE(scripted.Open(edited)) << scripted.LastError();
    EXPECT_EQ(scripted.FrameCount(), 10);
    const auto expectCropOf = [&](int n) {
        ASSERT_TRUE(scripted.GetFrame(n, b) && direct.GetFrame(10 + n, a));
        ASSERT_TRUE(b.Width() == 120 && b.Height() == 90);
        int worst = 0;
        for (int y = 0; y < 90; ++y)
            for (int x = 0; x < 360; ++x) worst = std::max(worst, std::abs(a.Scanline(y)[x] - b.Scanline(y)[x]));
        EXPECT_EQ(worst, 0) << n;
    };
    for (int n : {0, 9, 4}) expectCropOf(n);
    // Read ahead, the script's decoder on frame threads: the same pixels, and
    // stepping back afterwards too.
    scripted.ReadAhead(0, 1);
    for (int n = 0; n < 10; ++n) expectCropOf(n);
    for (int n : {3, 8}) expectCropOf(n);
}

TEST_F(AvsFileTest, OpenFailsWithTheLineAndWhatWasNotUnderstood) {
    TVfwAvi avi;
    const std::string script = dir.File("bad.avs");
    testutil::WriteAll(dir.File("junk.avi"), std::string(5000, 'x'));  // not a video at all
    const std::pair<std::string, std::string> cases[] = {
        {"# my script\nAVISource(\"nothing here.avi\")\n", "Line 2: AVISource: Could not open nothing here.avi"},
        {"Version()\n", "Line 1: \"Version\" is not a function or variable this program knows."},
        {"AVISource(\"junk.avi\")", "Line 1: AVISource: "},
    };
    for (const auto& [text, error] : cases) {
        testutil::WriteAll(script, text);
        EXPECT_FALSE(avi.Open(script));
        EXPECT_EQ(avi.FrameCount(), -1);
        EXPECT_EQ(avi.LastError().rfind(error, 0), 0u) << avi.LastError();
    }
    EXPECT_FALSE(avi.Open(dir.File("absent.avs")));
    EXPECT_NE(avi.LastError().find("absent.avs"), std::string::npos) << avi.LastError();
}

}  // namespace
