#include "Tarolink/PortNameOrder.h"

#include <algorithm>
#include <cctype>
#include <regex>

namespace Tarolink {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

bool naturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Compare digit runs by value: skip leading zeros, then longer is larger.
            std::size_t ei = i;
            std::size_t ej = j;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            std::size_t si = i;
            std::size_t sj = j;
            while (si + 1 < ei && a[si] == '0')
                ++si;
            while (sj + 1 < ej && b[sj] == '0')
                ++sj;
            const std::size_t li = ei - si;
            const std::size_t lj = ej - sj;
            if (li != lj)
                return li < lj;
            const int c = a.compare(si, li, b, sj, lj);
            if (c != 0)
                return c < 0;
            // Equal values: fewer leading zeros first, so the order stays strict.
            if (ei - i != ej - j)
                return ei - i < ej - j;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

void sortNatural(std::vector<std::string>& names) {
    std::stable_sort(names.begin(), names.end(), naturalLess);
}

std::vector<std::string> reorderComNames(const std::vector<std::string>& names) {
    static const std::regex comPattern("COM[0-9]+");
    std::vector<long long> numbers;
    std::vector<std::string> others;
    for (const auto& name : names) {
        if (std::regex_match(name, comPattern)) {
            // Guard against absurdly long digit runs rather than overflow.
            const std::string digits = name.substr(3);
            numbers.push_back(digits.size() > 15 ? -1 : std::stoll(digits));
            if (numbers.back() < 0)
                numbers.pop_back();
        } else if (name.rfind("COM", 0) != 0) {
            others.push_back(name);
        }
    }
    std::sort(numbers.begin(), numbers.end());
    std::vector<std::string> result;
    result.reserve(numbers.size() + others.size());
    for (long long n : numbers)
        result.push_back("COM" + std::to_string(n));
    result.insert(result.end(), others.begin(), others.end());
    return result;
}

} // namespace Tarolink
