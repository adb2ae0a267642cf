#include "tarovex/ui/PublishDialog.h"

#include "config/RecordValidators.h"
#include "journal/MqttPublisher.h"
#include "tarovex/texts/ShellBundle.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarovex::ui {

namespace CH = config::ConfigHelper;

namespace {

QString publishText(const char* key) {
    return text(QStringLiteral("publish.") + QString::fromLatin1(key));
}

QLineEdit* edit(const QString& value, const char* placeholderKey) {
    auto* e = new QLineEdit(value);
    e->setMinimumWidth(300);
    if (placeholderKey)
        e->setPlaceholderText(publishText(placeholderKey));
    return e;
}

// The check of each field, in the order of fields(), with the message naming the field.
struct FieldCheck {
    bool (*valid)(const QString&) noexcept;
    const char* errorKey;
};

constexpr FieldCheck checks[] = {{&CH::MqttBroker::isValid, "error.broker"},
                                 {&CH::MqttTopic::isValid, "error.topic"},
                                 {&CH::PlainText::isValid, "error.user"},
                                 {&CH::PlainText::isValid, "error.passwordFile"},
                                 {&CH::PlainText::isValid, "error.caFile"}};

} // namespace

PublishDialog::PublishDialog(QWidget* parent, config::RecordSettings& settings)
    : QDialog(parent), settings_(settings) {
    setWindowTitle(publishText("title"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(publishText("what.text")));
    auto* form = new QFormLayout;
    auto* broker = edit(settings.mqttBroker, "broker.placeholderText");
    broker->setToolTip(publishText("broker.toolTipText"));
    auto* topic = edit(settings.mqttTopic, nullptr);
    topic->setPlaceholderText(CH::MqttTopic::getDefault());
    topic->setToolTip(publishText("topic.toolTipText"));
    auto* user = edit(settings.mqttUser, "user.placeholderText");
    fields_ = {broker, topic, user};
    form->addRow(publishText("broker.label"), broker);
    form->addRow(publishText("topic.label"), topic);
    form->addRow(publishText("user.label"), user);
    layout->addLayout(form);
    const auto fileRow = [&](const char* labelKey, const QString& path, const char* placeholderKey) {
        auto* field = edit(path, placeholderKey);
        auto* choose = new QPushButton(publishText("choose.text"));
        choose->setToolTip(publishText("choose.toolTipText"));
        choose->setFixedWidth(choose->sizeHint().height() * 3 / 2);
        connect(choose, &QPushButton::clicked, this, [this, field] {
            const QString start = field->text().isEmpty() ? QDir::homePath() : field->text();
            const QString chosen =
                QFileDialog::getOpenFileName(this, publishText("choose.toolTipText"), start);
            if (!chosen.isEmpty())
                field->setText(chosen);
        });
        auto* row = new QHBoxLayout;
        row->addWidget(field);
        row->addWidget(choose);
        form->addRow(publishText(labelKey), row);
        fields_.append(field);
        return field;
    };
    QLineEdit* passwordFile =
        fileRow("passwordFile.label", settings.mqttPasswordFile, "passwordFile.placeholderText");
    fileRow("caFile.label", settings.mqttCaFile, "caFile.placeholderText");
    layout->addWidget(new QLabel(publishText("note.text")));
    plainPassword_ = new QLabel(publishText("passwordFile.plain"));
    plainPassword_->setWordWrap(true);
    plainPassword_->setStyleSheet(QStringLiteral("color: #8a5300"));
    layout->addWidget(plainPassword_);
    remark_ = new QLabel;
    remark_->setTextFormat(Qt::PlainText);
    remark_->setWordWrap(true);
    remark_->setVisible(false);
    layout->addWidget(remark_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &PublishDialog::tryAccept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    connect(passwordFile, &QLineEdit::textChanged, this, &PublishDialog::checkPasswordFile);
    connect(passwordFile, &QLineEdit::textChanged, this, &PublishDialog::checkPlainPassword);
    connect(broker, &QLineEdit::textChanged, this, &PublishDialog::checkPlainPassword);
    checkPasswordFile();
    checkPlainPassword();
}

QString PublishDialog::plainPasswordWarning() const {
    return plainPassword_->isVisibleTo(this) ? plainPassword_->text() : QString();
}

// The broker without TLS would read the password in the clear, as would anyone between.
void PublishDialog::checkPlainPassword() {
    plainPassword_->setVisible(fields_[0]->text().trimmed().startsWith(u"mqtt://", Qt::CaseInsensitive) &&
                               !fields_[3]->text().isEmpty());
}

QString PublishDialog::remark() const {
    return remark_->text();
}

void PublishDialog::say(const QString& message, bool error) {
    remark_->setText(message);
    remark_->setStyleSheet(error ? QStringLiteral("color: #b00020") : QStringLiteral("color: #8a5300"));
    remark_->setVisible(!message.isEmpty());
}

// A warning only: the file may be mended before the next Start.
void PublishDialog::checkPasswordFile() {
    const QString path = fields_[3]->text();
    const auto problem = path.isEmpty() ? std::nullopt : journal::passwordFileProblem(path);
    say(problem ? shellBundle().format(QStringLiteral("publish.passwordFile.warning"),
                                       {QString::fromStdString(*problem)})
                : QString(),
        false);
}

bool PublishDialog::tryAccept() {
    for (int i = 0; i < fields_.size(); ++i) {
        if (!checks[i].valid(fields_[i]->text())) {
            say(publishText(checks[i].errorKey), true);
            fields_[i]->setFocus();
            fields_[i]->selectAll();
            return false;
        }
    }
    settings_.mqttBroker = fields_[0]->text();
    // An empty topic cannot be published to: it means the default.
    settings_.mqttTopic = fields_[1]->text().isEmpty() ? CH::MqttTopic::getDefault() : fields_[1]->text();
    settings_.mqttUser = fields_[2]->text();
    settings_.mqttPasswordFile = fields_[3]->text();
    settings_.mqttCaFile = fields_[4]->text();
    accept();
    return true;
}

void openPublishDialog(QWidget* parent, config::RecordSettings& settings, std::function<void()> stored) {
    auto* dialog = new PublishDialog(parent, settings);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::accepted, dialog, std::move(stored));
    dialog->open();
}

} // namespace tarovex::ui
