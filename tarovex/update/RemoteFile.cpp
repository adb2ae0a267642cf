#include "tarovex/update/RemoteFile.h"

#include <QNetworkReply>
#include <QNetworkRequest>

namespace tarovex::update {

RemoteFile::RemoteFile(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    // A time-out aborts the request; the abort's own report is then ignored.
    connect(&timer_, &QTimer::timeout, this, [this] { fail(QStringLiteral("Timeout")); });
}

void RemoteFile::get(const QUrl& location) {
    if (location.scheme() != QLatin1String("https")) {
        QMetaObject::invokeMethod(
            this, [this, location] { fail(QStringLiteral("Not an https address: ") + location.toString()); },
            Qt::QueuedConnection);
        return;
    }
    QNetworkRequest request(location);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    reply_ = manager_.get(request);
    timer_.start(kConnectTimeoutMs);
    // Once connected and asked, the whole answer must follow in time.
    connect(reply_, &QNetworkReply::requestSent, this, [this] {
        if (!ended_)
            timer_.start(kReadTimeoutMs);
    });
    connect(reply_, &QNetworkReply::readyRead, this, [this] {
        body_ += reply_->readAll();
        if (body_.size() > kMaxBytes)
            fail(QStringLiteral("The version file is larger than %1 bytes").arg(kMaxBytes));
    });
    connect(reply_, &QNetworkReply::finished, this, &RemoteFile::finish);
}

void RemoteFile::fail(const QString& message) {
    if (ended_)
        return;
    ended_ = true;
    timer_.stop();
    if (reply_) {
        reply_->abort();
        reply_->deleteLater();
    }
    emit failed(message);
}

void RemoteFile::finish() {
    if (ended_)
        return;
    if (reply_->error() != QNetworkReply::NoError) {
        fail(reply_->errorString());
        return;
    }
    const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 200) {
        fail(QStringLiteral("HTTP status %1").arg(status));
        return;
    }
    body_ += reply_->readAll();
    if (body_.size() > kMaxBytes) {
        fail(QStringLiteral("The version file is larger than %1 bytes").arg(kMaxBytes));
        return;
    }
    ended_ = true;
    timer_.stop();
    reply_->deleteLater();
    // Lines joined into one text, as the file is read line by line.
    QString text = QString::fromUtf8(body_);
    text.remove(u'\r');
    text.remove(u'\n');
    emit downloaded(text);
}

} // namespace tarovex::update
