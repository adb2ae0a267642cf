#include "typing/desktop/KdeLayouts.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>

#include <string>

namespace tarovex::typing {
namespace {

constexpr int busTimeoutMs = 300;

std::vector<std::string> split(const std::string& list) {
    std::vector<std::string> items;
    std::size_t start = 0;
    for (;;) {
        const auto comma = list.find(',', start);
        items.push_back(list.substr(start, comma - start));
        if (comma == std::string::npos)
            return items;
        start = comma + 1;
    }
}

} // namespace

std::vector<XkbRuleNames> kdeLayouts(const std::string& kxkbrcFile) {
    QFile file(QString::fromStdString(kxkbrcFile));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    // A plain reader of the [Layout] group: QSettings would take the commas for lists of
    // its own and the file's escapes are never used for these keys.
    bool inLayout = false, use = false;
    std::string layouts, variants;
    while (!file.atEnd()) {
        const std::string line = file.readLine().trimmed().toStdString();
        if (line.starts_with('[')) {
            inLayout = line == "[Layout]";
            continue;
        }
        const auto eq = line.find('=');
        if (!inLayout || eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "Use")
            use = value == "true";
        else if (key == "LayoutList")
            layouts = value;
        else if (key == "VariantList")
            variants = value;
    }
    if (!use || layouts.empty())
        return {};
    const auto layoutItems = split(layouts), variantItems = split(variants);
    std::vector<XkbRuleNames> result;
    for (std::size_t i = 0; i < layoutItems.size(); ++i)
        result.emplace_back(layoutItems[i], i < variantItems.size() ? variantItems[i] : "");
    return result;
}

std::optional<unsigned> kdeActiveLayoutIndex(const std::string& busAddress) {
    // One connection per address, kept for the following asks.
    const QString name = QStringLiteral("tarovex-layout:") + QString::fromStdString(busAddress);
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(busAddress), name);
    if (!bus.isConnected())
        return std::nullopt;
    auto call = QDBusMessage::createMethodCall(QStringLiteral("org.kde.keyboard"), QStringLiteral("/Layouts"),
                                               QStringLiteral("org.kde.KeyboardLayouts"),
                                               QStringLiteral("getLayout"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, busTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    bool ok = false;
    const unsigned index = reply.arguments().front().toUInt(&ok);
    return ok ? std::optional(index) : std::nullopt;
}

} // namespace tarovex::typing
