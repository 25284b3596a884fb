#include "video/DshowError1.h"

#include <QCloseEvent>

#include "video/avidshow.h"

TDshowErrors* DshowErrors = nullptr;
bool DshowErrorsShown = false;

TDshowErrors::TDshowErrors(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    connect(ErrorOfDshow, &QPushButton::clicked, this, [this] { ErrorOfDshowClick(); });
    FormCreate();
}

TDshowErrors::~TDshowErrors() {
    if (DshowErrors == this) DshowErrors = nullptr;
}

void TDshowErrors::FormCreate() {
    DshowErrorsShown = true;
    DshowErrors = this;
    const int last = std::min(DshowStepLogIndex, kDshowStepLogLines - 1);
    QStringList lines;
    for (int i = 1; i <= last; ++i) lines << QString::fromLatin1(DshowStepLog[i].c_str());
    Memo1->setPlainText(lines.join('\n'));
}

void TDshowErrors::ErrorOfDshowClick() { close(); }

void TDshowErrors::closeEvent(QCloseEvent* event) {
    DshowErrorsShown = false;
    QWidget::closeEvent(event);
}
