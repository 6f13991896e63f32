#include "jvm/JavaVersion.h"

#include <algorithm>
#include <utility>

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Compares two digit strings without leading zeros as numbers.
int compareNumbers(const SString& a, const SString& b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    int result = a.compare(b);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

// The digit run at `position` without its leading zeros ("0" for zeros only); advances
// `position` past it.
SString readNumber(const SString& text, size_t& position) {
    size_t start = position;
    while (position < text.size() && isDigit(text[position])) ++position;
    size_t first = start;
    while (first + 1 < position && text[first] == '0') ++first;
    return text.substr(first, position - first);
}

// Whether text[begin, end) is digit runs separated by single dots.
bool isBound(const SString& text, size_t begin, size_t end) {
    if (begin >= end || !isDigit(text[begin]) || !isDigit(text[end - 1])) return false;
    for (size_t i = begin + 1; i < end; ++i) {
        if (!isDigit(text[i]) && !(text[i] == '.' && isDigit(text[i - 1]))) return false;
    }
    return true;
}

// A value ending in "..." is matched by its text before the dots.
bool isPrefixValue(const SString& expected) {
    return expected.size() >= 3 && expected.compare(expected.size() - 3, 3, "...") == 0;
}

// The versions found in a directory name, in order.
std::vector<JavaVersion> versionsInName(const SString& name) {
    std::vector<JavaVersion> versions;
    size_t position = 0;
    while (position < name.size()) {
        if (isDigit(name[position])) {
            versions.push_back(JavaVersion::parse(name, position));
        } else {
            ++position;
        }
    }
    return versions;
}

// Newest first over the lists of versions in two names; a list that is a prefix of the
// other comes after it.
int compareNameVersions(const std::vector<JavaVersion>& a, const std::vector<JavaVersion>& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (int result = JavaVersion::compare(a[i], b[i])) return result;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace

JavaVersion JavaVersion::parse(const SString& text) {
    size_t position = 0;
    return parse(text, position);
}

JavaVersion JavaVersion::parse(const SString& text, size_t& position) {
    JavaVersion version;
    if (position >= text.size() || !isDigit(text[position])) return version;
    version.m_components.push_back(readNumber(text, position));
    char firstSeparator = 0;
    while (position + 1 < text.size() && (text[position] == '.' || text[position] == '_') &&
           isDigit(text[position + 1])) {
        if (!firstSeparator) firstSeparator = text[position];
        ++position;
        version.m_components.push_back(readNumber(text, position));
    }
    // The legacy numbering put "1." in front of the major version.
    if (firstSeparator == '.' && version.m_components[0] == "1") {
        version.m_components.erase(version.m_components.begin());
    }
    return version;
}

SString JavaVersion::toString() const {
    SString text;
    for (const SString& component : m_components) {
        if (!text.empty()) text += '.';
        text += component;
    }
    return text;
}

int JavaVersion::compare(const JavaVersion& a, const JavaVersion& b, long count) {
    size_t length = std::max(a.m_components.size(), b.m_components.size());
    if (count >= 0) length = std::min(length, static_cast<size_t>(count));
    static const SString zero = "0";
    for (size_t i = 0; i < length; ++i) {
        const SString& x = i < a.m_components.size() ? a.m_components[i] : zero;
        const SString& y = i < b.m_components.size() ? b.m_components[i] : zero;
        if (int result = compareNumbers(x, y)) return result;
    }
    return 0;
}

std::optional<VersionConstraint> VersionConstraint::parse(const SString& text) {
    VersionConstraint constraint;
    if (!text.empty() && text.back() == '+') {
        if (!isBound(text, 0, text.size() - 1)) return std::nullopt;
        constraint.m_lower = JavaVersion::parse(text);
        return constraint;
    }
    size_t range = text.find("..");
    if (range == SString::npos || !isBound(text, 0, range) ||
        !isBound(text, range + 2, text.size())) {
        return std::nullopt;
    }
    constraint.m_lower = JavaVersion::parse(text.substr(0, range));
    constraint.m_upper = JavaVersion::parse(text.substr(range + 2));
    // A range that no version can meet is no constraint.
    if (!constraint.isSatisfiedBy(constraint.m_lower)) return std::nullopt;
    return constraint;
}

bool VersionConstraint::isSatisfiedBy(const SString& reported) const {
    return isSatisfiedBy(JavaVersion::parse(reported));
}

bool VersionConstraint::isSatisfiedBy(const JavaVersion& version) const {
    if (!version.isVersion() || JavaVersion::compare(version, m_lower) < 0) return false;
    if (!m_upper.isVersion()) return true;
    // Only as many components as the upper bound has are compared, so 17 covers 17.0.99.
    return JavaVersion::compare(version, m_upper, static_cast<long>(m_upper.components().size())) <=
           0;
}

SString versionConstraintError(const SString& text) {
    if (isPrefixValue(text)) return SString();
    if (text.find_first_not_of("0123456789._+") != SString::npos) return SString();
    size_t range = text.find("..");
    if (text.find('+') == SString::npos && range == SString::npos) return SString();
    if (VersionConstraint::parse(text)) return SString();
    const SString generic =
        "not a version constraint; write N+ (N or newer) or N..M (N up to M), e.g. 17+ or "
        "11..17";
    if (range == SString::npos) return generic;
    const SString lower = text.substr(0, range);
    const SString upper = text.substr(range + 2);
    const bool lowerIsBound = isBound(text, 0, range);
    const bool upperIsBound = isBound(text, range + 2, text.size());
    if (lowerIsBound && upper.empty()) {
        return "the range has no upper bound; write " + lower + "+ for " + lower + " or newer";
    }
    if (upperIsBound && lower.empty()) {
        return "the range has no lower bound; write 0.." + upper + " for versions up to " + upper;
    }
    if (lowerIsBound && upperIsBound) {
        return "the range is empty: " + lower + " is above " + upper;
    }
    return generic;
}

bool propertyValueMatches(const SString& reported, const SString& expected) {
    if (isPrefixValue(expected)) {
        size_t k = expected.size() - 3;
        return reported.size() >= k && reported.compare(0, k, expected, 0, k) == 0;
    }
    if (std::optional<VersionConstraint> constraint = VersionConstraint::parse(expected)) {
        return constraint->isSatisfiedBy(reported);
    }
    return reported == expected;
}

SString propertyRefusalReason(const SString& name, const SString& reported,
                              const SString& expected) {
    if (propertyValueMatches(reported, expected)) return SString();
    if (reported.empty()) return name + " is empty, needs " + expected;
    if (VersionConstraint::parse(expected) && !JavaVersion::parse(reported).isVersion()) {
        return name + " is " + reported + ", not a version, needs " + expected;
    }
    return name + " is " + reported + ", needs " + expected;
}

bool versionNameBefore(const SString& a, const SString& b) {
    int result = compareNameVersions(versionsInName(a), versionsInName(b));
    return result != 0 ? result > 0 : a < b;
}

void sortByVersionDescending(std::vector<SString>& names) {
    // Each name's versions are read once, not at every comparison.
    std::vector<std::pair<std::vector<JavaVersion>, SString>> keyed;
    keyed.reserve(names.size());
    for (SString& name : names) keyed.emplace_back(versionsInName(name), std::move(name));
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        int result = compareNameVersions(a.first, b.first);
        return result != 0 ? result > 0 : a.second < b.second;
    });
    for (size_t i = 0; i < keyed.size(); ++i) names[i] = std::move(keyed[i].second);
}
