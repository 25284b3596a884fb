#include "web/browser_core.h"

#include <QHostAddress>
#include <QString>
#include <QUrl>

namespace web {

const char* const kPredictionSiteHost = "https://occultation-predictions.invalid";
const char* const kPredictionIndexPath = "/data/occult-e/Index%20Asteroidal%20Occultation%20Worldwide.xls";

std::string PredictionIndexUrl() { return std::string(kPredictionSiteHost) + kPredictionIndexPath; }

std::string BrowserTarget(const std::string& typed) {
    const QString text = QString::fromUtf8(typed.data(), static_cast<qsizetype>(typed.size())).trimmed();
    if (text.isEmpty()) return {};
    const QUrl url = QUrl::fromUserInput(text);
    if (!url.isValid()) return {};
    return url.toString(QUrl::FullyEncoded).toStdString();
}

bool IsLocalAddress(const std::string& url) {
    const QUrl u(QString::fromStdString(url));
    if (!u.isValid()) return false;
    const QString scheme = u.scheme().toLower();
    if (scheme == "file" || scheme == "data" || scheme == "about" || scheme == "blob" || scheme == "qrc") return true;
    if (scheme != "http" && scheme != "https" && scheme != "ws" && scheme != "wss") return false;
    const QString host = u.host().toLower();
    if (host == "localhost") return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

void BrowserHome::PageShown(const std::string& url) {
    if (url_.empty() && !url.empty() && url != "about:blank") url_ = url;
}

}  // namespace web
