#pragma once

#include <QTcpServer>
#include <QTcpSocket>

namespace about_testing {

// A web site on the loopback address for the update check: each request gets
// the same reply, or none at all for a status below 0; for status 0 the port
// is given up at once. It runs on the test's
// own thread, served while the download waits in its event loop.
class LocalHttpServer : public QObject {
public:
    LocalHttpServer(int status, QByteArray body) : status_(status), body_(std::move(body)) {
        server_.listen(QHostAddress::LocalHost);
        port_ = server_.serverPort();
        if (status == 0) server_.close();
        connect(&server_, &QTcpServer::newConnection, this, [this] { accept(); });
    }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }
    const QByteArray& lastPath() const { return lastPath_; }

private:
    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                request_ += socket->readAll();
                if (!request_.contains("\r\n\r\n")) return;
                lastPath_ = request_.split(' ').value(1);
                request_.clear();
                if (status_ < 0) return;
                socket->write("HTTP/1.1 " + QByteArray::number(status_) +
                              (status_ == 200 ? " OK" : " Not Found") +
                              "\r\nContent-Length: " + QByteArray::number(body_.size()) +
                              "\r\nConnection: close\r\n\r\n" + body_);
                socket->disconnectFromHost();
            });
        }
    }

    QTcpServer server_;
    int status_;
    quint16 port_;
    QByteArray body_;
    QByteArray request_;
    QByteArray lastPath_;
};

} // namespace about_testing
