#include "tarovex/ui/MessageBoxes.h"

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

} // namespace tarovex::ui
