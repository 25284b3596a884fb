// The main window offscreen: start-up state, loading and saving results files,
// scrolling on small screens and with large frames, captions that fit.
#include <QSignalBlocker>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <set>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>

#include "measure/main_2.h"
#include "measure/settings_file.h"
#include "video/avidshow.h"
#include "measure/settings_file.h"
#include "video/avidshow.h"
#include "platform/dialogs.h"
#include "support/test_util.h"

namespace {

std::string Crlf(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines) s += l + "\r\n";
    return s;
}

const std::string kV2Row1 =
    "10.0,\"\",\"\",,,,,,,,100.0,200.0,300.0,4.7096,2.3548,0.0000,"
    "50,60,45,200,4,7,20,\"AvoidSunlitFace\",101,102,5,-6,,3,\"Anchor\",5,40,"
    "1,2,3,4,5,9,22,\"Meteor/LunarLimb\",201,202,7,8,11,2,\"Linear\",6,70,"
    "1,1,1,1,30,40,99,,301,302,,,,,\"OFF\",,,";
const std::string kV2Row2 = "12" + kV2Row1.substr(2);

std::vector<std::string> V2Lines() {
    return {"Tevorin File Format (for Ver.0.9.26 later)",
            "\"FileName : /videos/moon,1.avi\"",
            "\"Video System : PAL , FrameRate=25.00\"",
            ",\"Time\"",
            ",\"Detect\"",
            "\"No.\"",
            kV2Row1,
            kV2Row2};
}

struct Window : ::testing::Test {
    ScriptedDialogs dialogs;
    testutil::TempDir dir;
    std::unique_ptr<TPlatform> w;
    void SetUp() override {
        dialogs.Install();
        SetSettingsFilePath(dir.File("tevorin.ini"));
        w = std::make_unique<TPlatform>();
    }
    void TearDown() override {
        w.reset();
        SetSettingsFilePath("");
    }
    std::string Write(const std::string& name, const std::string& data) {
        std::string p = dir.File(name);
        testutil::WriteAll(p, data);
        return p;
    }
    bool Load(const std::string& path) {
        dialogs.fileAnswers.push_back(path);
        return w->LoadResultsFile();
    }
};

}  // namespace

TEST_F(Window, StartupState) {
    EXPECT_EQ(w->windowTitle().toStdString(),
              "Light Measurement tool for Occultation bservation using Video Recorder [Tevorin 0.9.97.3i]");
    ASSERT_EQ(w->Table.Count(), 5u);
    EXPECT_EQ(w->Table[1], "\"Filename : \"");
    EXPECT_EQ(w->Memo1->ShownLines(), 5);
    const MeasureState& s = w->State;
    EXPECT_EQ(s.LastMeasuredFrame, -1);
    EXPECT_EQ(s.ObjectCount, 1);
    EXPECT_EQ(s.ReaderKind, 2);
    EXPECT_EQ(s.FrameObject(2).PosX, 120);
    EXPECT_EQ(s.PsfSigma[3], 5.0);
    EXPECT_EQ(s.SpinPoint[2].y, -100);
    EXPECT_EQ(s.LinkRefPoints[3][1].frame, -100);
    EXPECT_EQ(w->Edit18->text(), "1.00");
    EXPECT_FALSE(w->Edit18->isEnabled());
    EXPECT_FALSE(w->RadioButton8->isEnabled());
    EXPECT_FALSE(w->Add1->isEnabled());
    EXPECT_EQ(w->UpDown7->Position(), 95);  // from the settings file written at the first start
    EXPECT_EQ(w->CheckBox7->text(), "DShow");
    EXPECT_EQ(w->Edit26->text(), "s(Field1)");
    // Masks are built from the radii the objects have once start-up is over.
    EXPECT_EQ(CountMaskCells(w->Masks.ApertureMask[1]).star, CountMaskCells(w->Masks.ApertureMask[3]).star);
    EXPECT_GT(CountMaskCells(w->Masks.ApertureMask[1]).star, 100);
    // PSF photometry (the first-start setting) shows no cell counts.
    EXPECT_TRUE(w->CheckBox14->isChecked());
    EXPECT_TRUE(w->Edit20->text().isEmpty());
    for (int line = 0; line < 3; ++line) {
        const DataLineObject& b = s.DataLines[static_cast<size_t>(line)].Objects[2];
        EXPECT_EQ(b.TrackMode, kTrackDrift);
        EXPECT_EQ(b.TrackThreshold, 50);
        EXPECT_EQ(b.ApertureRadius, w->UpDown1->Position());
    }
    EXPECT_EQ(s.DataLinesDefault[2].Objects[3].BkgOuterRadius, s.DataLines[2].Objects[3].BkgOuterRadius);
    // The radius chain: aperture < inner <= outer <= 25.
    EXPECT_EQ(w->UpDown1->Max(), w->UpDown2->Position() - 1);
    EXPECT_EQ(w->UpDown3->Max(), 25);
}

TEST_F(Window, LoadVersion2RestoresEverySetting) {
    std::vector<std::string> lines = V2Lines();
    std::vector<std::string> withJunk = lines;
    withJunk.push_back("");
    withJunk.push_back("end of file");
    ASSERT_TRUE(Load(Write("v2.csv", Crlf(withJunk))));
    const MeasureState& s = w->State;
    EXPECT_EQ(w->Table.Lines(), lines);  // trailing lines without commas are dropped
    EXPECT_EQ(w->Memo1->ShownLines(), 8);
    EXPECT_EQ(s.ResultsFormatVersion, 2);
    EXPECT_EQ(s.ResultsLoaded, 1);
    EXPECT_EQ(s.ObjectCount, 3);
    EXPECT_EQ(s.FrameStep, 2);
    EXPECT_EQ(w->Edit19->text(), "2");
    EXPECT_EQ(w->Edit33->text().toStdString(), " " + kV2Row1);
    EXPECT_EQ(s.VideoFrameRate, 25.0);
    EXPECT_EQ(s.FirstRowFrame, 10);
    EXPECT_EQ(s.VideoFileName, "/videos/moon1.avi");
    EXPECT_EQ(s.AvsFileName, "/videos/moon1.avs");
    EXPECT_EQ(s.VideoFileExt, ".avi");
    EXPECT_TRUE(w->Object31->isEnabled());
    EXPECT_TRUE(w->RadioButton9->isEnabled());

    for (size_t line = 0; line < 3; ++line) {
        const DataLineObject& a = s.DataLines[line].Objects[1];
        EXPECT_EQ(a.ApertureRadius, 4);
        EXPECT_EQ(a.BkgInnerRadius, 7);
        EXPECT_EQ(a.BkgOuterRadius, 20);
        EXPECT_EQ(a.BkgShape, kShapeSunlitFace);
        EXPECT_EQ(a.SpinY, -6);
        EXPECT_EQ(a.BkgWidth, 5);  // empty column: unchanged
        EXPECT_EQ(a.BkgGap, 3);
        EXPECT_EQ(a.TrackMode, kTrackAnchor);
        EXPECT_EQ(a.TrackRadius, 5);
        EXPECT_EQ(a.TrackThreshold, 40);
        const DataLineObject& b = s.DataLines[line].Objects[2];
        EXPECT_EQ(b.BkgShape, kShapeLimb);
        EXPECT_EQ(b.BkgWidth, 11);
        EXPECT_EQ(b.TrackMode, kTrackDrift);
        EXPECT_EQ(b.TrackThreshold, 70);
        // Out-of-range radii are clamped into the chain; an empty threshold is 95.
        const DataLineObject& c = s.DataLines[line].Objects[3];
        EXPECT_EQ(c.BkgOuterRadius, 25);
        EXPECT_EQ(c.BkgInnerRadius, 25);
        EXPECT_EQ(c.ApertureRadius, 24);
        EXPECT_EQ(c.TrackMode, kTrackOff);
        EXPECT_EQ(c.TrackThreshold, 95);
    }
    EXPECT_EQ(s.FrameObject(1).PosX, 101);
    EXPECT_EQ(s.FrameObject(3).PosY, 302);
    EXPECT_EQ(s.SpinPoint[2].x, 7);
    EXPECT_NEAR(s.PsfSigma[1], 2.0, 1e-4);
    EXPECT_NEAR(s.PsfSigma[2], 1.0, 1e-4);
    EXPECT_EQ(s.PsfSigma[3], 5.0);  // a FWHM of 0 gives no usable sigma
    EXPECT_EQ(w->UpDown1->Position(), 4);
    EXPECT_EQ(w->UpDown3->Position(), 20);
    EXPECT_EQ(w->Edit2->text(), "7");
    // The video named in the file is opened again; this one does not exist.
    ASSERT_EQ(dialogs.Texts("error").size(), 1u);
    EXPECT_EQ(dialogs.Texts("error")[0], std::string("Could not open .AVI file.\r\nmoon1.avi\r\n") + kDshowOpenError);
    EXPECT_EQ(s.VideoOpen, 0);

    // Saved again, the file is byte-identical to what was loaded.
    std::string out = dir.File("again.csv");
    dialogs.fileAnswers.push_back(out);
    w->SaveResultsFile();
    EXPECT_EQ(testutil::ReadAll(out), Crlf(lines));
    EXPECT_EQ(w->State.SavedResultsFolder, dir.Path());
}

TEST_F(Window, LoadVersions1And0) {
    const std::string v1row = "5.0,\"\",\"\",,,,,,,,123.4,,,7,8,9,10,3,6,12,,55,66,,,,,\"Drift\",4,,";
    ASSERT_TRUE(Load(Write("v1.csv", Crlf({"\"Tevorin File Format (for Ver.0.9.25 later)\"", "\"FileName : /a.avi\"",
                                          "\"Video System : NTSC , FrameRate=29.97\"", "h", "h", "h", v1row}))));
    MeasureState& s = w->State;
    EXPECT_EQ(s.ResultsFormatVersion, 1);
    EXPECT_EQ(s.ObjectCount, 1);
    EXPECT_EQ(s.FrameStep, 1);  // one data row: unchanged
    EXPECT_EQ(s.VideoFrameRate, 29.97);
    EXPECT_EQ(s.FrameObject(1).PosX, 55);
    EXPECT_EQ(s.FrameObject(1).BkgOuterRadius, 12);
    EXPECT_EQ(s.FrameObject(1).TrackThreshold, 95);
    EXPECT_EQ(s.FrameObject(2).PosX, 80);  // beyond the row: defaults
    EXPECT_EQ(s.PsfSigma[1], 5.0);         // version 1 has no FWHM columns

    const std::string v0row = "7,a,b,c,d,e,f,g,h,3,5,9,44,55,\"Anchor\",6";
    ASSERT_TRUE(Load(Write("v0.csv", Crlf({"\"FileName : /obs/old.avi\"", "x", "Video System : PAL , FrameRate=25.00",
                                          v0row, "8" + v0row.substr(1)}))));
    EXPECT_EQ(s.ResultsFormatVersion, 0);
    EXPECT_EQ(s.ResultsHeaderLines, 3);
    EXPECT_EQ(s.VideoFrameRate, 25.0);
    EXPECT_EQ(s.FrameStep, 1);
    EXPECT_EQ(s.VideoFileName, "/obs/old.avi");
    const DataLineObject& a = s.DataLines[2].Objects[1];
    EXPECT_EQ(a.ApertureRadius, 3);
    EXPECT_EQ(a.BkgOuterRadius, 9);
    EXPECT_EQ(a.BkgWidth, 25);
    EXPECT_EQ(a.BkgGap, 10);
    EXPECT_EQ(a.TrackMode, kTrackAnchor);
    EXPECT_EQ(a.TrackRadius, 6);
    EXPECT_EQ(s.FrameObject(1).PosY, 55);
    EXPECT_EQ(s.FrameObject(3).PosX, 120);
}

TEST_F(Window, HostileFilesChangeNothing) {
    std::string binary("\x89PNG\r\n\x1a\n\0\0\0\rIHDR,\xff\xfe", 20);
    std::vector<std::string> headerOnly = V2Lines();
    headerOnly.resize(6);
    std::vector<std::string> shortRow = V2Lines();
    shortRow[6] = "10.0,\"\",\"\",,,,,,,,100.0,,,1,,,50,60,45";
    std::vector<std::string> noFrame = V2Lines();
    noFrame[6] = "x" + kV2Row1;
    const std::pair<const char*, std::string> files[] = {
        {"empty.csv", ""},
        {"binary.csv", binary},
        {"header.csv", Crlf(headerOnly)},
        {"short.csv", Crlf(shortRow)},
        {"noframe.csv", Crlf(noFrame)},
    };
    const std::vector<std::string> before = w->Table.Lines();
    for (const auto& [name, data] : files) {
        std::string path = Write(name, data);
        dialogs.shown.clear();
        EXPECT_FALSE(Load(path)) << name;
        ASSERT_EQ(dialogs.Texts("error").size(), 1u) << name;
        EXPECT_NE(dialogs.Texts("error")[0].find(path), std::string::npos) << name;
        EXPECT_EQ(w->Table.Lines(), before) << name;
        EXPECT_EQ(w->State.ResultsLoaded, 0) << name;
        EXPECT_EQ(w->State.ObjectCount, 1) << name;
        EXPECT_EQ(w->State.FrameObject(1).PosX, 40) << name;
    }
    EXPECT_FALSE(Load(dir.File("missing.csv")));
    EXPECT_EQ(w->Table.Lines(), before);
}

TEST_F(Window, SaveFailureKeepsTheOldFileAndSaysSo) {
    std::string target = Write("old.csv", "old contents");
    // A target that is a folder cannot be replaced.
    std::string folder = dir.File("folder.csv");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    dialogs.fileAnswers.push_back(folder);
    w->SaveResultsFile();
    ASSERT_EQ(dialogs.Texts("error").size(), 1u);
    EXPECT_NE(dialogs.Texts("error")[0].find(folder), std::string::npos);
    EXPECT_EQ(testutil::ReadAll(target), "old contents");
    // Refused while a field view is shown: no dialog at all.
    dialogs.shown.clear();
    {
        // Without a video the box cannot be checked by a click.
        const QSignalBlocker quiet(w->CheckBox1);
        w->CheckBox1->setChecked(true);
    }
    w->SaveResultsFile();
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(Window, DeferredViewFollowsTheTableAtTheEnd) {
    w->Memo1->BeginUpdate();
    for (int i = 0; i < 100; ++i) w->AppendResultRows();
    EXPECT_EQ(w->Table.Count(), 105u);
    EXPECT_EQ(w->Memo1->ShownLines(), 5);
    w->Memo1->EndUpdate();
    EXPECT_EQ(w->Memo1->ShownLines(), 105);
    w->WriteResultsHeader();
    EXPECT_EQ(w->Memo1->ShownLines(), 6);
}

TEST_F(Window, GraphNeedsAVideoOrLoadedResults) {
    w->OpenGraphWindow();
    EXPECT_EQ(w->GraphDataRowCount, 0);
    ASSERT_TRUE(Load(Write("v2.csv", Crlf(V2Lines()))));
    w->State.RecordingFlag = 1;
    w->OpenGraphWindow();
    EXPECT_EQ(w->GraphDataRowCount, 0);
    w->State.RecordingFlag = 0;
    w->OpenGraphWindow();
    EXPECT_EQ(w->GraphDataRowCount, 2);
}

TEST_F(Window, ContentScrollsOnASmallScreenOnly) {
    w->show();
    auto* content = w->findChild<QScrollArea*>("WindowScrollBox");
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

TEST_F(Window, LargeFrameScrollsAndAClickLandsOnThePixelUnderThePointer) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
    const std::string video = dir.File("hd.avi");
    // A 9 x 9 star centred on (1000, 600) of a 1280 x 720 frame.
    ASSERT_EQ(testutil::Run("ffmpeg -v error -y -f lavfi -i color=c=0x141414:s=1280x720:r=25 -frames:v 3 -vf "
                            "\"format=rgb24,drawbox=x=996:y=596:w=9:h=9:color=white:t=fill\" -c:v rawvideo -pix_fmt bgr24 " + video),
              0);
    w->show();
    dialogs.fileAnswers.push_back(video);
    w->Button1Click();
    ASSERT_EQ(w->State.FrameWidth, 1280);
    QApplication::processEvents();
    auto* image = w->findChild<QScrollArea*>("ImageScrollBox");
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

namespace {

// The caption of every button, check box, radio button (radio groups' items too),
// plain label and group title of a window fits its control: the text's width in
// the control's font against the room the control gives it.
void ExpectCaptionsFit(QWidget* window) {
    const std::string where = window->objectName().toStdString() + ".";
    const auto plain = [](QString text) { return text.remove(QRegularExpression("&(?!&)")); };
    for (QGroupBox* g : window->findChildren<QGroupBox*>()) {
        if (g->title().isEmpty() || !g->isVisibleTo(window)) continue;
        const int room = g->width() - 2 * g->fontMetrics().averageCharWidth();
        EXPECT_LE(g->fontMetrics().horizontalAdvance(plain(g->title())), room) << where << g->objectName().toStdString() << " \""
                                                                              << g->title().toStdString() << "\"";
    }
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        if (b->text().isEmpty() || !b->isVisibleTo(window) || b->findChild<QLabel*>()) continue;  // wrapped captions
        QStyle::SubElement contents;
        if (qobject_cast<QRadioButton*>(b)) contents = QStyle::SE_RadioButtonContents;
        else if (qobject_cast<QCheckBox*>(b)) contents = QStyle::SE_CheckBoxContents;
        else if (qobject_cast<QPushButton*>(b)) contents = QStyle::SE_PushButtonContents;
        else continue;
        QStyleOptionButton o;
        o.initFrom(b);
        const int room = b->style()->subElementRect(contents, &o, b).width();
        const int need = b->fontMetrics().horizontalAdvance(plain(b->text()));
        EXPECT_LE(need, room) << where << b->objectName().toStdString() << " \"" << b->text().toStdString() << "\" at "
                              << b->x() << "," << b->y() << " " << b->width() << "x" << b->height();
    }
    for (QLabel* l : window->findChildren<QLabel*>()) {
        if (l->text().isEmpty() || !l->isVisibleTo(window) || qobject_cast<QAbstractButton*>(l->parent()) ||
            l->textFormat() == Qt::RichText || !l->pixmap().isNull())
            continue;
        if (!l->objectName().startsWith("Label") && !l->objectName().startsWith("StaticText")) continue;
        if (l->wordWrap()) {
            // Wrapped: all its lines within its height.
            EXPECT_LE(l->heightForWidth(l->width()), l->height()) << where << l->objectName().toStdString();
            continue;
        }
        int need = 0;
        for (const QString& line : plain(l->text()).split('\n')) need = std::max(need, l->fontMetrics().horizontalAdvance(line));
        EXPECT_LE(need, l->contentsRect().width()) << where << l->objectName().toStdString() << " \"" << l->text().toStdString()
                                                   << "\" at " << l->x() << "," << l->y() << " " << l->width() << "x" << l->height();
    }
}

}  // namespace

// Controls added by different areas of the window must not land on one another:
// a lamp or check box under a button can be neither read nor clicked.
TEST_F(Window, ButtonsLampsAndBoxesDoNotOverlap) {
    w->show();
    std::vector<QWidget*> controls;
    for (QWidget* c : w->findChildren<QWidget*>()) {
        if (!c->isVisibleTo(w.get())) continue;
        if (qobject_cast<QAbstractButton*>(c) || (qobject_cast<QLabel*>(c) && c->objectName().startsWith("Panel"))) controls.push_back(c);
    }
    for (size_t i = 0; i < controls.size(); ++i)
        for (size_t j = i + 1; j < controls.size(); ++j) {
            QWidget* a = controls[i];
            QWidget* b = controls[j];
            if (a->parentWidget() != b->parentWidget() || a->isAncestorOf(b) || b->isAncestorOf(a)) continue;
            EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                << a->objectName().toStdString() << " and " << b->objectName().toStdString() << " overlap";
        }
}

TEST_F(Window, CaptionsFitTheirControls) {
    w->show();
    ExpectCaptionsFit(w.get());
    // Every window the program opens: with a video, a measured row and the graph,
    // each opener's window is opened and checked.
    if (testutil::HaveProgram("ffmpeg")) {
        const std::string video = dir.File("v.avi");
        ASSERT_EQ(testutil::Run("ffmpeg -v error -y -f lavfi -i color=c=gray:s=160x120:r=25 -frames:v 3 -c:v rawvideo -pix_fmt bgr24 " + video), 0);
        dialogs.fileAnswers.push_back(video);
        w->Button1Click();
        ASSERT_TRUE(w->State.VideoOpen);
        w->Button16Click();
    }
    std::set<QWidget*> checked;
    for (const std::string& control : TPlatform::OpenerControls()) {
        w->OpenWindow(control);
        QApplication::processEvents();
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top != w.get() && top->isVisible() && !qobject_cast<QMenu*>(top) && checked.insert(top).second) {
                SCOPED_TRACE(control);
                ExpectCaptionsFit(top);
            }
    }
    std::set<std::string> names;
    for (QWidget* top : checked) names.insert(top->objectName().toStdString());
    for (const char* name : {"chart1", "Mutual_Average", "PreserveSetting", "MeasurementOption"})
        EXPECT_EQ(names.count(name), 1u) << name;
    for (QWidget* top : checked) top->close();
    QApplication::processEvents();
    // Hints that explain a control.
    EXPECT_EQ(w->Button40->toolTip(), "To enable this button, turn off PSF-photometry");
    EXPECT_EQ(w->Edit26->toolTip(), "End of Field1 = Center of Frame exposure.");
    // The two-line caption in the font of its neighbours, inside the button.
    EXPECT_EQ(w->Button40->font(), w->Button1->font());
    EXPECT_EQ(w->Button40->text(), "Set  radius to memoried");
    const QLabel* caption = w->Button40->findChild<QLabel*>();
    ASSERT_TRUE(caption);
    EXPECT_EQ(caption->font(), w->Button1->font());
    // Greyed with the button (PSF photometry, on by default, disables it).
    for (bool enabled : {true, false}) {
        w->Button40->setEnabled(enabled);
        const QPalette::ColorGroup group = enabled ? QPalette::Active : QPalette::Disabled;
        EXPECT_EQ(caption->palette().color(group, caption->foregroundRole()),
                  w->Button1->palette().color(group, QPalette::ButtonText));
        EXPECT_EQ(caption->isEnabled(), enabled);
    }
    EXPECT_LE(caption->heightForWidth(w->Button40->width() - 8), w->Button40->height() - 4);
}
