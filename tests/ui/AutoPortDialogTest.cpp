// The port detection's dialog on the offscreen platform, over the simulated driver.
#include "tarovex/ui/AutoPortDialog.h"
#include "UiTestSupport.h"

#include "Tarolink/SerialPortLocal.h"
#include "tests/Tarolink/TestSupport.h"
#include "tests/support/SimulatedDriver.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QTextBlock>
#include <QTextEdit>

#include <gtest/gtest.h>

using namespace tarovex;
namespace WM = tarovex::worker::WorkerMessages;

namespace {

using ui_test::runUntil;

QString text(QLatin1StringView key) {
    return tarovex::worker::workerBundle().getString(key);
}

class AutoPortDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui_test::application();
        Tarolink::SerialPortLocal::installDriver(sim);
        sim->addPort("SIM1");
        sim->addPort("SIM2");
        sim->setLoopback("SIM2", true, true);
    }
    tarolink_test::PropertyGuard os_{"TLK_OSNAME", "Linux"};
    std::shared_ptr<Tarolink::SimulatedDriver> sim = std::make_shared<Tarolink::SimulatedDriver>();
};

} // namespace

TEST_F(AutoPortDialogTest, ShowsTheProbesSelectsTheBestPortAndClosesOnTheSecondPress) {
    QString selected;
    AutoPortDialog dialog(nullptr, {"SIM1", "SIM2"}, [&](const QString& name) { selected = name; });
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Auto-detect port");
    EXPECT_EQ(dialog.buttonText(), "Cancel");
    ASSERT_TRUE(runUntil([&] { return dialog.isDetectionDone(); }));
    EXPECT_EQ(selected, "SIM2");
    EXPECT_EQ(dialog.buttonText(), "Close");
    const QStringList lines = dialog.messages().split('\n');
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines.first(), text(WM::AUTO_PORT_DETECTION_STARTED));
    EXPECT_EQ(lines.last(), text(WM::BEST_PORT) + " SIM2");
    // The final message is bold, the others plain.
    const auto* pane = dialog.findChild<QTextEdit*>();
    const QTextDocument* doc = pane->document();
    EXPECT_EQ(doc->lastBlock().begin().fragment().charFormat().fontWeight(), QFont::Bold);
    EXPECT_NE(doc->firstBlock().begin().fragment().charFormat().fontWeight(), QFont::Bold);

    const QString png = qEnvironmentVariable("TAROVEX_SCREENSHOT_DIR");
    if (!png.isEmpty())
        dialog.grab().save(png + "/auto-detect-port.png");
    dialog.findChild<QPushButton*>()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(AutoPortDialogTest, ClosingTheWindowCancelsTheDetection) {
    QString selected;
    AutoPortDialog dialog(nullptr, {"SIM2", "SIM1"}, [&](const QString& name) { selected = name; });
    dialog.show();
    ASSERT_TRUE(runUntil([&] { return sim->isOpen("SIM2"); }));
    dialog.close(); // as the window manager closes it
    ASSERT_TRUE(runUntil([&] { return dialog.isDetectionDone(); }));
    EXPECT_FALSE(sim->isOpen("SIM2"));
    EXPECT_TRUE(selected.isEmpty());
    EXPECT_TRUE(dialog.messages().contains(text(WM::STOPPED)));
    EXPECT_TRUE(dialog.messages().endsWith(text(WM::COULD_NOT_AUTO_DETECT_PORT)));
}
