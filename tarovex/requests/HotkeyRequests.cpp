#include "tarovex/requests/HotkeyRequests.h"

#include "tarovex/requests/Requester.h"
#include "tarovex/run/RunController.h"
#include "tarovex/station/Round.h"
#include "tarovex/texts/ShellBundle.h"

#include <exception>
#include <utility>

namespace tarovex {

HotkeyRequests::HotkeyRequests(RunController& run, Requester& requester, Factory make, QObject* parent)
    : QObject(parent), run_(run), requester_(requester), make_(std::move(make)) {
    run_.addConsumer(this);
}

void HotkeyRequests::runStarted(const config::Config& config) {
    const auto hotkey = config::parseHotkey(config.getRequestHotkey());
    if (!hotkey)
        return;
    const QString name = hotkey->text();
    const auto unavailable = [&](const QString& why) {
        if (std::exchange(unavailableLogged_, true))
            return;
        run_.logImportantEvent(
            config::ResourceBundle::formatMessage(text(QStringLiteral("hotkey.unavailable")), {name, why}));
    };
    if (!hotkey_) {
        if (!make_)
            return unavailable(text(QStringLiteral("hotkey.no.desktop")));
        try {
            hotkey_ = make_();
        } catch (const std::exception& e) {
            return unavailable(QString::fromStdString(e.what()));
        }
        connect(hotkey_.get(), &GlobalHotkey::pressed, this, [this] {
            if (Round* round = run_.rounds())
                round->begin();
            else
                requester_.request();
        });
    }
    const QString refused = hotkey_->grab(*hotkey);
    if (refused.isEmpty())
        run_.logEvent(config::ResourceBundle::formatMessage(text(QStringLiteral("hotkey.taken")), {name}));
    else
        run_.logImportantEvent(
            config::ResourceBundle::formatMessage(text(QStringLiteral("hotkey.refused")), {name, refused}));
}

void HotkeyRequests::runStopped(const QString&) {
    if (hotkey_)
        hotkey_->ungrab();
}

} // namespace tarovex
