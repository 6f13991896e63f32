#include "platform/shell/OptionWords.h"

#include <gtest/gtest.h>

#include "platform/shell/ShellLiterals.h"

namespace {

struct Case {
    const char* text;
    std::vector<SString> words;
};

TEST(OptionWords, SplitsAsTheShellWouldWithoutExpandingAnything) {
    const Case cases[] = {
        {"", {}},
        {" \t\n ", {}},
        {"-Xmx100m", {"-Xmx100m"}},
        {"  -Xmx1g\t-ea\n-server  ", {"-Xmx1g", "-ea", "-server"}},
        // Quotes keep blanks and join the word around them.
        {"-Dfoo=\"a b\"", {"-Dfoo=a b"}},
        {"-Dk='x  y' z", {"-Dk=x  y", "z"}},
        {"a'b c'\"d e\"f", {"ab cd ef"}},
        // Empty quotes are an empty word; alone, not nothing.
        {"'' \"\" x''", {"", "", "x"}},
        // Nothing expands: substitutions, variables, globs and tildes stay as they are.
        {"$(id) `id` \"$(id)\" '`id`' $HOME * ~",
         {"$(id)", "`id`", "$(id)", "`id`", "$HOME", "*", "~"}},
        // Backslashes outside quotes keep the next byte; a line feed after one joins lines.
        {"a\\ b back\\\\slash \\'q\\\" x\\\ny", {"a b", "back\\slash", "'q\"", "xy"}},
        {"trailing\\", {"trailing\\"}},
        // Inside double quotes only \" \$ \` \\ and a line feed are escapes.
        {"\"\\\"\\$\\`\\\\\" \"\\a\\n\" \"x\\\ny\"", {"\"$`\\", "\\a\\n", "xy"}},
        // Inside single quotes nothing is.
        {"'a\\' b", {"a\\", "b"}},
        {"-Dpath=/opt/My\\ App \"-Dtitle=it's\" '-Dq=\"q\"'",
         {"-Dpath=/opt/My App", "-Dtitle=it's", "-Dq=\"q\""}},
        {"caf\xc3\xa9 \xff", {"caf\xc3\xa9", "\xff"}},
    };
    for (const Case& c : cases) {
        std::vector<SString> words = {"left over"};
        EXPECT_TRUE(splitOptionWords(c.text, words)) << c.text;
        EXPECT_EQ(words, c.words) << c.text;
    }
}

TEST(OptionWords, AQuoteLeftOpenRefusesTheWholeValue) {
    for (const char* text : {"-Dfoo=\"a b", "'", "\"", "ok 'open", "a \"b\\\"", "x\"y'z\"'",
                             "\"closed\" 'open \"inner\""}) {
        std::vector<SString> words = {"left over"};
        EXPECT_FALSE(splitOptionWords(text, words)) << text;
        EXPECT_TRUE(words.empty()) << text;
    }
}

// Every word, quoted on its own for the shell, splits back into itself.
TEST(OptionWords, QuotedWordsSplitBackIntoThemselves) {
    const std::vector<SString> words = {"a b",  "",       "it's",      "\"q\"",     "$(id)",
                                        "`id`", "back\\", "tab\there", "new\nline", "'"};
    SString text;
    for (const SString& word : words) text += quoteShellWord(word) + " ";
    std::vector<SString> split;
    ASSERT_TRUE(splitOptionWords(text, split)) << text;
    EXPECT_EQ(split, words);
}

}  // namespace
