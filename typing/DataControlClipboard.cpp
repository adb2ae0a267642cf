#include "typing/DataControlClipboard.h"

#ifdef TAROVEX_WAYLAND
#include "typing/WaylandClipboard.h"
#endif

#include <stdexcept>

namespace tarovex::typing {

#ifdef TAROVEX_WAYLAND

DataControlClipboard::DataControlClipboard(const std::string& display) {
    try {
        clipboard_ = std::make_unique<WaylandClipboard>(display);
    } catch (const std::runtime_error& e) {
        why_ = QString::fromUtf8(e.what());
    }
}

std::optional<QString> DataControlClipboard::put(const QString& text) {
    if (why_)
        return why_;
    try {
        clipboard_->put(text);
        return std::nullopt;
    } catch (const std::runtime_error& e) {
        // The put may still land: what it replaced comes back right after it.
        restore();
        return QString::fromUtf8(e.what());
    }
}

void DataControlClipboard::restore() {
    if (!clipboard_)
        return;
    try {
        clipboard_->restore();
    } catch (const std::runtime_error&) {
        // Nothing to give back to a compositor that went away.
    }
}

#else

class WaylandClipboard {};

DataControlClipboard::DataControlClipboard(const std::string&)
    : why_(QStringLiteral("This build has no Wayland support")) {}

std::optional<QString> DataControlClipboard::put(const QString&) {
    return why_;
}

void DataControlClipboard::restore() {}

#endif

DataControlClipboard::~DataControlClipboard() = default;

std::optional<QString> DataControlClipboard::unavailableOn(const std::string& display) {
    return DataControlClipboard(display).unavailable();
}

} // namespace tarovex::typing
