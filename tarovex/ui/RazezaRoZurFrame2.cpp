#include "tarovex/ui/RazezaRoZurFrame2.h"

#include "Tarolink/FriendlyPortUtil.h"
#include "Tarolink/SerialPortLocal.h"
#include "Tarolink/SystemProperties.h"
#include "Tarolink/UdevDeviceMonitor.h"
#include "tarovex/settings/SettingsTransfer.h"
#include "tarovex/texts/ShellBundle.h"
#include "tarovex/prefs/PreferencesErrors.h"
#include "tarovex/ui/AutoPortDialog.h"
#include "tarovex/ui/LinkOpener.h"
#include "tarovex/ui/LogView.h"
#include "tarovex/ui/SettingsDialogs.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>

#include <atomic>
#include <iostream>

namespace tarovex::ui {

namespace CH = config::ConfigHelper;

namespace {

std::atomic<bool> closing{false};

QString frameText(const char* key) {
    return text(QStringLiteral("RazezaRoZurFrame2.") + QString::fromLatin1(key));
}

// Enumeration boxes list the constants in ordinal order, so the index is the ordinal.
template <typename E> QComboBox* enumBox(const char* tipKey = nullptr) {
    auto* box = new QComboBox;
    for (const E& e : E::values())
        box->addItem(e.toString());
    if (tipKey)
        box->setToolTip(frameText(tipKey));
    return box;
}
template <typename E> E selected(const QComboBox* box) {
    return E::values().value(std::max(0, box->currentIndex()), E::values().first());
}

QLineEdit* field(const char* tipKey) {
    auto* f = new QLineEdit;
    f->setToolTip(frameText(tipKey));
    f->setMaximumWidth(120);
    return f;
}

QLabel* label(const char* key) {
    return new QLabel(frameText(key));
}

class MessageBoxNotifier : public Notifier {
public:
    explicit MessageBoxNotifier(QWidget* parent) : parent_(parent) {}
    void show(Kind kind, const QString& title, const QString& message) override {
        switch (kind) {
        case Kind::Error:
            QMessageBox::critical(parent_, title, message);
            break;
        case Kind::Warning:
            QMessageBox::warning(parent_, title, message);
            break;
        case Kind::Info:
            QMessageBox::information(parent_, title, message);
            break;
        }
    }

private:
    QWidget* parent_;
};

const char* const iconFiles[] = {":/tarovex/tarovex32.png", ":/tarovex/tarovex24.png",
                                 ":/tarovex/tarovex20.png", ":/tarovex/tarovex16.png"};

} // namespace

bool RazezaRoZurFrame2::isClosing() {
    return closing.load();
}

RazezaRoZurFrame2::RazezaRoZurFrame2(FrameOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)), session_(options_.settingsNode) {
    setWindowTitle(QStringLiteral("Lumbrix Tarovex"));
    if (!options_.notifier) {
        ownNotifier_ = std::make_unique<MessageBoxNotifier>(this);
        options_.notifier = ownNotifier_.get();
    }
    run_ = std::make_unique<RunController>(session_.config(), options_.services, *options_.notifier, log_);
    connect(run_.get(), &RunController::connectedChanged, this, &RazezaRoZurFrame2::setConnectedAppearance,
            Qt::QueuedConnection);
    connect(run_.get(), &RunController::statusChanged, this, &RazezaRoZurFrame2::setStatus);
}

RazezaRoZurFrame2::~RazezaRoZurFrame2() {
    if (portMonitor_)
        portMonitor_->stop(); // its thread posts to this window
    session_.config().removePropertyChangeListener(QStringLiteral("NUMBER"), this);
    session_.config().removePropertyChangeListener(QStringLiteral("TEXT"), this);
    run_.reset();
}

void RazezaRoZurFrame2::notify(Notifier::Kind kind, const QString& title, const QString& message) {
    options_.notifier->show(kind, title, message);
}

bool RazezaRoZurFrame2::ask(const QString& title, const QString& message) {
    if (options_.ask)
        return options_.ask(title, message);
    return QMessageBox::question(this, title, message, QMessageBox::Ok | QMessageBox::Cancel) ==
           QMessageBox::Ok;
}

void RazezaRoZurFrame2::exitWith(int status) {
    if (options_.exit)
        options_.exit(status);
    else
        QCoreApplication::exit(status);
}

std::optional<QStringList> RazezaRoZurFrame2::listPorts(std::optional<int>& exitStatus) {
    using Tarolink::SerialPortLocal;
    QStringList ports;
    try {
        SerialPortLocal::loadLibrary();
        if (!SerialPortLocal::isLibraryLoaded()) {
            const auto os = Tarolink::SystemProperties::get("TLK_OSNAME");
            const auto arch = Tarolink::SystemProperties::get("TLK_OSARCH");
            const QString system = os && arch
                                       ? QStringLiteral(" (%1 %2)")
                                             .arg(QString::fromStdString(*os), QString::fromStdString(*arch))
                                       : QString();
            notify(Notifier::Kind::Error, text("fatal.error"),
                   text("library.tlkwin.not.found.or.not.matching.your.system") + system +
                       text("program.will.now.exit"));
            exitStatus = 2;
            return std::nullopt;
        }
        for (const std::string& name : SerialPortLocal::getPortList())
            ports.append(QString::fromStdString(name));
        try {
            Tarolink::FriendlyPortUtil::prepare();
        } catch (const std::exception&) {
            // Plain names then.
        }
    } catch (const std::exception& e) {
        notify(Notifier::Kind::Error, text("error"),
               text("error.listing.available.ports") + QString::fromUtf8(e.what()));
    }
    return ports;
}

std::optional<int> RazezaRoZurFrame2::startUp() {
    std::optional<int> exitStatus;
    QStringList ports;
    if (const auto port = commandLinePort(options_.arguments)) {
        ports = {*port};
        portGivenOnCommandLine_ = true;
    } else {
        const auto listed = listPorts(exitStatus);
        if (!listed)
            return exitStatus;
        ports = *listed;
        if (ports.isEmpty()) {
            notify(Notifier::Kind::Error, text("error"),
                   text("no.rs.232.port.found.on.your.system.program.will.now.exit"));
            return 1;
        }
    }
    try {
        if (!session_.load(ports))
            notify(Notifier::Kind::Error, text("error.while.loading.settings"),
                   text("error.while.loading.settings"));
    } catch (const prefs::PreferencesAccessException&) {
        notify(Notifier::Kind::Error, text("error.while.loading.settings"),
               text("access.error.while.loading.settings"));
    }
    config::Config& c = session_.config();
    if (!c.getInstrument())
        c.setInstrument(CH::Instrument::getDefault());
    if (portGivenOnCommandLine_)
        c.setPort(ports.first());
    session_.keepAsSaved();
    c.addPropertyChangeListener(QStringLiteral("NUMBER"), this);
    c.addPropertyChangeListener(QStringLiteral("TEXT"), this);

    initComponents();
    fillPortBox(ports);
    showControls(tabValuesFrom(c));
    decimalSeparatorBox_->setInstrumentType(c.getInstrument()->getInstrumentType().name());
    if (!portGivenOnCommandLine_) {
        // An adapter plugged in or out shows in the port box at once.
        portMonitor_ = std::make_unique<Tarolink::UdevDeviceMonitor>();
        portMonitor_->start([this] {
            QMetaObject::invokeMethod(this, &RazezaRoZurFrame2::portsChanged, Qt::QueuedConnection);
        });
    }

    if (options_.updateChecker && startsUpdateCheck(c, QRandomGenerator::global()->bounded(4)))
        options_.updateChecker->start([this](const QString& s) { setStatus(s); });

    QList<QIcon> icons;
    QIcon icon;
    for (const char* path : iconFiles) {
        const QPixmap p(QString::fromLatin1(path));
        if (p.isNull())
            std::cerr << "Couldn't find file: " << path << '\n';
        else
            icon.addPixmap(p);
    }
    setWindowIcon(icon);
    show();
    updateConfigFromTabs();
    if (c.minimizeToTray)
        addMinimizeToTraySupport();

    switch (decideAutoStart(c, portGivenOnCommandLine_)) {
    case AutoStart::None:
        break;
    case AutoStart::AbortPortGone:
        notify(Notifier::Kind::Error, text("error"),
               shellBundle().format(
                   QStringLiteral("previously.used.port.0.no.longer.available.naborting.auto.start"),
                   {c.getPrevPort().value_or(QString())}));
        break;
    case AutoStart::Start:
        startStop();
        if (c.minimizeToTray && trayIcon_)
            setWindowState(windowState() | Qt::WindowMinimized);
        break;
    }
    return std::nullopt;
}

void RazezaRoZurFrame2::initComponents() {
    tabbedPane_ = new QTabWidget;
    tabs_ = {buildStartTab(),    buildInputTab(), buildProcessingTab(), buildOutputTab(),
             buildSettingsTab(), buildLogTab(),   buildAboutTab()};
    tabTitles_ = {frameText("panel1.tab.title"),          frameText("inputPanel.tab.title"),
                  frameText("processingPanel.tab.title"), frameText("outputPanel.tab.title"),
                  frameText("settingsPanel.tab.title"),   frameText("eventLogPanel.tab.title"),
                  frameText("aboutPanel.tab.title")};
    for (int i = 0; i < tabs_.size(); ++i)
        tabbedPane_->addTab(tabs_[i], tabTitles_[i]);
    lastTab_ = tabs_.first();
    connect(tabbedPane_, &QTabWidget::currentChanged, this, &RazezaRoZurFrame2::tabbedPaneStateChanged);
    setCentralWidget(tabbedPane_);
    statusJLabel_ = new QLabel(frameText("statusJLabel.text"));
    statusJLabel_->setTextFormat(Qt::AutoText);
    statusJLabel_->setOpenExternalLinks(false);
    connect(statusJLabel_, &QLabel::linkActivated, this, [](const QString& link) { openHyperlink(link); });
    statusBar()->addWidget(statusJLabel_, 1);
    for (QLineEdit* f : {mathOperandTextField_, decimalTextField_, editNumCharactersTextField_,
                         removeCharactersTextField_, delayTextField_, everyXValuesTextField_})
        f->installEventFilter(this);
    resize(640, 420);
}

QWidget* RazezaRoZurFrame2::buildStartTab() {
    auto* panel = new QWidget;
    auto* layout = new QVBoxLayout(panel);
    startStopJButton_ = new QPushButton(frameText("startStopJButton.text"));
    startStopJButton_->setToolTip(frameText("startStopJButton.toolTipText"));
    startStopJButton_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QFont f = startStopJButton_->font();
    f.setPointSize(f.pointSize() * 2);
    startStopJButton_->setFont(f);
    connect(startStopJButton_, &QPushButton::clicked, this, &RazezaRoZurFrame2::startStop);
    layout->addWidget(startStopJButton_);
    return panel;
}

QWidget* RazezaRoZurFrame2::buildInputTab() {
    auto* panel = new QWidget;
    auto* grid = new QGridLayout(panel);
    portList_ = new QComboBox;
    portList_->setToolTip(frameText("portList.toolTipText"));
    portList_->setMinimumContentsLength(50); // room for "port: maker - model" names
    portList_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    instrumentBox_ = enumBox<CH::Instrument>("instrumentBox.toolTipText");
    connect(instrumentBox_, &QComboBox::activated, this, &RazezaRoZurFrame2::instrumentChosen);
    bitRateBox_ = enumBox<CH::BitRates>("bitRateBox.toolTipText");
    dataBitsBox_ = enumBox<CH::DataBits>();
    stopBitsBox_ = enumBox<CH::StopBits>();
    parityBox_ = enumBox<CH::Parity>();
    inputTerminatorBox_ = enumBox<CH::InputTerminator>("inputTerminatorBox.toolTipText");
    inputTerminatorBox_->setEditable(true);
    inputTerminatorBox_->setInsertPolicy(QComboBox::NoInsert);
    inputTerminatorBox_->setMinimumContentsLength(
        frameText("inputTerminatorBox.prototypeDisplayValue").size());
    reconnectCheckBox_ = new QCheckBox(frameText("reconnectCheckBox.text"));
    reconnectCheckBox_->setToolTip(frameText("reconnectCheckBox.toolTipText"));
    auto button = [this](const char* key, const char* tip, void (RazezaRoZurFrame2::*slot)()) {
        auto* b = new QPushButton(frameText(key));
        b->setToolTip(frameText(tip));
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    auto* refresh = button("refreshPortsButton.text", "refreshPortsButton.toolTipText",
                           &RazezaRoZurFrame2::refreshPortsButtonActionPerformed);
    autoButton_ =
        button("autoButton.text", "autoButton.toolTipText", &RazezaRoZurFrame2::autoButtonActionPerformed);
    auto* defaults = button("defaultButton.text", "defaultButton.toolTipText",
                            &RazezaRoZurFrame2::defaultButtonActionPerformed);
    auto* customize = button("customizeButton.text", "customizeButton.toolTipText",
                             &RazezaRoZurFrame2::customizeButtonActionPerformed);

    int row = 0;
    grid->addWidget(label("label2.text"), row, 0);
    grid->addWidget(portList_, row, 1, 1, 2);
    grid->addWidget(refresh, row, 3);
    grid->addWidget(label("deviceLabel.text"), ++row, 0);
    grid->addWidget(instrumentBox_, row, 1, 1, 2);
    grid->addWidget(autoButton_, row, 3);
    auto* line = new QGroupBox(frameText("label10.text"));
    auto* form = new QFormLayout(line);
    form->addRow(label("label3.text"), bitRateBox_);
    form->addRow(label("label6.text"), dataBitsBox_);
    form->addRow(label("label7.text"), stopBitsBox_);
    form->addRow(label("label8.text"), parityBox_);
    form->addRow(label("label9.text"), inputTerminatorBox_);
    form->addRow(QString(), reconnectCheckBox_);
    grid->addWidget(line, ++row, 0, 1, 3);
    auto* side = new QVBoxLayout;
    side->addWidget(defaults);
    side->addWidget(label("label14.text"));
    side->addWidget(customize);
    side->addStretch();
    grid->addLayout(side, row, 3);
    grid->setRowStretch(row + 1, 1);
    return panel;
}

QWidget* RazezaRoZurFrame2::buildProcessingTab() {
    auto* panel = new QWidget;
    auto* form = new QFormLayout(panel);
    mathOperationBox_ = enumBox<CH::MathOperation>("mathOperationBox.toolTipText");
    mathOperandTextField_ = field("mathOperandTextField.toolTipText");
    decimalTextField_ = field("decimalTextField.toolTipText");
    roundingMethodBox_ = enumBox<CH::RoundingMethod>("roundingMethodBox.toolTipText");
    editOperationComboBox_ = enumBox<CH::EditOperation>();
    editPositionComboBox_ = enumBox<CH::EditPosition>();
    editNumCharactersTextField_ = field("editNumCharactersTextField.toolTipText");
    removeCharactersTextField_ = field("removeCharactersTextField.toolTipText");
    ignoreDuplicatesCheckBox_ = new QCheckBox(frameText("ignoreDuplicatesCheckBox.text"));
    auto* adjust = new QPushButton(frameText("adjustIgnoreButton.text"));
    connect(adjust, &QPushButton::clicked, this, &RazezaRoZurFrame2::adjustIgnoreButtonActionPerformed);
    form->addRow(label("label15.text"), mathOperationBox_);
    form->addRow(label("label16.text"), mathOperandTextField_);
    form->addRow(label("label20.text"), decimalTextField_);
    form->addRow(label("label22.text"), roundingMethodBox_);
    form->addRow(label("label24.text"), editOperationComboBox_);
    form->addRow(label("label25.text"), editPositionComboBox_);
    form->addRow(label("label29.text"), editNumCharactersTextField_);
    form->addRow(label("label30.text"), removeCharactersTextField_);
    auto* repeat = new QHBoxLayout;
    repeat->addWidget(ignoreDuplicatesCheckBox_);
    repeat->addWidget(adjust);
    repeat->addStretch();
    form->addRow(label("label31.text"), repeat);
    form->addRow(label("label32.text"));
    return panel;
}

QWidget* RazezaRoZurFrame2::buildOutputTab() {
    auto* panel = new QWidget;
    auto* form = new QFormLayout(panel);
    decimalSeparatorBox_ = new DecimalSeparatorBox;
    decimalSeparatorBox_->setToolTip(frameText("decimalSeparatorBox.toolTipText"));
    outputTerminatorBox_ = enumBox<CH::OutputTerminator>("outputTerminatorBox.toolTipText");
    outputTerminatorBox2_ = enumBox<CH::OutputTerminator>("outputTerminatorBox2.toolTipText");
    soundComboBox_ = enumBox<CH::Sound>("soundComboBox.toolTipText");
    keyboardTypeBox_ = enumBox<CH::KeyboardType>("keyboardTypeBox.toolTipText");
    startWithBox_ = enumBox<CH::StartWith>("startWithBox.toolTipText");
    delayTextField_ = field("delayTextField.toolTipText");
    everyXValuesTextField_ = field("everyXValuesTextField.toolTipText");
    form->addRow(label("label4.text"), decimalSeparatorBox_);
    form->addRow(label("label23.text"), startWithBox_);
    form->addRow(label("label5.text"), outputTerminatorBox_);
    form->addRow(label("label33.text"), outputTerminatorBox2_);
    auto* every = new QHBoxLayout;
    every->addWidget(everyXValuesTextField_);
    every->addWidget(label("label34.text"));
    every->addStretch();
    form->addRow(label("label12.text_2"), every);
    form->addRow(label("label35.text"));
    form->addRow(label("label18.text"), keyboardTypeBox_);
    auto* delay = new QHBoxLayout;
    delay->addWidget(delayTextField_);
    delay->addWidget(label("label27.text"));
    delay->addStretch();
    form->addRow(label("label26.text"), delay);
    form->addRow(label("label17.text"), soundComboBox_);
    return panel;
}

QWidget* RazezaRoZurFrame2::buildSettingsTab() {
    auto* panel = new QWidget;
    auto* form = new QFormLayout(panel);
    manualConnectButton_ = new QRadioButton(frameText("manualConnectButton.text"));
    manualConnectButton_->setToolTip(frameText("manualConnectButton.toolTipText"));
    autoConnectButton_ = new QRadioButton(frameText("autoConnectButton.text"));
    autoConnectButton_->setToolTip(frameText("autoConnectButton.toolTipText"));
    auto* group = new QButtonGroup(panel);
    group->addButton(manualConnectButton_);
    group->addButton(autoConnectButton_);
    minimizeToTrayCheckBox_ = new QCheckBox(frameText("minimizeToTrayCheckBox.text"));
    notifyWhenMinimizedToTrayCheckBox_ = new QCheckBox(frameText("notifyWhenMinimizedToTrayCheckBox.text"));
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        const QString why = QStringLiteral("This desktop has no system tray: the window stays where it is.");
        minimizeToTrayCheckBox_->setToolTip(why);
        notifyWhenMinimizedToTrayCheckBox_->setToolTip(why);
    }
    checkForUpdatesCheckBox_ = new QCheckBox(frameText("checkForUpdatesCheckBox.text"));
    if (!options_.updateChecker || !options_.updateChecker->isAvailable()) {
        // The setting is still kept, for a build that has an address.
        checkForUpdatesCheckBox_->setText(checkForUpdatesCheckBox_->text() +
                                          QStringLiteral(" (not in this build)"));
        checkForUpdatesCheckBox_->setToolTip(
            QStringLiteral("This build has no address to ask for a newer version, so it never checks."));
    }
    abortAutoStartCheckBox_ = new QCheckBox(frameText("abortAutoStartCheckBox.text"));
    abortAutoStartCheckBox_->setToolTip(frameText("abortAutoStartCheckBox.toolTipText"));
    connect(abortAutoStartCheckBox_, &QCheckBox::toggled, this, [this](bool on) {
        session_.config().abortAutoStartWhenPrevPortNotAvailable = on;
        session_.requestSave();
    });
    auto* importButton = new QPushButton(frameText("importSettingsButton.text"));
    importButton->setToolTip(frameText("importSettingsButton.toolTipText"));
    connect(importButton, &QPushButton::clicked, this,
            &RazezaRoZurFrame2::importSettingsButtonActionPerformed);
    auto* exportButton = new QPushButton(frameText("exportSettingsButton.text"));
    exportButton->setToolTip(frameText("exportSettingsButton.toolTipText"));
    connect(exportButton, &QPushButton::clicked, this,
            &RazezaRoZurFrame2::exportSettingsButtonActionPerformed);
    form->addRow(label("label13.text"), manualConnectButton_);
    form->addRow(QString(), autoConnectButton_);
    form->addRow(QString(), abortAutoStartCheckBox_);
    form->addRow(QString(), minimizeToTrayCheckBox_);
    form->addRow(QString(), notifyWhenMinimizedToTrayCheckBox_);
    form->addRow(QStringLiteral("Updates:"), checkForUpdatesCheckBox_);
    auto* transfer = new QHBoxLayout;
    transfer->addWidget(exportButton);
    transfer->addWidget(importButton);
    transfer->addStretch();
    form->addRow(label("label28.text"), transfer);
    return panel;
}

QWidget* RazezaRoZurFrame2::buildLogTab() {
    logView_ = new LogView(log_);
    return logView_;
}

QWidget* RazezaRoZurFrame2::buildAboutTab() {
    auto* pane = new QTextBrowser;
    pane->setOpenLinks(false);
    const auto prop = [](const char* name) {
        return QString::fromStdString(Tarolink::SystemProperties::get(name).value_or(std::string()));
    };
    const QString version = QStringLiteral("Version ") + prop("VERSION") + u' ' + QStringLiteral("en") +
                            u' ' + prop("TLK_OSNAME") + u' ' + prop("TLK_OSARCH");
    QString about = frameText("aboutPane.text");
    about.replace(QStringLiteral("</body>"),
                  QStringLiteral("<p><small>%1</small></p></body>").arg(version.toHtmlEscaped()));
    pane->setHtml(about);
    connect(pane, &QTextBrowser::anchorClicked, this, [](const QUrl& url) { openHyperlink(url.toString()); });
    return pane;
}

void RazezaRoZurFrame2::fillPortBox(const QStringList& ports) {
    const QString current = session_.config().getPort();
    portList_->clear();
    for (const QString& p : ports)
        portList_->addItem(
            QString::fromStdString(Tarolink::FriendlyPortUtil::getFriendlyPortName(p.toStdString())), p);
    const int at = portList_->findData(current);
    portList_->setCurrentIndex(at >= 0 ? at : 0);
}

TabValues RazezaRoZurFrame2::readControls() const {
    TabValues t;
    t.port = portList_->currentData().toString();
    t.instrument = selected<CH::Instrument>(instrumentBox_);
    t.bitRate = bitRateBox_->currentIndex();
    t.dataBits = dataBitsBox_->currentIndex();
    t.stopBits = stopBitsBox_->currentIndex();
    t.parity = parityBox_->currentIndex();
    t.inputTerminator = inputTerminatorBox_->currentText();
    t.autoConnect = autoConnectButton_->isChecked();
    t.keyboardType = selected<CH::KeyboardType>(keyboardTypeBox_);
    t.delay = delayTextField_->text();
    t.decimalSeparator = selected<CH::DecimalSeparator>(decimalSeparatorBox_);
    t.startWith = selected<CH::StartWith>(startWithBox_);
    t.outputTerminator = selected<CH::OutputTerminator>(outputTerminatorBox_);
    t.outputTerminator2 = selected<CH::OutputTerminator>(outputTerminatorBox2_);
    t.roundingMethod = selected<CH::RoundingMethod>(roundingMethodBox_);
    t.mathOperation = selected<CH::MathOperation>(mathOperationBox_);
    t.sound = selected<CH::Sound>(soundComboBox_);
    t.editOperation = selected<CH::EditOperation>(editOperationComboBox_);
    t.editPosition = selected<CH::EditPosition>(editPositionComboBox_);
    t.everyXValues = everyXValuesTextField_->text();
    t.mathOperand = mathOperandTextField_->text();
    t.decimalPlaces = decimalTextField_->text();
    t.editNumCharacters = editNumCharactersTextField_->text();
    t.removeCharacters = removeCharactersTextField_->text();
    t.ignoreDuplicates = ignoreDuplicatesCheckBox_->isChecked();
    t.reconnect = reconnectCheckBox_->isChecked();
    t.minimizeToTray = minimizeToTrayCheckBox_->isChecked();
    t.notifyWhenMinimizedToTray = notifyWhenMinimizedToTrayCheckBox_->isChecked();
    t.checkForUpdates = checkForUpdatesCheckBox_->isChecked();
    t.abortAutoStart = abortAutoStartCheckBox_->isChecked();
    return t;
}

void RazezaRoZurFrame2::showControls(const TabValues& t) {
    const int port = portList_->findData(t.port);
    if (port >= 0)
        portList_->setCurrentIndex(port);
    instrumentBox_->setCurrentIndex(t.instrument ? t.instrument->ordinal() : 0);
    bitRateBox_->setCurrentIndex(t.bitRate);
    dataBitsBox_->setCurrentIndex(t.dataBits);
    stopBitsBox_->setCurrentIndex(t.stopBits);
    parityBox_->setCurrentIndex(t.parity);
    inputTerminatorBox_->setCurrentText(t.inputTerminator);
    (t.autoConnect ? autoConnectButton_ : manualConnectButton_)->setChecked(true);
    keyboardTypeBox_->setCurrentIndex(t.keyboardType.ordinal());
    delayTextField_->setText(t.delay);
    decimalSeparatorBox_->setCurrentIndex(t.decimalSeparator.ordinal());
    startWithBox_->setCurrentIndex(t.startWith.ordinal());
    outputTerminatorBox_->setCurrentIndex(t.outputTerminator.ordinal());
    outputTerminatorBox2_->setCurrentIndex(t.outputTerminator2.ordinal());
    roundingMethodBox_->setCurrentIndex(t.roundingMethod.ordinal());
    mathOperationBox_->setCurrentIndex(t.mathOperation.ordinal());
    soundComboBox_->setCurrentIndex(t.sound.ordinal());
    editOperationComboBox_->setCurrentIndex(t.editOperation.ordinal());
    editPositionComboBox_->setCurrentIndex(t.editPosition.ordinal());
    everyXValuesTextField_->setText(t.everyXValues);
    mathOperandTextField_->setText(t.mathOperand);
    decimalTextField_->setText(t.decimalPlaces);
    editNumCharactersTextField_->setText(t.editNumCharacters);
    removeCharactersTextField_->setText(t.removeCharacters);
    ignoreDuplicatesCheckBox_->setChecked(t.ignoreDuplicates);
    reconnectCheckBox_->setChecked(t.reconnect);
    minimizeToTrayCheckBox_->setChecked(t.minimizeToTray);
    notifyWhenMinimizedToTrayCheckBox_->setChecked(t.notifyWhenMinimizedToTray);
    checkForUpdatesCheckBox_->setChecked(t.checkForUpdates);
    abortAutoStartCheckBox_->setChecked(t.abortAutoStart);
}

void RazezaRoZurFrame2::updateConfigFromTabs() {
    applyTabsUpdate(
        tarovex::updateConfigFromTabs(readControls(), session_.config(), isClosing(), roundingDialogOpen_));
}

void RazezaRoZurFrame2::applyTabsUpdate(const TabsUpdate& update) {
    showControls(update.controls);
    for (const Notice& n : update.notices)
        notify(n.kind == Notice::Kind::Error  ? Notifier::Kind::Error
               : n.kind == Notice::Kind::Info ? Notifier::Kind::Info
                                              : Notifier::Kind::Warning,
               text(n.titleKey), text(n.messageKey));
    if (update.roundingDialog) {
        roundingDialogOpen_ = true;
        QTimer::singleShot(0, this, &RazezaRoZurFrame2::showRoundingDialog);
    }
}

void RazezaRoZurFrame2::showRoundingDialog() {
    tabbedPane_->setCurrentWidget(tabs_[int(TabId::Processing)]);
    decimalTextField_->setFocus();
    notify(Notifier::Kind::Error, text("error"),
           text("please.enter.number.of.decimal.places.for.rounding.or.disable.division"));
    roundingDialogOpen_ = false;
}

bool RazezaRoZurFrame2::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut)
        if (auto* f = qobject_cast<QLineEdit*>(watched))
            checkField(f);
    return QMainWindow::eventFilter(watched, event);
}

void RazezaRoZurFrame2::checkField(QLineEdit* f) {
    const std::pair<QLineEdit*, Field> fields[] = {{mathOperandTextField_, Field::MathOperand},
                                                   {decimalTextField_, Field::DecimalPlaces},
                                                   {editNumCharactersTextField_, Field::EditNumCharacters},
                                                   {removeCharactersTextField_, Field::RemoveCharacters},
                                                   {delayTextField_, Field::Delay},
                                                   {everyXValuesTextField_, Field::EveryXValues}};
    for (const auto& [edit, which] : fields) {
        if (edit != f)
            continue;
        const auto error = fieldError(which, f->text());
        if (!error)
            return;
        f->setText(fieldResetText(which));
        if (isClosing())
            return;
        // After the focus change has finished, or the dialog would fight it.
        QTimer::singleShot(0, this, [this, f, key = *error] {
            for (QWidget* w = f; w; w = w->parentWidget())
                if (tabbedPane_->indexOf(w) >= 0)
                    tabbedPane_->setCurrentWidget(w);
            notify(Notifier::Kind::Error, text("error"), text(key));
            f->setFocus();
        });
    }
}

void RazezaRoZurFrame2::propertyChange(const config::PropertyChangeEvent& event) {
    if (decimalSeparatorBox_)
        decimalSeparatorBox_->setInstrumentType(event.propertyName);
}

void RazezaRoZurFrame2::instrumentChosen(int index) {
    config::Config& c = session_.config();
    const CH::Instrument chosen = CH::Instrument::values().value(index, CH::Instrument::getDefault());
    if (asksToOverwriteCustomRegEx(c, chosen)) {
        const auto answer = QMessageBox::question(this, QStringLiteral("Confirm"),
                                                  QStringLiteral("Overwrite custom regular expression?"),
                                                  QMessageBox::Yes | QMessageBox::No);
        if (answer == QMessageBox::Yes)
            c.setCustomRegEx(QString());
    }
    c.setInstrument(chosen);
}

void RazezaRoZurFrame2::defaultButtonActionPerformed() {
    const CH::Instrument instrument = selected<CH::Instrument>(instrumentBox_);
    if (const auto message = instrument.getDefaultMessage())
        notify(Notifier::Kind::Info, QStringLiteral("Info"), *message);
    const config::Config d = instrument.getDefaultConfig();
    bitRateBox_->setCurrentIndex(d.getBitRate());
    dataBitsBox_->setCurrentIndex(d.getDataBits());
    stopBitsBox_->setCurrentIndex(d.getStopBits());
    parityBox_->setCurrentIndex(d.getParity());
    inputTerminatorBox_->setCurrentText(inputTerminatorText(d.getInputTerminator()));
}

void RazezaRoZurFrame2::customizeButtonActionPerformed() {
    CustomRegExDialog dialog(this, session_.config().getCustomRegEx());
    if (dialog.exec() == QDialog::Accepted && dialog.getCustomRegEx()) {
        session_.config().setCustomRegEx(*dialog.getCustomRegEx());
        session_.requestSave();
    }
}

void RazezaRoZurFrame2::adjustIgnoreButtonActionPerformed() {
    config::Config& c = session_.config();
    IgnoreDialog dialog(this, c.getIgnoreTimeLimit(), c.getIgnoreDifference());
    if (dialog.exec() == QDialog::Accepted && dialog.getIgnoreTimeLimit()) {
        c.setIgnoreTimeLimit(*dialog.getIgnoreTimeLimit());
        c.setIgnoreDifference(dialog.getIgnoreDifference().value_or(QString()));
        session_.requestSave();
    }
}

void RazezaRoZurFrame2::refreshPortsButtonActionPerformed() {
    std::optional<int> exitStatus;
    const auto ports = listPorts(exitStatus);
    if (!ports)
        return;
    if (ports->isEmpty()) {
        notify(Notifier::Kind::Error, text("error"),
               text("no.rs.232.port.found.on.your.system.program.will.now.exit"));
        return;
    }
    fillPortBox(*ports);
}

void RazezaRoZurFrame2::autoButtonActionPerformed() {
    QStringList ports;
    for (int i = 0; i < portList_->count(); ++i)
        ports.append(portList_->itemData(i).toString());
    // Modal, but not a nested event loop: the run and the port monitor go on meanwhile.
    auto* dialog = new AutoPortDialog(this, ports, [this](const QString& best) {
        if (const int at = portList_->findData(best); at >= 0)
            portList_->setCurrentIndex(at);
    });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void RazezaRoZurFrame2::portsChanged() {
    if (isConnected())
        return; // the box cannot be used while running; Refresh is there afterwards
    QStringList ports;
    try {
        for (const std::string& name : Tarolink::SerialPortLocal::getPortList())
            ports.append(QString::fromStdString(name));
        Tarolink::FriendlyPortUtil::prepare();
    } catch (const std::exception&) {
        return; // no dialogs for a change nobody asked about
    }
    if (ports.isEmpty())
        return;
    const QString selectedPort = portList_->currentData().toString();
    portList_->clear();
    for (const QString& p : ports)
        portList_->addItem(
            QString::fromStdString(Tarolink::FriendlyPortUtil::getFriendlyPortName(p.toStdString())), p);
    const int at = portList_->findData(selectedPort);
    portList_->setCurrentIndex(at >= 0 ? at : 0);
}

void RazezaRoZurFrame2::tabbedPaneStateChanged(int index) {
    QWidget* left = lastTab_;
    lastTab_ = tabbedPane_->widget(index);
    // By panel, not position: while running the positions of the tabs are not theirs.
    const int leftId = tabs_.indexOf(left);
    if (leftId < 0 || !autosavesOnLeaving(TabId(leftId)))
        return;
    updateConfigFromTabs();
    try {
        session_.saveIfChanged(std::cout);
    } catch (const std::exception& e) {
        run_->logImportantEvent(text("autosave.error") + QString::fromUtf8(e.what()));
    }
}

void RazezaRoZurFrame2::startStop() {
    if (!isConnected())
        updateConfigFromTabs();
    run_->startStop();
}

void RazezaRoZurFrame2::setConnectedAppearance(bool connected) {
    struct Ops : TabOps {
        RazezaRoZurFrame2* w;
        explicit Ops(RazezaRoZurFrame2* f) : w(f) {}
        void removeTab(int i) override { w->tabbedPane_->removeTab(i); }
        void insertTab(int i, TabId t) override {
            w->tabbedPane_->insertTab(i, w->tabs_[int(t)], w->tabTitles_[int(t)]);
        }
    } ops(this);
    const bool showing = tabbedPane_->indexOf(tabs_[int(TabId::Input)]) >= 0;
    if (connected == showing) // tabs still in place while running, or gone while stopped
        switchTabs(connected, ops);
    startStopJButton_->setText(frameText(connected ? "startStopJButton.textStop" : "startStopJButton.text"));
    setStatus(connected ? text("switch.to.target.application") : frameText("statusJLabel.text"));
}

void RazezaRoZurFrame2::setStatus(const QString& status) {
    // Many lines in one batch make one label update.
    pendingStatus_ = status;
    if (statusScheduled_)
        return;
    statusScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        statusScheduled_ = false;
        statusJLabel_->setText(pendingStatus_);
    });
}

void RazezaRoZurFrame2::addMinimizeToTraySupport() {
    if (trayIcon_ || !QSystemTrayIcon::isSystemTrayAvailable())
        return;
    trayIcon_ = new QSystemTrayIcon(windowIcon(), this);
    trayIcon_->setToolTip(QStringLiteral("Tarovex"));
    connect(trayIcon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick) {
            showNormal();
            activateWindow();
        }
    });
}

void RazezaRoZurFrame2::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !trayIcon_ || !session_.config().minimizeToTray)
        return;
    if (isMinimized()) {
        trayIcon_->show();
        QTimer::singleShot(0, this, &QWidget::hide);
        if (session_.config().notifyWhenMinimizedToTray)
            trayIcon_->showMessage(QStringLiteral("Tarovex"), text("minimized.to.system.tray"),
                                   QSystemTrayIcon::Information);
    } else {
        trayIcon_->hide();
        show();
    }
}

void RazezaRoZurFrame2::exportSettingsButtonActionPerformed() {
    prefs::Preferences* node = session_.node();
    const QString path =
        options_.chooseFile
            ? options_.chooseFile(true, QStringLiteral("tarovex.xml"))
            : QFileDialog::getSaveFileName(this, QString(), QStringLiteral("tarovex.xml"), QString(), nullptr,
                                           QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty() || !node)
        return;
    const TransferResult r = exportSettings(
        *node, path, [&] { return ask(text("overwrite"), text("file.already.exists.overwrite")); },
        [&] {
            updateConfigFromTabs();
            session_.keepAsSaved();
            session_.save(std::cout);
        });
    notify(r.ok ? Notifier::Kind::Info : Notifier::Kind::Error, r.title, r.message);
}

void RazezaRoZurFrame2::importSettingsButtonActionPerformed() {
    prefs::Preferences* node = session_.node();
    const QString path =
        options_.chooseFile ? options_.chooseFile(false, QString()) : QFileDialog::getOpenFileName(this);
    if (path.isEmpty() || !node)
        return;
    const TransferResult r = importSettings(*node, path);
    if (!r.ok) {
        notify(Notifier::Kind::Error, r.title, r.message);
        return;
    }
    if (ask(r.title, r.message)) {
        closing = true; // nothing may save the running settings over the imported ones now
        exitWith(exitStatusAfterImport);
    }
}

void RazezaRoZurFrame2::closeEvent(QCloseEvent* event) {
    if (closing.exchange(true)) { // after an accepted import: leave the store as imported
        event->accept();
        return;
    }
    if (tabbedPane_) {
        updateConfigFromTabs();
        try {
            session_.save(std::cout);
        } catch (const std::exception&) {
            notify(Notifier::Kind::Error, text("error"), text("access.error.while.saving.settings"));
        }
    }
    run_->stop();
    event->accept();
    exitWith(0);
}

} // namespace tarovex::ui
