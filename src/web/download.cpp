#include "web/download.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <system_error>

namespace web {

namespace {

constexpr qint64 kReadBufferBytes = 2 << 20;

bool Success(int status) { return status >= 200 && status <= 299; }

int StatusOf(const QNetworkReply* reply) {
    const QVariant v = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return v.isValid() ? v.toInt() : 0;
}

}  // namespace

// One transfer: the body goes chunk by chunk to `write`, which returns false (and
// the reason) when it cannot store a chunk.
class DownloadRun {
public:
    using Sink = std::function<bool(const QByteArray& chunk, std::string& error)>;

    static DownloadResult Transfer(const std::string& url, const DownloadOptions& options, const Sink& write);
    // The address as a download takes it; BadAddress otherwise.
    static DownloadResult Check(const std::string& url, QUrl& address);
};

DownloadResult DownloadRun::Check(const std::string& url, QUrl& address) {
    DownloadResult result;
    address = QUrl(QString::fromStdString(url), QUrl::StrictMode);
    const QString scheme = address.scheme().toLower();
    if (!address.isValid() || address.host().isEmpty() || (scheme != "http" && scheme != "https")) {
        result.error = DownloadError::BadAddress;
        result.message = "not an HTTP address: " + url;
    } else if (!QCoreApplication::instance()) {
        result.error = DownloadError::Connection;
        result.message = "no event loop to download with";
    }
    return result;
}

DownloadResult DownloadRun::Transfer(const std::string& url, const DownloadOptions& options, const Sink& write) {
    QUrl address;
    DownloadResult result = Check(url, address);
    if (!result.Ok()) return result;
    if (options.cancel && options.cancel->Requested()) {
        result.error = DownloadError::Cancelled;
        result.message = "cancelled";
        return result;
    }

    QNetworkAccessManager manager;
    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = manager.get(request);
    // What has not been written yet waits in the socket, not in memory.
    reply->setReadBufferSize(kReadBufferBytes);

    QEventLoop loop;
    QTimer stall, deadline;
    stall.setSingleShot(true);
    deadline.setSingleShot(true);
    QElapsedTimer clock;
    clock.start();

    auto fail = [&](DownloadError error, std::string message) {
        if (result.error != DownloadError::None) return;
        result.error = error;
        result.message = std::move(message);
        // Not from inside the reply's own signal: Qt may be reporting its error then.
        QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
    };
    auto drain = [&] {
        if (result.error != DownloadError::None) return;
        const int status = StatusOf(reply);
        if (status != 0 && !Success(status)) {
            result.httpStatus = status;
            fail(DownloadError::HttpStatus, "the server answered " + std::to_string(status));
            return;
        }
        const QByteArray chunk = reply->readAll();
        if (chunk.isEmpty()) return;
        if (result.bytes + static_cast<uint64_t>(chunk.size()) > options.maxBytes) {
            fail(DownloadError::TooLarge, "more than " + std::to_string(options.maxBytes) + " bytes");
            return;
        }
        std::string error;
        if (!write(chunk, error)) {
            fail(DownloadError::Write, error);
            return;
        }
        result.bytes += static_cast<uint64_t>(chunk.size());
    };
    // The announced length: refused at once when over the limit, and the time it
    // may take at the slowest acceptable rate.
    auto announced = [&] {
        bool known = false;
        const qulonglong length = reply->header(QNetworkRequest::ContentLengthHeader).toULongLong(&known);
        if (!known) return;
        if (length > options.maxBytes) {
            fail(DownloadError::TooLarge, "more than " + std::to_string(options.maxBytes) + " bytes announced");
            return;
        }
        if (options.deadlineMs <= 0 || options.minBytesPerSecond == 0) return;
        const uint64_t wantMs = length * 1000 / options.minBytesPerSecond;
        if (wantMs <= static_cast<uint64_t>(options.deadlineMs)) return;
        const uint64_t left = wantMs - std::min<uint64_t>(wantMs, static_cast<uint64_t>(clock.elapsed()));
        deadline.start(static_cast<int>(std::clamp<uint64_t>(left, 1, INT_MAX)));
    };

    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
        stall.start(options.stallMs);
        announced();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        stall.start(options.stallMs);
        drain();
    });
    QObject::connect(&stall, &QTimer::timeout, &loop, [&] {
        fail(DownloadError::Stalled, "nothing received for " + std::to_string(options.stallMs) + " ms");
    });
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        fail(DownloadError::TimedOut, "not complete after " + std::to_string(clock.elapsed()) + " ms");
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (options.cancel) options.cancel->onCancel_ = [&] { fail(DownloadError::Cancelled, "cancelled"); };

    stall.start(options.stallMs);
    if (options.deadlineMs > 0) deadline.start(options.deadlineMs);
    if (!reply->isFinished())
        loop.exec(options.userInput ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    stall.stop();
    deadline.stop();
    if (options.cancel) options.cancel->onCancel_ = nullptr;

    drain();
    if (result.error == DownloadError::None) {
        const int status = StatusOf(reply);
        result.httpStatus = status;
        if (status != 0 && !Success(status)) {
            result.error = DownloadError::HttpStatus;
            result.message = "the server answered " + std::to_string(status);
        } else if (reply->error() != QNetworkReply::NoError) {
            result.error = DownloadError::Connection;
            result.message = reply->errorString().toStdString();
        } else if (status == 0) {
            result.error = DownloadError::Connection;
            result.message = "no answer from the server";
        }
    }
    delete reply;
    return result;
}

DownloadResult DownloadToFile(const std::string& url, const std::string& path, const DownloadOptions& options) {
    QUrl address;
    DownloadResult result = DownloadRun::Check(url, address);
    if (!result.Ok()) return result;

    // The body goes to a temporary file beside the target, renamed over it when
    // complete; left uncommitted, it is removed. No flush to the disk: the file
    // is unpacked or read at once and deleted, and a 100 MB sync costs seconds.
    QTemporaryFile file(QString::fromStdString(path) + ".XXXXXX");
    if (!file.open()) {
        result.error = DownloadError::Write;
        result.message = path + ": " + file.errorString().toStdString();
        return result;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(file.handle(), 0666 & ~mask);

    result = DownloadRun::Transfer(url, options, [&](const QByteArray& chunk, std::string& error) {
        if (file.write(chunk) == chunk.size()) return true;
        error = path + ": " + file.errorString().toStdString();
        return false;
    });
    if (result.Ok()) {
        std::error_code ec;
        if (!file.flush()) {
            result.error = DownloadError::Write;
            result.message = path + ": " + file.errorString().toStdString();
        } else if (file.close(), std::filesystem::rename(file.fileName().toStdString(), path, ec), ec) {
            result.error = DownloadError::Write;
            result.message = path + ": " + ec.message();
        } else {
            file.setAutoRemove(false);
        }
    }
    if (!result.Ok()) result.bytes = 0;
    return result;
}

DownloadResult DownloadToMemory(const std::string& url, std::string& body, const DownloadOptions& options) {
    body.clear();
    DownloadResult result = DownloadRun::Transfer(url, options, [&](const QByteArray& chunk, std::string&) {
        body.append(chunk.constData(), static_cast<size_t>(chunk.size()));
        return true;
    });
    if (!result.Ok()) {
        body.clear();
        result.bytes = 0;
    }
    return result;
}

}  // namespace web
