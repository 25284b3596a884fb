// The main window on small screens and with frames larger than the image area:
// its content and the frame scroll, and clicks still land on frame pixels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>

#include "measure/main_2.h"
#include "measure/settings_file.h"
#include "platform/dialogs.h"
#include "support/test_util.h"

namespace {

struct WindowLayout : ::testing::Test {
    ScriptedDialogs dialogs;
    testutil::TempDir dir;
    std::unique_ptr<TPlatform> w;
    void SetUp() override {
        dialogs.Install();
        SetSettingsFilePath(dir.File("tevorin.ini"));
        w = std::make_unique<TPlatform>();
        w->show();
    }
    void TearDown() override {
        w.reset();
        SetSettingsFilePath("");
    }
    QScrollArea* Area(const char* name) { return w->findChild<QScrollArea*>(name); }
};

}  // namespace

TEST_F(WindowLayout, ContentScrollsOnASmallScreenOnly) {
    QScrollArea* content = Area("WindowScrollBox");
    ASSERT_TRUE(content);
    // 1366 x 768: the results table is reached by scrolling down.
    w->resize(1366, 768);
    QApplication::processEvents();
    EXPECT_GT(content->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(content->horizontalScrollBar()->maximum(), std::max(0, w->centralwidget->minimumWidth() - content->viewport()->width()));
    content->verticalScrollBar()->setValue(content->verticalScrollBar()->maximum());
    QApplication::processEvents();
    const QRect table(w->Memo1->mapTo(content->viewport(), QPoint(0, 0)), w->Memo1->size());
    EXPECT_TRUE(content->viewport()->rect().contains(table)) << table.y() << "+" << table.height();
    // 1920 x 1080: everything is shown, no scrolling.
    w->resize(1920, 1080);
    QApplication::processEvents();
    EXPECT_EQ(content->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(content->horizontalScrollBar()->maximum(), 0);
}

TEST_F(WindowLayout, LargeFrameScrollsAndAClickLandsOnThePixelUnderThePointer) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
    const std::string video = dir.File("hd.avi");
    // A 9 x 9 star centred on (1000, 600) of a 1280 x 720 frame.
    ASSERT_EQ(testutil::Run("ffmpeg -v error -y -f lavfi -i color=c=0x141414:s=1280x720:r=25 -frames:v 3 -vf "
                            "\"format=rgb24,drawbox=x=996:y=596:w=9:h=9:color=white:t=fill\" -c:v rawvideo -pix_fmt bgr24 " + video),
              0);
    dialogs.fileAnswers.push_back(video);
    w->Button1Click();
    ASSERT_EQ(w->State.FrameWidth, 1280);
    QApplication::processEvents();
    QScrollArea* image = Area("ImageScrollBox");
    ASSERT_TRUE(image);
    QWidget* view = image->viewport();
    EXPECT_EQ(image->horizontalScrollBar()->maximum(), 1280 - view->width());
    EXPECT_EQ(image->verticalScrollBar()->maximum(), 720 - view->height());
    EXPECT_TRUE(image->horizontalScrollBar()->isVisible() && image->verticalScrollBar()->isVisible());
    image->horizontalScrollBar()->setValue(image->horizontalScrollBar()->maximum());
    image->verticalScrollBar()->setValue(image->verticalScrollBar()->maximum());
    QApplication::processEvents();
    // The pointer over the star, in the image area: the widget under it is the frame.
    const QPoint pointer = w->Image1->mapTo(view, QPoint(1000, 600));
    ASSERT_TRUE(view->rect().contains(pointer)) << pointer.x() << "," << pointer.y();
    QWidget* under = view->childAt(pointer);
    ASSERT_EQ(under, w->Image1);
    const QPointF local = under->mapFrom(view, pointer);
    QMouseEvent press(QEvent::MouseButtonPress, local, under->mapToGlobal(local), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(under, &press);
    EXPECT_EQ(w->Edit12->text(), "1000");
    EXPECT_EQ(w->Edit13->text(), "600");
}

TEST_F(WindowLayout, CaptionsFitTheirControls) {
    // Group titles and the captions of radio buttons and check boxes placed in the form
    // (radio groups lay out their own items).
    for (QGroupBox* g : w->findChildren<QGroupBox*>())
        if (!qobject_cast<TRadioGroup*>(g))
            EXPECT_LE(g->minimumSizeHint().width(), g->width()) << g->objectName().toStdString() << " " << g->title().toStdString();
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
        if ((!qobject_cast<QRadioButton*>(b) && !qobject_cast<QCheckBox*>(b)) || qobject_cast<TRadioGroup*>(b->parent())) continue;
        EXPECT_LE(b->sizeHint().width(), b->width()) << b->objectName().toStdString() << " " << b->text().toStdString();
    }
    // The two-line caption in the font of its neighbours, inside the button.
    EXPECT_EQ(w->Button40->font(), w->Button1->font());
    EXPECT_EQ(w->Button40->text(), "Set  radius to memoried");
    const QLabel* caption = w->Button40->findChild<QLabel*>();
    ASSERT_TRUE(caption);
    EXPECT_EQ(caption->font(), w->Button1->font());
    EXPECT_EQ(caption->palette().color(caption->foregroundRole()), w->Button1->palette().color(QPalette::ButtonText));
    EXPECT_LE(caption->heightForWidth(w->Button40->width() - 8), w->Button40->height() - 4);
}
