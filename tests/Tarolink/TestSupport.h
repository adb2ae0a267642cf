#pragma once

#include "Tarolink/SystemProperties.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarolink_test {

// Sets a property for the life of the guard and puts the old value back afterwards.
class PropertyGuard {
public:
    PropertyGuard(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
        old_ = Tarolink::SystemProperties::get(name_);
        if (value)
            Tarolink::SystemProperties::set(name_, *value);
        else
            Tarolink::SystemProperties::clear(name_);
    }
    ~PropertyGuard() {
        if (old_)
            Tarolink::SystemProperties::set(name_, *old_);
        else
            Tarolink::SystemProperties::clear(name_);
    }
    PropertyGuard(const PropertyGuard&) = delete;
    PropertyGuard& operator=(const PropertyGuard&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// A real pseudo-terminal: the test plays the instrument on the master side, the port
// under test opens the slave path.
class Pty {
public:
    Pty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            throw std::runtime_error("no pseudo-terminal");
        slave_ = ::ptsname(master_);
    }
    ~Pty() { closeMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& slavePath() const { return slave_; }
    int master() const { return master_; }

    void write(const std::vector<std::uint8_t>& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n < 0)
                throw std::runtime_error("write to master failed");
            done += static_cast<std::size_t>(n);
        }
    }
    void write(const std::string& text) { write(std::vector<std::uint8_t>(text.begin(), text.end())); }

    // Reads from the master until `count` bytes came or `timeoutMs` passed without any.
    std::vector<std::uint8_t> read(std::size_t count, int timeoutMs = 5000) {
        std::vector<std::uint8_t> out;
        while (out.size() < count) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0)
                break;
            std::uint8_t buf[256];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0)
                break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }

    void closeMaster() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    std::string slave_;
};

// Runs `f` and returns the text of the exception of type E it throws ("" when none).
template <typename E, typename F> std::string errorText(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "";
}

} // namespace tarolink_test
