#include "tarovex/ui/WindowTabs.h"

#include "Tarolink/SystemProperties.h"
#include "config/Config.h"
#include "config/SettingsTable.h"
#include "journal/JournalDb.h"
#include "tarovex/texts/ShellBundle.h"
#include "tarovex/ui/InstrumentsPanel.h"
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
#include <stdexcept>
#include <string>

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

// The row of a setting the tabs show; a key that is none is a fault of this file.
const config::Setting& row(const char* key) {
    const config::Setting* s = config::findSetting(QString::fromLatin1(key));
    if (!s || !s->onTabs)
        throw std::logic_error(std::string("the tabs show no setting ") + key);
    return *s;
}

// The label text of a setting, from the settings table.
QString settingText(const char* key) {
    return text(QString::fromLatin1(row(key).labelKey));
}

QLabel* label(const char* key) {
    return new QLabel(frameText(key));
}

QPushButton* button(const char* key, const char* tipKey = nullptr) {
    auto* b = new QPushButton(frameText(key));
    if (tipKey)
        b->setToolTip(frameText(tipKey));
    return b;
}

// Registers `w` as the control of setting `key`, with the row's tooltip.
template <typename W> W* bound(Controls& c, const char* key, W* w) {
    if (const char* tip = row(key).tipKey; *tip)
        w->setToolTip(text(QString::fromLatin1(tip)));
    c.settings.insert(QString::fromLatin1(key), w);
    return w;
}

QCheckBox* tick(Controls& c, const char* key) {
    return bound(c, key, new QCheckBox(settingText(key)));
}

// The row's choices in order, so that the index is the ordinal.
QComboBox* list(Controls& c, const char* key) {
    auto* box = new QComboBox;
    for (const QString& choice : row(key).choiceTexts)
        box->addItem(choiceLabel(choice));
    return bound(c, key, box);
}

QLineEdit* field(Controls& c, const char* key, int width = 120) {
    auto* f = new QLineEdit;
    f->setMaximumWidth(width);
    if (const char* placeholder = row(key).placeholderKey; *placeholder)
        f->setPlaceholderText(text(QString::fromLatin1(placeholder)));
    return bound(c, key, f);
}

// A form row of the setting's label and control, with the unit its row names after it.
void addRow(QFormLayout* form, const char* key, QWidget* control) {
    const char* unit = row(key).unitKey;
    if (!*unit) {
        form->addRow(settingText(key), control);
        return;
    }
    auto* line = new QHBoxLayout;
    line->addWidget(control);
    line->addWidget(new QLabel(text(QString::fromLatin1(unit))));
    line->addStretch();
    form->addRow(settingText(key), line);
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
    c.instruments = new InstrumentsPanel;
    layout->addWidget(c.instruments);
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
    addRow(form, "requestCommand", field(c, "requestCommand", 200));
    addRow(form, "requestInterval", field(c, "requestInterval"));
    addRow(form, "requestHotkey", field(c, "requestHotkey", 160));
}

QWidget* inputTab(Controls& c) {
    auto* panel = new QWidget;
    auto* grid = new QGridLayout(panel);
    c.port = new PortBox;
    c.port->setToolTip(frameText("portList.toolTipText"));
    QComboBox* stopBits = list(c, "stopBits");
    for (int i = 0; i < stopBits->count(); ++i)
        stopBits->setItemText(i, stopBits->itemText(i) + (stopBits->itemText(i) == u"1"
                                                              ? QStringLiteral(" stop bit")
                                                              : QStringLiteral(" stop bits")));
    // The terminator box's texts are read back as they are (parseInputTerminator).
    auto* terminator = bound(c, "inputTerminator", new QComboBox);
    for (const CH::InputTerminator& t : CH::InputTerminator::values())
        terminator->addItem(t.toString());
    terminator->setEditable(true);
    terminator->setInsertPolicy(QComboBox::NoInsert);
    terminator->setMinimumContentsLength(frameText("inputTerminatorBox.prototypeDisplayValue").size());
    c.refreshPorts = button("refreshPortsButton.text", "refreshPortsButton.toolTipText");
    c.findPort = button("autoButton.text", "autoButton.toolTipText");
    c.defaults = button("defaultButton.text", "defaultButton.toolTipText");
    c.customize = button("customizeButton.text", "customizeButton.toolTipText");

    int row = 0;
    grid->addWidget(label("label2.text"), row, 0);
    grid->addWidget(c.port, row, 1, 1, 2);
    grid->addWidget(c.refreshPorts, row, 3);
    grid->addWidget(new QLabel(settingText("instrument")), ++row, 0);
    grid->addWidget(list(c, "instrument"), row, 1, 1, 2);
    grid->addWidget(c.findPort, row, 3);
    auto* line = new QGroupBox(frameText("label10.text"));
    auto* form = new QFormLayout(line);
    for (const char* key : {"bitRate", "dataBits"})
        addRow(form, key, list(c, key));
    addRow(form, "stopBits", stopBits);
    addRow(form, "parity", list(c, "parity"));
    addRow(form, "inputTerminator", terminator);
    requestRows(c, form);
    form->addRow(QString(), tick(c, "reconnect"));
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
    addRow(form, "mathOperation", list(c, "mathOperation"));
    addRow(form, "mathOperand", field(c, "mathOperand"));
    addRow(form, "decimalPlaces", field(c, "decimalPlaces"));
    for (const char* key : {"roundingMethod", "editOperation", "editPosition"})
        addRow(form, key, list(c, key));
    for (const char* key : {"editNumCharacters", "removeCharacters"})
        addRow(form, key, field(c, key));
    c.adjustIgnore = button("adjustIgnoreButton.text");
    auto* repeat = new QHBoxLayout;
    repeat->addWidget(tick(c, "ignoreDuplicates"));
    repeat->addWidget(c.adjustIgnore);
    repeat->addStretch();
    form->addRow(label("label31.text"), repeat);
    form->addRow(label("stabilityLabel.text"), tick(c, "stableOnly"));
    addRow(form, "stableRegEx", field(c, "stableRegEx", 300));
    form->addRow(label("label32.text"));
    return panel;
}

QWidget* outputTab(Controls& c) {
    auto* panel = new QWidget;
    auto* form = new QFormLayout(panel);
    addRow(form, "decimalSeparator", bound(c, "decimalSeparator", new DecimalSeparatorBox));
    for (const char* key : {"startWith", "outputTerminator", "outputTerminator2"})
        addRow(form, key, list(c, key));
    addRow(form, "everyXValues", field(c, "everyXValues"));
    addRow(form, "outputTemplate", field(c, "outputTemplate", 440));
    form->addRow(label("label35.text"));
    addRow(form, "keyboardType", list(c, "keyboardType"));
    addRow(form, "delay", field(c, "delay"));
    form->addRow(QString(), tick(c, "remoteSession"));
    for (const char* key : {"outputMode", "pasteKey"})
        addRow(form, key, list(c, key));
    addRow(form, "sound", list(c, "sound"));
    return panel;
}

// The record of the readings: the journal with its bounds, the station, the live CSV file and
// the publishing dialog.
void recordRows(Controls& c, QFormLayout* form) {
    // Two set lines: a wrapped label gets squeezed in the form's height.
    auto* what = new QLabel(text(QStringLiteral("journal.what.text")));
    what->setToolTip(shellBundle().format(QStringLiteral("journal.what.toolTipText"),
                                          {journal::JournalDb::defaultPath()}));
    QLineEdit* station = field(c, "station", 220);
    station->setPlaceholderText(QSysInfo::machineHostName());
    c.exportReadings = new QPushButton(text(QStringLiteral("exportReadingsButton.text")));
    c.publish = new QPushButton(text(QStringLiteral("publishButton.text")));
    c.publish->setToolTip(text(QStringLiteral("publishButton.toolTipText")));
    c.publish->setMinimumWidth(c.exportReadings->sizeHint().width());
    // Days and size in one line: the size's label is its unit.
    auto* bounds = new QHBoxLayout;
    bounds->addWidget(field(c, "journalDays", 60));
    bounds->addWidget(new QLabel(text(QString::fromLatin1(row("journalDays").unitKey))));
    bounds->addWidget(field(c, "journalMaxMB", 80));
    bounds->addWidget(new QLabel(settingText("journalMaxMB")));
    bounds->addStretch();
    bounds->addWidget(c.exportReadings);
    form->addRow(text(QStringLiteral("journal.label")), tick(c, "journal"));
    form->addRow(QString(), what);
    form->addRow(settingText("journalDays"), bounds);
    // Under Export readings: the station name is a level of the published topic.
    auto* stationLine = new QHBoxLayout;
    stationLine->addWidget(station, 1);
    stationLine->addStretch();
    stationLine->addWidget(c.publish);
    form->addRow(settingText("station"), stationLine);
    addRow(form, "csvFile", field(c, "csvFile", 360));
}

QWidget* settingsTab(Controls& c, const TabsContext& context) {
    auto* panel = new QWidget;
    auto* form = new QFormLayout(panel);
    // The connect choice as two radio buttons, whose ids are the choice's ordinals.
    auto* manual = new QRadioButton(frameText("manualConnectButton.text"));
    manual->setToolTip(frameText("manualConnectButton.toolTipText"));
    auto* automatic = new QRadioButton(frameText("autoConnectButton.text"));
    automatic->setToolTip(frameText("autoConnectButton.toolTipText"));
    auto* connect = new QButtonGroup(panel);
    connect->addButton(manual, CH::Connect::MANUAL.ordinal());
    connect->addButton(automatic, CH::Connect::AUTO.ordinal());
    c.settings.insert(QStringLiteral("connect"), connect);
    QCheckBox* minimize = tick(c, "minimizeToTray");
    QCheckBox* notifyMinimized = tick(c, "notifyWhenMinimizedToTray");
    if (!context.trayAvailable) {
        // Ticked, minimising would withdraw the window with no icon to bring it back.
        const QString why = text(QStringLiteral("tray.unavailable"));
        minimize->setText(minimize->text() + QStringLiteral(" (no system tray here)"));
        for (QCheckBox* b : {minimize, notifyMinimized}) {
            b->setToolTip(why);
            b->setEnabled(false);
        }
    }
    QCheckBox* updates = tick(c, "checkForUpdates");
    if (context.noUpdateCheck) {
        // Not ticked for a check that cannot run; the tooltip of a disabled box still shows.
        updates->setText(updates->text() + QStringLiteral(" (not in this build)"));
        updates->setToolTip(*context.noUpdateCheck);
        updates->setEnabled(false);
    }
    c.importSettings = button("importSettingsButton.text", "importSettingsButton.toolTipText");
    c.exportSettings = button("exportSettingsButton.text", "exportSettingsButton.toolTipText");
    form->addRow(settingText("connect"), manual);
    form->addRow(QString(), automatic);
    form->addRow(QString(), tick(c, "abortAutoStartWhenPrevPortNotAvailable"));
    form->addRow(label("trayLabel.text"), minimize);
    form->addRow(QString(), notifyMinimized);
    form->addRow(QStringLiteral("Updates:"), updates);
    c.startWithDesktop = new QCheckBox(text(QStringLiteral("startWithDesktop.text")));
    c.startWithDesktop->setToolTip(text(QStringLiteral("startWithDesktop.toolTipText")));
    form->addRow(text(QStringLiteral("startWithDesktop.label")), c.startWithDesktop);
    form->addRow(text(QStringLiteral("round.label")), tick(c, "round"));
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
