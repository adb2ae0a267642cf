// The update check: version comparison and parsing as tables, the download against a local
// HTTPS server with certificates made by a test authority at test time.
#include "tarovex/update/ReadRemoteUpdate.h"
#include "tarovex/update/UpdateWorker.h"
#include "tarovex/update/VersionCompare.h"
#include "tests/worker/WorkerTestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarovex::update;

TEST(UpdateCheck, VersionComparison) {
    const struct {
        const char* remote;
        const char* local;
        bool newer;
    } rows[] = {
        {"2017.1.3.10", "2017.1.3.2", true}, // fields are numbers, not text
        {"2017.1.4", "2017.1.3.2", true},
        {"2017.1.3.2", "2017.1.4", false},
        {"2.5", "2.4", true},
        {"2.10", "2.9", false}, // two fields are one decimal number
        {"2017.1.3.2", "2017.1.3.2", false},
        {"2017.01.3.2", "2017.1.3.2", false},  // leading zeros do not count
        {"2017.1.3.2.1", "2017.1.3.2", false}, // all common fields equal
        {"2018.1.1.1", "3.5", true},           // a four-field version beats a decimal one
        {"3", "2017.1.3.2", false},            // as decimals: 3 < 2017.1... is not a number
        {"", "2017.1.3.2", false},
        {"2017.1.3.2", "", false},
        {"2017.x.3.2", "2017.1.3.2", false}, // an unreadable field never announces an update
        {"abc", "1.0", false},
        {"99999999999999999999999.1.1.1", "2017.1.3.2", true},
    };
    for (const auto& r : rows)
        EXPECT_EQ(isNewerVersion(r.remote, r.local), r.newer) << r.remote << " vs " << r.local;
}

TEST(UpdateCheck, ElementsAreFoundAsPlainText) {
    const struct {
        const char* content;
        const char* language;
        const char* version;
        const char* date; // "" for none
    } rows[] = {
        {"<x><version2_en>2017.1.3.2</version2_en><date_en>20170810</date_en></x>", "en", "2017.1.3.2",
         "2017-08-10"},
        {"<version2>1.2.3.4</version2><date>20170810</date>", "", "1.2.3.4", "2017-08-10"},
        {"<version2_de>1.2.3.4</version2_de>", "en", "", ""},
        {"</version2_en><version2_en>1.2.3.4", "en", "", ""}, // closing tag first
        {"<version2_en>1.2.3.4</version2_en><date_en>2017-08-10</date_en>", "en", "1.2.3.4", ""},
        {"<version2_en>1</version2_en><date_en>20171340</date_en>", "en", "1", ""},
    };
    for (const auto& r : rows) {
        const ReadRemoteUpdate u("https://h/version.xml", r.content, "2017.1.3.2", r.language);
        EXPECT_EQ(u.remoteVersion(), r.version) << r.content;
        EXPECT_EQ(u.remoteReleaseDate() ? u.remoteReleaseDate()->toString(Qt::ISODate) : QString(), r.date)
            << r.content;
    }
}

TEST(UpdateCheck, TheHostIsKeptEncoded) {
    EXPECT_EQ(decodeHost("67726f2e656c706d617865"), "example.org");
    EXPECT_EQ(decodeHost(""), "");
}

namespace {

bool run(const char* command, const QString& dir) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start("/bin/sh", {"-c", command});
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

// A test authority, a server certificate it signed for 127.0.0.1, and a self-signed one
// that nobody trusts.
struct Certificates {
    Certificates() {
        const QString d = dir.path();
        ok = run(
            "openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj /CN=TestCA "
            "2>/dev/null && "
            "openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj /CN=127.0.0.1 "
            "2>/dev/null && "
            "printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\\n' > san.ext && "
            "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem "
            "-days 2 -extfile san.ext 2>/dev/null && "
            "openssl req -x509 -newkey rsa:2048 -nodes -keyout rogue.key -out rogue.pem -days 2 "
            "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 2>/dev/null",
            d);
    }
    QSslCertificate cert(const char* name) const {
        QFile f(dir.filePath(name));
        f.open(QIODevice::ReadOnly);
        return QSslCertificate(f.readAll());
    }
    QSslKey key(const char* name) const {
        QFile f(dir.filePath(name));
        f.open(QIODevice::ReadOnly);
        return QSslKey(f.readAll(), QSsl::Rsa);
    }
    QTemporaryDir dir;
    bool ok = false;
};

const Certificates& certificates() {
    static Certificates c;
    return c;
}

// Answers every request with `response` (raw HTTP), or never when it is empty.
class LocalServer {
public:
    LocalServer(const QByteArray& response, bool rogue = false) : response_(response) {
        const Certificates& c = certificates();
        QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
        conf.setLocalCertificate(c.cert(rogue ? "rogue.pem" : "server.pem"));
        conf.setPrivateKey(c.key(rogue ? "rogue.key" : "server.key"));
        server_.setSslConfiguration(conf);
        QObject::connect(&server_, &QTcpServer::pendingConnectionAvailable, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                QObject::connect(s, &QIODevice::readyRead, s, [this, s] {
                    request_ += s->readAll();
                    if (request_.contains("\r\n\r\n") && !response_.isEmpty()) {
                        s->write(response_);
                        s->flush();
                        static_cast<QSslSocket*>(s)->disconnectFromHost();
                    }
                });
            }
        });
        server_.listen(QHostAddress::LocalHost, 0);
    }
    QString location(const char* scheme = "https") const {
        return QStringLiteral("%1://127.0.0.1:%2/version.xml").arg(scheme).arg(server_.serverPort());
    }

private:
    QSslServer server_;
    QByteArray response_;
    QByteArray request_;
};

QByteArray ok(const QByteArray& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

struct StatusLine : UpdateWorkerView {
    void setStatus(const QString& text) override { texts << text; }
    QStringList texts;
};

// The status texts the check showed, by key, and why it failed.
QStringList check(const QString& location, const QString& language = "en", QString* failure = nullptr) {
    worker_test::application();
    StatusLine status;
    UpdateWorker worker(status, location, "2017.1.3.2", language,
                        [](const char* key) { return QString(key); });
    worker.start();
    const QDeadlineTimer deadline(20000);
    while (!worker.isDone() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(worker.isDone());
    if (failure)
        *failure = worker.failure();
    return status.texts;
}

class UpdateCheckServer : public ::testing::Test {
protected:
    void SetUp() override {
        worker_test::application();
        ASSERT_TRUE(certificates().ok) << "openssl could not make the test certificates";
        QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
        conf.setCaCertificates({certificates().cert("ca.pem")});
        QSslConfiguration::setDefaultConfiguration(conf);
    }
    const QString checking = "checking.for.update";
    const QString ordinary = "RazezaRoZurFrame2.statusJLabel.text";
    const QString failed = "update.check.failed";
};

} // namespace

TEST_F(UpdateCheckServer, TheStatusFollowsThePublishedVersion) {
    const struct {
        QByteArray body;
        const char* language;
        const char* status;
    } rows[] = {
        {"<v><version2_en>2017.1.3.10</version2_en></v>\n", "en", "update.available"},
        {"<version2_en>2017.1.3.2</version2_en>", "en", "RazezaRoZurFrame2.statusJLabel.text"},
        {"<version2_en>2016.9.9.9</version2_en>", "en", "RazezaRoZurFrame2.statusJLabel.text"},
        {"<version2_de>2099.1.1.1</version2_de>", "en", "RazezaRoZurFrame2.statusJLabel.text"},
        {"<version2>2099.1.1.1</version2>", "", "update.available"},
    };
    for (const auto& r : rows) {
        LocalServer server(ok(r.body));
        EXPECT_EQ(check(server.location(), r.language), QStringList({checking, r.status})) << r.body.data();
    }
}

TEST_F(UpdateCheckServer, FailuresShowCheckFailed) {
    const struct {
        QByteArray response;
        bool rogue;
        const char* scheme;
        const char* why;
    } rows[] = {
        {ok(QByteArray(RemoteFile::kMaxBytes + 1, 'x')), false, "https", "larger than 65536 bytes"},
        {ok("<version2_en>2099.1.1.1</version2_en>"), false, "http", "Not an https address"},
        {ok("<version2_en>2099.1.1.1</version2_en>"), true, "https", "certificate"},
        {"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", false, "https",
         "Not Found"},
        {"HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n", false, "https", "HTTP status 204"},
        {"", false, "https", "Timeout"},
    };
    for (const auto& r : rows) {
        LocalServer server(r.response, r.rogue);
        QString why;
        EXPECT_EQ(check(server.location(r.scheme), "en", &why), QStringList({checking, failed})) << r.why;
        EXPECT_TRUE(why.contains(r.why, Qt::CaseInsensitive)) << why.toStdString();
    }
    EXPECT_EQ(check("https://127.0.0.1:1/version.xml"), QStringList({checking, failed})) << "nobody listens";
}
