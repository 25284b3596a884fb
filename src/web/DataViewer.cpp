#include "web/DataViewer.h"

#include "platform/shell_service.h"
#include "web/browser_core.h"

TDataViewer::TDataViewer(QWidget* parent) : QDialog(parent) {
    setupUi(this);
    setObjectName("DataViewer");
    setAttribute(Qt::WA_DeleteOnClose);
    connect(OpenButton, &QPushButton::clicked, this, [this] { OpenButtonClick(); });
}

// Failures are the desktop handler's to report.
void TDataViewer::OpenButtonClick() { platform::OpenUrl(web::PredictionIndexUrl()); }
