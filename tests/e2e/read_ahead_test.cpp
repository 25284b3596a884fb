// Runs with frames read ahead, converted on several threads and shown at screen
// rate against the one-frame-at-a-time road (TEVORIN_SERIAL=1): the same harness
// script must print the same read-outs and save byte-identical results files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "support/test_util.h"

namespace {

// Three stars drifting by (0.3, 0.15) pixels a frame over faint noise.
const char* const kStarField =
    "16+4*random(1)+200*exp(-((X-40-0.3*N)^2+(Y-40-0.15*N)^2)/6)+150*exp(-((X-100-0.3*N)^2+(Y-40-0.15*N)^2)/6)"
    "+120*exp(-((X-120-0.3*N)^2+(Y-90-0.15*N)^2)/6)";

// `pad` (an ffmpeg filter, with its comma) places the field in a larger frame.
std::string StarField(const testutil::TempDir& dir, const std::string& name, const std::string& encode,
                      const std::string& pad = "") {
    const std::string path = dir.File(name);
    const std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i color=c=black:s=160x120:r=25 -frames:v 60 -vf "
                            "\"format=gray,geq=lum='" + std::string(kStarField) + "'" + pad + "\" " + encode + " " + path;
    EXPECT_EQ(testutil::Run(cmd), 0) << cmd;
    return path;
}

// What a user does with a video: a whole run of three objects, a run stopped half
// way and then stepped, Interval 3, playing backwards, fields in both orders and
// PSF photometry after a learning click. `out` is where the results files go.
// (dx, dy) moves every click, for a field placed in a larger frame.
std::string Session(const std::string& video, const std::string& out, int dx = 0, int dy = 0) {
    std::ostringstream s;
    const auto at = [&](int x, int y) { return std::to_string(x + dx) + " " + std::to_string(y + dy); };
    const char* readouts = "print-text Edit7\nprint-text Edit8\nprint-text Edit20\nprint-text Edit23\n"
                           "print-text Edit12\nprint-text Edit10\nprint-errors\n";
    s << "open " << video << "\nclick " << at(40, 40) << "\nadd " << at(100, 40) << "\nadd " << at(120, 90) << "\nrun\n" << readouts << "save " << out
      << "/whole.csv\nanswer yes\nremove-data\ngoto 0\nstop-at 25\nrun\nstep 2\noneframe\nstep -1\noneframe\n"
      << readouts << "save " << out << "/stopped.csv\nanswer yes\nremove-data\nset UpDown9 3\ngoto 0\nrun\nsave "
      << out << "/interval.csv\nset UpDown9 1\ngoto 50\nplay-back\n" << readouts
      << "answer yes\nremove-data\nset CheckBox2 1\ngoto 0\nstop-at 20\nrun\nset RadioGroup2 0\nrun\nsave " << out
      << "/fields.csv\nset CheckBox2 0\nset CheckBox14 1\nanswer yes\nremove-data\ngoto 0\nclick " << at(40, 40) << "\nrun\n"
      << readouts << "save " << out << "/psf.csv\n";
    return s.str();
}

struct Road {
    std::string output;  // the harness's lines, with the road's folder written as D
    std::string folder;
};

// Runs `script` (with D for the road's folder) on one road.
Road RunRoad(const testutil::TempDir& dir, const std::string& name, bool serial, const std::string& api,
             bool avisynth, const std::string& script) {
    Road road{"", dir.File(name)};
    std::filesystem::create_directories(road.folder);
    testutil::WriteAll(road.folder + "/tevorin-harness.ini",
                       std::string("[FileRead]\r\nUse AviSynth to read file=") + (avisynth ? "1" : "0") +
                           "\r\nAPI for reading file=" + api +
                           "\r\n[Measurement]\r\nPhotometry=Aperture photometry\r\n[Background Area]\r\nForm=Standard\r\n");
    std::string text = script;
    for (size_t at; (at = text.find("@D")) != std::string::npos;) text.replace(at, 2, road.folder);
    testutil::WriteAll(road.folder + "/script.txt", text);
    const std::string env = serial ? "TEVORIN_SERIAL=1 " : "TEVORIN_SERIAL= ";
    testutil::Run(env + testutil::BinFile("tevorin-harness") + " " + road.folder + "/script.txt 2>/dev/null",
                  &road.output);
    for (size_t at; (at = road.output.find(road.folder)) != std::string::npos;) road.output.replace(at, road.folder.size(), "D");
    return road;
}

// The first differing line of two texts, with its number; empty when equal.
std::string FirstDifference(const std::string& a, const std::string& b) {
    std::istringstream x(a), y(b);
    std::string l, r;
    for (int n = 1;; ++n) {
        const bool more = static_cast<bool>(std::getline(x, l)), other = static_cast<bool>(std::getline(y, r));
        if (!more && !other) return "";
        if (!more || !other || l != r)
            return "line " + std::to_string(n) + ":\n  serial: " + (more ? l.substr(0, 300) : "(none)") +
                   "\n  ahead:  " + (other ? r.substr(0, 300) : "(none)");
    }
}

// Both roads print the same and write the same files; the serial road's output
// is returned for further checks.
std::string ExpectSameRoads(const testutil::TempDir& dir, const std::string& name, const std::string& script,
                            const std::vector<std::string>& files, const std::string& api = "VideoForWindows",
                            bool avisynth = false) {
    const Road serial = RunRoad(dir, name + "-serial", true, api, avisynth, script);
    const Road ahead = RunRoad(dir, name + "-ahead", false, api, avisynth, script);
    EXPECT_EQ(FirstDifference(serial.output, ahead.output), "") << name;
    for (const std::string& f : files) {
        const std::string a = testutil::ReadAll(serial.folder + "/" + f), b = testutil::ReadAll(ahead.folder + "/" + f);
        EXPECT_FALSE(a.empty()) << name << " " << f << " was not written\n" << serial.output;
        EXPECT_EQ(FirstDifference(a, b), "") << name << " " << f;
    }
    return serial.output;
}

class ReadAheadRoads : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    }
    testutil::TempDir dir;
};

const std::vector<std::string> kSessionFiles = {"whole.csv", "stopped.csv", "interval.csv", "fields.csv", "psf.csv"};

}  // namespace

TEST_F(ReadAheadRoads, SameResultsOnEveryCodec) {
    const std::pair<const char*, const char*> codecs[] = {
        {"huffyuv", "-c:v huffyuv -pix_fmt yuv422p"},
        {"mpeg4", "-c:v mpeg4 -bf 2 -g 12 -q:v 4 -pix_fmt yuv420p"},
        {"h264", "-c:v libx264 -g 25 -bf 3 -crf 18 -pix_fmt yuv420p"}};
    for (const auto& [name, encode] : codecs) {
        const std::string video = StarField(dir, std::string(name) + ".avi", encode);
        const std::string out = ExpectSameRoads(dir, name, "reader vfw\n" + Session(video, "@D"), kSessionFiles);
        EXPECT_EQ(out.find("FAIL"), std::string::npos) << name << "\n" << out;
        EXPECT_NE(out.find("errors=0"), std::string::npos) << out;
    }
}

TEST_F(ReadAheadRoads, SameResultsAndStepLogThroughTheOtherReaders) {
    const std::string video = StarField(dir, "star.avi", "-c:v huffyuv -pix_fmt yuv422p");
    const std::string dshow = ExpectSameRoads(dir, "dshow", "reader dshow\n" + Session(video, "@D") +
                                                                "print-var DshowStepLog\n",
                                              kSessionFiles, "DirectShow");
    EXPECT_EQ(dshow.find("FAIL"), std::string::npos) << dshow;
    EXPECT_NE(dshow.find("DshowStepLog="), std::string::npos);
    const std::string script = ExpectSameRoads(dir, "avs", "reader avs\n" + Session(video, "@D"), kSessionFiles,
                                               "VideoForWindows", true);
    EXPECT_EQ(script.find("FAIL"), std::string::npos) << script;
}

TEST_F(ReadAheadRoads, AFileCutShortStopsAtTheSameFrameWithOneBox) {
    const std::string whole = StarField(dir, "whole.avi", "-c:v huffyuv -pix_fmt yuv422p");
    // The frame data from the middle on is lost; the index still lists every frame.
    std::string data = testutil::ReadAll(whole);
    const size_t index = data.rfind("idx1"), from = data.size() * 55 / 100;
    ASSERT_TRUE(index != std::string::npos && index > from);
    std::fill(data.begin() + static_cast<std::ptrdiff_t>(from), data.begin() + static_cast<std::ptrdiff_t>(index), '\0');
    const std::string cut = dir.File("cut.avi");
    testutil::WriteAll(cut, data);
    const std::string script = "open " + cut + "\nclick 40 40\nadd 100 40\nrun\nprint-errors\nprint-text Edit10\n"
                               "save @D/cut.csv\n";
    for (const char* api : {"VideoForWindows", "DirectShow"}) {
        const std::string out = ExpectSameRoads(dir, std::string("cut-") + api,
                                                std::string("reader ") + (api[0] == 'V' ? "vfw" : "dshow") + "\n" + script,
                                                {"cut.csv"}, api);
        EXPECT_NE(out.find("errors=1 Fail to get a bitmap."), std::string::npos) << api << "\n" << out;
    }
}

TEST_F(ReadAheadRoads, SameResultsOnDvAndFfv1WithAperturesOnOddRowsAndGammaField) {
    // DV is 4:2:0 at 720 x 576 only: the small field sits in a large frame with its
    // stars on odd rows, where two rows share their colour samples.
    const std::string dv =
        StarField(dir, "dv.avi", "-c:v dvvideo -pix_fmt yuv420p", ",pad=720:576:161:249:color=black");
    const std::string gamma = "set RadioButton17 1\nanswer yes\nremove-data\ngoto 0\nrun\nsave @D/gamma.csv\n"
                              "set RadioButton15 1\n";
    std::vector<std::string> files = kSessionFiles;
    files.push_back("gamma.csv");
    const std::string out = ExpectSameRoads(dir, "dv", "reader vfw\n" + Session(dv, "@D", 161, 249) + gamma, files);
    EXPECT_EQ(out.find("FAIL"), std::string::npos) << out;
    EXPECT_NE(out.find("errors=0"), std::string::npos) << out;

    const std::string ffv1 = StarField(dir, "ffv1.avi", "-c:v ffv1 -pix_fmt yuv420p");
    const std::string lossless = ExpectSameRoads(dir, "ffv1", "reader vfw\n" + Session(ffv1, "@D") + gamma, files);
    EXPECT_EQ(lossless.find("FAIL"), std::string::npos) << lossless;
}

TEST_F(ReadAheadRoads, SameTimesReadFromAKiwiOverlay) {
    const std::string clip = dir.File("kiwi");
    std::string made;
    ASSERT_EQ(testutil::Run("/usr/bin/python3 " + std::string(TEVORIN_SOURCE_DIR) +
                                "/tests/overlay/overlay_synth.py --type kiwi --size 720x576 --rate 25 --frames 40 "
                                "--kiwi-centres 70,94,140,164,210,234,306,330,353,424,448,472 --kiwi-tops 508,509 "
                                "--background stars --video ffv1 --out " + clip + " 2>&1",
                            &made),
              0)
        << made;
    const std::string script = "reader vfw\nopen " + clip + "/video.avi\nset ComboBox1 1\nset CheckBox5 1\n"
                               "click 200 200\nadd 400 300\nrun\nprint-text Edit26\nprint-errors\nsave @D/kiwi.csv\n"
                               "answer yes\nremove-data\nset CheckBox2 1\ngoto 0\nstop-at 20\nrun\nstep 1\n"
                               "oneframe\nsave @D/fields.csv\n";
    const std::string out = ExpectSameRoads(dir, "kiwi", script, {"kiwi.csv", "fields.csv"});
    EXPECT_EQ(out.find("FAIL"), std::string::npos) << out;
    // The times were read, not left empty.
    EXPECT_NE(testutil::ReadAll(dir.File("kiwi-serial/kiwi.csv")).find(",01,02,03."), std::string::npos);
}
