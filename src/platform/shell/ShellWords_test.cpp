#include "platform/shell/ShellWords.h"

#include <gtest/gtest.h>

#include "platform/PlatformImpl.h"
#include "platform/shell/ShellLiterals.h"
#include "support/TestKit.h"

namespace {

struct Case {
    const char* command;
    bool simple;
    std::vector<SString> words;
};

TEST(ShellWords, SplitsOnlyWhatTheShellWouldLeaveAsWords) {
    const Case cases[] = {
        {"/usr/bin/java -cp a.jar Main", true, {"/usr/bin/java", "-cp", "a.jar", "Main"}},
        {"\"/opt/my jdk/bin/java\" \"a b\" '' \"\"", true, {"/opt/my jdk/bin/java", "a b", "", ""}},
        {"/bin/x \"q\\\"uote\" \"\\$HOME\" \"back\\\\slash\" \"keep\\n\"",
         true,
         {"/bin/x", "q\"uote", "$HOME", "back\\slash", "keep\\n"}},
        {"/bin/x ab\"c d\"e 'it''s'", true, {"/bin/x", "abc de", "its"}},
        {"/bin/x -Dk=v a=b", true, {"/bin/x", "-Dk=v", "a=b"}},
        {"  /bin/x\ta  ", true, {"/bin/x", "a"}},
        {"/bin/x back\\ slash 'it'\\''s' \\$HOME \\\\ \\;",
         true,
         {"/bin/x", "back slash", "it's", "$HOME", "\\", ";"}},
        // The shell is needed for all of these.
        {"java -version", false, {}},
        {"echo hi", false, {}},
        {"/bin/x $HOME", false, {}},
        {"/bin/x \"$HOME\"", false, {}},
        {"/bin/x `id`", false, {}},
        {"/bin/x \"`id`\"", false, {}},
        {"/bin/x a; /bin/y", false, {}},
        {"/bin/x > out", false, {}},
        {"/bin/x a | /bin/y", false, {}},
        {"/bin/x *.jar", false, {}},
        {"/bin/x ~/a", false, {}},
        {"/bin/x # comment", false, {}},
        {"/bin/x line\\\ncontinued", false, {}},
        {"/bin/x ends\\", false, {}},
        {"/bin/x \"unterminated", false, {}},
        {"/bin/x 'unterminated", false, {}},
        {"/bin/x \"line\\\nbreak\"", false, {}},
        {"/bin/x a\nb", false, {}},
        {"A=1 /bin/x", false, {}},
        {"", false, {}},
        {"   ", false, {}},
    };
    for (const Case& c : cases) {
        std::vector<SString> words;
        EXPECT_EQ(splitSimpleCommand(c.command, words), c.simple) << c.command;
        if (c.simple) {
            EXPECT_EQ(words, c.words) << c.command;
        }
    }
}

// Every single byte but NUL, and pairs of the bytes the quoting functions treat specially.
std::vector<SString> awkwardValues() {
    std::vector<SString> values = {"",           "plain", "two words", "it's",    "back\\slash\\",
                                   "$(touch x)", "`id`",  "\"q\"",     "a\nb\tc", "'\"'\"'"};
    for (int c = 1; c < 256; ++c) values.push_back(SString(1, static_cast<char>(c)));
    const SString special = "\"$`\\' \t\n;*~#=!\x01\x02";
    for (char a : special) {
        for (char b : special) values.push_back(SString(1, a) + b);
    }
    return values;
}

// What /bin/sh makes of the words after "printf '%s\0'": each argument up to its NUL.
std::vector<SString> shellArguments(const SString& words) {
    SString out, err;
    PlatformImpl::executeProcess("printf '%s\\0' " + words, "", false, true, &out, &err);
    std::vector<SString> arguments;
    for (size_t start = 0, end; (end = out.find('\0', start)) != SString::npos; start = end + 1) {
        arguments.push_back(out.substr(start, end - start));
    }
    return arguments;
}

// Each quoting function against the splitters that read it back, and against the shell.
TEST(ShellWords, QuotedValuesReadBackAsTheirBytes) {
    testkit::LauncherState state;
    const std::vector<SString> values = awkwardValues();
    SString doubleQuoted, singleQuoted;
    for (const SString& value : values) {
        const SString inQuotes = "\"" + escapeForShellQuotes(value) + "\"";
        std::vector<SString> words;
        ASSERT_TRUE(splitSimpleCommand("/bin/p " + inQuotes, words)) << value;
        EXPECT_EQ(words, (std::vector<SString>{"/bin/p", value})) << value;
        const SString word = quoteShellWord(value);
        EXPECT_EQ(ShellLiterals().split("/bin/p " + word), (std::vector<SString>{"/bin/p", value}))
            << value;
        if (splitSimpleCommand("/bin/p " + word, words)) {
            EXPECT_EQ(words, (std::vector<SString>{"/bin/p", value})) << value;
        }
        doubleQuoted += " " + inQuotes;
        singleQuoted += " " + word;
    }
    EXPECT_EQ(shellArguments(doubleQuoted), values);
    EXPECT_EQ(shellArguments(singleQuoted), values);
}

}  // namespace
