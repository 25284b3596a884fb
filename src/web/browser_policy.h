#pragma once
// Tests and the harness keep the browser windows off the network: with local-only
// set, every browser view made afterwards refuses requests to other machines (they
// fail at once instead of waiting on a network that may not answer). The program
// itself never sets it.
class QWebEngineView;

namespace web {

void SetBrowsersLocalOnly(bool on);
// Called by each window for its browser view when it is made.
void ApplyBrowserPolicy(QWebEngineView* view);

}  // namespace web
