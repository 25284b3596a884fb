#pragma once
// Downloads one HTTP(S) address to a file. The body is streamed into a temporary
// file beside the target while a local event loop runs (open windows keep
// repainting; user input waits), and the temporary file replaces the target only
// when the whole body arrived: a failed download leaves no partial file and an
// existing target untouched.
//
// The result is 0 on success and non-zero when the address is not HTTP(S), no
// connection could be made, nothing was received for the stall limit, the server
// answered with a status other than 2xx, the body exceeded the size limit, or the
// file could not be written.
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
};

struct DownloadOptions {
    int stallMs = kDownloadStallMs;
    uint64_t maxBytes = kMaxDownloadBytes;
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

}  // namespace web
