#include "tarovex/ui/ReadingPanel.h"

#include "tarovex/run/LastReading.h"
#include "tarovex/texts/ShellBundle.h"
#include "tarovex/ui/LogView.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tarovex::ui {

namespace {

// A label in a style of the log: its colour and slant.
void setLogStyle(QLabel* label, LogStyle style, const QColor& plain) {
    const QTextCharFormat f = LogView::format(style);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText,
               f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color() : plain);
    label->setPalette(p);
    QFont font = label->font();
    font.setItalic(f.fontItalic());
    label->setFont(font);
}

} // namespace

ReadingPanel::ReadingPanel(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    value_ = new QLabel;
    value_->setAlignment(Qt::AlignCenter);
    value_->setTextFormat(Qt::PlainText);
    value_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QFont big = value_->font();
    big.setPointSizeF(big.pointSizeF() * 3);
    big.setBold(true);
    value_->setFont(big);
    value_->setMinimumHeight(value_->fontMetrics().height());
    details_ = new QLabel;
    details_->setAlignment(Qt::AlignCenter);
    details_->setTextFormat(Qt::PlainText);
    noValue_ = new QLabel;
    noValue_->setAlignment(Qt::AlignCenter);
    noValue_->setTextFormat(Qt::PlainText);
    noValue_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::Monospace);
    noValue_->setFont(mono);
    // Its line is kept when empty, so that the Stop button does not move when one comes.
    noValue_->setMinimumHeight(noValue_->fontMetrics().height());
    waiting_ = new QLabel;
    waiting_->setAlignment(Qt::AlignCenter);
    waiting_->setWordWrap(true);
    waiting_->setTextFormat(Qt::PlainText);
    waiting_->hide();
    broker_ = new QLabel;
    broker_->setAlignment(Qt::AlignCenter);
    broker_->setTextFormat(Qt::PlainText);
    broker_->hide();
    for (QLabel* l : {value_, details_, waiting_, noValue_, broker_}) {
        l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        layout->addWidget(l);
    }
    ages_.setInterval(1000);
    connect(&ages_, &QTimer::timeout, this, &ReadingPanel::refreshAge);
}

void ReadingPanel::follow(const LastReading& reading) {
    reading_ = &reading;
    connect(&reading, &LastReading::changed, this, &ReadingPanel::refresh);
    refresh();
}

void ReadingPanel::showBroker(std::optional<journal::BrokerState> state) {
    broker_->setVisible(state.has_value());
    if (!state)
        return;
    broker_->setText(state->connected
                         ? text(QStringLiteral("broker.connected"))
                         : shellBundle().format(QStringLiteral("broker.waiting"), {QString::number(state->waiting)}));
    // Waiting readings in the colour of a warning in the log.
    setLogStyle(broker_, state->connected ? LogStyle::Regular : LogStyle::Important,
                palette().color(QPalette::WindowText));
}

void ReadingPanel::followWaiting(std::function<QString()> waitingText) {
    waitingText_ = std::move(waitingText);
    refreshWaiting();
}

void ReadingPanel::refreshWaiting() {
    const QString text = waitingText_ ? waitingText_() : QString();
    waiting_->setText(text);
    waiting_->setVisible(!text.isEmpty());
    setLogStyle(waiting_, LogStyle::Important, palette().color(QPalette::WindowText));
    if (!text.isEmpty() && !ages_.isActive())
        ages_.start();
}

QString ReadingPanel::waitingText() const {
    return waiting_->isVisible() ? waiting_->text() : QString();
}

void ReadingPanel::refresh() {
    if (!reading_)
        return;
    const LastReading::Shown s = reading_->shown();
    valueText_ = s.value;
    const QColor plain = palette().color(QPalette::WindowText);
    setLogStyle(value_, s.valueStyle, plain);
    noValueText_ = s.noValueLine;
    setLogStyle(noValue_, s.noValueStyle, plain);
    fitTexts();
    refreshAge();
    if (isVisible() && reading_->hasValue() && !ages_.isActive())
        ages_.start();
}

void ReadingPanel::refreshAge() {
    if (reading_)
        details_->setText(reading_->details());
    refreshWaiting();
}

void ReadingPanel::fitTexts() {
    // A long line is cut rather than widening the window; the whole of it is in the tooltip.
    for (const auto& [l, whole] : {std::pair{value_, valueText_}, std::pair{noValue_, noValueText_}}) {
        const QString shown = l->fontMetrics().elidedText(whole, Qt::ElideRight, l->width());
        l->setText(shown);
        l->setToolTip(shown == whole ? QString() : whole);
    }
}

void ReadingPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitTexts();
}

void ReadingPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
}

void ReadingPanel::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    ages_.stop();
}

QString ReadingPanel::valueText() const {
    return valueText_;
}

QString ReadingPanel::detailsText() const {
    return details_->text();
}

QString ReadingPanel::noValueText() const {
    return noValueText_;
}

QString ReadingPanel::brokerText() const {
    return broker_->isHidden() ? QString() : broker_->text();
}

} // namespace tarovex::ui
