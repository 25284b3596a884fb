#pragma once
// TBrowser1: a small web browser: Back, Forward, Home (the first page it showed),
// Refresh, Stop, and an address box with its navigate button (Enter in the box
// navigates too). Each opening makes a new window, freed when closed, so that no
// hidden browser keeps its renderer.
#include <QWidget>

#include "ui_Browser1.h"
#include "web/browser_core.h"

namespace web {
class PageLoads;
}

class TBrowser1 : public QWidget, public Ui::TBrowser1 {
    Q_OBJECT
public:
    explicit TBrowser1(QWidget* parent = nullptr);

    void BackButtonClick();
    void ForwardButtonClick();
    void HomeButtonClick();
    void RefreshButtonClick();
    void StopButtonClick();
    void NavigateButtonClick();
    // Goes to an address (a typed text as the address box takes it); false when the
    // text is no address.
    bool Navigate(const std::string& typed);
    const web::BrowserHome& Home() const { return home_; }

private:
    web::BrowserHome home_;
    web::PageLoads* loads_ = nullptr;
};
