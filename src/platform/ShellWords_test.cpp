#include "platform/ShellWords.h"

#include <gtest/gtest.h>

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
        {"/bin/x back\\ slash", false, {}},
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

}  // namespace
