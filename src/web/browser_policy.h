#pragma once
// What every browser view of the program may load. A page opened from a file
// reads no other file (a script's fetch of a file beside it fails) and reaches no
// other machine: what it asks of the network is refused, while a page the program
// writes itself from memory (the station map) still loads its map script. Pages
// from the network keep the engine's own limits.
//
// Tests and the harness also keep the browser windows off the network: with
// local-only set, every browser view made afterwards refuses requests to other
// machines (they fail at once instead of waiting on a network that may not
// answer). The program itself never sets it.
#include <string>

class QWebEngineView;

namespace web {

void SetBrowsersLocalOnly(bool on);
// Called by each window for its browser view when it is made.
void ApplyBrowserPolicy(QWebEngineView* view);

// Whether a request for `requestUrl`, made for the page whose top address is
// `pageUrl`, may go out. `mainFrame`: the request loads the top page itself (a
// navigation, which the user may always make).
bool BrowserRequestAllowed(const std::string& pageUrl, const std::string& requestUrl, bool mainFrame, bool localOnly);

}  // namespace web
