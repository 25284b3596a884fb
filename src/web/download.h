#pragma once
// Downloads one HTTP(S) address to a file or into memory. The body is streamed
// into a temporary file beside the target while a local event loop runs (open
// windows keep repainting), and the temporary file replaces the target only when
// the whole body arrived: a failed or cancelled download leaves no partial file
// and an existing target untouched.
//
// A download ends without data after the stall limit of silence, and in any case
// at its overall deadline, which grows with the length the server announces when
// a slowest acceptable rate is given: a server that trickles a byte now and then
// cannot hold it for longer. User input is held back while it runs unless the
// caller lets it through (a window whose Cancel button must work).
//
// The result is 0 on success and non-zero when the address is not HTTP(S), no
// connection could be made, nothing was received for the stall limit, the
// deadline passed, the download was cancelled, the server answered with a status
// other than 2xx, the body exceeded the size limit, or the file could not be
// written.
#include <cstdint>
#include <functional>
#include <string>

namespace web {

constexpr int kDownloadStallMs = 15000;
// An update package is held whole by the zip reader, which reads at most 256 MiB.
constexpr uint64_t kMaxDownloadBytes = uint64_t{256} << 20;

enum class DownloadError {
    None = 0,
    BadAddress,   // not an http:// or https:// address
    Connection,   // no connection, or the transfer broke off
    Stalled,      // nothing received for the stall limit
    HttpStatus,   // the server answered with a status other than 2xx
    TooLarge,     // more than the size limit
    Write,        // the target could not be written
    TimedOut,     // the overall deadline passed
    Cancelled,    // DownloadCancel::Cancel was called
};

// Ends a running download from outside it (a Cancel button). A Cancel before the
// download starts ends it as soon as it starts; Reset makes the object usable again.
class DownloadCancel {
public:
    void Cancel() {
        requested_ = true;
        if (onCancel_) onCancel_();
    }
    bool Requested() const { return requested_; }
    void Reset() { requested_ = false; }

private:
    friend class DownloadRun;
    bool requested_ = false;
    std::function<void()> onCancel_;  // set while a download runs
};

struct DownloadOptions {
    int stallMs = kDownloadStallMs;
    uint64_t maxBytes = kMaxDownloadBytes;
    // The whole download ends by then (0: no deadline but the stall limit).
    int deadlineMs = 0;
    // When not 0 and the server announces the body's length, the deadline grows
    // to the time that length takes at this rate.
    uint64_t minBytesPerSecond = 0;
    // Let user input through while the download runs (the caller guards against
    // being entered again); otherwise it waits until the download ends.
    bool userInput = false;
    DownloadCancel* cancel = nullptr;
};

struct DownloadResult {
    DownloadError error = DownloadError::None;
    int httpStatus = 0;      // 0 when no status line arrived
    uint64_t bytes = 0;      // body bytes written
    std::string message;     // short English text of the failure

    // The result as a number: 0 on success.
    int Code() const { return static_cast<int>(error); }
    bool Ok() const { return error == DownloadError::None; }
};

DownloadResult DownloadToFile(const std::string& url, const std::string& path, const DownloadOptions& options = {});
// The same into `body` (left empty on failure); meant for small files, the size
// limit bounds the memory used.
DownloadResult DownloadToMemory(const std::string& url, std::string& body, const DownloadOptions& options = {});

}  // namespace web
