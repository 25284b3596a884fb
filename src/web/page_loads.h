#pragma once
// Counts a browser view's page loads as the background work "load" (platform/
// activity.h), so that scripts and tests can wait until the page is shown. A load
// counts from the request (Requested, called before asking the view) or from the
// view's own start (a link followed) until the view reports it finished, stopped
// or failed, and at most once at a time.
#include <QObject>

class QWebEngineView;

namespace web {

class PageLoads : public QObject {
    Q_OBJECT
public:
    // A child of the view; the count ends with it.
    explicit PageLoads(QWebEngineView* view);
    ~PageLoads() override;
    // A load that the view will surely start (a new address, a reload, a step in the
    // history that exists).
    void Requested();
    bool Loading() const { return loading_; }

private:
    void Finished();
    bool loading_ = false;
};

}  // namespace web
