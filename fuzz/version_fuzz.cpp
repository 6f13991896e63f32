// Version constraints and the newest-first name order. The first line of the input is an
// expected property value, the others are reported values and directory names. Besides
// crashes, the target stops on any broken rule: a constraint that refuses its own lower
// bound, a match without an empty refusal reason, an order that is not strict and total.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "jvm/JavaVersion.h"

namespace {

void require(bool condition) {
    if (!condition) abort();
}

void checkConstraint(const SString& expected, const std::vector<SString>& reported) {
    std::optional<VersionConstraint> constraint = VersionConstraint::parse(expected);
    const SString error = versionConstraintError(expected);
    if (constraint) {
        require(error.empty());
        require(constraint->lower().isVersion());
        require(constraint->isSatisfiedBy(constraint->lower()));
        // The text of a constraint still matches it, as it did when it was an exact value.
        require(propertyValueMatches(expected, expected));
    }
    for (const SString& value : reported) {
        const bool matches = propertyValueMatches(value, expected);
        require(matches == propertyRefusalReason("p", value, expected).empty());
        if (constraint) {
            require(matches == constraint->isSatisfiedBy(value));
            if (matches) require(JavaVersion::parse(value).isVersion());
        }
        const JavaVersion a = JavaVersion::parse(value);
        const JavaVersion b = JavaVersion::parse(expected);
        require(JavaVersion::compare(a, b) == -JavaVersion::compare(b, a));
        require(JavaVersion::compare(a, a) == 0);
    }
}

void checkOrder(const std::vector<SString>& names) {
    const size_t n = names.size();
    std::vector<char> before(n * n);
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = 0; j < n; ++j) before[i * n + j] = versionNameBefore(names[i], names[j]);
    }
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = 0; j < n; ++j) {
            // Ties go by byte order, so only equal names are unordered.
            require(!(before[i * n + j] && before[j * n + i]));
            require(before[i * n + j] || before[j * n + i] || names[i] == names[j]);
            for (size_t k = 0; k < n; ++k) {
                if (before[i * n + j] && before[j * n + k]) require(before[i * n + k]);
            }
        }
    }
    std::vector<SString> sorted = names;
    sortByVersionDescending(sorted);
    for (size_t i = 1; i < n; ++i) require(!versionNameBefore(sorted[i], sorted[i - 1]));
    std::vector<SString> reversed(names.rbegin(), names.rend());
    sortByVersionDescending(reversed);
    require(reversed == sorted);
    std::vector<SString> a = names;
    std::vector<SString> b = sorted;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    require(a == b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    const SString input(reinterpret_cast<const char*>(data), size);
    std::vector<SString> lines;
    size_t start = 0;
    while (start <= input.size() && lines.size() < 12) {
        size_t end = input.find('\n', start);
        if (end == SString::npos) end = input.size();
        lines.push_back(input.substr(start, end - start));
        start = end + 1;
    }
    const SString expected = lines.front();
    lines.erase(lines.begin());
    checkConstraint(expected, lines);
    lines.push_back(expected);
    checkOrder(lines);
    return 0;
}
