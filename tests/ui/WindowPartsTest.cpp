// Parts of the window on the offscreen platform: the binding table between controls and
// settings, and the tray icon.
#include "UiTestSupport.h"
#include "config/SettingsTable.h"
#include "tarovex/settings/SettingsForm.h"
#include "tarovex/ui/ControlBindings.h"
#include "tarovex/ui/PortBox.h"
#include "tarovex/ui/SettingsDialogs.h"
#include "tarovex/ui/TrayIcon.h"
#include "tarovex/ui/WindowTabs.h"

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QWidget>

#include <gtest/gtest.h>

using namespace tarovex;
namespace CH = tarovex::config::ConfigHelper;

TEST(ControlBindings, EverySettingShownIsReadBackUnchanged) {
    ui_test::application();
    MessageLog log;
    ui::Controls c;
    const QList<QWidget*> tabs = ui::buildTabs(c, log, {});
    c.port->setChoices({{"/dev/ttyS0", "/dev/ttyS0", true}, {"/dev/ttyUSB1", "/dev/ttyUSB1", true}});
    config::Config cfg; // every value away from its default
    cfg.setPort("/dev/ttyUSB1");
    cfg.setInstrument(CH::Instrument::values().last());
    cfg.setBitRate(3);
    cfg.setDataBits(0);
    cfg.setStopBits(1);
    cfg.setParity(2);
    cfg.setInputTerminator(42);
    cfg.setConnect(CH::Connect::AUTO);
    cfg.setKeyboardType(CH::KeyboardType::values().last());
    cfg.setDelay("17");
    cfg.setDecimalSeparator(CH::DecimalSeparator::values().last());
    cfg.setStartWith(CH::StartWith::values().last());
    cfg.setOutputTerminator(CH::OutputTerminator::values().last());
    cfg.setOutputTerminator2(CH::OutputTerminator::values().at(1));
    cfg.setRoundingMethod(CH::RoundingMethod::values().last());
    cfg.setMathOperation(CH::MathOperation::values().last());
    cfg.setSound(CH::Sound::values().last());
    cfg.setEditOperation(CH::EditOperation::values().last());
    cfg.setEditPosition(CH::EditPosition::values().last());
    cfg.setEveryXValues("5");
    cfg.setMathOperand("2.5");
    cfg.setDecimalPlaces("3");
    cfg.setEditNumCharacters("4");
    cfg.setRemoveCharacters("kg");
    cfg.ignoreDuplicates = cfg.reconnect = cfg.minimizeToTray = cfg.notifyWhenMinimizedToTray = true;
    cfg.checkForUpdates = cfg.abortAutoStartWhenPrevPortNotAvailable = true;
    cfg.setRequestCommand("\\eP\\r\\n");
    cfg.setRequestInterval("250");
    cfg.stableOnly = true;
    cfg.setStableRegEx("^ST");
    const TabValues shown = tabValuesFrom(cfg);
    ui::showControls(c, shown);
    EXPECT_TRUE(ui::readControls(c) == shown);
    EXPECT_EQ(c.port->currentText(), "/dev/ttyUSB1");
    EXPECT_EQ(c.setting<QComboBox>("inputTerminator")->currentText(), "42");
    qDeleteAll(tabs);
}

// The focus-out check goes by key: every setting the window takes as typed text is bound to
// its field, and no field bound to a setting goes unchecked.
TEST(ControlBindings, EveryTypedSettingHasItsFieldAndEveryFieldItsCheck) {
    ui_test::application();
    MessageLog log;
    ui::Controls c;
    const QList<QWidget*> tabs = ui::buildTabs(c, log, {});
    for (const config::Setting& s : config::settingsTable())
        EXPECT_EQ(ui::textField(c, QString::fromLatin1(s.key)) != nullptr, *s.errorKey != '\0') << s.key;
    qDeleteAll(tabs);
}

TEST(TrayIcon, AnyClickShowsTheWindowAndTheMenuStartsStopsAndQuits) {
    ui_test::application();
    ui::TrayIcon tray{QIcon()};
    int shown = 0, startStop = 0, quit = 0;
    QObject::connect(&tray, &ui::TrayIcon::showRequested, [&] { ++shown; });
    QObject::connect(&tray, &ui::TrayIcon::startStopRequested, [&] { ++startStop; });
    QObject::connect(&tray, &ui::TrayIcon::quitRequested, [&] { ++quit; });
    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::Context})
        emit tray.icon()->activated(reason);
    EXPECT_EQ(shown, 2) << "single and double click, not the menu click";

    QStringList entries;
    for (QAction* a : tray.menu()->actions())
        if (!a->isSeparator())
            entries.append(a->text());
    EXPECT_EQ(entries, (QStringList{"Show", "Start", "Quit"}));
    tray.setRunning(true);
    tray.menu()->actions().at(1)->trigger();
    tray.menu()->actions().last()->trigger();
    EXPECT_EQ(tray.menu()->actions().at(1)->text(), "Stop");
    EXPECT_EQ(startStop, 1);
    EXPECT_EQ(quit, 1);

    tray.setStatus("The device was unplugged: <b>/dev/ttyUSB0</b>");
    EXPECT_EQ(tray.toolTip(), "Tarovex: The device was unplugged: /dev/ttyUSB0");
    tray.setReading("12.50 at 10:00:01");
    EXPECT_EQ(tray.toolTip(), "Tarovex: 12.50 at 10:00:01\nThe device was unplugged: /dev/ttyUSB0");
}

TEST(CustomRegExDialog, ShowsTheExpressionInUseAndWhyOneIsRefused) {
    ui_test::application();
    ui::CustomRegExDialog preset(nullptr, "", "([0-9.]+)");
    EXPECT_EQ(preset.remark(), "In use now, from the instrument preset: ([0-9.]+)");
    const struct {
        QString expression;
        QString why;
    } rows[] = {{"[0-9]+", "no group in parentheses"}, {"([0-9]+", "Unclosed group"}};
    for (const auto& r : rows) {
        ui::CustomRegExDialog dialog(nullptr, "(x)", "");
        dialog.expressionField()->setPlainText(r.expression);
        EXPECT_FALSE(dialog.tryAccept());
        EXPECT_TRUE(dialog.remark().contains(r.why)) << dialog.remark().toStdString();
    }
}
