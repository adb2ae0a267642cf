#pragma once

#include <QChar>
#include <QString>

namespace tarovex::worker {

// Removal of white space from a value, wherever it stands. White space is exactly space,
// tab, line feed, vertical tab, form feed and carriage return; no-break space (0xA0) and
// next line (0x85) are ordinary characters and stay.
class WhiteSpace {
public:
    static constexpr bool isWhiteSpace(char16_t c) {
        return c == u' ' || (c >= u'\t' && c <= u'\r'); // \t \n \v \f \r
    }

    // The value without white space; returns the value itself (shared, not copied) when
    // it has none.
    static QString remove(const QString& value);
    // The same without a copy: the view itself, or a view of `buffer` holding the result.
    static QStringView remove(QStringView value, QString& buffer);
};

} // namespace tarovex::worker
