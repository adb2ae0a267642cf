#include "tarovex/update/UpdateCheck.h"

#include "Tarolink/SystemProperties.h"
#include "tarovex/startup/Version.h"
#include "tarovex/texts/ShellBundle.h"

namespace tarovex::update {

UpdateCheck::UpdateCheck(std::optional<QString> location, QString localVersion)
    : location_(std::move(location)), localVersion_(std::move(localVersion)) {
    if (localVersion_.isEmpty())
        localVersion_ = QString::fromStdString(Tarolink::SystemProperties::get("VERSION").value_or(kVersion));
}

UpdateCheck::~UpdateCheck() = default;

void UpdateCheck::start(std::function<void(const QString&)> setStatus) {
    if (!location_ || worker_)
        return;
    setStatus_ = std::move(setStatus);
    // The entry point selects English for the whole program.
    worker_ = std::make_unique<UpdateWorker>(static_cast<UpdateWorkerView&>(*this), *location_, localVersion_,
                                             QStringLiteral("en"),
                                             [](const char* key) { return text(QString::fromLatin1(key)); });
    worker_->start();
}

bool UpdateCheck::isDone() const {
    return worker_ && worker_->isDone();
}

void UpdateCheck::setStatus(const QString& status) {
    if (setStatus_)
        setStatus_(status);
}

} // namespace tarovex::update
