// The icon selection window offscreen: its lines, the preview on the transparent
// colour, "$ff00ff" in ColorLabel, a scripted colour, Ok and Cancel; the loaders'
// questions through the dialog service.
#include <gtest/gtest.h>

#include <QListWidget>

#include "imagefile/HIPSLoader.h"
#include "imagefile/ICOLoader.h"
#include "imagefile/IconSelection.h"
#include "imagefile/PNGLoader.h"
#include "imagefile/loader_dialogs.h"
#include "platform/dialogs.h"

using namespace imagefile;

namespace {

// Two icons: 4 x 3 at 24 bit with pixel (1, 0) masked, 2 x 2 at 8 bit.
void TwoIcons(TIconList& list) {
    TIconList made;
    made.FileType = 1;
    auto a = std::make_unique<TIconImage>(4, 3, 24);
    for (size_t i = 0; i < a->ColorData.size() - 1; ++i) a->ColorData[i] = 0x40;
    a->MaskData[2 * a->MaskRowBytes()] = 0x40;  // the top row is the file's last
    auto b = std::make_unique<TIconImage>(2, 2, 8);
    b->Palette[4 * 1 + 2] = 0xFF;  // entry 1 red
    b->ColorData[0] = 1;
    made.Add(std::move(a));
    made.Add(std::move(b));
    TMemStream mem;
    made.SaveToStream(mem);
    mem.Seek(0);
    list.LoadFromStream(mem);
}

TEST(IconSelectionForm, LinesPreviewColourAndButtons) {
    ScriptedDialogs dialogs;
    dialogs.Install();
    TIconList list;
    TwoIcons(list);
    TIconSelectionForm form(list, 0xFF00FF);
    EXPECT_EQ(form.windowTitle(), "Select icon to import from file");
    EXPECT_EQ(form.OkButton->text(), "&Ok");
    EXPECT_EQ(form.CancelButton->text(), "&Cancel");
    EXPECT_TRUE(form.OkButton->isDefault());
    EXPECT_EQ(form.NoteLabel->text(), "Note that writing of files with multiple icons is not supported.");
    form.show();
    ASSERT_EQ(form.SelectBox->count(), 2);
    EXPECT_EQ(form.SelectBox->item(0)->text(), "Icon 4 x 3 24 bit");
    EXPECT_EQ(form.SelectBox->item(1)->text(), "Icon 2 x 2 8 bit");
    EXPECT_EQ(form.Selected(), 0);
    EXPECT_EQ(form.ColorLabel->text(), "$ff00ff");
    EXPECT_EQ(form.PanelFrame->size(), QSize(4 + 2, 3 + 2));  // one lowered bevel
    QImage& canvas = form.PanelFrame->Canvas();
    EXPECT_EQ(canvas.size(), QSize(4, 3));
    EXPECT_EQ(canvas.pixel(1, 0), qRgb(255, 0, 255));
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(0x40, 0x40, 0x40));

    // A scripted colour (green), then a cancelled dialog from the colour panel.
    dialogs.colorAnswers.push_back(0x00FF00);
    form.TransparentButton->click();
    EXPECT_EQ(form.ColorLabel->text(), "$00ff00");
    EXPECT_EQ(form.PanelFrame->Canvas().pixel(1, 0), qRgb(0, 255, 0));
    EXPECT_EQ(form.ColorPanel->palette().color(QPalette::Window), QColor(0, 255, 0));
    form.ColorPanel->OnClick();
    EXPECT_EQ(form.Color, 0x00FF00u);
    EXPECT_EQ(dialogs.Texts("color"), (std::vector<std::string>{"ff00ff", "00ff00"}));

    form.SelectBox->setCurrentRow(1);
    EXPECT_EQ(form.PanelFrame->size(), QSize(4, 4));
    EXPECT_EQ(form.PanelFrame->Canvas().pixel(0, 1), qRgb(255, 0, 0));  // index 1, top left (file row 1)
    form.OkButton->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);

    TIconSelectionForm other(list, 0x0000FF);
    other.show();
    EXPECT_EQ(other.ColorLabel->text(), "$0000ff");
    other.CancelButton->click();
    EXPECT_EQ(other.result(), QDialog::Rejected);
}

TEST(IconSelectionForm, LoadersAskThroughTheDialogService) {
    ScriptedDialogs dialogs;
    dialogs.Install();
    InstallImageLoaderDialogs();
    // A scripted window is shown and left open: loading stops silently.
    TIconList list;
    TwoIcons(list);
    TMemStream file;
    list.SaveToStream(file);
    file.Seek(0);
    TLinearBitmap b;
    ICOLoader().LoadFromStream(file, "ICO", b);
    EXPECT_FALSE(b.Present);
    EXPECT_EQ(dialogs.Texts("window"), (std::vector<std::string>{"IconSelectionForm"}));
    // The plane question as an input box, answered "2".
    const std::string hips = "HIPS\nn\ns\n2\nd\n1\n2\n1\n2\n0\n0\n0\n2\n0\n0\n0\n0\nabcd";
    TMemStream in;
    in.Write(hips.data(), hips.size());
    in.Seek(0);
    dialogs.textAnswers.push_back("2");
    LoaderProgress = [](int) {};
    HIPSLoader().LoadFromStream(in, "HIPS", b);
    LoaderProgress = nullptr;
    ICOLoader().SelectIcon = nullptr;
    HIPSLoader().InputQuery = nullptr;
    EXPECT_EQ(dialogs.Texts("input"), (std::vector<std::string>{"Select plane to load (1-2)"}));
    ASSERT_TRUE(b.Present);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.Map), 2), "cd");
}

}  // namespace
