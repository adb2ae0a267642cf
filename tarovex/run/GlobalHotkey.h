#pragma once

#include "config/Hotkey.h"

#include <QObject>
#include <QString>

namespace tarovex {

// A key combination taken from the whole desktop: each press, whichever application has the
// focus, comes as pressed(); a key held down counts once. UI thread.
class GlobalHotkey : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    // Takes the combination, giving back the one held before. Empty when it was taken, else
    // why not, as one line (another application holds it, no key gives it).
    virtual QString grab(const config::Hotkey& hotkey) = 0;
    // Gives the combination back; nothing when none is held.
    virtual void ungrab() = 0;

signals:
    void pressed();
};

} // namespace tarovex
