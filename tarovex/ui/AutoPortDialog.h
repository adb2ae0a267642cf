#pragma once

#include "worker/autoport/AutoPortWorkerView.h"

#include <QDialog>
#include <QStringList>

#include <functional>
#include <memory>

class QPushButton;
class QTextEdit;

namespace tarovex::worker {
class AutoPortWorker;
}

namespace tarovex {

// The modal dialog of the port detection: a message pane and one button that cancels the
// detection while it runs and closes the dialog once it is done. The best port found is
// handed to `selectBestPort` (the main window selects it in its port box).
class AutoPortDialog : public QDialog, public worker::AutoPortWorkerView {
    Q_OBJECT

public:
    AutoPortDialog(QWidget* owner, const QStringList& portNames,
                   std::function<void(const QString&)> selectBestPort);
    ~AutoPortDialog() override;

    // What the pane shows, as plain text (for tests and the console).
    QString messages() const;
    QString buttonText() const;
    bool isDetectionDone() const;

    void setButtonToCancel() override;
    void setButtonToClose() override;
    void selectBestPort(const QString& name) override;
    void appendMessage(const QString& text, Emphasis emphasis) override;

protected:
    // Closing the window while the detection runs cancels it, as the button does.
    void reject() override;

private:
    void buttonPressed();

    std::function<void(const QString&)> selectBestPort_;
    QTextEdit* pane_;
    QPushButton* button_;
    std::unique_ptr<worker::AutoPortWorker> worker_;
};

} // namespace tarovex
