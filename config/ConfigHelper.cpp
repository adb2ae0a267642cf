#include "config/ConfigHelper.h"

#include "config/ResourceBundle.h"

namespace tarovex::config {

QString detail::labelText(const EnumEntry& entry) {
    switch (entry.kind) {
    case LabelKind::Literal:
        return QString::fromUtf8(entry.label);
    case LabelKind::Name:
        return QString::fromLatin1(entry.name);
    case LabelKind::Key: {
        const QString key = QString::fromLatin1(entry.label);
        const auto bundle = ConfigHelper::getBundle();
        return bundle->containsKey(key) ? bundle->getString(key) : key;
    }
    }
    return QString::fromLatin1(entry.name);
}

namespace ConfigHelper {

std::shared_ptr<const ResourceBundle> getBundle() {
    static const std::shared_ptr<const ResourceBundle> bundle =
        ResourceBundle::getBundle(QString::fromLatin1(bundleName), QLocale(QLocale::English));
    return bundle;
}

std::optional<InputTerminator> InputTerminator::fromValue(int value) noexcept {
    for (int i = 0; i < count(); ++i)
        if (entries[i].data == value)
            return InputTerminator(i);
    return std::nullopt;
}

} // namespace ConfigHelper
} // namespace tarovex::config
