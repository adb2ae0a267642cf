// Random patterns in the Java syntax: translated, compiled and matched against a short text.
#include "config/JavaRegex.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <stdexcept>

using tarovex::config::JavaRegex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string subject = in.ConsumeRandomLengthString(64);
    const std::string pattern = in.ConsumeRemainingBytesAsString();
    const QString javaPattern = QString::fromUtf8(pattern);
    QRegularExpression re;
    try {
        re = JavaRegex::compile(javaPattern);
    } catch (const std::invalid_argument&) {
        if (JavaRegex::isValid(javaPattern))
            std::abort(); // refused, yet called valid
        return 0;
    }
    // A translation that PCRE2 refuses is a fault of the translator.
    if (!re.isValid() || !JavaRegex::isValid(javaPattern))
        std::abort();
    const QRegularExpressionMatch m = re.match(QString::fromUtf8(subject));
    for (int i = 0; i <= m.lastCapturedIndex(); ++i)
        (void)m.captured(i);
    return 0;
}
