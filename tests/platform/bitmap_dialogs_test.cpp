#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include "platform/bitmap24.h"
#include "platform/controls.h"
#include "platform/dialogs.h"

TEST(Bitmap24, RowsArePaddedAndTheViewSharesMemory) {
    Bitmap24 b(5, 3);
    EXPECT_EQ(b.Stride(), 16);
    b.Scanline(1)[3 * 2 + 0] = 10;  // blue
    b.Scanline(1)[3 * 2 + 2] = 30;  // red
    EXPECT_EQ(b.Brightness(2, 1), 40);
    QImage v = b.View();
    EXPECT_EQ(v.constBits(), b.Bits());
    EXPECT_EQ(v.pixel(2, 1), qRgb(30, 0, 10));
    Bitmap24 c = Bitmap24::FromImage(v);
    EXPECT_TRUE(c == b);
    EXPECT_FALSE(b.Resize(Bitmap24::kMaxSide + 1, 1));
    EXPECT_TRUE(b.Empty());
    EXPECT_FALSE(b.Resize(-1, 5));
}

TEST(ScriptedDialogs, RecordsAndAnswersWithoutBlocking) {
    ScriptedDialogs d;
    d.Install();
    int modal = 0;
    d.modalHook = [&](bool on) { modal += on ? 1 : -1; };
    d.yesNoAnswers = {false};
    d.fileAnswers = {"/tmp/x.csv"};
    Dialogs().ShowError("Could not open .AVI file.\r\nx.avi");
    EXPECT_FALSE(Dialogs().AskYesNo("Measurement data will be removed. Are you sure?"));
    EXPECT_TRUE(Dialogs().AskYesNo("again"));  // empty queue: Yes
    EXPECT_EQ(Dialogs().SaveFileName({"Save", "/tmp", "", ""}), "/tmp/x.csv");
    EXPECT_EQ(Dialogs().OpenFileName({"Open", "", "", ""}), "");  // empty queue: cancelled
    EXPECT_EQ(modal, 0);
    ASSERT_EQ(d.Texts("error").size(), 1u);
    EXPECT_EQ(d.Texts("error")[0], "Could not open .AVI file.\r\nx.avi");
    EXPECT_EQ(d.shown[3].folder, "/tmp");
}

TEST(TImage, FrameDrawnAsThePainterWouldDrawIt) {
    Bitmap24 frame(7, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            uint8_t* p = frame.Scanline(y) + 3 * x;
            p[0] = static_cast<uint8_t>(10 * x);       // blue
            p[1] = static_cast<uint8_t>(20 * y);       // green
            p[2] = static_cast<uint8_t>(x * y + 100);  // red
        }
    TImage image;
    image.SetPictureSize(6, 8);  // narrower than the frame: the rest is cut
    image.Draw(1, 2, frame.View());
    QImage expected(6, 8, QImage::Format_RGB32);
    expected.fill(Qt::black);
    QPainter(&expected).drawImage(1, 2, frame.View());
    EXPECT_EQ(image.Picture(), expected);
}
