#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

namespace about_testing {

// A web site on the loopback address for the update check: each request gets
// the same reply, or none at all when the server is told to stay silent. It
// runs on the test's own thread, served while the download waits in its
// event loop, and stops with the object.
class LocalHttpServer : public QObject {
public:
    LocalHttpServer() {
        listening_ = server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] { accept(); });
    }

    bool listening() const { return listening_; }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()); }

    void reply(int status, QByteArray body) {
        status_ = status;
        body_ = std::move(body);
    }
    void staySilent() { silent_ = true; }

    int requests() const { return requests_; }
    const QByteArray& lastPath() const { return lastPath_; }

private:
    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            socket->setParent(this);
            auto request = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket, request] {
                request->append(socket->readAll());
                if (!request->contains("\r\n\r\n")) return;
                ++requests_;
                lastPath_ = request->split(' ').value(1);
                request->clear();
                if (silent_) return;
                QByteArray head = "HTTP/1.1 " + QByteArray::number(status_) +
                                  (status_ == 200 ? " OK" : " Not Found") +
                                  "\r\nContent-Length: " + QByteArray::number(body_.size()) +
                                  "\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n";
                socket->write(head);
                socket->write(body_);
                socket->disconnectFromHost();
            });
        }
    }

    QTcpServer server_;
    bool listening_ = false;
    bool silent_ = false;
    int status_ = 200;
    QByteArray body_;
    int requests_ = 0;
    QByteArray lastPath_;
};

} // namespace about_testing
