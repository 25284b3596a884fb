#include "imagefile/IconSelection.h"

#include <QPainter>
#include <cstdio>

#include "imagefile/HIPSLoader.h"
#include "imagefile/ICOLoader.h"
#include "imagefile/loader_dialogs.h"
#include "platform/dialogs.h"

using namespace imagefile;

namespace {

QColor ToQColor(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

}  // namespace

TIconSelectionForm::TIconSelectionForm(TIconList& list, uint32_t transparentColor, QWidget* parent)
    : QDialog(parent), Color(transparentColor), list_(list) {
    setupUi(this);
    PanelFrame->BevelOuter = TPanelFrame::bvLowered;
    ColorPanel->BevelOuter = TPanelFrame::bvLowered;
    ColorPanel->setAutoFillBackground(true);
    ColorPanel->OnClick = [this] { TransparentButtonClick(); };
    connect(SelectBox, &QListWidget::currentRowChanged, this, [this] { SelectBoxChange(); });
    connect(TransparentButton, &QPushButton::clicked, this, [this] { TransparentButtonClick(); });
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TIconSelectionForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!shown_) FormShow();
    shown_ = true;
}

void TIconSelectionForm::FormShow() {
    shown_ = true;
    const QSignalBlocker block(SelectBox);
    SelectBox->clear();
    for (int i = 0; i < list_.Count(); ++i) SelectBox->addItem(QString::fromStdString(list_.Describe(i)));
    if (list_.Count() > 0) SelectBox->setCurrentRow(0);
    SelectBoxChange();
}

void TIconSelectionForm::SelectBoxChange() {
    char text[16];
    std::snprintf(text, sizeof text, "$%06x", Color & 0xFFFFFF);
    ColorLabel->setText(text);
    QPalette pal = ColorPanel->palette();
    pal.setColor(QPalette::Window, ToQColor(Color));
    ColorPanel->setPalette(pal);
    const int i = SelectBox->currentRow();
    if (i < 0 || i >= list_.Count()) return;
    list_.Decode(i);
    const TIconImage& image = list_.Image(i);
    const int frame = PanelFrame->FrameWidth();
    PanelFrame->resize(image.Width() + 2 * frame, image.Height() + 2 * frame);
    QImage& canvas = PanelFrame->Canvas();
    canvas.fill(ToQColor(Color));
    TLinearBitmap picture;
    image.Draw(Color, picture);
    QImage drawn;
    picture.AssignTo(drawn);
    QPainter(&canvas).drawImage(0, 0, drawn);
    PanelFrame->update();
}

void TIconSelectionForm::TransparentButtonClick() {
    const std::optional<uint32_t> chosen = Dialogs().ChooseColor(Color);
    if (!chosen) return;
    Color = *chosen;
    SelectBoxChange();
}

bool ShowIconSelection(TIconList& list, int& index, uint32_t& transparentColor) {
    TIconSelectionForm form(list, transparentColor);
    Dialogs().ShowModal(&form);
    if (form.result() != QDialog::Accepted) return false;
    index = form.Selected();
    transparentColor = form.Color;
    return true;
}

namespace imagefile {

void InstallImageLoaderDialogs() {
    ICOLoader().SelectIcon = ShowIconSelection;
    HIPSLoader().InputQuery = [](const std::string& caption, const std::string& prompt, const std::string& initial) {
        return Dialogs().InputText(caption, prompt, initial);
    };
}

}  // namespace imagefile
