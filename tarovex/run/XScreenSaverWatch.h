#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <string>

class QSocketNotifier;
typedef struct _XDisplay Display;

namespace tarovex {

// Whether the X screen saver is on, as the MIT-SCREEN-SAVER extension says: X screen lockers
// run while it is, so where logind cannot tell of a lock, this is the sign of one. Told as it
// changes, from the extension's notify events (the server sends one at every change, so no
// polling), read on a connection of its own when its socket has data. When the display cannot
// be opened or lacks the extension, it never reports a lock; available() is then false and
// why() says why.
class XScreenSaverWatch : public QObject {
    Q_OBJECT

public:
    // The display of that name (empty: $DISPLAY).
    explicit XScreenSaverWatch(const std::string& displayName = {}, QObject* parent = nullptr);
    ~XScreenSaverWatch() override;

    bool available() const { return display_ != nullptr; }
    const QString& why() const { return why_; }
    bool locked() const { return locked_; }

signals:
    void lockedChanged(bool locked);

private:
    struct DisplayCloser {
        void operator()(Display* d) const noexcept;
    };
    void readEvents();
    void setLocked(bool locked);

    std::unique_ptr<Display, DisplayCloser> display_;
    int eventBase_ = 0;
    QString why_;
    bool locked_ = false;
};

} // namespace tarovex
