#pragma once

#include <QComboBox>
#include <QDialog>

#include <optional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace tarovex::ui {

// Asks for the repeat filter's time limit and difference; the results are there once OK
// passed the checks.
class IgnoreDialog : public QDialog {
    Q_OBJECT

public:
    IgnoreDialog(QWidget* parent, const QString& timeLimit, const QString& difference);
    const std::optional<QString>& getIgnoreTimeLimit() const { return timeLimit_; }
    const std::optional<QString>& getIgnoreDifference() const { return difference_; }
    // Runs OK's check: true (and closed) when the texts pass; otherwise the error is shown.
    bool tryAccept();
    QLineEdit* timeLimitField() const { return timeLimitField_; }
    QLineEdit* differenceField() const { return differenceField_; }

private:
    QLineEdit* timeLimitField_;
    QLineEdit* differenceField_;
    std::optional<QString> timeLimit_;
    std::optional<QString> difference_;
};

// Asks for the user's own extraction expression; shows the one in use now (the user's, or
// the instrument preset's when the user has none) and why a refused one is wrong.
class CustomRegExDialog : public QDialog {
    Q_OBJECT

public:
    CustomRegExDialog(QWidget* parent, const QString& expression, const QString& presetExpression);
    const std::optional<QString>& getCustomRegEx() const { return expression_; }
    bool tryAccept();
    QPlainTextEdit* expressionField() const { return expressionField_; }
    // What the dialog says about the expression: the one in use, or why it was refused.
    QString remark() const;

private:
    QPlainTextEdit* expressionField_;
    QLabel* remark_;
    std::optional<QString> expression_;
};

// The decimal separator choice; off for text instruments, whose values are never formatted.
class DecimalSeparatorBox : public QComboBox {
    Q_OBJECT

public:
    explicit DecimalSeparatorBox(QWidget* parent = nullptr);
    // "NUMBER" enables, "TEXT" disables, anything else changes nothing.
    void setInstrumentType(const QString& typeName);
};

} // namespace tarovex::ui
