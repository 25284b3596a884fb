#include "analysis/Linear.h"

#include "analysis/histogram_linearity.h"
#include "platform/qt_text.h"

TLinearity* Linearity = nullptr;
bool LinearityOpen = false;

TLinearity::TLinearity(QWidget* parent) : QDialog(parent) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    Linearity = this;
    LinearityOpen = true;
    FormCreate();
}

// Cleared here too, so that the window can be opened again after closing.
TLinearity::~TLinearity() {
    if (Linearity == this) {
        Linearity = nullptr;
        LinearityOpen = false;
    }
}

void TLinearity::FormCreate() {
    Image1->SetPictureSize(Image1->width(), Image1->height());
    linearity::DrawLinearityGraph(Image1->Picture());
    Image1->Changed();
    QString text = QStr(linearity::LinearityText());
    text.replace("\r\n", "\n");
    Memo1->setPlainText(text);
}
