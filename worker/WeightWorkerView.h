#pragma once

#include "reading/DataLine.h"
#include "reading/EventLog.h"

#include <QString>

namespace tarovex::worker {

// The worker hands on the reading's own line.
using reading::DataLine;

// What an acquisition worker reports to the one who started it (the main window, the
// console front end). Every call comes on the thread that owns the worker, in the order
// the worker made it: the constructor's calls directly, the rest through the owner's
// event loop, in batches. An implementation must not delete the worker inside a call.
class WeightWorkerView : public reading::EventLog {
public:
    // True once the port is open, false once the run has ended and the port is closed.
    virtual void setConnectedInGUI(bool connected) = 0;
    // One completed line with its processed value, in arrival order.
    virtual void dataLineReceived(DataLine line) = 0;
};

} // namespace tarovex::worker
