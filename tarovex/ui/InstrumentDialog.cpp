#include "tarovex/ui/InstrumentDialog.h"

#include "tarovex/ui/PortBox.h"
#include "tarovex/ui/WindowTabs.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace tarovex::ui {

InstrumentDialog::InstrumentDialog(QWidget* parent, const QString& title, const QString& label,
                                   const std::optional<QList<ports::PortChoice>>& choices, Apply apply)
    : QDialog(parent), apply_(std::move(apply)), label_(new QLineEdit(label)), error_(new QLabel) {
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow(frameText("instrumentsTable.name") + u':', label_);
    if (choices) {
        port_ = new PortBox;
        port_->setChoices(*choices);
        form->addRow(frameText("label2.text"), port_);
    }
    layout->addLayout(form);
    error_->setWordWrap(true);
    error_->setStyleSheet(QStringLiteral("color: #b00000"));
    error_->hide();
    layout->addWidget(error_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &InstrumentDialog::tryAccept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

bool InstrumentDialog::tryAccept() {
    const QString why = apply_(label_->text().trimmed(), port_ ? port_->port() : QString());
    error_->setText(why);
    error_->setVisible(!why.isEmpty());
    if (!why.isEmpty())
        return false;
    accept();
    return true;
}

QString InstrumentDialog::error() const {
    return error_->text();
}

} // namespace tarovex::ui
