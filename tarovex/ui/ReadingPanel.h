#pragma once

#include "journal/BrokerState.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;

namespace tarovex {
class LastReading;
}

namespace tarovex::ui {

// The last reading, large, above the Stop button: the value (selectable), its age and
// stability, and the last line without a value in the log's colours. What it says comes
// from LastReading; the age is redrawn once a second while the panel is visible. Below, a
// line on the MQTT broker while the run publishes.
class ReadingPanel : public QWidget {
    Q_OBJECT

public:
    explicit ReadingPanel(QWidget* parent = nullptr);
    // Shows `reading` from now on; it must outlive the panel.
    void follow(const LastReading& reading);
    // Under the value, while it is not empty: why values wait and how long they may (asked
    // again every second, and at refreshWaiting()).
    void followWaiting(std::function<QString()> waitingText);
    void refreshWaiting();
    // The broker's state; nullopt (a run that does not publish) hides the line.
    void showBroker(std::optional<journal::BrokerState> state);

    // For tests and the screenshots: the whole texts, however much of them fits.
    QString valueText() const;
    QString detailsText() const;
    QString waitingText() const;
    QString noValueText() const;
    QString brokerText() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void refreshAge();
    void fitTexts();

    const LastReading* reading_ = nullptr;
    QLabel* value_;
    QLabel* details_;
    QLabel* noValue_;
    QLabel* waiting_;
    std::function<QString()> waitingText_;
    QLabel* broker_;
    QString valueText_, noValueText_; // whole, however much of them fits
    QTimer ages_;
};

} // namespace tarovex::ui
