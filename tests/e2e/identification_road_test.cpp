// The identification window by the harness: a report pasted from the clipboard
// and listed whole (no automatic search), the year chosen, the event line taken with Enter, the label on the window's own
// picture, which goes to the clipboard and into a file.
#include <gtest/gtest.h>

#include <QImage>

#include "support/test_util.h"

TEST(IdentificationRoad, PastedReportLabelledPictureCopiedAndSaved) {
    testutil::TempDir dir;
    ASSERT_EQ(testutil::Run("/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/analysis/identification_report.py' --out '" +
                            dir.Path() + "' --event '2026-12-31 23:59:58' --offsets=-6,5"),
              0);
    const std::string script = dir.File("script.txt");
    testutil::WriteAll(script,
                       "press Identificationforlightcurve1\n"
                       "expect-shown Identification 1\n"
                       // No report chosen yet: nothing to read, nothing to complain of.
                       "expect-errors 0\n"
                       "expect-text Identification.RadioGroup1 Target image\n"
                       "clipboard-set " + dir.File("report.txt") + "\n"
                       "press Identification.Button11\n"
                       "set Identification.CheckBox3 0\n"
                       "set Identification.ComboBox1 36\n"
                       "set Identification.Edit1 A. Observer\n"
                       "key Identification.ListBox1 enter\n"
                       "expect-text Identification.Edit2 ZC 8999\n"
                       "expect-text Identification.Edit6 60.0\n"
                       "expect-text Identification.Edit8 K5\n"
                       "expect-text Identification.ComboBox2 Dec\n"
                       "print-text Identification.ListBox1\n"
                       "press Identification.Button6\n"
                       "clipboard-image " + dir.File("clip.png") + "\n"
                       "answer-file " + dir.File("saved") + " 1\n"
                       "press Identification.Button5\n"
                       "dump-image Identification.Image1 " + dir.File("image.png") + "\n"
                       "close Identification\n"
                       "expect-shown Identification 0\n");
    std::string out;
    const int status = testutil::Run(testutil::BinFile("tevorin-harness") + " " + script + " 2>/dev/null", &out);
    ASSERT_EQ(status, 0) << out;
    const std::string expected = testutil::ReadAll(dir.File("expected_0.txt"));
    // The list shows both dated lines as the report's oracle cut them.
    const size_t item0 = expected.find("item 0 ") + 7, item1 = expected.find("item 1 ") + 7;
    const std::string row0 = expected.substr(item0, expected.find('\n', item0) - item0);
    const std::string row1 = expected.substr(item1, expected.find('\n', item1) - item1);
    EXPECT_NE(out.find(row0 + "|" + row1), std::string::npos) << out;
    const QImage image(QString::fromStdString(dir.File("image.png")));
    const QImage clip(QString::fromStdString(dir.File("clip.png")));
    const QImage saved(QString::fromStdString(dir.File("saved.png")));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(clip.convertToFormat(QImage::Format_RGB32), image.convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), image.convertToFormat(QImage::Format_RGB32));
    // The label is there: dark pixels around its default place, none far from it.
    int dark = 0;
    for (int y = 12; y < 30; ++y)
        for (int x = 400; x < 700; ++x) dark += qGray(image.pixel(x, y)) < 128;
    EXPECT_GT(dark, 50);
    for (int x = 0; x < 740; ++x) ASSERT_EQ(image.pixel(x, 200) & 0xFFFFFF, 0xFFFFFFu);
}
