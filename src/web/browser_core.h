#pragma once
// The plain parts of the web browser and data viewer windows: the address a typed
// text goes to, the page Home returns to, and the prediction index's address.
#include <string>

namespace web {

// The prediction site (its host set by the maintainers) and the worldwide index
// spreadsheet on it.
extern const char* const kPredictionSiteHost;
extern const char* const kPredictionIndexPath;  // "/data/occult-e/Index%20Asteroidal%20Occultation%20Worldwide.xls"
std::string PredictionIndexUrl();

// The address the browser goes to for the text typed into its address box: a full
// address as it is, a host name with http:// before it, an absolute path as a
// file address. Empty (nowhere to go) for a text of blanks or one that is no address.
std::string BrowserTarget(const std::string& typed);

// An address on this machine: a file, data, about, blob or qrc address, or a web
// address whose host is localhost or a loopback address (127.0.0.0/8, ::1).
bool IsLocalAddress(const std::string& url);

// The first page a browser window showed; Home returns to it. Blank pages do not
// count, so a window that opened empty takes the first page navigated to.
class BrowserHome {
public:
    void PageShown(const std::string& url);
    // Empty while no page has been shown.
    const std::string& Url() const { return url_; }

private:
    std::string url_;
};

}  // namespace web
