#include "platform/shell/DirectCommand.h"

#include <gtest/gtest.h>

namespace {

std::vector<SString> split(const SString& command) {
    std::vector<SString> words;
    if (!splitForDirectStart(command, words)) return {"<shell>"};
    return words;
}

using Words = std::vector<SString>;

TEST(DirectCommand, ProgramsTheShellWouldLookUpInPathStartDirectly) {
    EXPECT_EQ(split("/opt/jdk/bin/java -cp 'a b' Main"),
              (Words{"/opt/jdk/bin/java", "-cp", "a b", "Main"}));
    EXPECT_EQ(split("  java \"x\\\"y\" ''"), (Words{"java", "x\"y", ""}));
    EXPECT_EQ(split("'my program' x"), (Words{"my program", "x"}));
    EXPECT_EQ(split("j\"av\"a Main"), (Words{"java", "Main"}));
    // A leading exec only saves the shell's own process.
    EXPECT_EQ(split("exec \"/opt/my jdk/bin/java\" Main"), (Words{"/opt/my jdk/bin/java", "Main"}));
    EXPECT_EQ(split("exec java"), (Words{"java"}));
}

TEST(DirectCommand, ShellWordsSyntaxAndBuiltinsStillNeedTheShell) {
    for (const char* command : {"echo hi",
                                "printf %s x",
                                "cd /tmp",
                                "exec",
                                "exec -a name java",
                                "exec echo x",
                                "if true",
                                "{ java; }",
                                "FOO=bar java",
                                "java > out",
                                "java $HOME",
                                "java `id`",
                                "~/bin/java",
                                "java *.jar",
                                "java; rm x",
                                "\"\" x",
                                "",
                                "   ",
                                "test -f x",
                                "[ -f x ]",
                                "java \"unterminated",
                                ". ./script"}) {
        EXPECT_EQ(split(command), Words{"<shell>"}) << command;
    }
}

}  // namespace
