#include "tarovex/prefs/PreferencesXml.h"

#include "tarovex/prefs/PreferencesErrors.h"

#include <QFile>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <stdexcept>

namespace tarovex::prefs {
namespace {

constexpr qint64 maxImportSize = 16 * 1024 * 1024;
const QString externalXmlVersion = QStringLiteral("1.0");

// XML 1.0 cannot hold most control characters, not even escaped, nor half of a surrogate
// pair; a file with them would not import again, so refuse to write it.
void checkXmlText(const QString& text, const QString& what) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        bool bad = (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0xFFFE || u == 0xFFFF;
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode()))
            ++i;
        else if (QChar::isSurrogate(u))
            bad = true;
        if (bad)
            throw PreferencesIOException(QStringLiteral("%1 holds the character U+%2, which XML cannot carry")
                                             .arg(what)
                                             .arg(unsigned(u), 4, 16, QChar(u'0')));
    }
}

[[noreturn]] void invalid(const QXmlStreamReader& reader, const QString& message) {
    throw InvalidPreferencesFormatException(QStringLiteral("%1 (line %2, column %3)")
                                                .arg(message)
                                                .arg(reader.lineNumber())
                                                .arg(reader.columnNumber()));
}

QString requiredAttribute(const QXmlStreamReader& reader, const QString& name) {
    const QXmlStreamAttributes attributes = reader.attributes();
    if (!attributes.hasAttribute(name))
        invalid(reader, QStringLiteral("<%1> without the attribute %2").arg(reader.name().toString(), name));
    return attributes.value(name).toString();
}

} // namespace

namespace {

// The one child of the settings node that travels with it: the station's instrument
// profiles. Other nodes below it (another program's, a leftover) stay out of exports and
// imports, as they always did.
const QString carriedChild = QStringLiteral("instruments");

bool carried(const QString& name, int depth) {
    return depth > 0 || name == carriedChild;
}

void checkEntries(const QMap<QString, QString>& entries) {
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        checkXmlText(it.key(), QStringLiteral("The key %1").arg(it.key()));
        checkXmlText(it.value(), QStringLiteral("The value of %1").arg(it.key()));
    }
}

void writeMap(QXmlStreamWriter& w, const QMap<QString, QString>& entries) {
    if (entries.isEmpty()) {
        w.writeEmptyElement(QStringLiteral("map"));
        return;
    }
    w.writeStartElement(QStringLiteral("map"));
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        w.writeEmptyElement(QStringLiteral("entry"));
        w.writeAttribute(QStringLiteral("key"), it.key());
        w.writeAttribute(QStringLiteral("value"), it.value());
    }
    w.writeEndElement();
}

// Whether the node or one below it holds an entry.
bool holdsEntries(Preferences& node, int depth) {
    if (!node.keys().isEmpty())
        return true;
    if (depth >= PreferencesDocument::maxDepth)
        return false;
    for (const QString& name : node.childrenNames())
        if (holdsEntries(*node.node(name), depth + 1))
            return true;
    return false;
}

// The nodes below, each in its own element inside its parent's.
void writeChildren(QXmlStreamWriter& w, Preferences& node, int depth) {
    if (depth >= PreferencesDocument::maxDepth)
        return;
    for (const QString& name : node.childrenNames()) {
        if (!carried(name, depth))
            continue;
        Preferences& child = *node.node(name);
        if (!holdsEntries(child, depth + 1))
            continue;
        checkXmlText(name, QStringLiteral("The node name %1").arg(name));
        const QMap<QString, QString> entries = child.entries();
        checkEntries(entries);
        w.writeStartElement(QStringLiteral("node"));
        w.writeAttribute(QStringLiteral("name"), name);
        writeMap(w, entries);
        writeChildren(w, child, depth + 1);
        w.writeEndElement();
    }
}

} // namespace

QByteArray exportNode(const Preferences& node) {
    QStringList names;
    for (const Preferences* p = &node; p->parent() != nullptr; p = p->parent()) {
        names.prepend(p->name());
        checkXmlText(p->name(), QStringLiteral("The node name %1").arg(p->name()));
    }
    const QMap<QString, QString> entries = node.entries();
    checkEntries(entries);

    QByteArray out;
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(true);
    w.setAutoFormattingIndent(2);
    w.writeStartDocument(QStringLiteral("1.0"), false);
    w.writeDTD(QStringLiteral("<!DOCTYPE preferences SYSTEM \"http://java.sun.com/dtd/preferences.dtd\">"));
    w.writeStartElement(QStringLiteral("preferences"));
    w.writeAttribute(QStringLiteral("EXTERNAL_XML_VERSION"), externalXmlVersion);
    w.writeStartElement(QStringLiteral("root"));
    w.writeAttribute(QStringLiteral("type"), QStringLiteral("user"));
    // Ancestors are written with empty maps: the export holds one node's subtree only.
    for (qsizetype level = 0; level <= names.size(); ++level) {
        if (level > 0) {
            w.writeStartElement(QStringLiteral("node"));
            w.writeAttribute(QStringLiteral("name"), names[level - 1]);
        }
        writeMap(w, level < names.size() ? QMap<QString, QString>() : entries);
    }
    // Reading the children needs the node itself, which the export leaves as it is.
    writeChildren(w, const_cast<Preferences&>(node), 0);
    w.writeEndDocument(); // closes every open element
    if (w.hasError())
        throw PreferencesIOException(
            QStringLiteral("The export of %1 could not be written").arg(node.absolutePath()));
    return out;
}

void exportNodeToFile(const Preferences& node, const QString& path) {
    const QByteArray xml = exportNode(node);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(xml) != xml.size() || !file.commit())
        throw PreferencesIOException(file.errorString());
}

const PreferencesDocument::Node* PreferencesDocument::nodeAt(const QString& path) const {
    if (nodes.isEmpty() || !path.startsWith(u'/'))
        return nullptr;
    int at = 0;
    for (const QStringView name : QStringView(path).mid(1).split(u'/', Qt::SkipEmptyParts)) {
        const auto it = nodes[at].children.constFind(name.toString());
        if (it == nodes[at].children.cend())
            return nullptr;
        at = *it;
    }
    return &nodes[at];
}

const QMap<QString, QString>* PreferencesDocument::find(const QString& path) const {
    const Node* n = nodeAt(path);
    return n ? &n->entries : nullptr;
}

PreferencesDocument parsePreferencesXml(const QByteArray& xml) {
    PreferencesDocument doc;
    QXmlStreamReader reader(xml);
    // The element stack: "preferences", "root", "node"..., "map", "entry"; its depth is
    // bounded, as elements other than these are refused and nodes nest at most maxDepth deep.
    QStringList elements;
    QList<int> path; // indexes of the open nodes, the root first
    bool sawRoot = false;

    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            const QString name = reader.name().toString();
            const QString parent = elements.isEmpty() ? QString() : elements.last();
            if (parent.isEmpty()) {
                if (name != u"preferences")
                    invalid(reader,
                            QStringLiteral("Not a preferences export: the document is <%1>").arg(name));
                const QStringView version = reader.attributes().value(QStringLiteral("EXTERNAL_XML_VERSION"));
                if (!version.isEmpty() && version.toString() > externalXmlVersion)
                    invalid(reader,
                            QStringLiteral("Exported preferences file format version %1 is not supported")
                                .arg(version.toString()));
            } else if (name == u"root" && parent == u"preferences" && !sawRoot) {
                const QString type = requiredAttribute(reader, QStringLiteral("type"));
                if (type != u"user" && type != u"system")
                    invalid(reader, QStringLiteral("Unknown root type %1").arg(type));
                doc.userRoot = type == u"user";
                doc.nodes.append(PreferencesDocument::Node());
                path.append(0);
                sawRoot = true;
            } else if (name == u"node" && (parent == u"root" || parent == u"node")) {
                const QString nodeName = requiredAttribute(reader, QStringLiteral("name"));
                if (nodeName.isEmpty() || nodeName.contains(u'/'))
                    invalid(reader, QStringLiteral("Invalid node name \"%1\"").arg(nodeName));
                if (path.size() > PreferencesDocument::maxDepth)
                    invalid(reader, QStringLiteral("Not a preferences export: nodes nested deeper than %1")
                                        .arg(PreferencesDocument::maxDepth));
                const int at = path.last();
                auto child = doc.nodes[at].children.constFind(nodeName);
                if (child == doc.nodes[at].children.cend()) {
                    doc.nodes.append(PreferencesDocument::Node());
                    child = doc.nodes[at].children.insert(nodeName, int(doc.nodes.size() - 1));
                }
                path.append(*child);
            } else if (name == u"map" && (parent == u"root" || parent == u"node")) {
            } else if (name == u"entry" && parent == u"map") {
                const QString key = requiredAttribute(reader, QStringLiteral("key"));
                const QString value = requiredAttribute(reader, QStringLiteral("value"));
                doc.nodes[path.last()].entries.insert(key, value);
            } else {
                invalid(reader, QStringLiteral("Unexpected element <%1> in a preferences export").arg(name));
            }
            elements.append(name);
            break;
        }
        case QXmlStreamReader::EndElement:
            if (elements.takeLast() == u"node")
                path.removeLast();
            break;
        case QXmlStreamReader::Characters:
            if (!reader.isWhitespace())
                invalid(reader, QStringLiteral("Unexpected text in a preferences export"));
            break;
        default: // declaration, DOCTYPE, comments, processing instructions
            break;
        }
    }
    if (reader.hasError())
        invalid(reader, reader.errorString());
    if (!sawRoot)
        throw InvalidPreferencesFormatException(
            QStringLiteral("Not a preferences export: no <root> element"));
    return doc;
}

namespace {

void checkKeys(const PreferencesDocument& doc, const PreferencesDocument::Node& from, Preferences& node,
               int depth) {
    for (auto e = from.entries.cbegin(); e != from.entries.cend(); ++e)
        if (!node.isValidKey(e.key()))
            throw InvalidPreferencesFormatException(
                QStringLiteral("The key \"%1\" cannot be stored").arg(e.key()));
    for (auto c = from.children.cbegin(); c != from.children.cend(); ++c)
        if (carried(c.key(), depth))
            checkKeys(doc, doc.nodes[*c], *node.node(c.key()), depth + 1);
}

int put(const PreferencesDocument& doc, const PreferencesDocument::Node& from, Preferences& node, int depth) {
    int count = int(from.entries.size());
    for (auto e = from.entries.cbegin(); e != from.entries.cend(); ++e)
        node.put(e.key(), e.value());
    for (auto c = from.children.cbegin(); c != from.children.cend(); ++c)
        if (carried(c.key(), depth))
            count += put(doc, doc.nodes[*c], *node.node(c.key()), depth + 1);
    node.flush();
    return count;
}

} // namespace

int importPreferences(Preferences& node, const QByteArray& xml) {
    const PreferencesDocument doc = parsePreferencesXml(xml);
    const QString path = node.absolutePath();
    const PreferencesDocument::Node* from = doc.nodeAt(path);
    if (from == nullptr)
        throw InvalidPreferencesFormatException(QStringLiteral("The file holds no settings of %1").arg(path));
    checkKeys(doc, *from, node, 0);
    return put(doc, *from, node, 0);
}

int importPreferencesFromFile(Preferences& node, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PreferencesIOException(file.errorString());
    if (file.size() > maxImportSize)
        throw PreferencesIOException(
            QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(maxImportSize));
    const QByteArray xml = file.read(maxImportSize + 1);
    if (file.error() != QFileDevice::NoError)
        throw PreferencesIOException(file.errorString());
    if (xml.size() > maxImportSize)
        throw PreferencesIOException(
            QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(maxImportSize));
    return importPreferences(node, xml);
}

} // namespace tarovex::prefs
