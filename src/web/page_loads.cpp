#include "web/page_loads.h"

#include <QWebEngineView>

#include "platform/activity.h"

namespace web {
namespace {
// Long enough for a busy machine to start any load it was asked for.
constexpr int kStartWaitMs = 10000;
}  // namespace

PageLoads::PageLoads(QWebEngineView* view) : QObject(view) {
    startWait_.setSingleShot(true);
    startWait_.setInterval(kStartWaitMs);
    connect(&startWait_, &QTimer::timeout, this, [this] {
        if (!started_) Finished();
    });
    connect(view, &QWebEngineView::loadStarted, this, [this] { Started(); });
    connect(view, &QWebEngineView::loadFinished, this, [this] { Finished(); });
}

PageLoads::~PageLoads() { Finished(); }

void PageLoads::Requested() {
    started_ = false;
    startWait_.start();
    if (loading_) return;
    loading_ = true;
    activity::Begin("load");
}

void PageLoads::Started() {
    started_ = true;
    startWait_.stop();
    if (loading_) return;
    loading_ = true;
    activity::Begin("load");
}

void PageLoads::Finished() {
    startWait_.stop();
    if (!loading_) return;
    loading_ = false;
    activity::End("load");
}

}  // namespace web
