// The main window's picture exports ("Save Image", "Copy Image to ClipBoard") and
// the single-bitmap source ("Load bmp"), checked against files read back by the
// ffmpeg tool and sums computed by numpy.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <sys/stat.h>
#include <unistd.h>

#include "imagefile/hostile_pictures.h"
#include "imagefile/image_test_util.h"
#include "measure/main_2.h"
#include "measure/picture_export.h"
#include "support/main_window_fixture.h"

namespace {

std::string Oracle(const std::string& code) {
    std::string out;
    const std::string cmd = "/usr/bin/python3 -c \"" + code + "\"";
    EXPECT_EQ(testutil::Run(cmd, &out), 0) << cmd;
    return out;
}

// RGB bytes of a picture file as the ffmpeg tool decodes it.
std::string FfmpegRgb(const std::string& path) {
    std::string out;
    const std::string raw = path + ".rgb";
    EXPECT_EQ(testutil::Run("ffmpeg -v error -y -i " + path + " -f rawvideo -pix_fmt rgb24 " + raw), 0);
    return testutil::ReadAll(raw);
}

std::string ImageRgb(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    std::string out;
    for (int y = 0; y < rgb.height(); ++y)
        out.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), static_cast<size_t>(rgb.width()) * 3);
    return out;
}

struct PictureTools : testutil::MainWindowTest {
    void SetUp() override {
        if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
        OpenMainWindow(testutil::kAperturePhotometrySettings);
    }
    // A test-pattern clip of the given size and rate, opened with "Open AVI".
    void OpenClip(const std::string& name, const char* size, const char* rate) {
        const std::string video = dir.File(name);
        ASSERT_TRUE(testutil::MakeRawClip(video, std::string("testsrc2=size=") + size + ":rate=" + rate, 3));
        OpenVideo(video);
    }
    std::string Save(const std::string& chosen, int filter) {
        dialogs.fileAnswers.push_back(FileAnswer(chosen, filter));
        w->SaveImage1->trigger();
        return chosen;
    }
};

}  // namespace

TEST(PictureExport, RowsAndNames) {
    QImage shown(720, 579, QImage::Format_RGB32);
    shown.fill(Qt::red);
    EXPECT_EQ(FramePictureToSave(shown, 30).size(), QSize(720, 480));
    EXPECT_EQ(FramePictureToSave(shown, 25).size(), QSize(720, 579));
    EXPECT_EQ(FramePictureToSave(shown, 26).size(), QSize(720, 480));
    EXPECT_EQ(shown.height(), 579);  // the shown picture is never cut
    const struct {
        const char* chosen;
        int filter;
        const char* name;
    } names[] = {{"", 1, ""},
                 {"/d/.png", 1, ""},
                 {"/d/.jpg", 2, ""},
                 {"/d/frame", 1, "/d/frame.png"},
                 {"/d/frame.png", 2, "/d/frame.jpg"},
                 {"/d/frame.jpg", 3, "/d/frame.bmp"},
                 {"/d/frame.bmp", 9, "/d/frame.png"},
                 {"/d/a.b/frame", 3, "/d/a.b/frame.bmp"}};
    for (const auto& n : names) EXPECT_EQ(FramePictureName(n.chosen, n.filter), n.name) << n.chosen << " " << n.filter;
}

TEST(PictureExport, BitmapFilesThatCannotBeReadGiveAnError) {
    testutil::TempDir dir;
    Bitmap24 frame;
    std::string error;
    EXPECT_FALSE(LoadBitmapFrame(dir.File("missing.bmp"), frame, error));
    EXPECT_FALSE(error.empty());
    testutil::WriteAll(dir.File("empty.bmp"), "");
    EXPECT_FALSE(LoadBitmapFrame(dir.File("empty.bmp"), frame, error));
    EXPECT_TRUE(frame.Empty());
    // A real bitmap cut at every tenth of its length.
    ASSERT_EQ(testutil::Run("ffmpeg -v error -y -f lavfi -i testsrc2=size=64x48 -frames:v 1 " + dir.File("full.bmp")), 0);
    const std::string full = testutil::ReadAll(dir.File("full.bmp"));
    ASSERT_TRUE(LoadBitmapFrame(dir.File("full.bmp"), frame, error)) << error;
    EXPECT_EQ(std::pair(frame.Width(), frame.Height()), std::pair(64, 48));
    for (size_t cut = 0; cut < full.size(); cut += full.size() / 10) {
        testutil::WriteAll(dir.File("cut.bmp"), full.substr(0, cut));
        EXPECT_FALSE(LoadBitmapFrame(dir.File("cut.bmp"), frame, error)) << cut;
        EXPECT_TRUE(frame.Empty()) << cut;
    }
    // A FIFO is refused at once instead of waiting for a writer.
    ASSERT_EQ(::mkfifo(dir.File("fifo.bmp").c_str(), 0600), 0);
    EXPECT_FALSE(LoadBitmapFrame(dir.File("fifo.bmp"), frame, error));
}

TEST(PictureExport, BitmapFilesLargerThanAFrameAreRefusedFromTheirHeader) {
    testutil::TempDir dir;
    const struct {
        int w, h;
        const char* error;
    } cases[] = {{32768, 32768, "32768 x 32768 pixels (at most 16384 pixels a side)"},
                 {20000, 10, "20000 x 10 pixels (at most 16384 pixels a side)"},
                 {12000, 12000, "12000 x 12000 pixels (at most 134217728 pixels)"}};
    for (const auto& c : cases) {
        const std::string path = dir.File("big.bmp");
        testutil::WriteAll(path, hostile::RleBmp(c.w, c.h));
        Bitmap24 frame;
        std::string error;
        bool loaded = true;
        const long long grew = imagetest::PeakGrowthBytes([&] { loaded = LoadBitmapFrame(path, frame, error); });
        EXPECT_FALSE(loaded);
        EXPECT_EQ(error, std::string("Picture too large to open: ") + c.error);
        EXPECT_TRUE(frame.Empty());
        if (grew >= 0) {
            EXPECT_LT(grew, 16 << 20) << c.error;
        }
    }
    // A large frame that fits: the decoded picture (1 byte a pixel) and the frame
    // (3), nothing more; the bottom row begins with the file's five pixels of grey 7.
    const int side = 4096;
    testutil::WriteAll(dir.File("fits.bmp"), hostile::RleBmp(side, side));
    Bitmap24 frame;
    std::string error;
    const long long grew = imagetest::PeakGrowthBytes([&] { ASSERT_TRUE(LoadBitmapFrame(dir.File("fits.bmp"), frame, error)); });
    EXPECT_EQ(std::pair(frame.Width(), frame.Height()), std::pair(side, side));
    EXPECT_EQ(frame.Brightness(4, side - 1), 21);
    EXPECT_EQ(frame.Brightness(5, side - 1), 0);
    if (grew >= 0) {
        EXPECT_LT(grew, int64_t{side} * side * 4 + (8 << 20));
    }
}

TEST_F(PictureTools, SaveImageOfNtscAndPalFrames) {
    struct {
        const char* name;
        const char* size;
        const char* rate;
        int rows;
    } clips[] = {{"ntsc.avi", "720x480", "30000/1001", 480}, {"pal.avi", "720x576", "25", 579}};
    for (const auto& c : clips) {
        SCOPED_TRACE(c.name);
        OpenClip(c.name, c.size, c.rate);
        const QImage shown = w->Image1->Picture().copy();
        const std::string stem = std::string(c.name).substr(0, std::string(c.name).find('.'));
        const std::string png = dir.File(stem + ".png");
        Save(dir.File(stem), 1);
        std::string probe;
        ASSERT_EQ(testutil::Run("ffprobe -v error -show_entries stream=width,height -of csv=p=0 " + png, &probe), 0);
        EXPECT_EQ(probe, "720," + std::to_string(c.rows) + "\n");
        EXPECT_EQ(FfmpegRgb(png), ImageRgb(shown.copy(0, 0, 720, c.rows)));
        // The shown picture keeps its size.
        EXPECT_EQ(w->Image1->Picture().height(), shown.height());
    }
    // JPEG and bitmap by the chosen type, whatever extension was typed.
    Save(dir.File("frame.png"), 2);
    Save(dir.File("frame.png"), 3);
    const std::string jpg = testutil::ReadAll(dir.File("frame.jpg"));
    const std::string bmp = testutil::ReadAll(dir.File("frame.bmp"));
    ASSERT_GE(jpg.size(), 4u);
    EXPECT_EQ(jpg.substr(0, 3), "\xFF\xD8\xFF");
    ASSERT_GE(bmp.size(), 26u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(bmp.size(), 54u + 720u * 3u * 579u);  // PAL: 579 rows of 2160 bytes (no padding)
    std::string probe;
    ASSERT_EQ(testutil::Run("ffprobe -v error -show_entries stream=width,height -of csv=p=0 " + dir.File("frame.jpg"), &probe), 0);
    EXPECT_EQ(probe, "720,579\n");
    // Nothing is written for an empty name or one that is only an extension.
    const size_t boxes = dialogs.Texts("error").size();
    Save("", 1);
    Save(dir.File(".png"), 1);
    EXPECT_NE(::access(dir.File(".png").c_str(), F_OK), 0);
    EXPECT_EQ(dialogs.Texts("error").size(), boxes);
}

TEST_F(PictureTools, SaveImageTypeChangeAndAReadOnlyFolder) {
    OpenClip("pal.avi", "720x576", "25");
    // Picking another type puts its extension on the typed name.
    dialogs.fileAnswers.push_back(FileAnswer(dir.File("typed.png"), 3));
    w->SaveImage1->trigger();
    EXPECT_TRUE(::access(dir.File("typed.bmp").c_str(), F_OK) == 0);
    // A read-only target (refused even for root): a box names the file, which keeps its bytes.
    const std::string kept = dir.File("kept.png");
    testutil::WriteAll(kept, "old");
    ASSERT_EQ(::chmod(kept.c_str(), 0444), 0);
    Save(kept, 1);
    std::vector<std::string> errors = dialogs.Texts("error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors.back().find(kept), std::string::npos) << errors.back();
    EXPECT_EQ(testutil::ReadAll(kept), "old");
    if (::geteuid() == 0) return;  // root writes into read-only folders
    const std::string locked = dir.File("locked");
    ASSERT_EQ(::mkdir(locked.c_str(), 0500), 0);
    Save(locked + "/frame.png", 1);
    errors = dialogs.Texts("error");
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors.back().find(locked + "/frame.png"), std::string::npos) << errors.back();
    EXPECT_NE(::access((locked + "/frame.png").c_str(), F_OK), 0);
    ::chmod(locked.c_str(), 0700);
}

TEST_F(PictureTools, CopyImageNeedsAVideoAndNoRecording) {
    w->CopyImagetoClipBoard1->trigger();
    EXPECT_TRUE(dialogs.clipboardImage.isNull());
    OpenClip("pal.avi", "720x576", "25");
    w->State.RecordingFlag = 1;
    w->CopyImagetoClipBoard1->trigger();
    EXPECT_TRUE(dialogs.clipboardImage.isNull());
    w->State.RecordingFlag = 0;
    w->CopyImagetoClipBoard1->trigger();
    ASSERT_FALSE(dialogs.clipboardImage.isNull());
    EXPECT_EQ(dialogs.clipboardImage.size(), w->Image1->Picture().size());
    EXPECT_EQ(ImageRgb(dialogs.clipboardImage), ImageRgb(w->Image1->Picture()));
}

TEST_F(PictureTools, LoadBitmapMeasuresTheDisc) {
    // A disc of radius 3 (grey 100) around object A's start point (40, 40) on black,
    // written by ffmpeg; the aperture holds the whole disc and the ring sees black,
    // so the value is the channel mean summed over the picture.
    const std::string bmp = dir.File("disc.bmp");
    const std::string cmd = "ffmpeg -v error -y -f lavfi -i color=c=black:s=160x120 -frames:v 1 -vf "
                            "\"format=rgb24,geq=r='100*lte(hypot(X-40\\,Y-40)\\,3)':g='100*lte(hypot(X-40\\,Y-40)\\,3)':"
                            "b='100*lte(hypot(X-40\\,Y-40)\\,3)'\" -pix_fmt bgr24 " + bmp;
    ASSERT_EQ(testutil::Run(cmd), 0) << cmd;
    const std::string sum = Oracle(
        "import numpy as np; d=open('" + bmp + "','rb').read(); o=int.from_bytes(d[10:14],'little'); "
        "print(repr(np.frombuffer(d[o:o+160*120*3],dtype=np.uint8).astype(np.int64).sum()/3.0))");
    ASSERT_FALSE(sum.empty());

    // Cancelling without a video leaves nothing open.
    w->LoadBitmapClick();
    EXPECT_EQ((std::pair<int, int>(w->BitmapMode, w->State.VideoOpen)), (std::pair<int, int>(0, 0)));

    // An unreadable bitmap: the box names the file and measuring writes no row.
    const std::string good = testutil::ReadAll(bmp);
    testutil::WriteAll(bmp, "BM not a bitmap");
    dialogs.fileAnswers.push_back(bmp);
    w->Button22->click();
    ASSERT_EQ((std::pair<int, int>(w->BitmapMode, w->State.VideoOpen)), (std::pair<int, int>(1, 1)));
    ASSERT_EQ(dialogs.Texts("error").size(), 1u);
    EXPECT_EQ(dialogs.Texts("error").back(), "Fail to get a bitmap.\r\n" + bmp);
    const size_t before = w->Table.Count();
    w->Button16Click();  // "1Frame"
    EXPECT_EQ(w->Table.Count(), before);
    EXPECT_EQ(w->State.RecordingFlag, 0);

    // The file as written by ffmpeg: shown and measured.
    testutil::WriteAll(bmp, good);
    w->TrackModeClick(kTrackAnchor);
    w->Button16Click();
    EXPECT_EQ(w->Edit15->text(), "Bmp File is Opened");
    EXPECT_EQ(std::pair(w->State.FrameWidth, w->State.FrameHeight), std::pair(160, 120));
    EXPECT_EQ(w->MaxPosition(), 0);
    // One data row, object A's value in column 11.
    ASSERT_EQ(w->Table.Count(), before + 1);
    const std::string row = w->Table[before];
    EXPECT_NEAR(std::stod(GetField(row, 11)), std::stod(sum), 0.05) << row;  // written with one decimal
}

TEST_F(PictureTools, CancellingLoadBitmapGivesTheVideoBack) {
    OpenClip("pal.avi", "720x576", "25");
    const QImage video = w->Image1->Picture().copy();
    w->LoadBitmapClick();
    EXPECT_EQ((std::pair<int, int>(w->BitmapMode, w->State.VideoOpen)), (std::pair<int, int>(0, 1)));
    EXPECT_EQ(w->Image1->Picture(), video);
    // Refused while recording.
    w->State.RecordingFlag = 1;
    dialogs.fileAnswers.push_back(dir.File("none.bmp"));
    w->LoadBMP1->trigger();
    EXPECT_EQ(w->BitmapMode, 0);
    EXPECT_EQ(dialogs.fileAnswers.size(), 1u);
}
