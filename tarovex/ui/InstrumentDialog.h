#pragma once

#include "tarovex/ports/PortList.h"

#include <QDialog>

#include <functional>
#include <optional>

class QLabel;
class QLineEdit;

namespace tarovex::ui {

class PortBox;

// Asks for an instrument's label and, for a new one, its port. OK hands them to `apply`,
// which says why not when they cannot be taken; the dialog then shows why and keeps what
// was typed.
class InstrumentDialog : public QDialog {
    Q_OBJECT

public:
    using Apply = std::function<QString(const QString& label, const QString& port)>;
    // No choices: there is no port to choose (a rename).
    InstrumentDialog(QWidget* parent, const QString& title, const QString& label,
                     const std::optional<QList<ports::PortChoice>>& choices, Apply apply);
    // OK: true (and closed) when `apply` took them.
    bool tryAccept();

    QLineEdit* labelField() const { return label_; }
    PortBox* portBox() const { return port_; }
    QString error() const;

private:
    Apply apply_;
    QLineEdit* label_;
    PortBox* port_ = nullptr;
    QLabel* error_;
};

} // namespace tarovex::ui
