#include "config/SettingsTable.h"

#include "Tarolink/NetworkAddress.h"
#include "config/Config.h"
#include "config/RecordValidators.h"
#include "reading/OutputTemplate.h"

#include <algorithm>
#include <deque>

namespace tarovex::config {
namespace {

namespace CH = ConfigHelper;
using T = SettingType;

// ---- Reading a stored text

// Strict decimal int32 with an optional sign, no blanks, as the stored form is written.
std::optional<int> storedInt(const QString& t) {
    if (t.isEmpty() || t.front().isSpace() || t.back().isSpace())
        return std::nullopt;
    bool ok = false;
    const int value = t.toInt(&ok, 10);
    return ok ? std::optional<int>(value) : std::nullopt;
}

bool isSwitchText(const QString& t) {
    return t.compare(u"true", Qt::CaseInsensitive) == 0 || t.compare(u"false", Qt::CaseInsensitive) == 0;
}

QString asTyped(const QString& t) {
    return t;
}

// Settings that came after the first ones are saved after them, in table order.
constexpr int later = 100;

// A row the window's tabs show: its tooltip, placeholder and unit by their bundle keys
// (the window's own part of the bundle unless `plain`).
struct Look {
    const char* tip = "";
    const char* placeholder = "";
    const char* unit = "";
    bool plain = false;
};

const char* frameKey(const char* key, bool plain) {
    if (plain || !*key)
        return key;
    // Kept for the life of the table, whose rows hold plain pointers.
    static std::deque<QByteArray> keys;
    return keys.emplace_back(QByteArray("RazezaRoZurFrame2.") + key).constData();
}

Setting onTabs(Setting row, Look look = {}) {
    row.onTabs = true;
    row.tipKey = frameKey(look.tip, look.plain);
    row.placeholderKey = frameKey(look.placeholder, look.plain);
    row.unitKey = frameKey(look.unit, look.plain);
    return row;
}

// ---- Rows by kind. Accessors are template arguments, so every row stays a set of plain
// function pointers.

template <bool (*Check)(int)> bool intValid(const QString& t) {
    const auto v = storedInt(t);
    return v && Check(*v);
}

template <auto Get, auto Set>
Setting integer(const char* key, int def, bool (*valid)(const QString&), const char* labelKey, int rank,
                QString values, QStringList choiceTexts = {}) {
    return {key,
            T::Integer,
            QString::number(def),
            valid,
            [](const Config& c) { return QString::number((c.*Get)()); },
            [](Config& c, const QString& t) { (c.*Set)(t.toInt()); },
            &asTyped,
            labelKey,
            "",
            {},
            rank,
            std::move(values),
            std::move(choiceTexts)};
}

template <typename E> QStringList names() {
    QStringList all;
    for (const E& e : E::values())
        all.append(e.name());
    return all;
}

// What people read for each constant, in ordinal order.
template <typename E> QStringList texts() {
    QStringList all;
    for (const E& e : E::values())
        all.append(e.toString());
    return all;
}

template <typename E> bool choiceValid(const QString& t) {
    return E::find(t).has_value();
}

template <typename E, auto Get, auto Set> Setting choice(const char* key, const char* labelKey, int rank) {
    return {key,
            T::Choice,
            E::getDefault().name(),
            &choiceValid<E>,
            [](const Config& c) { return E((c.*Get)()).name(); },
            [](Config& c, const QString& t) { (c.*Set)(E::valueOf(t)); },
            &asTyped,
            labelKey,
            "",
            names<E>(),
            rank,
            names<E>().join(QStringLiteral(", ")),
            texts<E>()};
}

template <typename V, auto Get, auto Set>
Setting text(const char* key, const char* labelKey, const char* errorKey, int rank, const char* values,
             QString (*typed)(const QString&) = &asTyped) {
    return {key,
            T::Text,
            V::getDefault(),
            [](const QString& t) { return V::isValid(t); },
            [](const Config& c) { return QString((c.*Get)()); },
            [](Config& c, const QString& t) { (c.*Set)(t); },
            typed,
            labelKey,
            errorKey,
            {},
            rank,
            QString::fromLatin1(values)};
}

template <bool Config::*Field> Setting yesNo(const char* key, bool def, const char* labelKey, int rank) {
    return {key,
            T::Switch,
            def ? QStringLiteral("true") : QStringLiteral("false"),
            &isSwitchText,
            [](const Config& c) { return c.*Field ? QStringLiteral("true") : QStringLiteral("false"); },
            [](Config& c, const QString& t) { c.*Field = t.compare(u"true", Qt::CaseInsensitive) == 0; },
            &asTyped,
            labelKey,
            "",
            {},
            rank,
            QStringLiteral("true, false")};
}

// The record settings live in Config::record.
template <QString RecordSettings::*Field> QString recordText(const Config& c) {
    return c.record.*Field;
}
template <QString RecordSettings::*Field> void setRecordText(Config& c, const QString& t) {
    c.record.*Field = t;
}
template <typename V, QString RecordSettings::*Field>
Setting record(const char* key, const char* labelKey, const char* errorKey, const char* values) {
    return {key,
            T::Text,
            V::getDefault(),
            [](const QString& t) { return V::isValid(t); },
            &recordText<Field>,
            &setRecordText<Field>,
            &asTyped,
            labelKey,
            errorKey,
            {},
            later,
            QString::fromLatin1(values)};
}

// A record setting that is on or off.
template <bool RecordSettings::*Field> Setting recordSwitch(const char* key, bool on, const char* labelKey) {
    return {key,
            T::Switch,
            on ? QStringLiteral("true") : QStringLiteral("false"),
            &isSwitchText,
            [](const Config& c) { return c.record.*Field ? QStringLiteral("true") : QStringLiteral("false"); },
            [](Config& c, const QString& t) { c.record.*Field = t.compare(u"true", Qt::CaseInsensitive) == 0; },
            &asTyped,
            labelKey,
            "",
            {},
            later,
            QStringLiteral("true, false")};
}

// The numbers people write for an index-based enumeration, in index order.
template <typename E, typename Number> QString withIndex(Number number) {
    QStringList all;
    for (const E& e : E::values())
        all.append(number(e));
    return all.join(QStringLiteral(", ")) + QStringLiteral(", or the index 0 to %1").arg(E::count() - 1);
}

Setting instrumentRow() {
    using I = CH::Instrument;
    return {"instrument", T::Choice, I::getDefault().name(), &choiceValid<I>,
            // A record never loaded may have no instrument: nothing to keep.
            [](const Config& c) { return c.getInstrument() ? c.getInstrument()->name() : QString(); },
            [](Config& c, const QString& t) { c.setInstrument(I::valueOf(t)); }, &asTyped,
            "RazezaRoZurFrame2.deviceLabel.text", "", names<I>(), 0, names<I>().join(QStringLiteral(", ")),
            texts<I>()};
}

Setting recentAddressesRow() {
    return {
        "recentAddresses",
        T::Text,
        QString(),
        [](const QString& t) { return parseAddressList(t).has_value(); },
        [](const Config& c) { return addressListText(c.recentAddresses); },
        [](Config& c, const QString& t) { c.recentAddresses = parseAddressList(t).value_or(QStringList()); },
        &asTyped,
        "",
        "",
        {},
        later,
        QStringLiteral("up to 5 network ports (tcp://HOST:PORT, rfc2217://HOST:PORT) separated by "
                       "spaces, or empty")};
}

// The template's parser is its check, and its message says where a template goes wrong.
Setting outputTemplateRow() {
    Setting row{"outputTemplate",
                T::Text,
                QString(),
                [](const QString& t) { return reading::OutputTemplate::problem(t).isEmpty(); },
                [](const Config& c) { return c.getOutputTemplate(); },
                [](Config& c, const QString& t) { c.setOutputTemplate(t); },
                &asTyped,
                "outputTemplate.label",
                "error.output.template",
                {},
                later,
                QStringLiteral("text with fields such as {value}, {unit}, {date:yyyy-MM-dd}, {TAB}, "
                               "{ENTER}, {KEY:KP_Enter}, {DELAY:100} ({{ and }} for braces), or empty")};
    row.problem = [](const QString& t) { return reading::OutputTemplate::problem(t); };
    return onTabs(row, {.tip = "outputTemplate.toolTipText",
                        .placeholder = "outputTemplate.placeholderText",
                        .plain = true});
}

QList<Setting> buildTable() {
    QList<Setting> t = {
        onTabs(instrumentRow(), {.tip = "instrumentBox.toolTipText"}),
        onTabs(integer<&Config::getBitRate, &Config::setBitRate>(
                   "bitRate", CH::BitRates::getDefault(), &intValid<CH::BitRates::isValidIndex>,
                   "RazezaRoZurFrame2.label3.text", 1, withIndex<CH::BitRates>([](const CH::BitRates& e) {
                       return QString::number(e.bitsPerSecond());
                   }),
                   texts<CH::BitRates>()),
               {.tip = "bitRateBox.toolTipText"}),
        onTabs(integer<&Config::getDataBits, &Config::setDataBits>(
            "dataBits", CH::DataBits::getDefault(), &intValid<CH::DataBits::isValidIndex>,
            "RazezaRoZurFrame2.label6.text", 2,
            withIndex<CH::DataBits>([](const CH::DataBits& e) { return QString::number(e.bits()); }),
            texts<CH::DataBits>())),
        onTabs(integer<&Config::getStopBits, &Config::setStopBits>(
            "stopBits", CH::StopBits::getDefault(), &intValid<CH::StopBits::isValidIndex>,
            "RazezaRoZurFrame2.label7.text", 3, QStringLiteral("1, 2, or the index 0 for 1"),
            texts<CH::StopBits>())),
        onTabs(integer<&Config::getParity, &Config::setParity>(
            "parity", CH::Parity::getDefault(), &intValid<CH::Parity::isValidIndex>,
            "RazezaRoZurFrame2.label8.text", 4,
            withIndex<CH::Parity>([](const CH::Parity& e) { return e.name(); }), texts<CH::Parity>())),
        onTabs(choice<CH::DecimalSeparator, &Config::getDecimalSeparator, &Config::setDecimalSeparator>(
                   "decimalSeparator", "RazezaRoZurFrame2.label4.text", 6),
               {.tip = "decimalSeparatorBox.toolTipText"}),
        onTabs(integer<&Config::getInputTerminator, &Config::setInputTerminator>(
                   "inputTerminator", CH::InputTerminator::getDefault(),
                   &intValid<CH::InputTerminator::isValidValue>, "RazezaRoZurFrame2.label9.text", 5,
                   QStringLiteral("a byte value 0 to 255 (13 is CR, 10 is LF, 4 is EOT)")),
               {.tip = "inputTerminatorBox.toolTipText"}),
        onTabs(choice<CH::StartWith, &Config::getStartWith, &Config::setStartWith>(
                   "startWith", "RazezaRoZurFrame2.label23.text", 8),
               {.tip = "startWithBox.toolTipText"}),
        onTabs(choice<CH::OutputTerminator, &Config::getOutputTerminator, &Config::setOutputTerminator>(
                   "outputTerminator", "RazezaRoZurFrame2.label5.text", 9),
               {.tip = "outputTerminatorBox.toolTipText"}),
        onTabs(choice<CH::OutputTerminator, &Config::getOutputTerminator2, &Config::setOutputTerminator2>(
                   "outputTerminator2", "RazezaRoZurFrame2.label33.text", 10),
               {.tip = "outputTerminatorBox2.toolTipText"}),
        onTabs(text<CH::EveryXValues, &Config::getEveryXValues, &Config::setEveryXValues>(
                   "everyXValues", "RazezaRoZurFrame2.label12.text_2", "error.edit.everyXValues", 11,
                   "an integer 2 to 99, or empty"),
               {.tip = "everyXValuesTextField.toolTipText", .unit = "label34.text"}),
        onTabs(choice<CH::Connect, &Config::getConnect, &Config::setConnect>(
            "connect", "RazezaRoZurFrame2.label13.text", 12)),
        onTabs(text<CH::MathOperand, &Config::getMathOperand, &Config::setMathOperand>(
                   "mathOperand", "RazezaRoZurFrame2.label16.text", "error.math.operand", 14,
                   "a decimal number ('.' as separator) other than 0, or empty",
                   [](const QString& typed) { return QString(typed).replace(u',', u'.'); }),
               {.tip = "mathOperandTextField.toolTipText"}),
        onTabs(choice<CH::MathOperation, &Config::getMathOperation, &Config::setMathOperation>(
                   "mathOperation", "RazezaRoZurFrame2.label15.text", 13),
               {.tip = "mathOperationBox.toolTipText"}),
        onTabs(text<CH::DecimalPlaces, &Config::getDecimalPlaces, &Config::setDecimalPlaces>(
                   "decimalPlaces", "RazezaRoZurFrame2.label20.text", "error.decimal.places", 15,
                   "an integer 0 to 7, or empty"),
               {.tip = "decimalTextField.toolTipText"}),
        onTabs(choice<CH::RoundingMethod, &Config::getRoundingMethod, &Config::setRoundingMethod>(
                   "roundingMethod", "RazezaRoZurFrame2.label22.text", 16),
               {.tip = "roundingMethodBox.toolTipText"}),
        onTabs(choice<CH::Sound, &Config::getSound, &Config::setSound>("sound",
                                                                       "RazezaRoZurFrame2.label17.text", 7),
               {.tip = "soundComboBox.toolTipText"}),
        onTabs(choice<CH::KeyboardType, &Config::getKeyboardType, &Config::setKeyboardType>(
                   "keyboardType", "RazezaRoZurFrame2.label18.text", 17),
               {.tip = "keyboardTypeBox.toolTipText"}),
        onTabs(text<CH::Delay, &Config::getDelay, &Config::setDelay>(
                   "delay", "RazezaRoZurFrame2.label26.text", "error.intercharacter.delay", 18,
                   "milliseconds 0 to 1000, or empty"),
               {.tip = "delayTextField.toolTipText", .unit = "label27.text"}),
        onTabs(yesNo<&Config::minimizeToTray>("minimizeToTray", false,
                                              "RazezaRoZurFrame2.minimizeToTrayCheckBox.text", 19)),
        onTabs(yesNo<&Config::notifyWhenMinimizedToTray>(
            "notifyWhenMinimizedToTray", false, "RazezaRoZurFrame2.notifyWhenMinimizedToTrayCheckBox.text",
            20)),
        onTabs(yesNo<&Config::checkForUpdates>("checkForUpdates", true,
                                               "RazezaRoZurFrame2.checkForUpdatesCheckBox.text", 21)),
        onTabs(yesNo<&Config::abortAutoStartWhenPrevPortNotAvailable>(
                   "abortAutoStartWhenPrevPortNotAvailable", false,
                   "RazezaRoZurFrame2.abortAutoStartCheckBox.text", 22),
               {.tip = "abortAutoStartCheckBox.toolTipText"}),
        onTabs(yesNo<&Config::ignoreDuplicates>("ignoreDuplicates", false,
                                                "RazezaRoZurFrame2.ignoreDuplicatesCheckBox.text", 23)),
        onTabs(yesNo<&Config::reconnect>("reconnect", false, "RazezaRoZurFrame2.reconnectCheckBox.text", 24),
               {.tip = "reconnectCheckBox.toolTipText"}),
        onTabs(choice<CH::EditOperation, &Config::getEditOperation, &Config::setEditOperation>(
            "editOperation", "RazezaRoZurFrame2.label24.text", 25)),
        onTabs(choice<CH::EditPosition, &Config::getEditPosition, &Config::setEditPosition>(
            "editPosition", "RazezaRoZurFrame2.label25.text", 26)),
        onTabs(text<CH::EditNumCharacters, &Config::getEditNumCharacters, &Config::setEditNumCharacters>(
                   "editNumCharacters", "RazezaRoZurFrame2.label29.text", "error.edit.numCharacters", 27,
                   "an integer 1 to 99, or empty"),
               {.tip = "editNumCharactersTextField.toolTipText"}),
        onTabs(text<CH::RemoveCharacters, &Config::getRemoveCharacters, &Config::setRemoveCharacters>(
                   "removeCharacters", "RazezaRoZurFrame2.label30.text", "error.edit.removeCharacters", 28,
                   "characters with codes up to 255, or empty"),
               {.tip = "removeCharactersTextField.toolTipText"}),
        text<CH::IgnoreTimeLimit, &Config::getIgnoreTimeLimit, &Config::setIgnoreTimeLimit>(
            "ignoreTimeLimit", "", "", 30, "an integer greater than 0, or empty"),
        text<CH::IgnoreDifference, &Config::getIgnoreDifference, &Config::setIgnoreDifference>(
            "ignoreDifference", "", "", 31, "a decimal number greater than 0, or empty"),
        text<CH::CustomRegEx, &Config::getCustomRegEx, &Config::setCustomRegEx>(
            "customRegEx", "", "", 29, "a regular expression whose group 1 holds the value, or empty"),
        onTabs(text<CH::RequestInterval, &Config::getRequestInterval, &Config::setRequestInterval>(
                   "requestInterval", "RazezaRoZurFrame2.requestIntervalLabel.text", "error.request.interval",
                   later, "milliseconds 0 (no timer) to 86400000, or empty"),
               {.tip = "requestIntervalTextField.toolTipText", .unit = "requestIntervalUnit.text"}),
        onTabs(text<CH::RequestCommand, &Config::getRequestCommand, &Config::setRequestCommand>(
                   "requestCommand", "RazezaRoZurFrame2.requestCommandLabel.text", "error.request.command",
                   later, "ASCII with \\r, \\n, \\e (ESC), \\\\ and \\xHH, or empty for the preset's own"),
               {.tip = "requestCommandTextField.toolTipText",
                .placeholder = "requestCommandTextField.placeholderText"}),
        onTabs(text<CH::RequestHotkey, &Config::getRequestHotkey, &Config::setRequestHotkey>(
                   "requestHotkey", "RazezaRoZurFrame2.requestHotkeyLabel.text", "error.request.hotkey",
                   later, "a key combination such as Ctrl+Alt+R grabbed by the window on X11, or empty",
                   [](const QString& typed) { return typed.trimmed(); }),
               {.tip = "requestHotkeyTextField.toolTipText",
                .placeholder = "requestHotkeyTextField.placeholderText"}),
        onTabs(yesNo<&Config::stableOnly>("stableOnly", false, "RazezaRoZurFrame2.stableOnlyCheckBox.text",
                                          later),
               {.tip = "stableOnlyCheckBox.toolTipText"}),
        onTabs(text<CH::StableRegEx, &Config::getStableRegEx, &Config::setStableRegEx>(
                   "stableRegEx", "RazezaRoZurFrame2.stableRegExLabel.text", "error.stable.expression", later,
                   "an expression that finds something in stable lines only, or empty"),
               {.tip = "stableRegExTextField.toolTipText",
                .placeholder = "stableRegExTextField.placeholderText"}),
        onTabs(recordSwitch<&RecordSettings::journal>("journal", true, "journal.checkBox.text")),
        onTabs(record<CH::JournalDays, &RecordSettings::journalDays>(
                   "journalDays", "journalDays.label", "error.journal.days",
                   "days 1 to 3650 a reading stays in the journal"),
               {.unit = "journalDays.unit", .plain = true}),
        onTabs(record<CH::JournalMaxMB, &RecordSettings::journalMaxMB>(
            "journalMaxMB", "journalMaxMB.unit", "error.journal.size",
            "the journal's size bound in MiB, 1 to 1000000")),
        onTabs(record<CH::Station, &RecordSettings::station>(
            "station", "station.label", "error.station",
            "this station's name, up to 64 characters without / + #, or empty for the host name")),
        onTabs(record<CH::PlainText, &RecordSettings::csvFile>(
                   "csvFile", "csvFile.label", "error.csv.file",
                   "a CSV file each reading is appended to (%Y %m %d %H for the date), or empty"),
               {.tip = "csvFile.toolTipText", .placeholder = "csvFile.placeholderText", .plain = true}),
        onTabs(recordSwitch<&RecordSettings::round>("round", false, "round.checkBox.text"),
               {.tip = "round.checkBox.toolTipText", .plain = true}),
        record<CH::MqttBroker, &RecordSettings::mqttBroker>(
            "mqttBroker", "publish.broker.label", "",
            "mqtt://HOST:PORT or mqtts://HOST:PORT, or empty for no publishing"),
        record<CH::MqttTopic, &RecordSettings::mqttTopic>(
            "mqttTopic", "publish.topic.label", "",
            "the topic of the readings without + and #; {station} is the station, {label} the "
            "instrument (its label, else its port; / + # in it become _)"),
        record<CH::PlainText, &RecordSettings::mqttUser>("mqttUser", "publish.user.label", "",
                                                         "the broker's user name, or empty"),
        record<CH::PlainText, &RecordSettings::mqttPasswordFile>(
            "mqttPasswordFile", "publish.passwordFile.label", "",
            "a file readable only by its owner holding the broker password, or empty"),
        record<CH::PlainText, &RecordSettings::mqttCaFile>(
            "mqttCaFile", "publish.caFile.label", "",
            "the CA certificate file that signed the broker's (mqtts), or empty"),
        recentAddressesRow(),
        outputTemplateRow(),
        onTabs(yesNo<&Config::remoteSession>("remoteSession", false,
                                             "RazezaRoZurFrame2.remoteSessionCheckBox.text", later),
               {.tip = "remoteSessionCheckBox.toolTipText"}),
        yesNo<&Config::scaleEveryReport>("scaleEveryReport", false, "", later),
        onTabs(choice<CH::OutputMode, &Config::getOutputMode, &Config::setOutputMode>(
                   "outputMode", "outputMode.label", later),
               {.tip = "outputMode.toolTipText", .plain = true}),
        onTabs(choice<CH::PasteKey, &Config::getPasteKey, &Config::setPasteKey>("pasteKey", "pasteKey.label",
                                                                                later),
               {.tip = "pasteKey.toolTipText", .plain = true}),
    };
    return t;
}

// The typed getters fall back to the default on a text they cannot read ("abc" as a bit
// rate); what the setting writes back then differs from what was given.
bool readsBackAsItself(const QString& given, const QString& written) {
    if (given.compare(written, Qt::CaseInsensitive) == 0)
        return true;
    bool a = false, b = false;
    const int x = given.toInt(&a);
    const int y = written.toInt(&b);
    return a && b && x == y;
}

} // namespace

bool Setting::load(Config& config, const QString& stored) const {
    // A switch or number the store cannot read is its default, quietly, as the typed
    // getters of the store always had it.
    const bool readable = type == T::Switch    ? isSwitchText(stored)
                          : type == T::Integer ? storedInt(stored).has_value()
                                               : true;
    const QString text = readable ? stored : defaultText;
    if (valid(text)) {
        parse(config, text);
        return true;
    }
    parse(config, defaultText);
    return false;
}

const QList<Setting>& settingsTable() {
    static const QList<Setting> table = buildTable();
    return table;
}

const Setting* findSetting(const QString& key) {
    for (const Setting& s : settingsTable())
        if (key == QLatin1String(s.key))
            return &s;
    return nullptr;
}

QList<const Setting*> settingsInSaveOrder() {
    QList<const Setting*> order;
    for (const Setting& s : settingsTable())
        order.append(&s);
    std::stable_sort(order.begin(), order.end(),
                     [](const Setting* a, const Setting* b) { return a->saveRank < b->saveRank; });
    return order;
}

bool applySetting(Config& config, const QString& key, const QString& text) {
    const Setting* s = findSetting(key);
    if (!s)
        return false;
    Config trial = config;
    if (!s->load(trial, text) || !readsBackAsItself(text, s->format(trial)))
        return false;
    s->load(config, text);
    return true;
}

QString settingProblem(const QString& key, const QString& text) {
    const Setting* s = findSetting(key);
    return s && s->problem ? s->problem(text) : QString();
}

bool configChanged(const Config& a, const Config& b) {
    return a.getPort() != b.getPort() || settingsDiffer(a, b);
}

bool settingsDiffer(const Config& a, const Config& b) {
    return std::any_of(settingsTable().begin(), settingsTable().end(),
                       [&](const Setting& s) { return s.format(a) != s.format(b); });
}

QString addressListText(const QStringList& addresses) {
    return addresses.join(u' ');
}

std::optional<QStringList> parseAddressList(const QString& text) {
    QStringList out = text.split(u' ', Qt::SkipEmptyParts);
    if (out.size() > maxRecentAddresses || out.removeDuplicates() > 0)
        return std::nullopt;
    for (const QString& a : out)
        if (!Tarolink::NetworkAddress::parse(a.toStdString()))
            return std::nullopt;
    return out;
}

} // namespace tarovex::config
