#pragma once

#include "tarovex/update/RemoteFile.h"
#include "tarovex/update/UpdateWorkerView.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace tarovex::update {

class ReadRemoteUpdate;

// The background check for a newer published version: shows "checking" in the status
// line, downloads the version file, and ends with "update available", the ordinary status
// or "check failed". Runs once; never retries, downloads nothing else, installs nothing.
// Lives on the thread that owns it (which runs a Qt event loop) and never blocks it.
class UpdateWorker : public QObject {
    Q_OBJECT

public:
    // The status texts by key: "checking.for.update", "update.available",
    // "RazezaRoZurFrame2.statusJLabel.text", "update.check.failed".
    using Texts = std::function<QString(const char* key)>;

    UpdateWorker(UpdateWorkerView& view, QString location, QString localVersion, QString language,
                 Texts texts);
    ~UpdateWorker() override;

    void start();
    bool isDone() const { return done_; }
    // The parsed file, once the download succeeded.
    const ReadRemoteUpdate* result() const { return result_.get(); }
    // Why the check failed; the status line shows only that it did.
    const QString& failure() const { return failure_; }

signals:
    void finished();

private:
    void complete(const QString& status);

    UpdateWorkerView& view_;
    const QString location_;
    const QString localVersion_;
    const QString language_;
    Texts texts_;
    RemoteFile file_;
    std::unique_ptr<ReadRemoteUpdate> result_;
    QString failure_;
    bool started_ = false;
    bool done_ = false;
};

// Where the version file is published: "https://" + host + "/version.xml", with the host
// of this build (kept encoded in the program); none when the build has no host, and then
// no check is made at all.
std::optional<QString> updateLocation();
// The host is stored as the hex digits of its bytes, last byte first.
QString decodeHost(const char* encoded);

} // namespace tarovex::update
