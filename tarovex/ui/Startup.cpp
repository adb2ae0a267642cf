#include "tarovex/ui/Startup.h"

#include "tarovex/prefs/ConfigStore.h"
#include "tarovex/run/PlatformServices.h"
#include "tarovex/startup/DesktopAutostart.h"
#include "tarovex/station/Round.h"
#include "tarovex/ui/QtClipboard.h"
#include "tarovex/ui/RazezaRoZurFrame2.h"
#include "tarovex/update/UpdateCheck.h"

#include <QApplication>
#include <QMessageBox>
#include <QToolTip>

#include <iostream>

namespace tarovex::ui {

std::optional<int> checkResourceBundles(const QList<RequiredKeys>& required) {
    const auto missing = tarovex::checkResourceBundles(required);
    if (!missing)
        return std::nullopt;
    std::cerr << "Missing resource " << missing->key.toStdString() << " in "
              << missing->bundleName.toStdString() << '\n';
    QMessageBox::critical(nullptr, QString::fromLatin1(damagedFilesTitle),
                          QString::fromLatin1(damagedFilesText));
    return exitStatusDamagedBundle;
}

int runProgram(const QStringList& arguments) {
    if (const auto status = checkResourceBundles())
        return *status;
    FrameOptions options;
    options.arguments = arguments;
    options.withDesktop = options.arguments.removeAll(QLatin1String(withDesktopArgument)) > 0;
    options.services = platformServices(worker::platformSoundBackend(), std::make_shared<ui::QtClipboard>());
    options.services.round = std::make_shared<Round>();
    options.updateChecker = std::make_shared<update::UpdateCheck>();
    try {
        options.settingsNode = prefs::openSettingsNode();
    } catch (const std::exception& e) {
        std::cerr << "tarovex: the settings store cannot be opened: " << e.what() << '\n';
        options.settingsStoreError = QString::fromUtf8(e.what());
    }
    RazezaRoZurFrame2 frame(std::move(options));
    if (const auto status = frame.startUp())
        return *status;
    return QApplication::exec();
}

} // namespace tarovex::ui
