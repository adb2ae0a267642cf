#pragma once

#include "tarovex/prefs/Preferences.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

class QIODevice;

namespace tarovex::prefs {

// The standard preferences export document:
//   <!DOCTYPE preferences SYSTEM "http://java.sun.com/dtd/preferences.dtd">
//   <preferences EXTERNAL_XML_VERSION="1.0"><root type="user"><map/>
//     <node name="com"><map/> ... <node name="tarovex"><map><entry key=".." value=".."/></map>
//   </node> ... </root></preferences>
// Held as a tree, so that a document costs memory and time in proportion to its size
// whatever its depth. Nodes of the same path are merged.
struct PreferencesDocument {
    // No real export nests nodes deeper than this; a deeper document is refused.
    static constexpr int maxDepth = 64;

    struct Node {
        QMap<QString, int> children; // name -> index in `nodes`
        QMap<QString, QString> entries;
    };
    bool userRoot = true; // type="user" (else "system")
    QList<Node> nodes;    // nodes[0] is the root

    // The entries of the node at an absolute path ("/com/lumbrix/tarovex"), or nullptr
    // when the document has no such node.
    const QMap<QString, QString>* find(const QString& path) const;
    // The node at that path, or nullptr.
    const Node* nodeAt(const QString& path) const;
};

// Writes `node`'s entries and its child "instruments" (a station's instrument profiles) with
// the nodes below it, with the path of the node; other children, and nodes without entries,
// are left out.
// Throws PreferencesIOException when a text holds a character XML cannot carry (most
// control characters, a lone surrogate) or the writer fails.
QByteArray exportNode(const Preferences& node);

// Writes the export of `node` to `path`, replacing the file only once it is complete.
// Throws PreferencesIOException when the file cannot be written.
void exportNodeToFile(const Preferences& node, const QString& path);

// Parses a whole document. Reads documents of other writers too (attributes in any order,
// comments, blanks, a DOCTYPE, empty maps, nested nodes); never fetches the DTD.
// Throws InvalidPreferencesFormatException when the text is not XML (the parser's message
// with line and column) or not a preferences export (also when nodes nest deeper than
// maxDepth).
PreferencesDocument parsePreferencesXml(const QByteArray& xml);

// Puts every entry the document holds for `node`'s path, and for its child "instruments" and
// the paths below that, into the same nodes of the store, and flushes them (whether
// the document says user or system root: this program keeps its settings in one store); entries
// of other nodes are ignored and keys missing from the file stay as they are. The whole
// document is parsed before anything is written, so a bad file changes nothing.
// Returns the number of entries imported. Throws InvalidPreferencesFormatException (also
// when the document has no node of that path or a key the store cannot hold), and what the
// node's flush throws.
int importPreferences(Preferences& node, const QByteArray& xml);

// Reads `path` (at most 16 MiB) and imports it as above; PreferencesIOException when it
// cannot be read.
int importPreferencesFromFile(Preferences& node, const QString& path);

} // namespace tarovex::prefs
