#pragma once

#include "tarovex/run/RunServices.h"

#include <QString>

class QWidget;

namespace tarovex::ui {

// Message dialogs owned by a window: the real program's Notifier.
class MessageBoxNotifier : public Notifier {
public:
    explicit MessageBoxNotifier(QWidget* parent) : parent_(parent) {}
    void show(Kind kind, const QString& title, const QString& message) override;

private:
    QWidget* parent_;
};

// A Yes/No question owned by `parent`; true for Yes.
bool askWithMessageBox(QWidget* parent, const QString& title, const QString& message);

// The settings file to export to (save) or import from, with an XML filter; empty when the
// user declined.
QString chooseSettingsFile(QWidget* parent, bool save, const QString& proposed);

} // namespace tarovex::ui
