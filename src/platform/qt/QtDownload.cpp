#include "platform/qt/QtDownload.h"

#include "platform/qt/QtText.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>

namespace platform {

DownloadResult QtDownload::toFile(std::u16string_view url, std::u16string_view path) {
    const QUrl address(toQString(url));
    if (!address.isValid() || address.scheme().isEmpty())
        return {false, u"The address " + std::u16string(url) + u" is not valid."};

    // The old file stays whole until the new one has arrived completely.
    QSaveFile file(toQString(path));
    if (!file.open(QIODevice::WriteOnly))
        return {false, u"The file " + std::u16string(path) + u" cannot be written: " +
                           fromQString(file.errorString()) + u"."};

    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    QNetworkReply* reply = network_.get(request);

    std::u16string error;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, [&] {
        error = u"The web site did not answer within " +
                QString::number(limit_.count() / 1000.0).toStdU16String() + u" seconds.";
        reply->abort();
    });
    // Written as it comes, so a large body never sits in memory.
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        const QByteArray chunk = reply->readAll();
        if (!error.empty()) return;
        if (file.size() + chunk.size() > maxBytes_) {
            error = u"The file on the web site is larger than expected.";
            reply->abort();
            return;
        }
        if (file.write(chunk) != chunk.size()) {
            error = u"The file " + std::u16string(path) + u" cannot be written: " +
                    fromQString(file.errorString()) + u".";
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    limit.start(limit_);
    if (!reply->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    limit.stop();

    if (error.empty() && reply->error() != QNetworkReply::NoError)
        error = fromQString(reply->errorString());
    if (error.empty()) {
        const QByteArray rest = reply->readAll();
        if (file.size() + rest.size() > maxBytes_)
            error = u"The file on the web site is larger than expected.";
        else if (file.write(rest) != rest.size())
            error = u"The file " + std::u16string(path) + u" cannot be written.";
    }
    reply->deleteLater();
    if (!error.empty()) {
        file.cancelWriting();
        return {false, error};
    }
    if (!file.commit())
        return {false, u"The file " + std::u16string(path) + u" cannot be written: " +
                           fromQString(file.errorString()) + u"."};
    return {true, {}};
}

} // namespace platform
