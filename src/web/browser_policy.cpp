#include "web/browser_policy.h"

#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <atomic>

#include "web/browser_core.h"

namespace web {
namespace {

std::atomic<bool> g_localOnly{false};

std::string Text(const QUrl& url) { return url.toString(QUrl::FullyEncoded).toStdString(); }

class RequestPolicy : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const bool mainFrame = info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame;
        if (!BrowserRequestAllowed(Text(info.firstPartyUrl()), Text(info.requestUrl()), mainFrame, g_localOnly))
            info.block(true);
    }
};

// Addresses that stay inside the engine or on this machine's disk.
bool EngineLocalScheme(const QString& scheme) {
    return scheme == "file" || scheme == "data" || scheme == "blob" || scheme == "about" || scheme == "qrc";
}

}  // namespace

bool BrowserRequestAllowed(const std::string& pageUrl, const std::string& requestUrl, bool mainFrame, bool localOnly) {
    if (localOnly && !IsLocalAddress(requestUrl)) return false;
    if (mainFrame) return true;
    const QString pageScheme = QUrl(QString::fromStdString(pageUrl)).scheme().toLower();
    const QString requestScheme = QUrl(QString::fromStdString(requestUrl)).scheme().toLower();
    return pageScheme != "file" || EngineLocalScheme(requestScheme);
}

void SetBrowsersLocalOnly(bool on) { g_localOnly = on; }

void ApplyBrowserPolicy(QWebEngineView* view) {
    QWebEnginePage* page = view->page();
    QWebEngineSettings* settings = page->settings();
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    page->setUrlRequestInterceptor(new RequestPolicy(page));
}

}  // namespace web
