#pragma once

#include "tarovex/run/RunServices.h"
#include "tarovex/update/UpdateWorker.h"
#include "tarovex/update/UpdateWorkerView.h"

#include <QString>

#include <memory>
#include <optional>

namespace tarovex::update {

// The window's update check through UpdateWorker: one download of the version file, its
// outcome in the status line. Without a location (a build without an update host) it never
// asks anyone. UI thread.
class UpdateCheck : public UpdateChecker, private UpdateWorkerView {
public:
    // `localVersion` empty: the "VERSION" process property.
    explicit UpdateCheck(std::optional<QString> location = updateLocation(), QString localVersion = {});
    ~UpdateCheck() override;

    void start(std::function<void(const QString& status)> setStatus) override;
    bool isAvailable() const override { return location_.has_value(); }
    // True once the check has ended (tests).
    bool isDone() const;

    static std::optional<QString> updateLocationOfThisBuild();

private:
    void setStatus(const QString& text) override;

    std::optional<QString> location_;
    QString localVersion_;
    std::function<void(const QString&)> setStatus_;
    std::unique_ptr<UpdateWorker> worker_;
};

} // namespace tarovex::update
