#pragma once

#include "tests/typing/KeysTestSupport.h"
#include "typing/KeySynthesizer.h"

#include <QList>
#include <QString>

#include <chrono>
#include <thread>

namespace tarovex_test {

using keys_test::SlowKeys;

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
