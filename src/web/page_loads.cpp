#include "web/page_loads.h"

#include <QWebEngineView>

#include "platform/activity.h"

namespace web {

PageLoads::PageLoads(QWebEngineView* view) : QObject(view) {
    connect(view, &QWebEngineView::loadStarted, this, [this] { Requested(); });
    connect(view, &QWebEngineView::loadFinished, this, [this] { Finished(); });
}

PageLoads::~PageLoads() { Finished(); }

void PageLoads::Requested() {
    if (loading_) return;
    loading_ = true;
    activity::Begin("load");
}

void PageLoads::Finished() {
    if (!loading_) return;
    loading_ = false;
    activity::End("load");
}

}  // namespace web
