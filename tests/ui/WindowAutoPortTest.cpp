// The window's "Find port" button and update check box, on the offscreen platform; the port
// detection runs over the simulated driver, whose modem lines can answer.
#include "UiTestSupport.h"
#include "tarovex/prefs/ConfigStore.h"
#include "tarovex/prefs/FilePreferences.h"
#include "tarovex/ui/AutoPortDialog.h"
#include "tarovex/ui/PortBox.h"
#include "tarovex/ui/RazezaRoZurFrame2.h"
#include "tarovex/update/UpdateCheck.h"
#include "tests/support/RecordingServices.h"

#include "Tarolink/SerialPortLocal.h"
#include "tests/Tarolink/TestSupport.h"
#include "tests/support/SimulatedDriver.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarovex;

namespace {

using ui_test::runUntil;

struct NoDialogs : Notifier {
    QStringList shown;
    void show(Kind, const QString& title, const QString& message) override { shown.append(title + message); }
};

// A window over the system's ports (no port argument), on a settings file of its own.
struct Frame {
    explicit Frame(std::shared_ptr<UpdateChecker> updates) {
        ui_test::application();
        root = prefs::FilePreferences::createRoot(dir.filePath("prefs.txt"));
        ui::FrameOptions o;
        o.services = tarovex_test::recordingServices();
        o.updateChecker = std::move(updates);
        o.settingsNode = root->node(QString::fromLatin1(prefs::settingsNodePath));
        o.notifier = &notifier;
        o.exit = [](int) {};
        frame = std::make_unique<ui::RazezaRoZurFrame2>(std::move(o));
        EXPECT_EQ(frame->startUp(), std::nullopt) << notifier.shown.join('\n').toStdString();
    }
    QTemporaryDir dir;
    std::unique_ptr<prefs::Preferences> root;
    NoDialogs notifier;
    std::unique_ptr<ui::RazezaRoZurFrame2> frame;
};

} // namespace

TEST(WindowAutoPort, FindPortSelectsTheBestPortOfThePortBox) {
    tarolink_test::PropertyGuard os{"TLK_OSNAME", "Linux"};
    auto sim = std::make_shared<Tarolink::SimulatedDriver>();
    Tarolink::SerialPortLocal::installDriver(sim);
    for (const char* name : {"SIM1", "SIM2", "SIM3"})
        sim->addPort(name);
    sim->setLoopback("SIM2", true, true);
    Frame w(std::make_shared<tarovex_test::NoUpdateChecker>());
    ui::PortBox* box = w.frame->controls().port;
    ASSERT_EQ(box->count(), 3);
    box->setCurrentIndex(0);

    w.frame->controls().findPort->click();
    AutoPortDialog* dialog = w.frame->findChild<AutoPortDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isModal());
    ASSERT_TRUE(runUntil([&] { return dialog->isDetectionDone(); }));
    EXPECT_EQ(box->port(), "SIM2");
    for (const char* name : {"SIM1", "SIM2", "SIM3"})
        EXPECT_TRUE(dialog->messages().contains(name)) << name;
    const QString png = qEnvironmentVariable("TAROVEX_SCREENSHOT_DIR");
    if (!png.isEmpty())
        dialog->grab().save(png + "/find-port-from-window.png");
    dialog->findChild<QPushButton*>()->click();
    EXPECT_TRUE(runUntil([&] { return w.frame->findChild<AutoPortDialog*>() == nullptr; }));
    EXPECT_EQ(box->port(), "SIM2"); // the selection stays
}

TEST(WindowAutoPort, TheUpdateCheckBoxSaysWhenTheBuildCannotCheck) {
    tarolink_test::PropertyGuard os{"TLK_OSNAME", "Linux"};
    auto sim = std::make_shared<Tarolink::SimulatedDriver>();
    Tarolink::SerialPortLocal::installDriver(sim);
    sim->addPort("SIM1");
    const struct {
        std::optional<QString> location;
        bool saysSo;
    } rows[] = {{std::nullopt, true}, {"https://127.0.0.1:1/version.xml", false}};
    for (const auto& r : rows) {
        Frame w(std::make_shared<update::UpdateCheck>(r.location));
        QCheckBox* box = w.frame->controls().setting<QCheckBox>("checkForUpdates");
        EXPECT_EQ(box->toolTip().contains("never checks"), r.saysSo);
        EXPECT_EQ(box->text().contains("not in this build"), r.saysSo);
        EXPECT_EQ(box->isEnabled(), !r.saysSo);
    }
}
