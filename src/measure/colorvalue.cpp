#include "measure/colorvalue.h"

#include <QCloseEvent>

#include "measure/grapharea.h"
#include "measure/main_2.h"
#include "measure/photometry.h"
#include "platform/qt_text.h"

TColorValueDisplay* ColorValueDisplay = nullptr;
bool ColorValueShown = false;

TColorValueDisplay::TColorValueDisplay(TPlatform& owner)
    : QWidget(&owner, Qt::Window | Qt::WindowStaysOnTopHint), p_(owner) {
    setupUi(this);
    setObjectName("ColorValueDisplay");  // the instance variable, as scripts name the window
    setAttribute(Qt::WA_DeleteOnClose);
    ColorValueDisplay = this;
    FormCreate();
}

TColorValueDisplay::~TColorValueDisplay() {
    if (ColorValueDisplay == this) ColorValueDisplay = nullptr;
    ColorValueShown = false;
}

void TColorValueDisplay::closeEvent(QCloseEvent* event) {
    ColorValueShown = false;
    event->accept();
}

void TColorValueDisplay::FormCreate() {
    ColorValueShown = true;
    // At the designed height, but beside the 3-D star view's place rather than over
    // its lower controls, and wide enough that every sum shows its leading digits
    // and its exponent.
    move(p_.x() + TThreeDGraph::kWidth + 16, p_.y() + 533);
    resize(580, 183);
}

std::array<std::array<TSummaryEdit*, 6>, 3> TColorValueDisplay::Edits() const {
    return {{{Edit26, Edit27, Edit28, Edit32, Edit33, Edit34},
             {Edit14, Edit15, Edit16, Edit17, Edit18, Edit19},
             {Edit23, Edit24, Edit25, Edit29, Edit30, Edit31}}};
}

void TColorValueDisplay::Fill(const std::array<std::array<std::string, 6>, 3>& texts) {
    const auto edits = Edits();
    // The full text stays in the edit for copying; the short form is what it shows.
    for (size_t line = 0; line < 3; ++line)
        for (size_t c = 0; c < 6; ++c) {
            const std::string& t = texts[line][c];
            edits[line][c]->SetTexts(QStr(t), QStr(ShortExponentText(t)));
        }
}

void TColorValueDisplay::Clear() {
    for (const auto& line : Edits())
        for (TSummaryEdit* e : line) e->SetTexts({}, {});
}
