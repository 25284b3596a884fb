#pragma once
// Loopback HTTP servers for the download and update tests: Python's http.server
// serving a folder (an implementation independent of ours), a server that takes
// connections and never answers, one that announces more bytes than it sends, and
// one that serves a folder but trickles chosen files a few bytes at a time.
#include <QByteArray>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/test_util.h"

namespace testutil {

// Bytes to serve that do not compress (a zip of them is as large as they are).
inline std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(gen());
    return s;
}

class PythonHttpServer {
public:
    explicit PythonHttpServer(const std::string& folder) {
        process_.setStandardErrorFile(QProcess::nullDevice());
        process_.start("/usr/bin/python3", {"-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory",
                                            QString::fromStdString(folder)});
        if (!process_.waitForStarted(10000)) return;
        // "Serving HTTP on 127.0.0.1 port 40123 (http://127.0.0.1:40123/) ..."
        QByteArray line;
        while (!line.contains('\n') && process_.waitForReadyRead(10000)) line += process_.readAllStandardOutput();
        const int at = line.indexOf("port ");
        if (at < 0) return;
        const int end = line.indexOf(' ', at + 5);
        port_ = line.mid(at + 5, end - at - 5).toInt();
    }
    ~PythonHttpServer() {
        process_.kill();
        process_.waitForFinished(5000);
    }
    bool Ok() const { return port_ > 0; }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
    std::string Url(const std::string& name) const { return Base() + name; }

private:
    QProcess process_;
    int port_ = 0;
};

// Takes every connection, reads the request, and answers with `answer` (nothing
// when empty), then closes the connection when `close` is set.
class ScriptedHttpServer {
public:
    explicit ScriptedHttpServer(QByteArray answer = {}, bool close = false) : answer_(std::move(answer)), close_(close) {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                sockets_.push_back(s);
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    s->readAll();
                    if (answer_.isEmpty() || s->property("answered").toBool()) return;
                    s->setProperty("answered", true);
                    s->write(answer_);
                    s->flush();
                    if (close_) s->disconnectFromHost();
                });
            }
        });
    }
    std::string Url(const std::string& name) const {
        return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + "/" + name;
    }

private:
    QTcpServer server_;
    QByteArray answer_;
    bool close_;
    std::vector<QTcpSocket*> sockets_;  // owned by the server
};

// Serves the files of a folder (200 with the length, or 404; a query is not part
// of the name) in the test's own thread. The files named in `trickle` are sent `bytesPerTick` bytes every
// `tickMs` ms after their headers, the whole length announced.
class TricklingSite {
public:
    TricklingSite(std::string folder, std::set<std::string> trickle, int tickMs = 100, int bytesPerTick = 1)
        : folder_(std::move(folder)), trickle_(std::move(trickle)), tickMs_(tickMs), bytesPerTick_(bytesPerTick) {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] { Answer(s); });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + "/"; }
    // Names asked for, in order.
    const std::vector<std::string>& Requests() const { return requests_; }

private:
    void Answer(QTcpSocket* s) {
        QByteArray request = s->property("request").toByteArray() + s->readAll();
        s->setProperty("request", request);
        if (!request.contains("\r\n\r\n") || s->property("answered").toBool()) return;
        s->setProperty("answered", true);
        const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
        std::string name = words.size() > 1 ? words[1].mid(1).toStdString() : std::string();
        requests_.push_back(name);
        name = name.substr(0, name.find('?'));
        const std::string path = folder_ + "/" + name;
        if (name.empty() || name.find("..") != std::string::npos || !FileExists(path)) {
            s->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            s->disconnectFromHost();
            return;
        }
        const QByteArray body = QByteArray::fromStdString(ReadAll(path));
        s->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) +
                 "\r\nConnection: close\r\n\r\n");
        if (!trickle_.count(name)) {
            s->write(body);
            s->disconnectFromHost();
            return;
        }
        auto* timer = new QTimer(s);
        auto sent = std::make_shared<qsizetype>(0);
        QObject::connect(timer, &QTimer::timeout, s, [this, s, timer, body, sent] {
            s->write(body.mid(*sent, bytesPerTick_));
            *sent += bytesPerTick_;
            if (*sent >= body.size()) {
                timer->stop();
                s->disconnectFromHost();
            }
        });
        timer->start(tickMs_);
    }
    static bool FileExists(const std::string& path) {
        QFileInfo info(QString::fromStdString(path));
        return info.isFile();
    }

    QTcpServer server_;
    std::string folder_;
    std::set<std::string> trickle_;
    int tickMs_, bytesPerTick_;
    std::vector<std::string> requests_;
};

}  // namespace testutil
