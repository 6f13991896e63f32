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

// A command that needs the shell for one program's words takes the shell's place (exec),
// so that program is the launcher's child and dies with it; a compound command, an
// assignment or a built-in stays as it is.
TEST(CommandForShell, OneCommandTakesTheShellsPlace) {
    const std::pair<const char*, const char*> cases[] = {
        {"java *.jar", "exec java *.jar"},
        {"  \"$JAVA_HOME/bin/java\" -cp $CP Main", "exec \"$JAVA_HOME/bin/java\" -cp $CP Main"},
        {"java -Dx=\"a;b\" 'c|d' Main > out", "exec java -Dx=\"a;b\" 'c|d' Main > out"},
        {"java; rm x", "java; rm x"},
        {"java && echo done", "java && echo done"},
        {"java | tee log", "java | tee log"},
        {"java &", "java &"},
        {"(cd /tmp && java)", "(cd /tmp && java)"},
        {"{ java; }", "{ java; }"},
        {"FOO=bar java", "FOO=bar java"},
        {"cd /tmp", "cd /tmp"},
        {"java $(id -u)", "java $(id -u)"},
        {"java \"`id`\"", "java \"`id`\""},
        {"java\necho after", "java\necho after"},
        {"java \"open", "java \"open"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(commandForShell(c.first), c.second) << c.first;
}

}  // namespace
