#pragma once
// Java version numbers: parsing what a JVM reports, the "N+" and "N..M" constraints of
// descriptor property values, and the newest-first order of directory names.
// Depends on nothing but the standard library and SString.

#include <optional>
#include <vector>

#include "base/SString.h"

// The numeric components of a version, each kept as decimal digits without leading zeros,
// so numbers of any length compare exactly. The legacy form 1.x counts as x: 1.8.0_392
// is 8.0.392.
class JavaVersion {
public:
    // The version at the start of `text`: digit runs separated by "." or "_"; the first
    // other character ends it ("25-ea", "21.0.2+13-LTS"). Not a version unless `text`
    // starts with a digit.
    static JavaVersion parse(const SString& text);
    // The version at `position` of `text`, advancing `position` past the characters it was
    // read from (unchanged for a non-version).
    static JavaVersion parse(const SString& text, size_t& position);

    bool isVersion() const { return !m_components.empty(); }
    const std::vector<SString>& components() const { return m_components; }
    // "8.0.392"; empty for a non-version.
    SString toString() const;

    // Negative, zero or positive as `a` is older than, the same as or newer than `b`, over
    // the first `count` components (all when negative); a missing component counts as 0.
    static int compare(const JavaVersion& a, const JavaVersion& b, long count = -1);

private:
    std::vector<SString> m_components;
};

// A range of versions written in a property value: "N+" (N or newer) or "N..M" (N up to
// M; a bound with fewer components covers everything that starts with it, so 11..17
// takes 17.0.99).
class VersionConstraint {
public:
    // The constraint `text` spells, or nothing. Only the whole text counts: digits and
    // dots then "+", or digits and dots, "..", digits and dots, with the lower bound not
    // above the upper one. Anything else keeps its meaning as an exact or prefix value.
    static std::optional<VersionConstraint> parse(const SString& text);

    // Whether the version at the start of `reported` lies in the range; never for a
    // reported text that is not a version.
    bool isSatisfiedBy(const SString& reported) const;
    bool isSatisfiedBy(const JavaVersion& version) const;

    const JavaVersion& lower() const { return m_lower; }
    // Not a version for "N+".
    const JavaVersion& upper() const { return m_upper; }

private:
    JavaVersion m_lower;
    JavaVersion m_upper;
};

// Empty when `text` is a valid constraint or no attempt at one (it holds a character other
// than digits, ".", "_" and "+", holds neither "+" nor "..", or is a "..." prefix value);
// otherwise why the attempt is malformed.
SString versionConstraintError(const SString& text);

// Whether a reported property value meets the expected one: a "..." prefix value, an
// "N+" or "N..M" constraint, or else the exact text (case-sensitive).
bool propertyValueMatches(const SString& reported, const SString& expected);
// Empty when `reported` meets `expected`; otherwise a short reason for the log, as
// "java.version is 11.0.2, needs 17+".
SString propertyRefusalReason(const SString& name, const SString& reported,
                              const SString& expected);

// Sorts directory names newest first: by the versions in their names, compared number by
// number (java-25-openjdk before java-21-openjdk, jdk-21.0.10 before jdk-21.0.2); names
// without digits come after the rest; equal versions go by byte order.
void sortByVersionDescending(std::vector<SString>& names);
// The strict order that sortByVersionDescending sorts by: true when `a` comes before `b`.
bool versionNameBefore(const SString& a, const SString& b);
