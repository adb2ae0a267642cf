#pragma once

#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QStringList>

#include <compare>
#include <iterator>
#include <optional>
#include <stdexcept>

namespace tarovex::config {

// Where the display text of an enumeration constant comes from.
enum class LabelKind {
    Literal, // the label text as written
    Key,     // a key of the settings bundle, looked up once
    Name,    // no label: the constant's name is shown
};

// One row of an enumeration's constant table.
struct EnumEntry {
    const char* name; // equal to the C++ identifier of the constant
    LabelKind kind;
    const char* label; // literal text or bundle key; ignored for LabelKind::Name
    int data = 0;      // the constant's number: byte value, key code, percussion number, ...
};

namespace detail {
// The display text of a table row; a missing bundle key yields the key itself, so that a
// defective bundle shows a visible key instead of ending the program.
QString labelText(const EnumEntry& entry);
} // namespace detail

// Common part of every settings enumeration: a constant is a small value holding its
// ordinal; the derived class E owns the table `static constexpr EnumEntry entries[]`
// (in ordinal order) and the constants `static const E NAME;`, defined after the class as
// `inline constexpr E E::NAME{ordinal};`. Constants are constexpr, so
// `switch (x.ordinal()) { case E::NAME.ordinal(): ... }` works.
template <typename E> class Enumeration {
public:
    constexpr int ordinal() const noexcept { return ordinal_; }
    QString name() const { return QString::fromLatin1(entry().name); }
    // The display text: the label, or the name for enumerations without labels.
    QString toString() const { return labels().at(ordinal_); }

    friend constexpr bool operator==(const Enumeration&, const Enumeration&) = default;
    friend constexpr std::strong_ordering operator<=>(const Enumeration&, const Enumeration&) = default;
    // Lets constants be keys of QHash and QSet.
    friend size_t qHash(const Enumeration& e, size_t seed = 0) noexcept { return ::qHash(e.ordinal_, seed); }

    static constexpr int count() noexcept { return int(std::size(E::entries)); }

    // All constants in ordinal order; a new list on every call.
    static QList<E> values() {
        QList<E> all;
        all.reserve(count());
        for (int i = 0; i < count(); ++i)
            all.append(E(i));
        return all;
    }

    // The constant of that name (case-sensitive), or none.
    static std::optional<E> find(const QString& name) noexcept {
        for (int i = 0; i < count(); ++i)
            if (name == QLatin1String(E::entries[i].name))
                return E(i);
        return std::nullopt;
    }

    // The constant of that name; throws std::invalid_argument for any other text.
    static E valueOf(const QString& name) {
        if (auto found = find(name))
            return *found;
        throw std::invalid_argument("No enum constant " + std::string(E::typeName) + "." +
                                    name.toStdString());
    }

    // True exactly when the text is the name of a constant (case-sensitive).
    static bool isValidName(const QString& name) noexcept { return find(name).has_value(); }

    // The settings-bundle keys of the labels, in ordinal order.
    static QStringList labelKeys() {
        QStringList keys;
        for (const EnumEntry& e : E::entries)
            if (e.kind == LabelKind::Key)
                keys.append(QString::fromLatin1(e.label));
        return keys;
    }

protected:
    explicit constexpr Enumeration(int ordinal) noexcept : ordinal_(ordinal) {}

    constexpr const EnumEntry& entry() const noexcept { return E::entries[ordinal_]; }

    // Labels are looked up once, on first use, and kept.
    static const QStringList& labels() {
        static const QStringList texts = [] {
            QStringList list;
            for (const EnumEntry& e : E::entries)
                list.append(detail::labelText(e));
            return list;
        }();
        return texts;
    }

private:
    int ordinal_;
};

// Enumerations whose setting is stored as the ordinal (the serial parameters).
template <typename E> class IndexedEnumeration : public Enumeration<E> {
public:
    // True when 0 <= index < number of constants.
    static constexpr bool isValidIndex(int index) noexcept {
        return index >= 0 && index < Enumeration<E>::count();
    }
    // The display text of the constant at that ordinal; empty when out of range.
    static QString getLabel(int index) {
        return isValidIndex(index) ? Enumeration<E>::labels().at(index) : QString();
    }
    // The constant at that ordinal, or none.
    static std::optional<E> fromIndex(int index) noexcept {
        return isValidIndex(index) ? std::optional<E>(E(index)) : std::nullopt;
    }

protected:
    using Enumeration<E>::Enumeration;
};

} // namespace tarovex::config
