#include "web/browser_policy.h"

#include <QWebEnginePage>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <atomic>

#include "web/browser_core.h"

namespace web {
namespace {

std::atomic<bool> g_localOnly{false};

class LocalOnly : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        if (!IsLocalAddress(info.requestUrl().toString(QUrl::FullyEncoded).toStdString())) info.block(true);
    }
};

}  // namespace

void SetBrowsersLocalOnly(bool on) { g_localOnly = on; }

void ApplyBrowserPolicy(QWebEngineView* view) {
    if (!g_localOnly) return;
    QWebEnginePage* page = view->page();
    page->setUrlRequestInterceptor(new LocalOnly(page));
}

}  // namespace web
