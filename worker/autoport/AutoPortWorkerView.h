#pragma once

#include <QString>

namespace tarovex::worker {

// What the port detection reports to its dialog (or to the console front end). Every call
// comes on the thread that owns the worker.
class AutoPortWorkerView {
public:
    // How a message is shown: plain, or emphasised (the two final messages).
    enum class Emphasis { None, Bold, BoldFailure };

    virtual ~AutoPortWorkerView() = default;

    virtual void setButtonToCancel() = 0;
    virtual void setButtonToClose() = 0;
    // The detection found `name` the most likely port of an instrument.
    virtual void selectBestPort(const QString& name) = 0;
    virtual void appendMessage(const QString& text, Emphasis emphasis) = 0;
};

} // namespace tarovex::worker
