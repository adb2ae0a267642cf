// `tarovex-console --detect` on real pseudo-terminals, and the word on a port the user may
// not open.
#include "tools/console/Detect.h"
#include "ProcessSupport.h"
#include "tests/OtherUserFiles.h"
#include "tests/Tarolink/TestSupport.h"
#include "tests/worker/WorkerTestSupport.h"

#include "Tarolink/PosixSerialDriver.h"
#include "Tarolink/PosixSyscalls.h"
#include "Tarolink/SerialPortLocal.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <sys/stat.h>

using tools_test::Process;

namespace {

const std::string kConsole = std::string(TAROVEX_BINARY_DIR) + "/tools/tarovex-console";

// A pseudo-terminal has no modem lines: this one is given a loopback cable's (DTR to DSR,
// RTS to CTS), everything else goes to the system.
class LoopbackCable : public Tarolink::PosixSyscalls {
public:
    explicit LoopbackCable(std::string path) : path_(std::move(path)) {}
    int open(const char* path, int flags) override {
        const int fd = PosixSyscalls::open(path, flags);
        if (fd >= 0 && path == path_)
            fd_ = fd;
        return fd;
    }
    int ioctl(int fd, unsigned long request, void* argument) override {
        if (fd != fd_ || (request != TIOCMGET && request != TIOCMBIS && request != TIOCMBIC))
            return PosixSyscalls::ioctl(fd, request, argument);
        int& bits = *static_cast<int*>(argument);
        if (request == TIOCMGET)
            bits = outputs_ | (outputs_ & TIOCM_DTR ? TIOCM_DSR : 0) | (outputs_ & TIOCM_RTS ? TIOCM_CTS : 0);
        else
            outputs_ = request == TIOCMBIS ? outputs_ | bits : outputs_ & ~bits;
        return 0;
    }

private:
    std::string path_;
    int fd_ = -1;
    int outputs_ = 0;
};

std::string drain(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, std::size_t(n));
    return text;
}

// Every line "HH:MM:SS text", as the console's log.
bool everyLineIsTimed(const std::string& log) {
    static const QRegularExpression timed(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d \\S"));
    const QStringList lines = QString::fromStdString(log).split('\n', Qt::SkipEmptyParts);
    return !lines.isEmpty() && std::all_of(lines.begin(), lines.end(),
                                           [](const QString& l) { return timed.match(l).hasMatch(); });
}

std::map<std::string, std::string> environment(const QTemporaryDir& home) {
    return {{"HOME", home.path().toStdString()}, {"PATH", "/usr/bin:/bin"}, {"LANG", "C.UTF-8"}};
}

} // namespace

TEST(Detect, ThePortWhoseLinesAnswerIsWrittenAloneAndTheMessagesAreTheLog) {
    worker_test::application();
    tarolink_test::PropertyGuard os{"TLK_OSNAME", "Linux"};
    tarolink_test::Pty quiet, cabled;
    LoopbackCable cable(cabled.slavePath());
    Tarolink::SerialPortLocal::installDriver(std::make_shared<Tarolink::PosixSerialDriver>(cable));
    int out[2], log[2];
    ASSERT_EQ(::pipe2(out, O_NONBLOCK), 0);
    ASSERT_EQ(::pipe2(log, O_NONBLOCK), 0);
    const int status = tarovex::console::detectPort(
        {QString::fromStdString(quiet.slavePath()), QString::fromStdString(cabled.slavePath())}, out[1],
        log[1], -1);
    Tarolink::SerialPortLocal::installDriver(std::make_shared<Tarolink::PosixSerialDriver>());
    ::close(out[1]);
    ::close(log[1]);
    const std::string written = drain(out[0]), messages = drain(log[0]);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(written, cabled.slavePath() + "\n");
    EXPECT_TRUE(everyLineIsTimed(messages)) << messages;
    for (const std::string& part : std::vector<std::string>{" Confidence: 0\n", " Confidence: 2\n",
                                                            " Best port: " + cabled.slavePath()})
        EXPECT_NE(messages.find(part), std::string::npos) << part << "\n" << messages;
}

TEST(Detect, NoAnsweringPortOrAStopSignalGivesStatusOneAndAnEmptyStandardOutput) {
    QTemporaryDir home;
    tarolink_test::Pty a, b;
    struct Case {
        int signal; // 0: runs to its end
        const char* inLog;
        const char* notInLog;
    };
    for (const Case c : {Case{0, "No instrument was found on any port.", "Reading stopped."},
                         Case{SIGTERM, "Reading stopped.", "Confidence:"},
                         Case{SIGINT, "Reading stopped.", "Confidence:"}}) {
        Process p(kConsole, {"--detect", a.slavePath(), b.slavePath()}, environment(home));
        if (c.signal) {
            ASSERT_TRUE(p.waitForError("Testing port " + a.slavePath())) << p.errorText();
            p.signal(c.signal);
        }
        EXPECT_EQ(p.wait(), 1) << c.signal;
        EXPECT_EQ(p.remainingOutput(), "") << c.signal;
        const std::string log = p.errorText();
        EXPECT_TRUE(everyLineIsTimed(log)) << log;
        EXPECT_NE(log.find(c.inLog), std::string::npos) << c.signal << "\n" << log;
        EXPECT_EQ(log.find(c.notInLog), std::string::npos) << c.signal << "\n" << log;
    }
}

// Run as root, the test drops to nobody for the program, so that the device refuses it as
// it refuses a user outside the device's group.
TEST(OpenFailureHint, APortOfAGroupTheUserIsNotInSaysHowToJoinIt) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to hand the device to the group dialout and to drop to nobody";
    QTemporaryDir home;
    ASSERT_EQ(::chmod(home.path().toLocal8Bit().constData(), 0755), 0);
    tarolink_test::Pty device;
    ASSERT_EQ(::chown(device.slavePath().c_str(), 0, 20 /* dialout */), 0);
    ASSERT_EQ(::chmod(device.slavePath().c_str(), 0660), 0);
    const std::string hint = "You may not open " + device.slavePath() +
                             ": it belongs to the group dialout, and you are not in that group. Join it with "
                             "\"sudo usermod -aG dialout $USER\", then log out and log in again.\n";
    tarovex_test::OtherUserFiles readable;
    const std::string console = readable.copy(kConsole);
    auto env = environment(home);
    env.merge(readable.sanitizerOptions());
    for (const std::vector<std::string>& args : {std::vector<std::string>{device.slavePath()},
                                                 std::vector<std::string>{"--detect", device.slavePath()}}) {
        std::vector<std::string> asNobody{"--reuid=65534", "--regid=65534", "--clear-groups", console};
        asNobody.insert(asNobody.end(), args.begin(), args.end());
        Process p("/usr/bin/setpriv", asNobody, env);
        EXPECT_EQ(p.wait(), 1) << args.size();
        const std::string log = p.errorText();
        const auto denied = log.find("SerOpenPort failed: Permission denied");
        ASSERT_NE(denied, std::string::npos) << log;
        EXPECT_NE(log.find(hint, denied), std::string::npos) << log;
    }
}
