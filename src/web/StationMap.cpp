#include "web/StationMap.h"

#include <QUrl>

#include "web/map_page.h"
#include "web/browser_policy.h"
#include "web/page_loads.h"

namespace {

QString Lines(const std::vector<std::string>& lines, const char* separator) {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) text += (i ? separator : "") + lines[i];
    return QString::fromStdString(text);
}

}  // namespace

TMap::TMap(const overlay::GpsRecord& gps, uint8_t timeInserterType, QWidget* parent)
    : QWidget(parent, Qt::Window), gps_(gps), timeInserterType_(timeInserterType) {
    setupUi(this);
    setObjectName("Map");
    // Each opening makes a new browser; a closed one must not keep its renderer.
    setAttribute(Qt::WA_DeleteOnClose);
    web::ApplyBrowserPolicy(WebBrowser1);
    loads_ = new web::PageLoads(WebBrowser1);
    FormCreate();
}

void TMap::FormCreate() {
    Memo1->clear();
    const web::MapPage page = web::MakeMapPage(gps_, timeInserterType_);
    Memo1->setPlainText(Lines(page.MapPageLines, "\n"));
    // The page goes to the browser from memory, as the memo holds it, on a blank
    // address; the map script comes from the map service.
    std::string text;
    for (const std::string& line : page.MapPageLines) text += line + "\r\n";
    pageText_ = text;
    loads_->Requested();
    WebBrowser1->setHtml(QString::fromStdString(pageText_), QUrl("about:blank"));
    Memo2->setPlainText(Lines(page.Memo2, "\n"));
}
