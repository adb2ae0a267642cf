#include "tarovex/ui/PortBox.h"

#include <QLineEdit>

namespace tarovex::ui {

PortBox::PortBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setMinimumContentsLength(50); // room for "port: maker - model" names
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
}

void PortBox::setChoices(const QList<ports::PortChoice>& choices) {
    const QString chosen = port();
    const QSignalBlocker quiet(this);
    clear();
    for (const ports::PortChoice& c : choices)
        addItem(ports::choiceText(c), c.name);
    selectPort(chosen);
}

QString PortBox::port() const {
    const QString shown = currentText();
    const int at = findText(shown);
    return at >= 0 ? itemData(at).toString() : shown.trimmed();
}

void PortBox::selectPort(const QString& name) {
    const int at = findData(name);
    if (at >= 0) {
        setCurrentIndex(at);
        setEditText(itemText(at)); // currentIndex alone leaves typed text in place
    } else if (!name.isEmpty() || count() == 0) {
        setCurrentIndex(-1);
        setEditText(name);
    } else {
        setCurrentIndex(0);
    }
}

QStringList PortBox::portNames() const {
    QStringList names;
    for (int i = 0; i < count(); ++i)
        names.append(itemData(i).toString());
    return names;
}

} // namespace tarovex::ui
