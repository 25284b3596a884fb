#include "web/browser_core.h"

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

void BrowserHome::PageShown(const std::string& url) {
    if (url_.empty() && !url.empty() && url != "about:blank") url_ = url;
}

}  // namespace web
