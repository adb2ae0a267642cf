#include "tarovex/ui/WindowTabs.h"

#include "Tarolink/SystemProperties.h"
#include "config/Config.h"
#include "config/SettingsTable.h"
#include "journal/JournalDb.h"
#include "tarovex/texts/ShellBundle.h"
#include "tarovex/ui/LinkOpener.h"
#include "tarovex/ui/LogView.h"
#include "tarovex/ui/PortBox.h"
#include "tarovex/ui/ReadingPanel.h"
#include "tarovex/ui/SettingsDialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSysInfo>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>

namespace tarovex::ui {

namespace CH = config::ConfigHelper;

QString frameText(const char* key) {
    return text(QStringLiteral("RazezaRoZurFrame2.") + QString::fromLatin1(key));
}

namespace {

// One capitalisation in every list: "NONE" and "half up" are shown as "None" and "Half up".
QString choiceLabel(const QString& name) {
    if (name.isEmpty() || !name.front().isLetter())
        return name;
    const bool shouting = name.size() > 1 && name == name.toUpper() && !name.contains(u' ') &&
                          std::all_of(name.begin(), name.end(), [](QChar ch) { return ch.isLetter(); });
    return name.front().toUpper() + (shouting ? name.mid(1).toLower() : name.mid(1));
}

// Enumeration boxes list the constants in ordinal order, so the index is the ordinal.
template <typename E> QComboBox* enumBox(const char* tipKey = nullptr) {
    auto* box = new QComboBox;
    for (const E& e : E::values())
        box->addItem(choiceLabel(e.toString()));
    if (tipKey)
        box->setToolTip(frameText(tipKey));
    return box;
}

QLineEdit* field(const char* tipKey) {
    auto* f = new QLineEdit;
    f->setToolTip(frameText(tipKey));
    f->setMaximumWidth(120);
    return f;
}

// A text field of the window's bundle with its placeholder and a width for its content.
QLineEdit* field(const char* tipKey, const char* placeholderKey, int width) {
    auto* f = field(tipKey);
    f->setPlaceholderText(frameText(placeholderKey));
    f->setMaximumWidth(width);
    return f;
}

QLabel* label(const char* key) {
    return new QLabel(frameText(key));
}

// The label text of a setting, from the settings table.
QString settingText(const char* key) {
    const config::Setting* s = config::findSetting(QString::fromLatin1(key));
    return s ? text(QString::fromLatin1(s->labelKey)) : QString::fromLatin1(key);
}

QLabel* settingLabel(const char* key) {
    return new QLabel(settingText(key));
}

QPushButton* button(const char* key, const char* tipKey = nullptr) {
    auto* b = new QPushButton(frameText(key));
    if (tipKey)
        b->setToolTip(frameText(tipKey));
    return b;
}

QWidget* startTab(Controls& c) {
    auto* panel = new QWidget;
    auto* layout = new QVBoxLayout(panel);
    auto* requests = new QHBoxLayout;
    c.readNow = button("readNowButton.text", "readNowButton.toolTipText");
    c.tare = button("tareButton.text");
    c.zero = button("zeroButton.text");
    for (QPushButton* b : {c.readNow, c.tare, c.zero}) {
        b->setVisible(false);
        requests->addWidget(b);
    }
    layout->addLayout(requests);
    c.reading = new ReadingPanel;
    c.reading->setToolTip(frameText("readingLabel.toolTipText"));
    c.reading->setVisible(false);
    layout->addWidget(c.reading);
    c.startStop = button("startStopJButton.text", "startStopJButton.toolTipText");
    c.startStop->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QFont f = c.startStop->font();
    f.setPointSize(f.pointSize() * 2);
    c.startStop->setFont(f);
    layout->addWidget(c.startStop);
    return panel;
}

// Asking the instrument for readings: the command, the timer and the key of the desktop.
void requestRows(Controls& c, QFormLayout* form) {
    c.requestCommand =
        field("requestCommandTextField.toolTipText", "requestCommandTextField.placeholderText", 200);
    c.requestInterval = field("requestIntervalTextField.toolTipText");
    form->addRow(settingLabel("requestCommand"), c.requestCommand);
    auto* every = new QHBoxLayout;
    every->addWidget(c.requestInterval);
    every->addWidget(label("requestIntervalUnit.text"));
    every->addStretch();
    form->addRow(settingLabel("requestInterval"), every);
    c.requestHotkey =
        field("requestHotkeyTextField.toolTipText", "requestHotkeyTextField.placeholderText", 160);
    form->addRow(settingLabel("requestHotkey"), c.requestHotkey);
}

QWidget* inputTab(Controls& c) {
    auto* panel = new QWidget;
    auto* grid = new QGridLayout(panel);
    c.port = new PortBox;
    c.port->setToolTip(frameText("portList.toolTipText"));
    c.instrument = enumBox<CH::Instrument>("instrumentBox.toolTipText");
    c.bitRate = enumBox<CH::BitRates>("bitRateBox.toolTipText");
    c.dataBits = enumBox<CH::DataBits>();
    c.stopBits = enumBox<CH::StopBits>();
    for (int i = 0; i < c.stopBits->count(); ++i)
        c.stopBits->setItemText(i, c.stopBits->itemText(i) + (c.stopBits->itemText(i) == u"1"
                                                                  ? QStringLiteral(" stop bit")
                                                                  : QStringLiteral(" stop bits")));
    c.parity = enumBox<CH::Parity>();
    // The terminator box's texts are read back as they are (parseInputTerminator).
    c.inputTerminator = new QComboBox;
    c.inputTerminator->setToolTip(frameText("inputTerminatorBox.toolTipText"));
    for (const CH::InputTerminator& t : CH::InputTerminator::values())
        c.inputTerminator->addItem(t.toString());
    c.inputTerminator->setEditable(true);
    c.inputTerminator->setInsertPolicy(QComboBox::NoInsert);
    c.inputTerminator->setMinimumContentsLength(frameText("inputTerminatorBox.prototypeDisplayValue").size());
    c.reconnect = new QCheckBox(settingText("reconnect"));
    c.reconnect->setToolTip(frameText("reconnectCheckBox.toolTipText"));
    c.refreshPorts = button("refreshPortsButton.text", "refreshPortsButton.toolTipText");
    c.findPort = button("autoButton.text", "autoButton.toolTipText");
    c.defaults = button("defaultButton.text", "defaultButton.toolTipText");
    c.customize = button("customizeButton.text", "customizeButton.toolTipText");

    int row = 0;
    grid->addWidget(label("label2.text"), row, 0);
    grid->addWidget(c.port, row, 1, 1, 2);
    grid->addWidget(c.refreshPorts, row, 3);
    grid->addWidget(settingLabel("instrument"), ++row, 0);
    grid->addWidget(c.instrument, row, 1, 1, 2);
    grid->addWidget(c.findPort, row, 3);
    auto* line = new QGroupBox(frameText("label10.text"));
    auto* form = new QFormLayout(line);
    form->addRow(settingLabel("bitRate"), c.bitRate);
    form->addRow(settingLabel("dataBits"), c.dataBits);
    form->addRow(settingLabel("stopBits"), c.stopBits);
    form->addRow(settingLabel("parity"), c.parity);
    form->addRow(settingLabel("inputTerminator"), c.inputTerminator);
    requestRows(c, form);
    form->addRow(QString(), c.reconnect);
    grid->addWidget(line, ++row, 0, 1, 3);
    auto* side = new QVBoxLayout;
    side->addWidget(c.defaults);
    side->addWidget(label("label14.text"));
    side->addWidget(c.customize);
    side->addStretch();
    grid->addLayout(side, row, 3);
    grid->setRowStretch(row + 1, 1);
    return panel;
}

QWidget* processingTab(Controls& c) {
    auto* panel = new QWidget;
    auto* form = new QFormLayout(panel);
    c.mathOperation = enumBox<CH::MathOperation>("mathOperationBox.toolTipText");
    c.mathOperand = field("mathOperandTextField.toolTipText");
    c.decimalPlaces = field("decimalTextField.toolTipText");
    c.roundingMethod = enumBox<CH::RoundingMethod>("roundingMethodBox.toolTipText");
    c.editOperation = enumBox<CH::EditOperation>();
    c.editPosition = enumBox<CH::EditPosition>();
    c.editNumCharacters = field("editNumCharactersTextField.toolTipText");
    c.removeCharacters = field("removeCharactersTextField.toolTipText");
    c.ignoreDuplicates = new QCheckBox(settingText("ignoreDuplicates"));
    c.adjustIgnore = button("adjustIgnoreButton.text");
    form->addRow(settingLabel("mathOperation"), c.mathOperation);
    form->addRow(settingLabel("mathOperand"), c.mathOperand);
    form->addRow(settingLabel("decimalPlaces"), c.decimalPlaces);
    form->addRow(settingLabel("roundingMethod"), c.roundingMethod);
    form->addRow(settingLabel("editOperation"), c.editOperation);
    form->addRow(settingLabel("editPosition"), c.editPosition);
    form->addRow(settingLabel("editNumCharacters"), c.editNumCharacters);
    form->addRow(settingLabel("removeCharacters"), c.removeCharacters);
    auto* repeat = new QHBoxLayout;
    repeat->addWidget(c.ignoreDuplicates);
    repeat->addWidget(c.adjustIgnore);
    repeat->addStretch();
    form->addRow(label("label31.text"), repeat);
    c.stableOnly = new QCheckBox(settingText("stableOnly"));
    c.stableOnly->setToolTip(frameText("stableOnlyCheckBox.toolTipText"));
    c.stableRegEx = field("stableRegExTextField.toolTipText", "stableRegExTextField.placeholderText", 300);
    form->addRow(label("stabilityLabel.text"), c.stableOnly);
    form->addRow(settingLabel("stableRegEx"), c.stableRegEx);
    form->addRow(label("label32.text"));
    return panel;
}

QWidget* outputTab(Controls& c) {
    auto* panel = new QWidget;
    auto* form = new QFormLayout(panel);
    c.decimalSeparator = new DecimalSeparatorBox;
    c.decimalSeparator->setToolTip(frameText("decimalSeparatorBox.toolTipText"));
    c.outputTerminator = enumBox<CH::OutputTerminator>("outputTerminatorBox.toolTipText");
    c.outputTerminator2 = enumBox<CH::OutputTerminator>("outputTerminatorBox2.toolTipText");
    c.sound = enumBox<CH::Sound>("soundComboBox.toolTipText");
    c.keyboardType = enumBox<CH::KeyboardType>("keyboardTypeBox.toolTipText");
    c.startWith = enumBox<CH::StartWith>("startWithBox.toolTipText");
    c.delay = field("delayTextField.toolTipText");
    c.everyXValues = field("everyXValuesTextField.toolTipText");
    form->addRow(settingLabel("decimalSeparator"), c.decimalSeparator);
    form->addRow(settingLabel("startWith"), c.startWith);
    form->addRow(settingLabel("outputTerminator"), c.outputTerminator);
    form->addRow(settingLabel("outputTerminator2"), c.outputTerminator2);
    auto* every = new QHBoxLayout;
    every->addWidget(c.everyXValues);
    every->addWidget(label("label34.text"));
    every->addStretch();
    form->addRow(settingLabel("everyXValues"), every);
    form->addRow(label("label35.text"));
    form->addRow(settingLabel("keyboardType"), c.keyboardType);
    auto* delay = new QHBoxLayout;
    delay->addWidget(c.delay);
    delay->addWidget(label("label27.text"));
    delay->addStretch();
    form->addRow(settingLabel("delay"), delay);
    form->addRow(settingLabel("sound"), c.sound);
    return panel;
}

// The record of the readings: the journal with its bounds, the station, the live CSV file and
// the publishing dialog.
void recordRows(Controls& c, QFormLayout* form) {
    c.journal = new QCheckBox(settingText("journal"));
    // Two set lines: a wrapped label gets squeezed in the form's height.
    auto* what = new QLabel(text(QStringLiteral("journal.what.text")));
    what->setToolTip(shellBundle().format(QStringLiteral("journal.what.toolTipText"),
                                          {journal::JournalDb::defaultPath()}));
    const auto edit = [](int width, const QString& placeholder) {
        auto* e = new QLineEdit;
        e->setMaximumWidth(width);
        e->setPlaceholderText(placeholder);
        return e;
    };
    c.journalDays = edit(60, QString());
    c.journalMaxMB = edit(80, QString());
    c.station = edit(220, QSysInfo::machineHostName());
    c.csvFile = edit(360, text(QStringLiteral("csvFile.placeholderText")));
    c.csvFile->setToolTip(text(QStringLiteral("csvFile.toolTipText")));
    c.exportReadings = new QPushButton(text(QStringLiteral("exportReadingsButton.text")));
    c.publish = new QPushButton(text(QStringLiteral("publishButton.text")));
    c.publish->setToolTip(text(QStringLiteral("publishButton.toolTipText")));
    c.publish->setMinimumWidth(c.exportReadings->sizeHint().width());
    auto* bounds = new QHBoxLayout;
    bounds->addWidget(c.journalDays);
    bounds->addWidget(new QLabel(text(QStringLiteral("journalDays.unit"))));
    bounds->addWidget(c.journalMaxMB);
    bounds->addWidget(new QLabel(text(QStringLiteral("journalMaxMB.unit"))));
    bounds->addStretch();
    bounds->addWidget(c.exportReadings);
    form->addRow(text(QStringLiteral("journal.label")), c.journal);
    form->addRow(QString(), what);
    form->addRow(settingText("journalDays"), bounds);
    // Under Export readings: the station name is a level of the published topic.
    auto* station = new QHBoxLayout;
    station->addWidget(c.station, 1);
    station->addStretch();
    station->addWidget(c.publish);
    form->addRow(settingText("station"), station);
    form->addRow(settingText("csvFile"), c.csvFile);
}

QWidget* settingsTab(Controls& c, const TabsContext& context) {
    auto* panel = new QWidget;
    auto* form = new QFormLayout(panel);
    c.manualConnect = new QRadioButton(frameText("manualConnectButton.text"));
    c.manualConnect->setToolTip(frameText("manualConnectButton.toolTipText"));
    c.autoConnect = new QRadioButton(frameText("autoConnectButton.text"));
    c.autoConnect->setToolTip(frameText("autoConnectButton.toolTipText"));
    auto* group = new QButtonGroup(panel);
    group->addButton(c.manualConnect);
    group->addButton(c.autoConnect);
    c.minimizeToTray = new QCheckBox(settingText("minimizeToTray"));
    c.notifyWhenMinimizedToTray = new QCheckBox(settingText("notifyWhenMinimizedToTray"));
    if (!context.trayAvailable) {
        // Ticked, minimising would withdraw the window with no icon to bring it back.
        const QString why = text(QStringLiteral("tray.unavailable"));
        c.minimizeToTray->setText(c.minimizeToTray->text() + QStringLiteral(" (no system tray here)"));
        for (QCheckBox* b : {c.minimizeToTray, c.notifyWhenMinimizedToTray}) {
            b->setToolTip(why);
            b->setEnabled(false);
        }
    }
    c.checkForUpdates = new QCheckBox(settingText("checkForUpdates"));
    if (context.noUpdateCheck) {
        // Not ticked for a check that cannot run; the tooltip of a disabled box still shows.
        c.checkForUpdates->setText(c.checkForUpdates->text() + QStringLiteral(" (not in this build)"));
        c.checkForUpdates->setToolTip(*context.noUpdateCheck);
        c.checkForUpdates->setEnabled(false);
    }
    c.abortAutoStart = new QCheckBox(settingText("abortAutoStartWhenPrevPortNotAvailable"));
    c.abortAutoStart->setToolTip(frameText("abortAutoStartCheckBox.toolTipText"));
    c.importSettings = button("importSettingsButton.text", "importSettingsButton.toolTipText");
    c.exportSettings = button("exportSettingsButton.text", "exportSettingsButton.toolTipText");
    form->addRow(settingLabel("connect"), c.manualConnect);
    form->addRow(QString(), c.autoConnect);
    form->addRow(QString(), c.abortAutoStart);
    form->addRow(label("trayLabel.text"), c.minimizeToTray);
    form->addRow(QString(), c.notifyWhenMinimizedToTray);
    form->addRow(QStringLiteral("Updates:"), c.checkForUpdates);
    auto* transfer = new QHBoxLayout;
    transfer->addWidget(c.exportSettings);
    transfer->addWidget(c.importSettings);
    transfer->addStretch();
    form->addRow(label("label28.text"), transfer);
    c.checkComputer = new QPushButton(text(QStringLiteral("checkComputerButton.text")));
    c.checkComputer->setToolTip(text(QStringLiteral("checkComputerButton.toolTipText")));
    auto* check = new QHBoxLayout;
    check->addWidget(c.checkComputer);
    check->addStretch();
    form->addRow(text(QStringLiteral("checkComputer.label")), check);
    recordRows(c, form);
    return panel;
}

QWidget* aboutTab(Controls& c) {
    c.about = new QTextBrowser;
    c.about->setOpenLinks(false);
    const auto prop = [](const char* name) {
        return QString::fromStdString(Tarolink::SystemProperties::get(name).value_or(std::string()));
    };
    const QString version =
        QStringLiteral("Version %1 on %2 (%3)").arg(prop("VERSION"), prop("TLK_OSNAME"), prop("TLK_OSARCH"));
    QString about = frameText("aboutPane.text");
    about.replace(QStringLiteral("</body>"),
                  QStringLiteral("<p><small>%1</small></p></body>").arg(version.toHtmlEscaped()));
    c.about->setHtml(about);
    QObject::connect(c.about, &QTextBrowser::anchorClicked, c.about,
                     [](const QUrl& url) { openHyperlink(url.toString()); });
    return c.about;
}

} // namespace

QList<QWidget*> buildTabs(Controls& c, MessageLog& log, const TabsContext& context) {
    c.log = new LogView(log);
    return {startTab(c), inputTab(c), processingTab(c), outputTab(c), settingsTab(c, context),
            c.log,       aboutTab(c)};
}

QStringList tabTitles() {
    return {frameText("panel1.tab.title"),          frameText("inputPanel.tab.title"),
            frameText("processingPanel.tab.title"), frameText("outputPanel.tab.title"),
            frameText("settingsPanel.tab.title"),   frameText("eventLogPanel.tab.title"),
            frameText("aboutPanel.tab.title")};
}

} // namespace tarovex::ui
