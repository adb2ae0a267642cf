// Random template texts: parsed, rendered, and the same text with its braces doubled read
// back as that text alone.
#include "reading/OutputTemplate.h"

#include <QString>

#include <cstdlib>

using namespace tarovex::reading;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    TemplateContext context;
    context.value = u"12.50";
    context.raw = u"ST,GS,+  12.50 g";
    context.groups[0] = u"ST";
    context.seq = -7;
    context.time = std::chrono::system_clock::time_point(std::chrono::milliseconds(-1));
    auto parsed = OutputTemplate::parse(text);
    if (const auto* e = std::get_if<TemplateError>(&parsed)) {
        if (e->column < 1 || e->column > text.size() ||
            !e->message.startsWith(QStringLiteral("Column %1: ").arg(e->column)) ||
            OutputTemplate::problem(text) != e->message)
            std::abort();
    } else {
        const auto steps = std::get<OutputTemplate>(parsed).render(context);
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const bool textStep = steps[i].kind == OutputStep::Kind::Text;
            // Text runs are never empty and never follow one another.
            if ((textStep && steps[i].text.isEmpty()) ||
                (textStep && i > 0 && steps[i - 1].kind == OutputStep::Kind::Text))
                std::abort();
        }
    }
    QString escaped = text;
    escaped.replace(u'{', QStringLiteral("{{")).replace(u'}', QStringLiteral("}}"));
    auto literal = OutputTemplate::parse(escaped);
    const auto* plain = std::get_if<OutputTemplate>(&literal);
    if (!plain)
        std::abort();
    const auto steps = plain->render(context);
    if (text.isEmpty() ? !steps.empty() : steps.size() != 1 || steps[0].text != text)
        std::abort();
    return 0;
}
