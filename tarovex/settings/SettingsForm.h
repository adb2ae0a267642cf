#pragma once

#include "config/Config.h"

#include <QList>
#include <QMap>
#include <QString>

#include <optional>

namespace tarovex {

// The text fields checked when they lose the focus are the settings of the settings table
// with an error message (config::Setting::errorKey); each is named by its setting key.

// The message key for an invalid text of the field, or nothing when the text is valid.
std::optional<QString> fieldError(const QString& key, const QString& text);
// What an invalid field is reset to: the setting's default (empty but for the delay and the
// journal bounds).
QString fieldResetText(const QString& key);
// The text as it is stored: the operand with ',' as '.', a key combination without blanks
// around it.
QString storedFieldText(const QString& key, const QString& text);

// The byte code of the input terminator box's text: a named terminator ("13 <CR>") or a
// whole number 0..255; nothing for anything else.
std::optional<int> parseInputTerminator(const QString& text);
// What the box shows for a code: the named terminator's label, else the number.
QString inputTerminatorText(int code);

// The repeat-filter dialog's check: nothing, or the message key ("ignore.error").
std::optional<QString> ignoreDialogError(const QString& timeLimit, const QString& difference);
// The difference as stored: ',' as '.'.
QString ignoreDifferenceText(const QString& difference);
// The custom expression dialog's check: nothing, or the message key ("invalid.expression").
std::optional<QString> customRegExError(const QString& expression);
// Why the expression is refused, for the user: nothing when it is accepted.
std::optional<QString> customRegExProblem(const QString& expression);

// Stores a field's text in `config` when it passes the field's check (a field that loses the
// focus); false, leaving `config` unchanged, when it does not.
bool storeField(const QString& key, const QString& text, config::Config& config);

// True when moving from `current` to `chosen` would drop a custom expression, so the user is
// asked first.
bool asksToOverwriteCustomRegEx(const config::Config& config, const config::ConfigHelper::Instrument& chosen);

// What the controls of the settings tabs hold, as plain values.
struct TabValues {
    QString port; // device name; empty when none is selected
    // Each setting the tabs show, by key, as its stored text ("true", a constant's name, an
    // index, the text typed); the input terminator as its box's text ("13 <CR>").
    QMap<QString, QString> settings;

    QString& operator[](const QString& key) { return settings[key]; }
    QString operator[](const QString& key) const { return settings.value(key); }
    friend bool operator==(const TabValues&, const TabValues&) = default;
};

// The controls as they show `config`.
TabValues tabValuesFrom(const config::Config& config);

// A message dialog to show: title and message keys of the shell bundle.
struct Notice {
    enum class Kind { Error, Warning, Info };
    Kind kind;
    QString titleKey;
    QString messageKey;
    friend bool operator==(const Notice&, const Notice&) = default;
};

// What reading the controls gave besides the settings.
struct TabsUpdate {
    TabValues controls;          // what the controls must show now (invalid fields reset)
    QList<Notice> notices;       // dialogs to show, in order; none while closing
    bool roundingDialog = false; // ask for decimal places: DIVIDE without them
};

// Copies every control into `config` with the field checks. `closing` suppresses every
// dialog (the resets still happen); `roundingDialogOpen` keeps the rounding dialog from
// being asked for again while it is up.
TabsUpdate updateConfigFromTabs(const TabValues& controls, config::Config& config, bool closing,
                                bool roundingDialogOpen);

} // namespace tarovex
