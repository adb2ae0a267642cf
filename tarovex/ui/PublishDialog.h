#pragma once

#include "config/RecordSettings.h"

#include <QDialog>
#include <QList>

#include <functional>

class QLabel;
class QLineEdit;

namespace tarovex::ui {

// "Publishing readings": the broker, topic, user, password file and CA file of the record.
// OK stores them in `settings` only when every field passes the settings' own checks;
// Cancel changes nothing. The run reads them at its next Start.
class PublishDialog : public QDialog {
    Q_OBJECT

public:
    PublishDialog(QWidget* parent, config::RecordSettings& settings);
    // OK's check: true (stored and accepted) when every field passes; otherwise the dialog
    // names the first refused field and why, and stores nothing.
    bool tryAccept();
    // Broker, topic, user, password file, CA file.
    const QList<QLineEdit*>& fields() const { return fields_; }
    // What the dialog says below the fields: a refused field, or a password file Start
    // would refuse.
    QString remark() const;
    // The warning shown while a password file is set for a plain mqtt:// broker; empty when
    // hidden.
    QString plainPasswordWarning() const;

private:
    void checkPasswordFile();
    void checkPlainPassword();
    void say(const QString& message, bool error);

    config::RecordSettings& settings_;
    QList<QLineEdit*> fields_;
    QLabel* remark_;
    QLabel* plainPassword_;
};

// Opens the dialog window-modal without a nested event loop; `stored` runs after OK stored
// the settings.
void openPublishDialog(QWidget* parent, config::RecordSettings& settings, std::function<void()> stored);

} // namespace tarovex::ui
