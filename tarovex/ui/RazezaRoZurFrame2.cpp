#include "tarovex/ui/RazezaRoZurFrame2.h"

#include "config/SettingsTable.h"
#include "journal/Attribution.h"
#include "reading/OutputTemplate.h"
#include "tarovex/ports/PortList.h"
#include "tarovex/ports/PortWatcher.h"
#include "tarovex/ports/RecentAddresses.h"
#include "tarovex/prefs/EnforcedSettings.h"
#include "tarovex/run/LockWatch.h"
#include "tarovex/settings/SettingsTransfer.h"
#include "tarovex/startup/DesktopAutostart.h"
#include "tarovex/startup/StartupPlan.h"
#include "tarovex/texts/ShellBundle.h"
#include "tarovex/ui/AutoPortDialog.h"
#include "tarovex/ui/ControlBindings.h"
#include "tarovex/ui/DoctorDialog.h"
#include "tarovex/ui/ExportReadingsDialog.h"
#include "tarovex/ui/InstrumentsPanel.h"
#include "tarovex/ui/LinkOpener.h"
#include "tarovex/ui/LogView.h"
#include "tarovex/ui/MessageBoxes.h"
#include "tarovex/ui/PortBox.h"
#include "tarovex/ui/PublishDialog.h"
#include "tarovex/ui/ReadingPanel.h"
#include "tarovex/ui/SettingsDialogs.h"
#include "tarovex/ui/TrayIcon.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <atomic>
#include <iostream>

namespace tarovex::ui {

namespace CH = config::ConfigHelper;

namespace {

std::atomic<bool> closing{false};

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
    if (!options_.listPorts)
        options_.listPorts = ports::listSystemPorts;
    // The serial library's own lines (a network server's silence, a plain TCP port's limits)
    // join the window's log.
    diagnostics_ = std::make_unique<DiagnosticRoute>(diagnosticsLog_);
    lastReading_ = std::make_unique<LastReading>();
    connect(lastReading_.get(), &LastReading::changed, this, [this] {
        if (tray_)
            tray_->setReading(isConnected() ? lastReading_->summary() : QString());
    });
    station_ = assembleRun(session_.config(), options_.services, *options_.notifier, log_,
                           {.consumers = {lastReading_.get()}});
    run_ = &station_->controller();
    instruments_ =
        std::make_unique<StationInstruments>(session_.node(), options_.services, *options_.notifier, log_);
    // A lab must be able to tell who changed what a reading depended on.
    session_.setChangeListener([this](const config::Config& before, const config::Config& after) {
        if (const QString why = journal::journalSettingChanges(before, after); !why.isEmpty())
            run_->logImportantEvent(why);
    });
    connect(run_, &RunController::connectedChanged, this, &RazezaRoZurFrame2::setConnectedAppearance,
            Qt::QueuedConnection);
    connect(run_, &RunController::statusChanged, this, &RazezaRoZurFrame2::setStatus);
    // While the port opens, Start is Stop; the status says which port is opening.
    connect(run_, &RunController::openingChanged, this, [this](bool opening) {
        if (opening) // the last run's end no longer applies
            endReason_.clear();
        showStartStop();
        if (!opening)
            setStatus(runningStatus());
    });
    connect(run_, &RunController::valuesWaiting, this, [this](bool waiting) {
        setStatus(waiting ? text("values.waiting") : runningStatus());
        controls_.reading->refreshWaiting();
    });
    // Why a run ended, or could not begin, stays in the status bar (and the tray's tooltip)
    // until the next start; a failed open says it in its first line.
    for (const auto ended : {&RunController::runEnded, &RunController::startFailed})
        connect(run_, ended, this, [this](const QString& reason) {
            endReason_ = reason.section(u'\n', 0, 0);
            if (!endReason_.isEmpty())
                setStatus(endReason_);
        });
    // Never type into our own window: while it (or one of its dialogs) has the keyboard,
    // values wait.
    const auto holdTyping = [this](bool held) {
        run_->setTypingHeld(held);
        instruments_->setTypingHeld(held);
    };
    connect(qApp, &QGuiApplication::focusWindowChanged, this,
            [holdTyping](QWindow* focused) { holdTyping(focused != nullptr); });
    holdTyping(QGuiApplication::focusWindow() != nullptr);
    // Never type into a lock screen.
    auto* lock = new LockWatch(this);
    run_->watchLock(*lock);
    instruments_->watchLock(*lock);
}

QString RazezaRoZurFrame2::runningStatus() const {
    if (isConnected())
        return text("switch.to.target.application");
    return endReason_.isEmpty() ? frameText("statusJLabel.text") : endReason_;
}

RazezaRoZurFrame2::~RazezaRoZurFrame2() {
    delete portWatcher_; // the driver's thread posts to it
    portWatcher_ = nullptr;
    session_.config().removePropertyChangeListener(QStringLiteral("NUMBER"), this);
    session_.config().removePropertyChangeListener(QStringLiteral("TEXT"), this);
    instruments_.reset();
    run_ = nullptr;
    station_.reset();
}

void RazezaRoZurFrame2::notify(Notifier::Kind kind, const QString& title, const QString& message) {
    options_.notifier->show(kind, title, message);
}

bool RazezaRoZurFrame2::ask(const QString& title, const QString& message) {
    return options_.ask ? options_.ask(title, message) : askWithMessageBox(this, title, message);
}

void RazezaRoZurFrame2::exitWith(int status) {
    if (options_.exit)
        options_.exit(status);
    else
        QCoreApplication::exit(status);
}

std::optional<int> RazezaRoZurFrame2::startUp() {
    StartupPlan plan = planPorts(options_.arguments, options_.listPorts, storedAddresses(session_.node()));
    for (const StartupMessage& m : plan.messages)
        notify(m.kind, m.title, m.text);
    if (plan.exitStatus)
        return plan.exitStatus;
    plan.messages.clear();
    loadSettings(plan, session_, options_.settingsStoreError);
    for (const StartupMessage& m : plan.messages)
        notify(m.kind, m.title, m.text);
    commandLinePort_ = plan.commandLinePort;
    instruments_->load();

    config::Config& c = session_.config();
    c.addPropertyChangeListener(QStringLiteral("NUMBER"), this);
    c.addPropertyChangeListener(QStringLiteral("TEXT"), this);
    initComponents();
    showPortChoices(plan.ports);
    showControls(controls_, tabValuesFrom(c));
    showTemplateChoices();
    decimalSeparatorBox()->setInstrumentType(c.getInstrument()->getInstrumentType().name());
    // An adapter plugged in or out shows in the port box at once.
    portWatcher_ = new ports::PortWatcher;
    connect(portWatcher_, &ports::PortWatcher::portsChanged, this, [this] {
        if (isConnected())
            return; // the box cannot be used while running; Refresh is there afterwards
        const ports::PortListing listing = options_.listPorts();
        if (!listing.libraryMissing && !listing.failure) // no dialogs for a change nobody asked about
            showPortChoices(listing.ports);
    });

    if (options_.updateChecker && startsUpdateCheck(c, QRandomGenerator::global()->bounded(4)))
        options_.updateChecker->start([this](const QString& s) { setStatus(s); });

    setWindowIcon(TrayIcon::programIcon());
    show();
    updateConfigFromTabs();
    if (c.minimizeToTray)
        addMinimizeToTraySupport();

    AutoStart autoStart = decideAutoStart(c, commandLinePort_.has_value());
    // Started with the desktop: reading from login on, whatever the connect choice.
    if (options_.withDesktop && autoStart == AutoStart::None)
        autoStart = AutoStart::Start;
    switch (autoStart) {
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
        // Without a tray the window is minimised as usual.
        if (c.minimizeToTray || options_.withDesktop)
            setWindowState(windowState() | Qt::WindowMinimized);
        break;
    }
    return std::nullopt;
}

void RazezaRoZurFrame2::initComponents() {
    TabsContext context;
    context.trayAvailable = TrayIcon::available();
    if (!options_.updateChecker || !options_.updateChecker->isAvailable())
        context.noUpdateCheck =
            QStringLiteral("This build has no address to ask for a newer version, so it never checks.");
    tabPages_ = buildTabs(controls_, log_, context);
    tabTitles_ = tabTitles();
    // The Settings tab's settings are the station's, whichever instrument the others show.
    for (auto it = controls_.settings.cbegin(); it != controls_.settings.cend(); ++it) {
        QWidget* w = qobject_cast<QWidget*>(it.value());
        if (auto* group = qobject_cast<QButtonGroup*>(it.value()); group && !group->buttons().isEmpty())
            w = group->buttons().first();
        if (w && tabPages_[int(TabId::Settings)]->isAncestorOf(w))
            stationKeys_.append(it.key());
    }
    for (const TabId t : {TabId::Input, TabId::Processing, TabId::Output}) {
        auto* page = new QWidget;
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* name = new QLabel;
        name->setContentsMargins(9, 6, 9, 0);
        name->setTextFormat(Qt::PlainText);
        QFont bold = name->font();
        bold.setBold(true);
        name->setFont(bold);
        name->hide();
        layout->addWidget(name);
        layout->addWidget(tabPages_[int(t)]);
        tabPages_[int(t)] = page;
        editedNames_.append(name);
    }
    tabs_ = new QTabWidget;
    for (int i = 0; i < tabPages_.size(); ++i)
        tabs_->addTab(tabPages_[i], tabTitles_[i]);
    connect(tabs_, &QTabWidget::currentChanged, this, &RazezaRoZurFrame2::tabChanged);
    setCentralWidget(tabs_);
    statusLabel_ = new QLabel(frameText("statusJLabel.text"));
    statusLabel_->setTextFormat(Qt::AutoText);
    statusLabel_->setOpenExternalLinks(false);
    connect(statusLabel_, &QLabel::linkActivated, this, [](const QString& link) { openHyperlink(link); });
    statusBar()->addWidget(statusLabel_, 1);
    connectControls();
    controls_.reading->follow(*lastReading_);
    controls_.reading->followWaiting([this] { return run_->waitingText(); });
    station_->record()->setBrokerListener([this](auto state) { controls_.reading->showBroker(state); });
    // The table follows every instrument's state and last value, the first's included.
    connect(instruments_.get(), &StationInstruments::changed, this, &RazezaRoZurFrame2::showInstruments);
    connect(controls_.instruments, &InstrumentsPanel::selectedChanged, this,
            &RazezaRoZurFrame2::editInstrument);
    connect(lastReading_.get(), &LastReading::changed, this, &RazezaRoZurFrame2::showInstruments);
    for (const auto signal : {&RunController::runEnded, &RunController::startFailed})
        connect(run_, signal, this, &RazezaRoZurFrame2::showInstruments, Qt::QueuedConnection);
    connect(run_, &RunController::openingChanged, this, &RazezaRoZurFrame2::showInstruments,
            Qt::QueuedConnection);
    connect(run_, &RunController::connectedChanged, this, &RazezaRoZurFrame2::showInstruments,
            Qt::QueuedConnection);
    showInstruments();
    resize(640, 420);
}

void RazezaRoZurFrame2::connectControls() {
    const Controls& c = controls_;
    using F = RazezaRoZurFrame2;
    const std::pair<QPushButton*, void (F::*)()> buttons[] = {{c.startStop, &F::startStop},
                                                              {c.refreshPorts, &F::refreshPorts},
                                                              {c.findPort, &F::findPort},
                                                              {c.defaults, &F::restoreDefaults},
                                                              {c.customize, &F::editCustomRegEx},
                                                              {c.adjustIgnore, &F::editIgnoreLimits},
                                                              {c.importSettings, &F::importSettings},
                                                              {c.exportSettings, &F::exportSettings},
                                                              {c.checkComputer, &F::checkComputer},
                                                              {c.exportReadings, &F::exportReadings},
                                                              {c.publish, &F::editPublishing}};
    for (const auto& [b, slot] : buttons)
        connect(b, &QPushButton::clicked, this, slot);
    c.startWithDesktop->setChecked(startsWithDesktop());
    connect(c.startWithDesktop, &QCheckBox::toggled, this, &F::changeStartWithDesktop);
    using Command = Requester::Command;
    for (const auto& [b, command] : {std::pair{c.readNow, Command::Data}, std::pair{c.tare, Command::Tare},
                                     std::pair{c.zero, Command::Zero}})
        connect(b, &QPushButton::clicked, this, [this, command = command] {
            if (Round* round = command == Command::Data ? station_->rounds() : nullptr) {
                round->begin(); // a refusal is logged
                return;
            }
            station_->requester().send(command);
            if (command == Command::Data) // Read now asks them all
                instruments_->request();
        });
    const std::pair<QPushButton*, void (F::*)()> instrumentButtons[] = {
        {c.instruments->addButton(), &F::addInstrument},
        {c.instruments->renameButton(), &F::renameInstrument},
        {c.instruments->removeButton(), &F::removeSelectedInstrument},
        {c.instruments->startStopButton(), &F::startStopSelectedInstrument}};
    for (const auto& [b, slot] : instrumentButtons)
        connect(b, &QPushButton::clicked, this, slot);
    connect(c.setting<QComboBox>(QStringLiteral("instrument")), &QComboBox::activated, this,
            &F::instrumentChosen);
    connect(c.setting<QCheckBox>(QStringLiteral("abortAutoStartWhenPrevPortNotAvailable")),
            &QCheckBox::toggled, this, [this](bool on) {
                session_.config().abortAutoStartWhenPrevPortNotAvailable = on;
                session_.requestSave();
            });
    // Every setting the window takes as typed text is checked when its field loses the focus.
    for (const config::Setting& s : config::settingsTable())
        if (*s.errorKey)
            if (QLineEdit* f = textField(c, QString::fromLatin1(s.key)))
                f->installEventFilter(this);
    terminatorBox()->installEventFilter(this);
}

void RazezaRoZurFrame2::showPortChoices(const QList<ports::PortChoice>& listed) {
    // The configured, the command-line and the chosen port stay offered, present or not,
    // and so do the network ports used lately.
    const QStringList keep = QStringList{session_.config().getPort(), commandLinePort_.value_or(QString()),
                                         controls_.port->port()} +
                             instruments_->ports() + session_.config().recentAddresses;
    controls_.port->setChoices(ports::portChoices(listed, keep));
}

void RazezaRoZurFrame2::updateConfigFromTabs() {
    const TabValues shown = readControls(controls_);
    if (editedFurther() < 0) {
        applyTabsUpdate(
            tarovex::updateConfigFromTabs(shown, session_.config(), isClosing(), roundingDialogOpen_));
        return;
    }
    // The Settings tab goes to the station's settings, the rest to the instrument shown.
    TabValues station = tabValuesFrom(session_.config());
    for (const QString& key : stationKeys_)
        station[key] = shown[key];
    const TabsUpdate stationUpdate =
        tarovex::updateConfigFromTabs(station, session_.config(), isClosing(), roundingDialogOpen_);
    TabValues own = shown;
    const TabValues kept = tabValuesFrom(editedConfig());
    for (const QString& key : stationKeys_)
        own[key] = kept[key];
    TabsUpdate update = tarovex::updateConfigFromTabs(own, editedConfig(), isClosing(), roundingDialogOpen_);
    for (const QString& key : stationKeys_)
        update.controls[key] = stationUpdate.controls[key];
    update.notices += stationUpdate.notices;
    applyTabsUpdate(update);
}

void RazezaRoZurFrame2::applyTabsUpdate(const TabsUpdate& update) {
    // Imported or default settings do not move a locked one.
    TabValues shown = update.controls;
    const prefs::EnforcedSettings& locked = prefs::enforcedSettings();
    for (auto it = locked.values().begin(); it != locked.values().end(); ++it)
        if (shown.settings.contains(it.key()))
            shown[it.key()] = it.value();
    showControls(controls_, shown);
    showTemplateChoices();
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

// The simple choices make a template, shown in the empty template field; a template of the
// user's own decides the keys, and the choices it overrides rest, as do the paste keys of values
// that are typed.
void RazezaRoZurFrame2::showTemplateChoices() {
    const config::Config& c = editedConfig();
    if (auto* f = controls_.setting<QLineEdit>(QStringLiteral("outputTemplate")))
        f->setPlaceholderText(
            reading::keyedTemplate(CH::StartWith::getKeyCode(c.getStartWith()),
                                   CH::OutputTerminator::getKeyCode(c.getOutputTerminator()), 0));
    const bool keyed = c.getOutputTemplate().isEmpty();
    for (const char* key : {"startWith", "outputTerminator", "outputTerminator2", "everyXValues"})
        if (auto* w = qobject_cast<QWidget*>(controls_.settings.value(QString::fromLatin1(key)))) {
            w->setEnabled(keyed);
            w->setToolTip(keyed ? QString() : text("outputTemplate.overrides"));
        }
    // The paste keys matter only where values may be pasted.
    if (auto* w = qobject_cast<QWidget*>(controls_.settings.value(QStringLiteral("pasteKey"))))
        w->setEnabled(c.getOutputMode() != CH::OutputMode::TYPE);
    // Last: what the administrator locks stays locked, whatever the choices above allow.
    const prefs::EnforcedSettings& locked = prefs::enforcedSettings();
    const QString why = shellBundle().format(QStringLiteral("enforced.locked"), {locked.path()});
    for (auto it = locked.values().begin(); it != locked.values().end(); ++it) {
        QObject* control = controls_.settings.value(it.key());
        QList<QWidget*> widgets;
        if (auto* group = qobject_cast<QButtonGroup*>(control))
            for (QAbstractButton* b : group->buttons())
                widgets << b;
        else if (auto* w = qobject_cast<QWidget*>(control))
            widgets << w;
        for (QWidget* w : widgets) {
            w->setEnabled(false);
            w->setToolTip(why);
        }
    }
}

void RazezaRoZurFrame2::showRoundingDialog() {
    tabs_->setCurrentWidget(tabPages_[int(TabId::Processing)]);
    controls_.setting<QLineEdit>(QStringLiteral("decimalPlaces"))->setFocus();
    notify(Notifier::Kind::Error, text("error"),
           text("please.enter.number.of.decimal.places.for.rounding.or.disable.division"));
    roundingDialogOpen_ = false;
}

bool RazezaRoZurFrame2::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        // An editable box keeps the focus itself; its line edit gets none.
        if (watched == terminatorBox())
            checkField(terminatorBox()->lineEdit());
        else if (auto* f = qobject_cast<QLineEdit*>(watched))
            checkField(f);
    }
    return QMainWindow::eventFilter(watched, event);
}

DecimalSeparatorBox* RazezaRoZurFrame2::decimalSeparatorBox() const {
    return controls_.setting<DecimalSeparatorBox>(QStringLiteral("decimalSeparator"));
}

QComboBox* RazezaRoZurFrame2::terminatorBox() const {
    return controls_.setting<QComboBox>(QStringLiteral("inputTerminator"));
}

void RazezaRoZurFrame2::checkField(QLineEdit* f) {
    const Controls& c = controls_;
    config::Config& edited = editedConfig();
    std::optional<QString> errorKey;
    QString problem;
    // A field that loses the focus stores valid text at once, and shows its error otherwise.
    if (f == terminatorBox()->lineEdit()) {
        if (const auto code = parseInputTerminator(f->text())) {
            edited.setInputTerminator(*code);
        } else {
            errorKey = QStringLiteral("terminator.must.be.between.0.and.255");
            f->setText(inputTerminatorText(edited.getInputTerminator()));
        }
    } else {
        const auto& table = config::settingsTable();
        const auto at = std::find_if(table.begin(), table.end(), [&](const config::Setting& s) {
            return *s.errorKey && textField(c, QString::fromLatin1(s.key)) == f;
        });
        if (at == table.end())
            return;
        const QString key = QString::fromLatin1(at->key);
        config::Config& cfg = stationKeys_.contains(key) ? session_.config() : edited;
        if (storeField(key, f->text(), cfg)) {
            showTemplateChoices();
            return;
        }
        errorKey = fieldError(key, f->text());
        problem = config::settingProblem(key, storedFieldText(key, f->text()));
        f->setText(fieldResetText(key));
        storeField(key, f->text(), cfg);
    }
    if (!errorKey || isClosing())
        return;
    // After the focus change has finished, or the dialog would fight it.
    const QString message = problem.isEmpty() ? text(*errorKey) : text(*errorKey) + u'\n' + problem;
    QTimer::singleShot(0, this, [this, f, message] {
        for (QWidget* w = f; w; w = w->parentWidget())
            if (tabs_->indexOf(w) >= 0)
                tabs_->setCurrentWidget(w);
        notify(Notifier::Kind::Error, text("error"), message);
        f->setFocus();
    });
}

void RazezaRoZurFrame2::propertyChange(const config::PropertyChangeEvent& event) {
    if (editedFurther() >= 0) // the box follows the instrument the tabs show
        return;
    if (DecimalSeparatorBox* box = decimalSeparatorBox())
        box->setInstrumentType(event.propertyName);
}

void RazezaRoZurFrame2::instrumentChosen(int index) {
    config::Config& c = editedConfig();
    const CH::Instrument chosen = CH::Instrument::values().value(index, CH::Instrument::getDefault());
    if (asksToOverwriteCustomRegEx(c, chosen) &&
        ask(QStringLiteral("Confirm"), QStringLiteral("Overwrite custom regular expression?")))
        c.setCustomRegEx(QString());
    c.setInstrument(chosen);
    if (editedFurther() >= 0) // the first's settings tell the box through their listener
        decimalSeparatorBox()->setInstrumentType(chosen.getInstrumentType().name());
}

void RazezaRoZurFrame2::restoreDefaults() {
    const CH::Instrument instrument = CH::Instrument::values().value(
        std::max(0, controls_.setting<QComboBox>(QStringLiteral("instrument"))->currentIndex()),
        CH::Instrument::getDefault());
    if (const auto message = instrument.getDefaultMessage())
        notify(Notifier::Kind::Info, QStringLiteral("Info"), *message);
    const config::Config d = config::Config::defaultsOf(instrument);
    // The line settings of the instrument's defaults, shown; stored when the tabs are read.
    TabValues shown = readControls(controls_);
    const TabValues defaults = tabValuesFrom(d);
    for (const char* key : {"bitRate", "dataBits", "stopBits", "parity", "inputTerminator"})
        shown[QString::fromLatin1(key)] = defaults[QString::fromLatin1(key)];
    showControls(controls_, shown);
    // A terminator refused later goes back to this default, not to an older value.
    editedConfig().setInputTerminator(d.getInputTerminator());
}

void RazezaRoZurFrame2::editCustomRegEx() {
    const config::Config& c = editedConfig();
    CustomRegExDialog dialog(this, c.getCustomRegEx(),
                             c.getInstrument() ? c.getInstrument()->getRegEx() : QString());
    if (dialog.exec() == QDialog::Accepted && dialog.getCustomRegEx()) {
        editedConfig().setCustomRegEx(*dialog.getCustomRegEx());
        session_.requestSave();
        saveEditedFurther();
    }
}

void RazezaRoZurFrame2::editIgnoreLimits() {
    config::Config& c = editedConfig();
    IgnoreDialog dialog(this, c.getIgnoreTimeLimit(), c.getIgnoreDifference());
    if (dialog.exec() == QDialog::Accepted && dialog.getIgnoreTimeLimit()) {
        c.setIgnoreTimeLimit(*dialog.getIgnoreTimeLimit());
        c.setIgnoreDifference(dialog.getIgnoreDifference().value_or(QString()));
        session_.requestSave();
        saveEditedFurther();
    }
}

void RazezaRoZurFrame2::refreshPorts() {
    const ports::PortListing listing = options_.listPorts();
    if (listing.libraryMissing || listing.failure) {
        notify(Notifier::Kind::Error, text("error"),
               text("error.listing.available.ports") + listing.failure.value_or(listing.system));
        return;
    }
    showPortChoices(listing.ports);
}

void RazezaRoZurFrame2::findPort() {
    QStringList ports = controls_.port->portNames();
    if (const QString typed = controls_.port->port(); !typed.isEmpty() && !ports.contains(typed))
        ports.append(typed);
    // Two instruments never claim one port: those of the others are not searched.
    QStringList others = QStringList{session_.config().getPort()} + instruments_->ports();
    others.removeAt(editedFurther() + 1);
    ports.removeIf([&](const QString& p) { return others.contains(p); });
    if (ports.isEmpty()) {
        notify(Notifier::Kind::Info, QStringLiteral("Info"),
               QStringLiteral("Every port listed is read by another instrument of the station."));
        return;
    }
    // Modal, but not a nested event loop: the run and the port watcher go on meanwhile.
    auto* dialog =
        new AutoPortDialog(this, ports, [this](const QString& best) { controls_.port->selectPort(best); });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void RazezaRoZurFrame2::exportReadings() {
    ui::exportReadings(this);
}

void RazezaRoZurFrame2::editPublishing() {
    openPublishDialog(this, session_.config().record, [this] { autosave(); });
}

void RazezaRoZurFrame2::checkComputer() {
    const QString port = controls_.port->port();
    auto* dialog = new DoctorDialog(
        this, [port] { return checkThisComputer(port.isEmpty() ? QStringList() : QStringList{port}); });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void RazezaRoZurFrame2::tabChanged(int index) {
    // By position, as the settings tabs stand while stopped (1, 2, 3 and 6).
    const int left = lastTabIndex_;
    lastTabIndex_ = index;
    if (left < 0 || left >= int(allTabs().size()) || !autosavesOnLeaving(TabId(left)))
        return;
    updateConfigFromTabs();
    autosave();
}

void RazezaRoZurFrame2::autosave() {
    try {
        session_.saveIfChanged(std::cout);
    } catch (const std::exception& e) {
        run_->logImportantEvent(text("autosave.error") + QString::fromUtf8(e.what()));
    }
    saveEditedFurther();
}

void RazezaRoZurFrame2::setConnectedAppearance(bool connected) {
    showSettingsTabs();
    showStartStop();
    controls_.readNow->setVisible(connected && station_->requester().knows(Requester::Command::Data));
    controls_.tare->setVisible(connected && station_->requester().knows(Requester::Command::Tare));
    controls_.zero->setVisible(connected && station_->requester().knows(Requester::Command::Zero));
    controls_.reading->setVisible(connected);
    if (tray_)
        tray_->setReading(connected ? lastReading_->summary() : QString());
    if (connected)
        endReason_.clear();
    setStatus(runningStatus());
}

void RazezaRoZurFrame2::setStatus(const QString& status) {
    // Many lines in one batch make one label update.
    pendingStatus_ = status;
    if (statusScheduled_)
        return;
    statusScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        statusScheduled_ = false;
        statusLabel_->setText(pendingStatus_);
        if (tray_)
            tray_->setStatus(pendingStatus_);
    });
}

void RazezaRoZurFrame2::addMinimizeToTraySupport() {
    if (tray_ || !TrayIcon::available())
        return;
    tray_ = new TrayIcon(windowIcon(), this);
    tray_->setRunning(isConnected());
    tray_->setReading(isConnected() ? lastReading_->summary() : QString());
    connect(tray_, &TrayIcon::showRequested, this, &RazezaRoZurFrame2::showFromTray);
    connect(tray_, &TrayIcon::startStopRequested, this, &RazezaRoZurFrame2::startStop);
    connect(tray_, &TrayIcon::quitRequested, this, &QWidget::close);
}

void RazezaRoZurFrame2::showFromTray() {
    showNormal();
    raise();
    activateWindow();
}

void RazezaRoZurFrame2::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // A tray that went away since the start (its panel ended) cannot take the window either.
    if (event->type() != QEvent::WindowStateChange || !tray_ || !session_.config().minimizeToTray ||
        !TrayIcon::available())
        return;
    if (isMinimized()) {
        tray_->setVisible(true);
        QTimer::singleShot(0, this, &QWidget::hide);
        if (session_.config().notifyWhenMinimizedToTray)
            tray_->showMessage(text("minimized.to.system.tray"));
    } else {
        tray_->setVisible(false);
        show();
    }
}

void RazezaRoZurFrame2::exportSettings() {
    prefs::Preferences* node = session_.node();
    const QString path = options_.chooseFile ? options_.chooseFile(true, QStringLiteral("tarovex.xml"))
                                             : chooseSettingsFile(this, true, QStringLiteral("tarovex.xml"));
    if (path.isEmpty() || !node)
        return;
    const TransferResult r = tarovex::exportSettings(
        *node, path, [&] { return ask(text("overwrite"), text("file.already.exists.overwrite")); },
        [&] {
            updateConfigFromTabs();
            session_.acceptChanges();
            session_.save(std::cout);
            saveEditedFurther();
        });
    notify(r.ok ? Notifier::Kind::Info : Notifier::Kind::Error, r.title, r.message);
}

void RazezaRoZurFrame2::changeStartWithDesktop(bool on) {
    if (const auto why = setStartWithDesktop(on, QCoreApplication::applicationFilePath())) {
        notify(Notifier::Kind::Error, text("error"),
               shellBundle().format(QStringLiteral("startWithDesktop.error"), {*why}));
        const QSignalBlocker quiet(controls_.startWithDesktop);
        controls_.startWithDesktop->setChecked(startsWithDesktop());
    }
}

void RazezaRoZurFrame2::importSettings() {
    prefs::Preferences* node = session_.node();
    const QString path = options_.chooseFile ? options_.chooseFile(false, QString())
                                             : chooseSettingsFile(this, false, QString());
    if (path.isEmpty() || !node)
        return;
    const TransferResult r = tarovex::importSettings(*node, path);
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
    if (tabs_) {
        updateConfigFromTabs();
        try {
            session_.acceptChanges();
            session_.save(std::cout);
        } catch (const std::exception& e) {
            notify(Notifier::Kind::Error, text("error"),
                   text("access.error.while.saving.settings") + u'\n' + QString::fromUtf8(e.what()));
        }
        saveEditedFurther();
    }
    // Gone at once; the process ends once the value being typed is complete (bounded).
    event->ignore();
    hide();
    if (tray_)
        tray_->setVisible(false);
    // Every instrument ends the same way; the process ends after the last.
    auto left = std::make_shared<int>(2);
    const auto oneDone = [this, left] {
        if (--*left == 0)
            exitWith(0);
    };
    run_->shutdown(oneDone);
    instruments_->shutdown(oneDone);
}

} // namespace tarovex::ui
