#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace tarovex::config {

// The one reader and writer of the properties text format, used both by the resource
// bundles and by the file-backed preferences store.
//
// Reading follows the usual rules: `=`, `:` or white space separate key and value,
// `#` and `!` start comment lines, a line ending in an odd number of backslashes
// continues on the next one, and `\t \n \r \f \uXXXX` are escapes (any other escaped
// character stands for itself). A malformed entry (a bad `\u` escape) costs only that
// entry: it is reported in `errors`, its text is kept in `rejected`, and the rest of the
// text still loads.
class Properties {
public:
    using Entry = QPair<QString, QString>;

    struct ParseResult {
        QList<Entry> entries; // in file order; a later duplicate key is listed again
        QStringList errors;   // one text per skipped entry, naming its line
        QStringList rejected; // the lines of each skipped entry as they stand, joined by \n
        bool latin1 = false;  // the bytes were not UTF-8 and were read as Latin-1
    };

    static ParseResult parse(QStringView text);

    // Decodes bytes as UTF-8 when they are valid UTF-8, otherwise as Latin-1 (the
    // classic encoding of such files), after a UTF-8 byte order mark; then parses them.
    static ParseResult parse(const QByteArray& bytes);

    // Writes entries as ASCII text (everything else as \uXXXX escapes), so the result
    // reads back the same whichever of the two encodings a reader assumes. An optional
    // comment goes first, as `#` lines.
    static QByteArray write(const QList<Entry>& entries, const QString& comment = {});

    static QString escapeKey(const QString& key);
    static QString escapeValue(const QString& value);
};

} // namespace tarovex::config
