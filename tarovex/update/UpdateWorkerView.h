#pragma once

#include <QString>

namespace tarovex::update {

// Where the update check reports: the main window's status line. Called on the thread that
// owns the worker.
class UpdateWorkerView {
public:
    virtual ~UpdateWorkerView() = default;
    // The text may hold HTML (a link to the download page).
    virtual void setStatus(const QString& text) = 0;
};

} // namespace tarovex::update
