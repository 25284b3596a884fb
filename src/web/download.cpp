#include "web/download.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>
#include <sys/stat.h>

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

DownloadResult DownloadToFile(const std::string& url, const std::string& path, const DownloadOptions& options) {
    DownloadResult result;
    const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
    const QString scheme = address.scheme().toLower();
    if (!address.isValid() || address.host().isEmpty() || (scheme != "http" && scheme != "https")) {
        result.error = DownloadError::BadAddress;
        result.message = "not an HTTP address: " + url;
        return result;
    }
    if (!QCoreApplication::instance()) {
        result.error = DownloadError::Connection;
        result.message = "no event loop to download with";
        return result;
    }

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

    QNetworkAccessManager manager;
    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = manager.get(request);
    // What has not been written yet waits in the socket, not in memory.
    reply->setReadBufferSize(kReadBufferBytes);

    QEventLoop loop;
    QTimer stall;
    stall.setSingleShot(true);

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
        if (file.write(chunk) != chunk.size()) {
            fail(DownloadError::Write, path + ": " + file.errorString().toStdString());
            return;
        }
        result.bytes += static_cast<uint64_t>(chunk.size());
    };

    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] { stall.start(options.stallMs); });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        stall.start(options.stallMs);
        drain();
    });
    QObject::connect(&stall, &QTimer::timeout, &loop, [&] {
        fail(DownloadError::Stalled, "nothing received for " + std::to_string(options.stallMs) + " ms");
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);

    stall.start(options.stallMs);
    if (!reply->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    stall.stop();

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
        } else {
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
    }
    delete reply;
    if (result.error != DownloadError::None) result.bytes = 0;
    return result;
}

}  // namespace web
