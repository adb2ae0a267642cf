#include "tarovex/texts/ShellBundle.h"

#include "config/ConfigHelper.h"
#include "config/Instrument.h"
#include "config/SettingsTable.h"
#include "worker/WorkerMessages.h"

namespace tarovex {

const config::ResourceBundle& shellBundle() {
    static const auto bundle = config::ResourceBundle::getBundle(QString::fromLatin1(shellBundleName));
    return *bundle;
}

QString text(const QString& key) {
    const auto& bundle = shellBundle();
    return bundle.containsKey(key) ? bundle.getString(key) : key;
}

QStringList shellKeys() {
    QStringList keys;
    const char* const frameKeys[] = {
        "abortAutoStartCheckBox.text", "abortAutoStartCheckBox.toolTipText", "aboutPane.text",
        "aboutPanel.tab.title", "adjustIgnoreButton.text", "autoButton.text", "autoButton.toolTipText",
        "autoConnectButton.text", "autoConnectButton.toolTipText", "bitRateBox.toolTipText",
        "checkForUpdatesCheckBox.text", "customizeButton.text", "customizeButton.toolTipText",
        "decimalSeparatorBox.toolTipText", "decimalTextField.toolTipText", "defaultButton.text",
        "defaultButton.toolTipText", "delayTextField.toolTipText", "deviceLabel.text",
        "editNumCharactersTextField.toolTipText", "eventLogPanel.tab.title",
        "everyXValuesTextField.toolTipText", "exportSettingsButton.text", "exportSettingsButton.toolTipText",
        "ignoreDuplicatesCheckBox.text", "importSettingsButton.text", "importSettingsButton.toolTipText",
        "inputPanel.tab.title", "inputTerminatorBox.prototypeDisplayValue", "inputTerminatorBox.toolTipText",
        "instrumentBox.toolTipText", "keyboardTypeBox.toolTipText", "manualConnectButton.text",
        "manualConnectButton.toolTipText", "mathOperandTextField.toolTipText", "mathOperationBox.toolTipText",
        "minimizeToTrayCheckBox.text", "notifyWhenMinimizedToTrayCheckBox.text", "outputPanel.tab.title",
        "outputTerminatorBox.toolTipText", "outputTerminatorBox2.toolTipText", "panel1.tab.title",
        "portList.toolTipText", "processingPanel.tab.title", "refreshPortsButton.text",
        "refreshPortsButton.toolTipText", "removeCharactersTextField.toolTipText",
        "roundingMethodBox.toolTipText", "settingsPanel.tab.title", "soundComboBox.toolTipText",
        "startStopJButton.text", "startStopJButton.textStop", "startStopJButton.toolTipText",
        "readNowButton.text", "readNowButton.toolTipText", "tareButton.text", "zeroButton.text",
        "readingLabel.toolTipText", "requestCommandLabel.text", "requestCommandTextField.toolTipText",
        "requestCommandTextField.placeholderText", "requestIntervalLabel.text",
        "requestIntervalTextField.toolTipText", "requestIntervalUnit.text", "stabilityLabel.text",
        "stableOnlyCheckBox.text", "stableOnlyCheckBox.toolTipText", "remoteSessionCheckBox.text",
        "remoteSessionCheckBox.toolTipText", "stableRegExLabel.text", "stableRegExTextField.toolTipText",
        "stableRegExTextField.placeholderText", "startWithBox.toolTipText", "statusJLabel.text",
        "addInstrumentButton.text", "addInstrumentDialog.title", "renameInstrumentButton.text",
        "removeInstrumentButton.text", "instrumentsTable.name", "instrumentsTable.port",
        "instrumentsTable.state", "instrumentsTable.value",
        // The labels of the input, processing, output and settings tabs.
        "label2.text", "label3.text", "label6.text", "label7.text", "label8.text", "label9.text",
        "label10.text", "label14.text", "label15.text", "label16.text", "label20.text", "label22.text",
        "label24.text", "label25.text", "label29.text", "label30.text", "label31.text", "label32.text",
        "label4.text", "label5.text", "label12.text_2", "label17.text", "label18.text", "label23.text",
        "label26.text", "label27.text", "label33.text", "label34.text", "label35.text", "label13.text",
        "trayLabel.text", "label28.text", "requestHotkeyLabel.text", "requestHotkeyTextField.toolTipText",
        "requestHotkeyTextField.placeholderText"};
    for (const char* k : frameKeys)
        keys.append(QStringLiteral("RazezaRoZurFrame2.") + QString::fromLatin1(k));
    const char* const plainKeys[] = {"error",
                                     "warning",
                                     "info",
                                     "fatal.error",
                                     "sound.output.error",
                                     "overwrite",
                                     "access.error.while.loading.settings",
                                     "access.error.while.saving.settings",
                                     "autosave.error",
                                     "cancelled.by.user",
                                     "checking.for.update",
                                     "configuration.exported.to.file.n",
                                     "error.decimal.places",
                                     "error.edit.everyXValues",
                                     "error.edit.numCharacters",
                                     "error.edit.removeCharacters",
                                     "error.initializing.keyboard.output",
                                     "error.intercharacter.delay",
                                     "error.listing.available.ports",
                                     "error.math.operand",
                                     "error.opening.port",
                                     "error.while.initializing.sound.output",
                                     "error.while.loading.settings",
                                     "export.failed",
                                     "export.successful",
                                     "file.already.exists.overwrite",
                                     "files.missing.or.corrupted",
                                     "ignore.error",
                                     "info.delay.keyboard.all",
                                     "internal.error",
                                     "invalid.expression",
                                     "invalid.setting",
                                     "keyboard.output.started.type",
                                     "library.tlkwin.not.found.or.not.matching.your.system",
                                     "line.count",
                                     "minimized.to.system.tray",
                                     "no.default.values.available.for.this.device",
                                     "no.rs.232.port.found.on.your.system.program.will.now.exit",
                                     "please.enter.number.of.decimal.places.for.rounding.or.disable.division",
                                     "please.turn.off.caps.lock",
                                     "previously.used.port.0.no.longer.available.naborting.auto.start",
                                     "program.will.now.exit",
                                     "request.no.command",
                                     "request.timer",
                                     "request.unanswered",
                                     "hotkey.taken",
                                     "error.request.hotkey",
                                     "hotkey.refused",
                                     "hotkey.unavailable",
                                     "hotkey.wayland",
                                     "hotkey.no.desktop",
                                     "error.request.command",
                                     "error.request.interval",
                                     "error.stable.expression",
                                     "reading.none",
                                     "reading.age.now",
                                     "reading.age.seconds",
                                     "reading.age.minutes",
                                     "reading.age.hours",
                                     "reading.stable",
                                     "reading.unstable",
                                     "reading.unstable.notTyped",
                                     "reading.dropped",
                                     "reading.tray",
                                     "broker.waiting",
                                     "broker.connected",
                                     "switch.to.target.application",
                                     "terminator.must.be.between.0.and.255",
                                     "values.waiting",
                                     "values.waiting.countdown",
                                     "opening.port",
                                     "stable.expression.unused",
                                     "stable.unmarked",
                                     "typing.abandoned",
                                     "values.dropped.at.stop",
                                     "journal.what.text",
                                     "journal.what.toolTipText",
                                     "exportReadingsButton.text",
                                     "journal.label",
                                     "tray.unavailable",
                                     "checkComputerButton.text",
                                     "checkComputerButton.toolTipText",
                                     "checkComputer.label",
                                     "export.readings.title",
                                     "export.readings.none",
                                     "export.readings.csv",
                                     "export.readings.json",
                                     "export.readings.from",
                                     "export.readings.to",
                                     "export.readings.format",
                                     "export.readings.written",
                                     "export.readings.unwritable",
                                     "export.readings.progress",
                                     "export.readings.cancel",
                                     "publishButton.text",
                                     "publishButton.toolTipText",
                                     "publish.title",
                                     "publish.what.text",
                                     "publish.broker.label",
                                     "publish.broker.placeholderText",
                                     "publish.broker.toolTipText",
                                     "publish.topic.label",
                                     "publish.topic.toolTipText",
                                     "publish.user.label",
                                     "publish.user.placeholderText",
                                     "publish.passwordFile.label",
                                     "publish.passwordFile.placeholderText",
                                     "publish.caFile.label",
                                     "publish.caFile.placeholderText",
                                     "publish.choose.text",
                                     "publish.choose.toolTipText",
                                     "publish.note.text",
                                     "publish.passwordFile.warning",
                                     "publish.passwordFile.plain",
                                     "publish.error.broker",
                                     "publish.error.topic",
                                     "publish.error.user",
                                     "publish.error.passwordFile",
                                     "publish.error.caFile",
                                     "doctor.blocked",
                                     "doctor.clear",
                                     "doctor.title",
                                     "doctor.again",
                                     "doctor.paste.ok",
                                     "doctor.paste.unavailable",
                                     "paste.noWindow",
                                     "paste.wayland",
                                     "paste.noAnswer",
                                     "update.available",
                                     "update.check.failed",
                                     "CustomRegExDialog.this.title",
                                     "CustomRegExDialog.label2.text",
                                     "CustomRegExDialog.label3.text",
                                     "CustomRegExDialog.label4.text",
                                     "CustomRegExDialog.cancelButton.text",
                                     "IgnoreDialog.this.title",
                                     "IgnoreDialog.label1.text",
                                     "IgnoreDialog.label2.text",
                                     "IgnoreDialog.label3.text",
                                     "IgnoreDialog.label5.text",
                                     "IgnoreDialog.ignoreTimeLimitTextField.toolTipText",
                                     "IgnoreDialog.ignoreDifferenceTextField.toolTipText",
                                     "IgnoreDialog.cancelButton.text"};
    for (const char* k : plainKeys)
        keys.append(QString::fromLatin1(k));
    // The labels, messages, tooltips, placeholders and units the settings table names.
    for (const config::Setting& s : config::settingsTable())
        for (const char* k : {s.labelKey, s.errorKey, s.tipKey, s.placeholderKey, s.unitKey})
            if (*k && !keys.contains(QLatin1String(k)))
                keys.append(QString::fromLatin1(k));
    return keys;
}

QList<RequiredKeys> programBundles() {
    QStringList workerKeys;
    for (const auto& k : worker::WorkerMessages::ALL)
        workerKeys.append(QString(k.key));
    return {{QString::fromLatin1(shellBundleName), shellKeys()},
            {QString::fromLatin1(config::ConfigHelper::bundleName), config::ConfigHelper::resourceKeys()},
            {QStringLiteral("tarovex.worker.WorkerBundle"), workerKeys}};
}

std::optional<MissingKey> checkResourceBundles(const QList<RequiredKeys>& required) {
    for (const RequiredKeys& r : required) {
        try {
            const auto bundle = config::ResourceBundle::getBundle(r.bundleName);
            const QStringList missing = bundle->missingKeys(r.keys);
            if (!missing.isEmpty())
                return MissingKey{r.bundleName, missing.first()};
        } catch (const config::MissingResourceException&) {
            return MissingKey{r.bundleName, r.keys.value(0)};
        }
    }
    return std::nullopt;
}

} // namespace tarovex
