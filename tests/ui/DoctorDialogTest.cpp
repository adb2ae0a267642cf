// The check of this computer as the window shows it, on the offscreen platform.
#include "UiTestSupport.h"

#include "tarovex/ui/DoctorDialog.h"

#include <QDialogButtonBox>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace tarovex;
using Finding = worker::doctor::Finding;

namespace {

TEST(DoctorDialogTest, ShowsEachFindingWithItsFixAndChecksAgain) {
    ui_test::application();
    int checks = 0;
    DoctorDialog dialog(nullptr, [&] {
        ++checks;
        return worker::doctor::Findings{
            {Finding::Severity::Ok,
             QStringLiteral("This is a Wayland session (WAYLAND_DISPLAY=wayland-0): values are typed through "
                            "the kernel's virtual keyboard (uinput)."),
             {}},
            {Finding::Severity::Problem,
             QStringLiteral("You may not open /dev/ttyUSB0: it belongs to the group dialout, and you are not "
                            "in that group."),
             QStringLiteral("sudo usermod -aG dialout $USER")},
            {Finding::Severity::Warning, QStringLiteral("ModemManager is running (process 812)."),
             QStringLiteral("sudo systemctl disable --now ModemManager")},
        };
    });
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Check this computer");
    const QString report = dialog.report();
    for (const char* part :
         {"You may not open /dev/ttyUSB0", "sudo usermod -aG dialout $USER",
          "sudo systemctl disable --now ModemManager", "Something stops reading or typing"})
        EXPECT_TRUE(report.contains(QLatin1StringView(part))) << part << "\n" << report.toStdString();
    EXPECT_EQ(checks, 1);
    const QString png = qEnvironmentVariable("TAROVEX_SCREENSHOT_DIR");
    if (!png.isEmpty())
        dialog.grab().save(png + "/check-this-computer.png");
    for (QPushButton* b : dialog.findChildren<QPushButton*>())
        if (b->text() == u"Check again")
            b->click();
    EXPECT_EQ(checks, 2);
}

} // namespace
