#pragma once

#include "tests/typing/KeysTestSupport.h"
#include "typing/KeySynthesizer.h"

#include <QList>
#include <QString>

#include <chrono>
#include <thread>

namespace tarovex_test {

// Key synthesis into one recording shared by every run, with real pauses.
class SlowKeys : public tarovex::typing::KeySynthesizer {
public:
    explicit SlowKeys(keys_test::RecordingSynthesizer& record) : record_(record) {}
    void press(int code) override { record_.press(code); }
    void release(int code) override { record_.release(code); }
    void delay(int ms) override {
        record_.delay(ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }

private:
    keys_test::RecordingSynthesizer& record_;
};

// The digits typed ("+49 ... -49" is '1'), and whether a key was left down.
struct Typed {
    QString digits;
    bool keyDown = false;
};
inline Typed typed(const QString& stream) {
    Typed t;
    QList<int> down;
    for (const QString& e : stream.split(u' ', Qt::SkipEmptyParts)) {
        if (e.startsWith(u'+')) {
            down.append(e.mid(1).toInt());
            t.digits += QChar(e.mid(1).toInt());
        } else if (e.startsWith(u'-')) {
            down.removeOne(e.mid(1).toInt());
        }
    }
    t.keyDown = !down.isEmpty();
    return t;
}

} // namespace tarovex_test
