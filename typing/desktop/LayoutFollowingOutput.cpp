#include "typing/desktop/LayoutFollowingOutput.h"

namespace tarovex::typing {

LayoutFollowingOutput::LayoutFollowingOutput(std::unique_ptr<LayoutBoundOutput> output, LayoutChoice choice,
                                             std::function<LayoutChoice()> ask, std::string sourceName)
    : output_(std::move(output)), choice_(std::move(choice)), ask_(std::move(ask)),
      sourceName_(std::move(sourceName)) {}

void LayoutFollowingOutput::type(const TypedKey& key) {
    follow();
    output_->type(key);
}

std::optional<std::string> LayoutFollowingOutput::cannotType(char32_t c) {
    follow();
    return output_->cannotType(c);
}

void LayoutFollowingOutput::follow() {
    const auto now = std::chrono::steady_clock::now();
    if (ask_ && (now - lastKey_ > valuePause || now - lastAsked_ > maxAge)) {
        lastAsked_ = now;
        const LayoutChoice asked = ask_();
        // A desktop that stopped answering keeps the layout it last named.
        if (asked.source == choice_.source && asked.layoutName() != choice_.layoutName()) {
            output_->setLayout(asked.layout);
            choice_ = asked;
        }
    }
    lastKey_ = now;
}

QString LayoutFollowingOutput::description() const {
    return output_->description() +
           QStringLiteral(" (layout source: %1%2)")
               .arg(QString::fromStdString(sourceName_),
                    ask_ ? QStringLiteral(", followed when the user switches layouts") : QString());
}

} // namespace tarovex::typing
