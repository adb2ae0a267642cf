#include "typing/WaylandClipboard.h"

#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace tarovex::typing {
namespace {

// The text types a pasting application may ask for.
const char* const kTextTypes[] = {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "TEXT", "STRING"};
// Bounds on keeping what another program put there: its answer, and its size per type.
constexpr int kReadTimeoutMs = 500;
constexpr qsizetype kMaxKeptBytes = 16 * 1024 * 1024;
// How long a caller waits for the clipboard's thread.
constexpr std::chrono::seconds kCallBound{2};

void writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // the reader went away
        done += n;
    }
}

} // namespace

struct WaylandClipboard::State {
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    zwlr_data_control_manager_v1* manager = nullptr;
    zwlr_data_control_device_v1* device = nullptr;
    // Offers announced, with their types; `current` is the selection's (null: empty).
    std::map<zwlr_data_control_offer_v1*, std::vector<std::string>> offers;
    zwlr_data_control_offer_v1* current = nullptr;
    // Our source while it is the selection, with what it serves.
    zwlr_data_control_source_v1* ours = nullptr;
    std::map<zwlr_data_control_source_v1*, Contents> served;
    std::optional<Contents> kept;

    int wake = -1;
    std::mutex mutex;
    std::deque<std::function<void()>> tasks;
    bool stopping = false;
    std::thread thread;

    void loop();
    void post(std::function<void()> task);
    template <typename F> auto call(F f) -> decltype(f());
    void roundtrip() {
        if (wl_display_roundtrip(display) < 0)
            throw std::runtime_error("The Wayland compositor ended the connection");
    }
    Contents contents();
    QByteArray read(zwlr_data_control_offer_v1* offer, const std::string& type);
    void offer(const Contents& contents);
};

namespace {

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    auto* s = static_cast<WaylandClipboard::State*>(data);
    const std::string_view i(interface);
    if (i == wl_seat_interface.name && !s->seat)
        s->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (i == zwlr_data_control_manager_v1_interface.name && !s->manager)
        s->manager = static_cast<zwlr_data_control_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
    (void)version;
}

void onGlobalRemove(void*, wl_registry*, uint32_t) {}

constexpr wl_registry_listener registryListener = {onGlobal, onGlobalRemove};

void onOfferType(void* data, zwlr_data_control_offer_v1* offer, const char* type) {
    auto* s = static_cast<WaylandClipboard::State*>(data);
    s->offers[offer].emplace_back(type);
}

constexpr zwlr_data_control_offer_v1_listener offerListener = {onOfferType};

void onDataOffer(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    auto* s = static_cast<WaylandClipboard::State*>(data);
    s->offers[offer];
    zwlr_data_control_offer_v1_add_listener(offer, &offerListener, s);
}

void onSelection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    auto* s = static_cast<WaylandClipboard::State*>(data);
    if (s->current && s->current != offer) {
        s->offers.erase(s->current);
        zwlr_data_control_offer_v1_destroy(s->current);
    }
    s->current = offer;
}

void onFinished(void* data, zwlr_data_control_device_v1*) {
    auto* s = static_cast<WaylandClipboard::State*>(data);
    zwlr_data_control_device_v1_destroy(s->device);
    s->device = nullptr;
}

constexpr zwlr_data_control_device_v1_listener deviceListener = {onDataOffer, onSelection, onFinished};

void onSend(void* data, zwlr_data_control_source_v1* source, const char* type, int32_t fd) {
    auto* s = static_cast<WaylandClipboard::State*>(data);
    const auto it = s->served.find(source);
    if (it != s->served.end())
        for (const auto& [t, bytes] : it->second)
            if (t == type) {
                writeAll(fd, bytes);
                break;
            }
    ::close(fd);
    // A reader that left early raised SIGPIPE for this thread, where it is blocked: consumed.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    const timespec none{};
    while (sigtimedwait(&pipe, nullptr, &none) > 0) {
    }
}

void onCancelled(void* data, zwlr_data_control_source_v1* source) {
    auto* s = static_cast<WaylandClipboard::State*>(data);
    if (s->ours == source)
        s->ours = nullptr;
    s->served.erase(source);
    zwlr_data_control_source_v1_destroy(source);
}

constexpr zwlr_data_control_source_v1_listener sourceListener = {onSend, onCancelled};

} // namespace

void WaylandClipboard::State::post(std::function<void()> task) {
    {
        const std::lock_guard lock(mutex);
        tasks.push_back(std::move(task));
    }
    const std::uint64_t one = 1;
    (void)!::write(wake, &one, sizeof one);
}

template <typename F> auto WaylandClipboard::State::call(F f) -> decltype(f()) {
    using R = decltype(f());
    auto promise = std::make_shared<std::promise<R>>();
    std::future<R> future = promise->get_future();
    post([promise, f]() mutable {
        try {
            if constexpr (std::is_void_v<R>) {
                f();
                promise->set_value();
            } else {
                promise->set_value(f());
            }
        } catch (...) {
            promise->set_exception(std::current_exception());
        }
    });
    if (future.wait_for(kCallBound) != std::future_status::ready)
        throw std::runtime_error("The Wayland clipboard did not answer");
    return future.get();
}

void WaylandClipboard::State::loop() {
    // Writing to a reader that went away must not end the process.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    for (;;) {
        std::deque<std::function<void()>> now;
        {
            const std::lock_guard lock(mutex);
            if (stopping)
                return;
            now.swap(tasks);
        }
        for (auto& task : now)
            task();
        while (wl_display_prepare_read(display) != 0)
            wl_display_dispatch_pending(display);
        wl_display_flush(display);
        pollfd fds[] = {{wl_display_get_fd(display), POLLIN, 0}, {wake, POLLIN, 0}};
        if (::poll(fds, 2, -1) > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            if (wl_display_read_events(display) < 0)
                return; // the compositor went away
        } else {
            wl_display_cancel_read(display);
        }
        wl_display_dispatch_pending(display);
        std::uint64_t count = 0;
        if (fds[1].revents & POLLIN)
            (void)!::read(wake, &count, sizeof count);
    }
}

QByteArray WaylandClipboard::State::read(zwlr_data_control_offer_v1* offer, const std::string& type) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {};
    zwlr_data_control_offer_v1_receive(offer, type.c_str(), fds[1]);
    ::close(fds[1]);
    wl_display_flush(display);
    QByteArray bytes;
    char buffer[65536];
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadTimeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        pollfd p{fds[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0)
            break;
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || bytes.size() + n > kMaxKeptBytes)
            break;
        bytes.append(buffer, n);
    }
    ::close(fds[0]);
    return bytes;
}

WaylandClipboard::Contents WaylandClipboard::State::contents() {
    if (ours)
        return served[ours];
    Contents c;
    if (!current)
        return c;
    for (const std::string& type : offers[current])
        c.emplace_back(type, read(current, type));
    return c;
}

void WaylandClipboard::State::offer(const Contents& contents) {
    zwlr_data_control_source_v1* source = zwlr_data_control_manager_v1_create_data_source(manager);
    zwlr_data_control_source_v1_add_listener(source, &sourceListener, this);
    for (const auto& [type, bytes] : contents)
        zwlr_data_control_source_v1_offer(source, type.c_str());
    served[source] = contents;
    zwlr_data_control_device_v1_set_selection(device, source);
    ours = source;
    roundtrip();
}

WaylandClipboard::WaylandClipboard(const std::string& display) : s_(std::make_unique<State>()) {
    s_->display = wl_display_connect(display.empty() ? nullptr : display.c_str());
    if (!s_->display)
        throw std::runtime_error("Cannot connect to the Wayland display");
    s_->registry = wl_display_get_registry(s_->display);
    wl_registry_add_listener(s_->registry, &registryListener, s_.get());
    s_->roundtrip();
    if (!s_->manager || !s_->seat) {
        if (s_->manager)
            zwlr_data_control_manager_v1_destroy(s_->manager);
        if (s_->seat)
            wl_seat_destroy(s_->seat);
        wl_registry_destroy(s_->registry);
        wl_display_disconnect(s_->display);
        throw std::runtime_error(s_->seat
                                     ? "The Wayland compositor offers no clipboard to programs without a "
                                       "window (its data-control protocol)"
                                     : "The Wayland compositor has no seat");
    }
    s_->device = zwlr_data_control_manager_v1_get_data_device(s_->manager, s_->seat);
    zwlr_data_control_device_v1_add_listener(s_->device, &deviceListener, s_.get());
    s_->roundtrip();
    s_->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    s_->thread = std::thread([s = s_.get()] { s->loop(); });
}

WaylandClipboard::~WaylandClipboard() {
    {
        const std::lock_guard lock(s_->mutex);
        s_->stopping = true;
    }
    const std::uint64_t one = 1;
    (void)!::write(s_->wake, &one, sizeof one);
    s_->thread.join();
    ::close(s_->wake);
    // Events read but not yet dispatched may announce offers: take them in, then let go of every
    // object the connection made for us. The selection we served goes with the connection.
    wl_display_dispatch_pending(s_->display);
    for (const auto& entry : s_->offers)
        zwlr_data_control_offer_v1_destroy(entry.first);
    for (const auto& entry : s_->served)
        zwlr_data_control_source_v1_destroy(entry.first);
    if (s_->device)
        zwlr_data_control_device_v1_destroy(s_->device);
    zwlr_data_control_manager_v1_destroy(s_->manager);
    wl_seat_destroy(s_->seat);
    wl_registry_destroy(s_->registry);
    wl_display_disconnect(s_->display);
}

void WaylandClipboard::put(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    s_->call([s = s_.get(), utf8] {
        s->roundtrip(); // the selection as it is now
        if (!s->device)
            throw std::runtime_error("The Wayland compositor took the clipboard away");
        s->kept = s->contents();
        Contents c;
        for (const char* type : kTextTypes)
            c.emplace_back(type, utf8);
        s->offer(c);
    });
}

void WaylandClipboard::restore() {
    s_->call([s = s_.get()] {
        if (!s->kept || !s->device)
            return;
        Contents c = *std::exchange(s->kept, std::nullopt);
        if (c.empty()) {
            zwlr_data_control_device_v1_set_selection(s->device, nullptr);
            s->roundtrip();
            return;
        }
        s->offer(c);
    });
}

std::optional<QString> WaylandClipboard::text() {
    return s_->call([s = s_.get()]() -> std::optional<QString> {
        s->roundtrip();
        const Contents c = s->contents();
        for (const char* type : kTextTypes)
            for (const auto& [t, bytes] : c)
                if (t == type)
                    return QString::fromUtf8(bytes);
        return std::nullopt;
    });
}

} // namespace tarovex::typing
