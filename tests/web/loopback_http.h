#pragma once
// Loopback HTTP servers for the download and update tests: Python's http.server
// serving a folder (an implementation independent of ours), a server that takes
// connections and never answers, and one that announces more bytes than it sends.
#include <QByteArray>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>
#include <string>
#include <vector>

namespace testutil {

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

}  // namespace testutil
