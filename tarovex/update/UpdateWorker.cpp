#include "tarovex/update/UpdateWorker.h"

#include "tarovex/update/ReadRemoteUpdate.h"

#include <QByteArray>

#ifndef TAROVEX_UPDATE_HOST_ENCODED
#define TAROVEX_UPDATE_HOST_ENCODED ""
#endif

namespace tarovex::update {

UpdateWorker::UpdateWorker(UpdateWorkerView& view, QString location, QString localVersion, QString language,
                           Texts texts)
    : view_(view), location_(std::move(location)), localVersion_(std::move(localVersion)),
      language_(std::move(language)), texts_(std::move(texts)) {
    connect(&file_, &RemoteFile::downloaded, this, [this](const QString& content) {
        result_ = std::make_unique<ReadRemoteUpdate>(location_, content, localVersion_, language_);
        complete(texts_(result_->isNewer() ? "update.available" : "RazezaRoZurFrame2.statusJLabel.text"));
    });
    connect(&file_, &RemoteFile::failed, this, [this](const QString& why) {
        failure_ = why;
        complete(texts_("update.check.failed"));
    });
}

UpdateWorker::~UpdateWorker() = default;

void UpdateWorker::start() {
    if (started_)
        return;
    started_ = true;
    view_.setStatus(texts_("checking.for.update"));
    file_.get(QUrl(location_));
}

void UpdateWorker::complete(const QString& status) {
    done_ = true;
    view_.setStatus(status);
    emit finished();
}

QString decodeHost(const char* encoded) {
    QByteArray bytes = QByteArray::fromHex(QByteArray(encoded));
    std::reverse(bytes.begin(), bytes.end());
    return QString::fromUtf8(bytes);
}

std::optional<QString> updateLocation() {
    const QString host = decodeHost(TAROVEX_UPDATE_HOST_ENCODED);
    if (host.isEmpty())
        return std::nullopt;
    return QStringLiteral("https://") + host + QStringLiteral("/version.xml");
}

} // namespace tarovex::update
