#include "worker/ValueExtractor.h"

#include "config/JavaRegex.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <stdexcept>

namespace tarovex::worker {
namespace {

// As much stack as QRegularExpression grants the JIT code.
constexpr size_t kJitStackStart = 32 * 1024;
constexpr size_t kJitStackMax = 512 * 1024;

QString errorText(int code) {
    PCRE2_UCHAR16 buffer[256];
    const int n = pcre2_get_error_message(code, buffer, sizeof buffer / sizeof buffer[0]);
    return n > 0 ? QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer), n) : QString::number(code);
}

} // namespace

// The compiled code is shared between copies; match data, context and JIT stack are
// each copy's own.
struct ValueExtractor::Engine {
    std::shared_ptr<pcre2_code> code;
    pcre2_match_data* matchData = nullptr;
    pcre2_match_context* context = nullptr;
    pcre2_jit_stack* jitStack = nullptr;

    explicit Engine(std::shared_ptr<pcre2_code> compiled) : code(std::move(compiled)) {
        matchData = pcre2_match_data_create_from_pattern(code.get(), nullptr);
        context = pcre2_match_context_create(nullptr);
        jitStack = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
        if (!matchData || !context || !jitStack) {
            release();
            throw std::bad_alloc();
        }
        pcre2_jit_stack_assign(context, nullptr, jitStack);
    }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    ~Engine() { release(); }

    void release() {
        pcre2_match_data_free(matchData);
        pcre2_match_context_free(context);
        pcre2_jit_stack_free(jitStack);
    }
};

ValueExtractor::ValueExtractor(const QString& expression, int group)
    : expression_(expression), group_(group), hasGroup_(false) {
    // Validity and error texts exactly as for every other use of the expression.
    const int groups = config::JavaRegex::compile(expression).captureCount();
    hasGroup_ = group >= 0 && group <= groups;

    const QString pattern = config::JavaRegex::translate(expression);
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.utf16()),
                                     PCRE2_SIZE(pattern.size()), PCRE2_UTF, &error, &offset, nullptr);
    if (!code)
        throw std::invalid_argument(QStringLiteral("Unsupported expression (%1)\n%2")
                                        .arg(errorText(error), expression)
                                        .toStdString());
    // Without JIT support the interpreter runs the same code.
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
    engine_ = std::make_unique<Engine>(std::shared_ptr<pcre2_code>(code, pcre2_code_free));
}

ValueExtractor::ValueExtractor(const ValueExtractor& other)
    : expression_(other.expression_), group_(other.group_), hasGroup_(other.hasGroup_),
      engine_(std::make_unique<Engine>(other.engine_->code)) {}

ValueExtractor& ValueExtractor::operator=(const ValueExtractor& other) {
    if (this != &other)
        *this = ValueExtractor(other);
    return *this;
}

ValueExtractor::ValueExtractor(ValueExtractor&&) noexcept = default;
ValueExtractor& ValueExtractor::operator=(ValueExtractor&&) noexcept = default;
ValueExtractor::~ValueExtractor() = default;

std::optional<QString> ValueExtractor::extract(QStringView rawLine) const {
    const std::optional<QStringView> value = extractView(rawLine);
    if (!value)
        return std::nullopt;
    return value->toString();
}

std::optional<QStringView> ValueExtractor::extractView(QStringView rawLine) const {
    // A null view has no data pointer, which older PCRE2 versions refuse.
    if (rawLine.data() == nullptr)
        rawLine = QStringView(u"");
    const int rc = pcre2_match(engine_->code.get(), reinterpret_cast<PCRE2_SPTR>(rawLine.utf16()),
                               PCRE2_SIZE(rawLine.size()), 0, 0, engine_->matchData, engine_->context);
    if (rc == PCRE2_ERROR_NOMATCH)
        return QStringView();
    if (rc < 0)
        throw std::runtime_error(QStringLiteral("The expression could not be applied to the line: %1")
                                     .arg(errorText(rc))
                                     .toStdString());
    if (!hasGroup_)
        return std::nullopt;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(engine_->matchData);
    const PCRE2_SIZE start = ovector[2 * group_];
    if (start == PCRE2_UNSET)
        return std::nullopt;
    return rawLine.sliced(qsizetype(start), qsizetype(ovector[2 * group_ + 1] - start));
}

} // namespace tarovex::worker

namespace tarovex::worker {

bool ValueExtractor::groups(QStringView rawLine, std::array<QStringView, 9>& out) const {
    out.fill(QStringView());
    if (rawLine.data() == nullptr)
        rawLine = QStringView(u"");
    const int rc = pcre2_match(engine_->code.get(), reinterpret_cast<PCRE2_SPTR>(rawLine.utf16()),
                               PCRE2_SIZE(rawLine.size()), 0, 0, engine_->matchData, engine_->context);
    if (rc < 0)
        return false;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(engine_->matchData);
    const std::uint32_t pairs = pcre2_get_ovector_count(engine_->matchData);
    for (std::uint32_t g = 1; g <= 9 && g < pairs && int(g) < rc; ++g)
        if (ovector[2 * g] != PCRE2_UNSET)
            out[g - 1] =
                rawLine.sliced(qsizetype(ovector[2 * g]), qsizetype(ovector[2 * g + 1] - ovector[2 * g]));
    return true;
}

} // namespace tarovex::worker
