#include "platform/shell/ShellLiterals.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/PlatformImpl.h"
#include "support/TestKit.h"

namespace {

const std::vector<SString> kHostile = {
    "plain",
    "two words",
    "$(touch pwned1)",
    "`touch pwned2`;touch pwned3",
    "a\"b",
    "it's",
    "q\"uote;touch pwned4;\"",
    "back\\slash\\",
    "*",
    "~root",
    "tab\there",
    "line\nfeed",
    "${IFS}x",
    "",
    "a=b",
    "'\"'\"'",
};

// What /bin/sh makes of `command`: one line per argument of printf.
std::vector<SString> shellWords(const SString& command, const SString& dir) {
    SString out, err;
    PlatformImpl::executeProcess("printf '[%s]\\n' " + command, dir, false, true, &out, &err);
    std::vector<SString> words;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find("]\n", start);
        if (end == SString::npos) break;
        words.push_back(out.substr(start + 1, end - start - 1));
        start = end + 2;
    }
    return words;
}

// Each hostile value in each quoting context: the shell sees exactly the bytes, split()
// gives the same words without a shell, and no command of a value runs.
TEST(ShellLiterals, ValuesReachTheShellAsTheirBytesInEveryContext) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    for (const SString& value : kHostile) {
        for (ShellLiterals::Kind kind : {ShellLiterals::Word, ShellLiterals::Words}) {
            ShellLiterals literals;
            const SString m = literals.mark(value, kind);
            const SString command = "x" + m + "y \"x" + m + "y\" 'x" + m + "y'";
            std::vector<SString> expected = {"x" + value + "y", "x" + value + "y",
                                             "x" + value + "y"};
            if (kind == ShellLiterals::Words) {
                // Unquoted, the value splits at blanks like an unquoted variable would.
                std::vector<SString> words = literals.split("x" + m + "y");
                expected.erase(expected.begin());
                expected.insert(expected.begin(), words.begin(), words.end());
            }
            EXPECT_EQ(shellWords(literals.quote(command), dir.path()), expected) << value;
            EXPECT_EQ(literals.split(command), expected) << value;
            EXPECT_EQ(literals.plain(command),
                      "x" + value + "y \"x" + value + "y\" 'x" + value + "y'");
        }
    }
    EXPECT_TRUE(testkit::listDir(dir.path()).empty());
}

SString unblank(const SString& text) {
    SString result;
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n') result += c;
    }
    return result;
}

// A command substitution quotes anew: "$(dirname "...")" puts the value inside the inner
// double quotes, and text between backquotes loses a level of backslashes first.
TEST(ShellLiterals, ValuesInsideCommandSubstitutionsAreQuotedForTheirOwnContext) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    for (const SString& value : kHostile) {
        for (ShellLiterals::Kind kind : {ShellLiterals::Word, ShellLiterals::Words}) {
            ShellLiterals literals;
            const SString m = literals.mark(value, kind);
            const SString command = "\"$(printf %s \"x" + m + "y\")\" \"$(printf %s 'x" + m +
                                    "y')\" \"`printf %s 'x" + m + "y'`\" `printf %s x" + m +
                                    "y | tr -d ' \\t\\n'` \"$(echo $((1+1)) | (cat))x" + m + "y\"";
            const SString quoted = "x" + value + "y";
            EXPECT_EQ(shellWords(literals.quote(command), dir.path()),
                      (std::vector<SString>{quoted, quoted, quoted, unblank(quoted), "2" + quoted}))
                << value << "\n"
                << literals.quote(command);
        }
    }
    EXPECT_TRUE(testkit::listDir(dir.path()).empty());
}

TEST(ShellLiterals, UnquotedWordsSplitAtBlanksButNeverSeparateCommands) {
    ShellLiterals literals;
    const SString m = literals.mark(" -Xmx1g  -Da=$(id);x\n-ea ", ShellLiterals::Words);
    EXPECT_EQ(literals.split("java " + m + " Main"),
              (std::vector<SString>{"java", "-Xmx1g", "-Da=$(id);x", "-ea", "Main"}));
    EXPECT_EQ(literals.quote("java " + m + " Main"), "java  -Xmx1g '-Da=$(id);x' -ea  Main");
    // A path is one word, and plain words stay bare.
    const SString path = literals.mark("/opt/My App (1)", ShellLiterals::Word);
    const SString bare = literals.mark("/opt/app", ShellLiterals::Word);
    EXPECT_EQ(literals.quote("-Dhome=" + path + " " + bare), "-Dhome='/opt/My App (1)' /opt/app");
}

TEST(ShellLiterals, PositionsAndUnknownMarkersInPlainTerms) {
    ShellLiterals literals;
    const SString text = "a" + literals.mark("12345", ShellLiterals::Word) + "b";
    EXPECT_EQ(literals.plainPosition(text, text.size() - 1), 6u);
    // A marker byte that is not one of ours stays as it is.
    const SString stray = SString("\x01\x15\x02", 3);
    EXPECT_EQ(literals.plain(stray), stray);
    EXPECT_EQ(quoteShellWord(""), "''");
    EXPECT_EQ(quoteShellWord("a'b"), "'a'\\''b'");
}

}  // namespace
