#pragma once

#include "worker/doctor/Finding.h"

#include <QDialog>
#include <QStringList>

#include <functional>

class QTextBrowser;

namespace tarovex {

// The check of this computer in the window: every finding as a sentence, marked by how much
// it matters, with the command that fixes it below it, ready to copy. "Check again" runs the
// check anew (after the user ran a fix).
class DoctorDialog : public QDialog {
public:
    // `check` makes the findings; it runs now and at each "Check again".
    DoctorDialog(QWidget* owner, std::function<worker::doctor::Findings()> check);

    // The pane as plain text (for tests).
    QString report() const;

private:
    void refresh();

    std::function<worker::doctor::Findings()> check_;
    QTextBrowser* pane_;
};

// The findings for this computer and `ports`, as the console's --doctor has them.
worker::doctor::Findings checkThisComputer(const QStringList& ports);

} // namespace tarovex
