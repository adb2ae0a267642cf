#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QTimer>
#include <QUrl>

namespace tarovex::update {

// Downloads one small text file over HTTPS, without blocking the thread that owns it.
// Certificates are always verified; only https locations are fetched and no redirect may
// lead to a less safe one. Connecting and the whole read each have a time limit, and a body
// larger than the limit is refused, so a hostile or stuck server cannot hold the program.
class RemoteFile : public QObject {
    Q_OBJECT

public:
    static constexpr int kConnectTimeoutMs = 5000;
    static constexpr int kReadTimeoutMs = 5000;
    static constexpr qint64 kMaxBytes = 64 * 1024;

    explicit RemoteFile(QObject* parent = nullptr);

    // Starts the download; exactly one of the signals follows, later, on this thread.
    void get(const QUrl& location);

signals:
    void downloaded(const QString& content);
    void failed(const QString& message);

private:
    void fail(const QString& message);
    void finish();

    QNetworkAccessManager manager_;
    QTimer timer_;
    QNetworkReply* reply_ = nullptr;
    QByteArray body_;
    bool ended_ = false;
};

} // namespace tarovex::update
