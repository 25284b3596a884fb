#include "web/Browser1.h"

#include <QUrl>
#include <QWebEngineHistory>

#include "web/browser_policy.h"
#include "web/page_loads.h"

TBrowser1::TBrowser1(QWidget* parent) : QWidget(parent, Qt::Window) {
    setupUi(this);
    setObjectName("Browser1");
    setAttribute(Qt::WA_DeleteOnClose);
    web::ApplyBrowserPolicy(WebBrowser1);
    loads_ = new web::PageLoads(WebBrowser1);
    connect(BackButton, &QPushButton::clicked, this, [this] { BackButtonClick(); });
    connect(ForwardButton, &QPushButton::clicked, this, [this] { ForwardButtonClick(); });
    connect(HomeButton, &QPushButton::clicked, this, [this] { HomeButtonClick(); });
    connect(RefreshButton, &QPushButton::clicked, this, [this] { RefreshButtonClick(); });
    connect(StopButton, &QPushButton::clicked, this, [this] { StopButtonClick(); });
    connect(NavigateButton, &QPushButton::clicked, this, [this] { NavigateButtonClick(); });
    connect(Edit1, &QLineEdit::returnPressed, this, [this] { NavigateButtonClick(); });
    connect(WebBrowser1, &QWebEngineView::loadFinished, this, [this] {
        const QUrl url = WebBrowser1->url();
        home_.PageShown(url.toString(QUrl::FullyEncoded).toStdString());
        // The address box follows the page, as links and the history move it.
        if (!url.isEmpty()) Edit1->setText(url.toString());
    });
}

void TBrowser1::BackButtonClick() {
    if (!WebBrowser1->history()->canGoBack()) return;
    loads_->Requested();
    WebBrowser1->back();
}

void TBrowser1::ForwardButtonClick() {
    if (!WebBrowser1->history()->canGoForward()) return;
    loads_->Requested();
    WebBrowser1->forward();
}

void TBrowser1::HomeButtonClick() {
    if (home_.Url().empty()) return;
    loads_->Requested();
    WebBrowser1->load(QUrl(QString::fromStdString(home_.Url())));
}

void TBrowser1::RefreshButtonClick() {
    if (WebBrowser1->url().isEmpty()) return;
    loads_->Requested();
    WebBrowser1->reload();
}

void TBrowser1::StopButtonClick() { WebBrowser1->stop(); }

void TBrowser1::NavigateButtonClick() { Navigate(Edit1->text().toStdString()); }

bool TBrowser1::Navigate(const std::string& typed) {
    const std::string target = web::BrowserTarget(typed);
    if (target.empty()) return false;
    loads_->Requested();
    WebBrowser1->load(QUrl(QString::fromStdString(target)));
    return true;
}
