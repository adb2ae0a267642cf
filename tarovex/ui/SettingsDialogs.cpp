#include "tarovex/ui/SettingsDialogs.h"

#include "config/ConfigHelper.h"
#include "tarovex/settings/SettingsForm.h"
#include "tarovex/texts/ShellBundle.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarovex::ui {

namespace {

QDialogButtonBox* okCancel(QDialog* dialog, const char* cancelKey) {
    auto* buttons = new QDialogButtonBox(dialog);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(text(QString::fromLatin1(cancelKey)), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

void showError(QWidget* parent, const QString& key) {
    QMessageBox::critical(parent, text("error"), text(key));
}

} // namespace

IgnoreDialog::IgnoreDialog(QWidget* parent, const QString& timeLimit, const QString& difference)
    : QDialog(parent) {
    setWindowTitle(text("IgnoreDialog.this.title"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(text("IgnoreDialog.label1.text")));
    auto* form = new QFormLayout;
    timeLimitField_ = new QLineEdit(timeLimit);
    timeLimitField_->setToolTip(text("IgnoreDialog.timeLimitField_.toolTipText"));
    auto* timeRow = new QHBoxLayout;
    timeRow->addWidget(timeLimitField_);
    timeRow->addWidget(new QLabel(QStringLiteral("ms")));
    form->addRow(text("IgnoreDialog.label2.text"), timeRow);
    differenceField_ = new QLineEdit(difference);
    differenceField_->setToolTip(text("IgnoreDialog.differenceField_.toolTipText"));
    form->addRow(text("IgnoreDialog.label3.text"), differenceField_);
    layout->addLayout(form);
    layout->addWidget(new QLabel(text("IgnoreDialog.label5.text")));
    auto* buttons = okCancel(this, "IgnoreDialog.cancelButton.text");
    connect(buttons, &QDialogButtonBox::accepted, this, &IgnoreDialog::tryAccept);
    layout->addWidget(buttons);
}

bool IgnoreDialog::tryAccept() {
    const QString time = timeLimitField_->text();
    const QString difference = differenceField_->text();
    if (const auto error = ignoreDialogError(time, difference)) {
        showError(this, *error);
        return false;
    }
    timeLimit_ = time;
    difference_ = ignoreDifferenceText(difference);
    accept();
    return true;
}

CustomRegExDialog::CustomRegExDialog(QWidget* parent, const QString& expression,
                                     const QString& presetExpression)
    : QDialog(parent) {
    setWindowTitle(text("CustomRegExDialog.this.title"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    for (const char* key : {"CustomRegExDialog.label2.text", "CustomRegExDialog.label3.text"})
        layout->addWidget(new QLabel(text(QString::fromLatin1(key))));
    expressionField_ = new QPlainTextEdit(expression);
    expressionField_->setMinimumSize(420, 80);
    layout->addWidget(expressionField_);
    layout->addWidget(new QLabel(text("CustomRegExDialog.label4.text")));
    remark_ =
        new QLabel(expression.isEmpty()
                       ? QStringLiteral("In use now, from the instrument preset: %1").arg(presetExpression)
                       : QStringLiteral("In use now: %1").arg(expression));
    remark_->setTextFormat(Qt::PlainText);
    remark_->setWordWrap(true);
    layout->addWidget(remark_);
    auto* buttons = okCancel(this, "CustomRegExDialog.cancelButton.text");
    connect(buttons, &QDialogButtonBox::accepted, this, &CustomRegExDialog::tryAccept);
    layout->addWidget(buttons);
}

QString CustomRegExDialog::remark() const {
    return remark_->text();
}

bool CustomRegExDialog::tryAccept() {
    const QString expression = expressionField_->toPlainText();
    if (const auto why = customRegExProblem(expression)) {
        // Said in the dialog itself, beside the expression to mend.
        remark_->setText(text("invalid.expression") + u'\n' + *why);
        remark_->setStyleSheet(QStringLiteral("color: #b00020"));
        return false;
    }
    expression_ = expression;
    accept();
    return true;
}

DecimalSeparatorBox::DecimalSeparatorBox(QWidget* parent) : QComboBox(parent) {
    for (const auto& s : config::ConfigHelper::DecimalSeparator::values())
        addItem(s.toString());
}

void DecimalSeparatorBox::setInstrumentType(const QString& typeName) {
    if (typeName == u"NUMBER")
        setEnabled(true);
    else if (typeName == u"TEXT")
        setEnabled(false);
}

} // namespace tarovex::ui
