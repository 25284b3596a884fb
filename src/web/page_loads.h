#pragma once
// Counts a browser view's page loads as the background work "load" (platform/
// activity.h), so that scripts and tests can wait until the page is shown. A load
// counts from the request (Requested, called before asking the view) or from the
// view's own start (a link followed) until the view reports it finished, stopped
// or failed, and at most once at a time. A request that starts nothing (the engine
// skips history entries that were made without a user's action) stops counting
// when the view has not started a load within a grace time.
#include <QObject>
#include <QTimer>

class QWebEngineView;

namespace web {

class PageLoads : public QObject {
    Q_OBJECT
public:
    // A child of the view; the count ends with it.
    explicit PageLoads(QWebEngineView* view);
    ~PageLoads() override;
    // A load asked of the view.
    void Requested();
    bool Loading() const { return loading_; }

private:
    void Started();
    void Finished();
    bool loading_ = false;
    bool started_ = false;  // the view reported the start of the load being counted
    QTimer startWait_;
};

}  // namespace web
