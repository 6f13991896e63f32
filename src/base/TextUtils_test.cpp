#include "base/ArgumentParsing.h"
#include "base/Numbers.h"
#include "base/Paths.h"
#include "base/TextLines.h"
#include "base/UnicodeEscapes.h"
#include "platform/shell/ShellWords.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "base/LauncherException.h"

namespace {

SString trimmed(SString text) {
    trim(text, whitespaceChars);
    return text;
}

TEST(Trim, RemovesTheSetAtBothEndsOnly) {
    EXPECT_EQ(trimmed(" \t \t "), "");
    EXPECT_EQ(trimmed("\r\n a\rb \r\n"), "a\rb");
    EXPECT_EQ(trimmed("abc"), "abc");
    SString text = "xxabxcxx";
    trim(text, "x");
    EXPECT_EQ(text, "abxc");
}

TEST(PathNames, SplitAtTheLastSlashWithOneAnswerForANameWithoutOne) {
    struct Case {
        const char* path;
        const char* dir;
        const char* base;
    };
    const Case cases[] = {
        {"/usr/bin/java", "/usr/bin", "java"},
        {"/java", "/", "java"},
        {"java", "", "java"},
        {"", "", ""},
        {"lib/", "lib", ""},
        {"a//b", "a/", "b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dirName(c.path), c.dir) << c.path;
        EXPECT_EQ(baseName(c.path), c.base) << c.path;
    }
    EXPECT_EQ(joinPath("", "java"), "java");
    EXPECT_EQ(joinPath("/", "java"), "/java");
    EXPECT_EQ(joinPath("/usr/bin", "java"), "/usr/bin/java");
    EXPECT_EQ(joinPath(dirName("/usr/bin/java"), baseName("/usr/bin/java")), "/usr/bin/java");
}

TEST(AppendPathSeparator, AddsOneSlashUnlessEmptyOrPresent) {
    const std::vector<std::pair<SString, SString>> cases = {
        {"", ""}, {"/", "/"}, {"/tmp", "/tmp/"}, {"/tmp/", "/tmp/"}, {"a\\", "a\\/"}};
    for (const auto& c : cases) {
        SString path = c.first;
        appendPathSeparator(path);
        EXPECT_EQ(path, c.second) << c.first;
    }
}

TEST(ReadLineFromStream, DropsEveryCarriageReturnAndAppendsToTheLine) {
    FILE* stream = tmpfile();
    ASSERT_NE(stream, nullptr);
    fputs("  a\rb\r\r \r\nsecond\n\nlast", stream);
    rewind(stream);
    SString line = "keep ";
    readLineFromStream(stream, line);
    EXPECT_EQ(line, "keep   ab");
    std::vector<SString> rest;
    for (int i = 0; i < 3; ++i) {
        SString next;
        readLineFromStream(stream, next);
        rest.push_back(next);
    }
    EXPECT_EQ(rest, (std::vector<SString>{"second", "", "last"}));
    EXPECT_TRUE(feof(stream));
    SString after = "x ";
    readLineFromStream(stream, after);
    EXPECT_EQ(after, "x");
    fclose(stream);
}

TEST(ReadLineFromString, WalksLinesAndStopsOnePastTheEnd) {
    const SString text = "one\r\n two \nlast";
    size_t position = 0;
    SString line;
    readLineFromString(text, position, line);
    EXPECT_EQ(line, "one");
    EXPECT_EQ(position, 5u);
    line.clear();
    readLineFromString(text, position, line);
    EXPECT_EQ(line, "two");
    line = "pre";
    readLineFromString(text, position, line);
    EXPECT_EQ(line, "prelast");
    EXPECT_EQ(position, text.size() + 1);
    line = " untouched ";
    readLineFromString(text, position, line);
    EXPECT_EQ(line, " untouched ");
    EXPECT_EQ(position, text.size() + 1);
}

TEST(StringEndsWith, GivesTheSuffixPositionOrNpos) {
    EXPECT_EQ(stringEndsWith("archive.jar", ".jar"), 7u);
    EXPECT_EQ(stringEndsWith("archive.jar", ""), 11u);
    EXPECT_EQ(stringEndsWith("jar", "a.jar"), SString::npos);
    EXPECT_EQ(stringEndsWith("a.jar.zip", ".jar"), SString::npos);
    EXPECT_EQ(stringEndsWith("xx", "x"), 1u);
}

TEST(IsWhitespace, OnlyTheFourTrimmingCharacters) {
    for (char c : SString(" \t\n\r")) EXPECT_TRUE(isWhitespace(c));
    for (char c : SString("\v\fa\x85")) EXPECT_FALSE(isWhitespace(c));
}

SString quotedFailure(const SString& text, size_t position) {
    try {
        parseStringArgument(text, position, true);
    } catch (const LauncherException& e) {
        return e.getMessage();
    }
    return "no failure";
}

TEST(ParseStringArgument, QuotedPairsBecomeOneQuote) {
    const SString text = "x\"\"y\"z";
    size_t position = 0;
    EXPECT_EQ(parseStringArgument(text, position, true), "x\"y");
    EXPECT_EQ(position, 5u);
}

TEST(ParseStringArgument, QuotedValueEndingTheTextGivesNpos) {
    const SString text = "\"a \"\"b\"\"\"";
    size_t position = 1;
    EXPECT_EQ(parseStringArgument(text, position, true), "a \"b\"");
    EXPECT_EQ(position, SString::npos);
    position = 1;
    EXPECT_EQ(parseStringArgument("\"\"", position, true), "");
    EXPECT_EQ(position, SString::npos);
}

TEST(ParseStringArgument, QuotedFailuresNameWhereTheTextBegins) {
    EXPECT_EQ(quotedFailure("\"abc", 1), "Expected double quote to end argument near 1");
    EXPECT_EQ(quotedFailure("a\"\"b", 0), "Expected double quote to end argument near 3");
    EXPECT_EQ(quotedFailure("ab\"\"", 0), "Expected double quote to end argument near -1");
    EXPECT_EQ(quotedFailure("ab", 2), "Expected double quote to end argument near 2");
}

TEST(ParseStringArgument, UnquotedWordStopsAtTheTrimmingSet) {
    const SString text = "ab\"c\td e";
    size_t position = 0;
    EXPECT_EQ(parseStringArgument(text, position, false), "ab\"c");
    EXPECT_EQ(position, 4u);
    position = 7;
    EXPECT_EQ(parseStringArgument(text, position, false), "e");
    EXPECT_EQ(position, SString::npos);
    position = text.size();
    EXPECT_EQ(parseStringArgument(text, position, false), "");
    EXPECT_EQ(position, SString::npos);
}

TEST(GetTokenFromString, SplitsOnCLocaleWhitespace) {
    const SString text = " \v one\ttwo\f\xe9t\xe9\n";
    size_t position = 0;
    bool noToken = true;
    std::vector<SString> tokens;
    for (SString token = getTokenFromString(text, position, noToken); !noToken;
         token = getTokenFromString(text, position, noToken)) {
        tokens.push_back(token);
    }
    EXPECT_EQ(tokens, (std::vector<SString>{"one", "two", "\xe9t\xe9"}));
    EXPECT_EQ(position, text.size());
}

TEST(GetTokenFromString, PositionGoesOnePastTheEndingCharacter) {
    size_t position = 0;
    bool noToken = true;
    EXPECT_EQ(getTokenFromString("ab  c", position, noToken), "ab");
    EXPECT_FALSE(noToken);
    EXPECT_EQ(position, 3u);
    position = 4;
    EXPECT_EQ(getTokenFromString("ab  c", position, noToken), "c");
    EXPECT_EQ(position, 6u);
    position = 0;
    EXPECT_EQ(getTokenFromString("", position, noToken), "");
    EXPECT_TRUE(noToken);
    EXPECT_EQ(position, 0u);
}

TEST(ConvertToString, WritesDecimalLikePrintf) {
    EXPECT_EQ(convertToString(0), "0");
    EXPECT_EQ(convertToString(-3), "-3");
    EXPECT_EQ(convertToString(2147483647L), "2147483647");
    EXPECT_EQ(convertToString(static_cast<long>(SString::npos)), "-1");
}

std::vector<wchar_t> wide(const SString& text) {
    std::unique_ptr<wchar_t[]> result = convertToUnicode(text);
    std::vector<wchar_t> out;
    for (size_t i = 0; result[i] != 0; ++i) out.push_back(result[i]);
    return out;
}

TEST(ConvertToUnicode, ResolvesEscapesWithRoomBehindThem) {
    EXPECT_EQ(wide("\\u0041x"), (std::vector<wchar_t>{0x41, L'x'}));
    EXPECT_EQ(wide("\\u0041"), (std::vector<wchar_t>{0x41}));
    EXPECT_EQ(wide("\\U00e9!"), (std::vector<wchar_t>{0xE9, L'!'}));
    EXPECT_EQ(wide("a\\u20AC."), (std::vector<wchar_t>{L'a', 0x20AC, L'.'}));
    // "%x" takes the leading digits of the four: "4z" reads as 4, the rest is skipped.
    EXPECT_EQ(wide("\\u4zzzb"), (std::vector<wchar_t>{4, L'b'}));
}

TEST(ConvertToUnicode, KeepsWhatIsNoEscape) {
    EXPECT_EQ(wide("a\\u004"), (std::vector<wchar_t>{L'a', L'\\', L'u', L'0', L'0', L'4'}));
    EXPECT_EQ(wide("\\x0041!"), (std::vector<wchar_t>{L'\\', L'x', L'0', L'0', L'4', L'1', L'!'}));
    EXPECT_EQ(wide("\\uzzzz!"), (std::vector<wchar_t>{L'\\', L'u', L'z', L'z', L'z', L'z', L'!'}));
    EXPECT_TRUE(wide("").empty());
}

TEST(StripQuotes, HandlesEachEndOnItsOwn) {
    const std::vector<std::pair<SString, SString>> cases = {
        {"\"a b\"", "a b"}, {"\"a", "a"}, {"a\"", "a"},     {"\"", ""},
        {"\"\"", ""},       {"", ""},     {"a\"b", "a\"b"}, {"\"\"\"", "\""}};
    for (const auto& c : cases) {
        SString text = c.first;
        stripQuotes(text);
        EXPECT_EQ(text, c.second) << c.first;
    }
}

TEST(EscapeForShellQuotes, EscapesTheFourSpecialCharacters) {
    EXPECT_EQ(escapeForShellQuotes("a \"$HOME\" `x` \\n 'q'"),
              "a \\\"\\$HOME\\\" \\`x\\` \\\\n 'q'");
    EXPECT_EQ(escapeForShellQuotes(""), "");
}

}  // namespace
