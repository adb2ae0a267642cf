#include "tarovex/ui/MessageBoxes.h"

#include <QFileDialog>
#include <QMessageBox>

namespace tarovex::ui {

void MessageBoxNotifier::show(Kind kind, const QString& title, const QString& message) {
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

bool askWithMessageBox(QWidget* parent, const QString& title, const QString& message) {
    return QMessageBox::question(parent, title, message, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

QString chooseSettingsFile(QWidget* parent, bool save, const QString& proposed) {
    QFileDialog dialog(parent, save ? QStringLiteral("Export settings") : QStringLiteral("Import settings"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("Settings files (*.xml)"), QStringLiteral("All files (*)")});
    dialog.setDefaultSuffix(QStringLiteral("xml"));
    // The export asks about an existing file itself.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!proposed.isEmpty())
        dialog.selectFile(proposed);
    dialog.resize(dialog.sizeHint().expandedTo(QSize(720, 460)));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

} // namespace tarovex::ui
