#include "journal/Reading.h"
#include "journal/RecordEvent.h"

#include <array>

namespace tarovex::journal {
namespace {

constexpr std::array<QLatin1StringView, 6> names = {
    QLatin1StringView("typed"),    QLatin1StringView("printed"), QLatin1StringView("filtered"),
    QLatin1StringView("unstable"), QLatin1StringView("dropped"), QLatin1StringView("error")};

} // namespace

QLatin1StringView outcomeName(Outcome outcome) {
    return names[static_cast<std::size_t>(outcome)];
}

std::optional<Outcome> outcomeFromName(QStringView name) {
    for (std::size_t i = 0; i < names.size(); ++i)
        if (name == names[i])
            return static_cast<Outcome>(i);
    return std::nullopt;
}

QLatin1StringView eventKindName(RecordEvent::Kind kind) {
    return kind == RecordEvent::Kind::Run ? QLatin1StringView("run") : QLatin1StringView("setting");
}

} // namespace tarovex::journal
