#include "jvm/JavaVersion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

TEST(JavaVersion, ReportedTextsParseToTheirNumbers) {
    const std::pair<const char*, const char*> cases[] = {
        {"17.0.15", "17.0.15"},
        {"1.8.0_392", "8.0.392"},
        {"1", "1"},
        {"25-ea", "25"},
        {"21.0.2+13-LTS", "21.0.2"},
        {"17.0.1-internal", "17.0.1"},
        {"11.0.2.", "11.0.2"},
        {"11..17", "11"},
        {"007.010", "7.10"},
        {"123456789012345678901234567890.0", "123456789012345678901234567890.0"},
        // Not versions: they do not start with a digit.
        {"", ""},
        {"abc", ""},
        {" 17", ""},
    };
    for (const auto& c : cases) {
        JavaVersion version = JavaVersion::parse(c.first);
        EXPECT_EQ(version.toString(), c.second) << c.first;
        EXPECT_EQ(version.isVersion(), *c.second != '\0') << c.first;
    }
}

TEST(JavaVersion, ParsingFromAPositionStopsAfterTheVersion) {
    const SString name = "jdk1.8.0_392-b08";
    size_t position = 3;
    EXPECT_EQ(JavaVersion::parse(name, position).toString(), "8.0.392");
    EXPECT_EQ(position, 12u);
    position = 0;
    EXPECT_FALSE(JavaVersion::parse(name, position).isVersion());
    EXPECT_EQ(position, 0u);
}

struct MatchCase {
    const char* expected;
    const char* reported;
    bool matches;
};

TEST(VersionConstraint, ReportedVersionsAreComparedNumberByNumber) {
    const MatchCase cases[] = {
        {"17+", "11", false},
        {"17+", "16.0.99", false},
        {"17+", "17", true},
        {"17+", "21", true},
        {"17+", "25", true},
        {"17+", "25-ea", true},
        {"17+", "21.0.2+13-LTS", true},
        {"8+", "1.8.0_392", true},
        {"8+", "1.7.0_80", false},
        {"1.8+", "1.8.0_392", true},
        {"17.0.2+", "17.0.1", false},
        {"17.0.2+", "17.0.2", true},
        {"17.0.2+", "17.1", true},
        {"11..17", "21", false},
        {"11..17", "10.0.2", false},
        {"11..17", "11", true},
        {"11..17", "17.0.99", true},
        {"11..17.0.2", "17.0.2.1", true},
        {"11..17.0.2", "17.0.3", false},
        {"1.8..11", "1.8.0_392", true},
        {"1.8..11", "17", false},
        {"99999999999999999999+", "100000000000000000000", true},
        {"99999999999999999999+", "99999999999999999998", false},
    };
    for (const MatchCase& c : cases) {
        EXPECT_EQ(propertyValueMatches(c.reported, c.expected), c.matches)
            << c.reported << " against " << c.expected;
    }
}

TEST(VersionConstraint, ExactAndPrefixValuesKeepTheirMeaning) {
    const MatchCase cases[] = {
        {"17...", "17.0.15", true},
        {"17...", "1.7", false},
        {"1.8...", "1.8.0_392", true},
        {"...", "anything", true},
        {"...", "", true},
        {"17", "17", true},
        {"17", "17.0.1", false},
        // Texts that are no constraint match only themselves.
        {"17..11", "17..11", true},
        {"17..11", "15", false},
        {"17++", "17++", true},
        {"17.", "17.0", false},
        // A constraint still accepts its own text, the only line it matched before.
        {"17+", "17+", true},
        {"11..17", "11..17", true},
    };
    for (const MatchCase& c : cases) {
        EXPECT_EQ(propertyValueMatches(c.reported, c.expected), c.matches)
            << c.reported << " against " << c.expected;
    }
}

TEST(VersionConstraint, OnlyWholeWellFormedTextsAreConstraints) {
    for (const char* text : {"17+", "1.8+", "11..17", "11.0.2..17.0", "17..17", "17.0.5..17"}) {
        EXPECT_TRUE(VersionConstraint::parse(text).has_value()) << text;
    }
    for (const char* text :
         {"",       "17",         "+",       "17++",    "17..",       "..17",  "..",
          "17..11", "17.1..17.0", "17.+",    "17 +",    " 17+",       "17...", "1...8",
          "v17+",   "17+ea",      "17.0_1+", "11..17+", "11..17..20", "11-17"}) {
        EXPECT_FALSE(VersionConstraint::parse(text).has_value()) << text;
    }
    std::optional<VersionConstraint> range = VersionConstraint::parse("1.8..11.0");
    ASSERT_TRUE(range);
    EXPECT_EQ(range->lower().toString(), "8");
    EXPECT_EQ(range->upper().toString(), "11.0");
    EXPECT_FALSE(VersionConstraint::parse("21+")->upper().isVersion());
}

TEST(VersionConstraint, MalformedAttemptsSayWhatIsWrong) {
    const SString generic =
        "not a version constraint; write N+ (N or newer) or N..M (N up to M), e.g. 17+ or "
        "11..17";
    const std::pair<const char*, SString> cases[] = {
        {"17++", generic},
        {"17.+", generic},
        {"1.8.0_392+", generic},
        {"..", generic},
        {"11...17", generic},
        {"17..", "the range has no upper bound; write 17+ for 17 or newer"},
        {"..17", "the range has no lower bound; write 0..17 for versions up to 17"},
        {"17..11", "the range is empty: 17 is above 11"},
        {"17.1..17.0", "the range is empty: 17.1 is above 17.0"},
        // Valid constraints and values that are no attempt at one.
        {"17+", ""},
        {"11..17", ""},
        {"17", ""},
        {"1.8.0_392", ""},
        {"17...", ""},
        {"...", ""},
        {"17 +", ""},
        {"Sun+", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(versionConstraintError(c.first), c.second) << c.first;
}

TEST(VersionConstraint, RefusalReasonsNameWhatWasReportedAndWhatWasNeeded) {
    const char* cases[][3] = {
        {"11.0.2", "17+", "java.version is 11.0.2, needs 17+"},
        {"21", "11..17", "java.version is 21, needs 11..17"},
        {"abc", "17+", "java.version is abc, not a version, needs 17+"},
        {"", "17+", "java.version is empty, needs 17+"},
        {"1.7", "17...", "java.version is 1.7, needs 17..."},
        {"17.0.1", "17", "java.version is 17.0.1, needs 17"},
        {"21", "17+", ""},
        {"17.0.15", "17...", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(propertyRefusalReason("java.version", c[0], c[1]), c[2]) << c[0] << " " << c[1];
    }
}

TEST(VersionOrder, DirectoryNamesSortNewestFirstAndNamesWithoutDigitsLast) {
    const std::vector<SString> expected = {
        "java-25-openjdk",       "jdk-21.0.10",           "21.0.2-tem",   "jdk-21.0.2",
        "java-21-openjdk-amd64", "java-17-openjdk-amd64", "jdk-017",      "jdk-17",
        "jdk1.8.0_392",          "java-1.8.0-openjdk",    "default-java", "openjdk",
    };
    std::vector<SString> names = expected;
    std::reverse(names.begin(), names.end());
    sortByVersionDescending(names);
    EXPECT_EQ(names, expected);
    // The same order from another start, and the same order pairwise.
    std::rotate(names.begin(), names.begin() + 5, names.end());
    sortByVersionDescending(names);
    EXPECT_EQ(names, expected);
    for (size_t i = 0; i < expected.size(); ++i) {
        for (size_t j = 0; j < expected.size(); ++j) {
            EXPECT_EQ(versionNameBefore(expected[i], expected[j]), i < j)
                << expected[i] << " / " << expected[j];
        }
    }
}

}  // namespace
