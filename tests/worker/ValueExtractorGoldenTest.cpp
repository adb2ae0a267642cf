#include "tests/GoldenTable.h"
#include "worker/ValueExtractor.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>

using tarovex::worker::ValueExtractor;

// The extraction runs the translated expressions on PCRE2 directly; every group of every
// row of the Java table must come out as Java gave it.
TEST(ValueExtractorGolden, EveryGroupAgreesWithJava) {
    const QList<golden::Row> rows = golden::readTable();
    ASSERT_GT(rows.size(), 5000) << "golden table missing or truncated";

    std::map<std::pair<QString, int>, std::unique_ptr<ValueExtractor>> extractors;
    auto extractor = [&](const QString& pattern, int group) -> const ValueExtractor& {
        auto& slot = extractors[{pattern, group}];
        if (!slot)
            slot = std::make_unique<ValueExtractor>(pattern, group);
        return *slot;
    };
    int checked = 0;
    for (const golden::Row& r : rows) {
        if (r.verdict == u"invalid" || golden::kRefused.contains(r.pattern)) {
            EXPECT_THROW(ValueExtractor(r.pattern, 1), std::invalid_argument) << r.pattern.toStdString();
            continue;
        }
        const std::string what = "line " + std::to_string(r.line) + ", pattern " + r.pattern.toStdString() +
                                 ", input " + golden::shown(r.input);
        if (r.verdict == u"nomatch") {
            EXPECT_EQ(extractor(r.pattern, 1).extract(r.input), QString()) << what;
            ++checked;
            continue;
        }
        for (int g = 0; g <= r.groups.size() + 1; ++g) {
            std::optional<QString> expected;
            if (g == 0)
                expected = r.input.mid(r.start, r.end - r.start);
            else if (g <= r.groups.size() && r.groups[g - 1] != u"-")
                expected = r.groups[g - 1].mid(1);
            EXPECT_EQ(extractor(r.pattern, g).extract(r.input), expected) << what << ", group " << g;
            ++checked;
        }
    }
    EXPECT_GT(checked, 10000);
}
