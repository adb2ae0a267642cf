#include "tarovex/ui/ControlBindings.h"

#include "config/SettingsTable.h"
#include "tarovex/ui/PortBox.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include <algorithm>

namespace tarovex::ui {

namespace {

// A list shows a Choice by its constants and an Integer by its index, both in ordinal order.
QString atIndex(const config::Setting& s, int index) {
    index = std::max(0, index);
    return s.type == config::SettingType::Integer ? QString::number(index) : s.choices.value(index);
}

int indexOf(const config::Setting& s, const QString& text) {
    return std::max(0, s.type == config::SettingType::Integer ? text.toInt() : int(s.choices.indexOf(text)));
}

QString switchText(bool on) {
    return on ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

QLineEdit* textField(const Controls& controls, const QString& key) {
    return controls.setting<QLineEdit>(key);
}

TabValues readControls(const Controls& controls) {
    TabValues t;
    t.port = controls.port->port();
    for (auto it = controls.settings.begin(); it != controls.settings.end(); ++it) {
        const config::Setting* s = config::findSetting(it.key());
        QString& value = t.settings[it.key()];
        if (const auto* b = qobject_cast<const QCheckBox*>(it.value()))
            value = switchText(b->isChecked());
        else if (const auto* f = qobject_cast<const QLineEdit*>(it.value()))
            value = f->text();
        // An editable box (the input terminator) is read as its text.
        else if (const auto* box = qobject_cast<const QComboBox*>(it.value()))
            value = box->isEditable() ? box->currentText() : atIndex(*s, box->currentIndex());
        else if (const auto* group = qobject_cast<const QButtonGroup*>(it.value()))
            value = atIndex(*s, group->checkedId());
    }
    return t;
}

// A disabled box is a feature this build or desktop cannot run: it keeps the stored choice,
// greyed, so that saving here does not take it from a desktop (or a shared file's other
// users) that can.
void showControls(Controls& controls, const TabValues& values) {
    if (!values.port.isEmpty())
        controls.port->selectPort(values.port);
    for (auto it = controls.settings.begin(); it != controls.settings.end(); ++it) {
        const config::Setting* s = config::findSetting(it.key());
        const QString value = values.settings.value(it.key());
        if (auto* b = qobject_cast<QCheckBox*>(it.value()))
            b->setChecked(value.compare(u"true", Qt::CaseInsensitive) == 0);
        else if (auto* f = qobject_cast<QLineEdit*>(it.value()))
            f->setText(value);
        else if (auto* box = qobject_cast<QComboBox*>(it.value()); box && box->isEditable())
            box->setCurrentText(value);
        else if (box)
            box->setCurrentIndex(indexOf(*s, value));
        else if (auto* group = qobject_cast<QButtonGroup*>(it.value()))
            if (QAbstractButton* button = group->button(indexOf(*s, value)))
                button->setChecked(true);
    }
}

} // namespace tarovex::ui
