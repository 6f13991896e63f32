#include "qnpack/PackChecks.h"

#include <gtest/gtest.h>

#include <vector>

#include "inputfiles/TagFile.h"
#include "launcher/Instructions.h"
#include "launcher/Launcher.h"
#include "support/TestKit.h"

namespace {

std::vector<SString> instructionProblems(std::initializer_list<SString> lines) {
    TagFile tags;
    for (const SString& line : lines) tags.appendTagValue(Instructions::g_instructionsTag, line);
    std::vector<SString> problems;
    checkInstructions("instr.tag", tags, problems);
    return problems;
}

std::vector<SString> scriptProblems(const SString& command, const SString& archive = SString()) {
    TagFile tags;
    if (!command.empty()) tags.setTagValue("COMMAND", command);
    if (!archive.empty()) tags.setTagValue("ARCHIVE", archive);
    std::vector<SString> problems;
    checkLaunchScript("script.tag", tags, problems);
    return problems;
}

TEST(PackChecks, InstructionProblemsNameFileLineAndMessage) {
    testkit::LauncherState state;
    EXPECT_EQ(instructionProblems({":start", "FIND_JVM 1", "GOTO start", "SET N1 = 5",
                                   "JMP0 @N1@ done", "Launch x 0", "SET S1 = \"open", ":done"}),
              (std::vector<SString>{
                  "instr.tag line 2: The second argument to FIND_JVM should be a 1 if a find "
                  "failure message should be displayed in a UI or 0 if no message should be "
                  "displayed.",
                  "instr.tag line 3: Label not found (start)",
                  "instr.tag line 6: Invalid command (Launch). ",
                  "instr.tag line 7: Expected double quote to end argument near 1"}));
    // The check runs nothing and stores nothing.
    EXPECT_EQ(Launcher::getLongVariable(1), 0);
}

TEST(PackChecks, GoodInstructionsHaveNoProblems) {
    testkit::LauncherState state;
    EXPECT_TRUE(instructionProblems({"// find one, or install the embedded JVM", "FIND_JVM 1 1",
                                     "JMP0 @N1@ install", "LAUNCH \"@S2@\" 0", "GOTO end",
                                     ":install", "INSTALL_JVM 1", "JMP0 @N1@ end",
                                     "SET S3 = \"a b\"", "LAUNCH @S2@ 0", ":end"})
                    .empty());
}

TEST(PackChecks, LaunchScriptProblemsCarryTheLanguagesMessages) {
    testkit::LauncherState state;
    const SString e = "script.tag: Launch script error: ";
    const std::pair<SString, SString> cases[] = {
        {"java %cp%() Main", e + "Invalid function name (cp)."},
        {"java %CP%(\"a\" Main", e + "Expected right parenthesis. (near character 13)"},
        {"%TEMP_DIR%", e + "Expected left parenthesis. (near character 10)"},
        {"%SYSTEMPROP%(\"a\")", e + "SYSTEMPROP function requires 2 arguments."},
        {"%CP%(\"a", e + "Expected double quote to end argument near 6"},
        // Arguments are checked too, since function values are expanded again.
        {"%IF_EXISTS%(\"JVM_EXE\", \"%FOO%()\")", e + "Invalid function name (FOO)."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(scriptProblems(c.first), std::vector<SString>{c.second}) << c.first;
    }
    EXPECT_EQ(scriptProblems("java %CP%() Main", "%APPLICATION_ARCHIVE%(\"a\", \"b\")"),
              std::vector<SString>{e + "APPLICATION_ARCHIVE function takes 0 arguments."});
    EXPECT_EQ(scriptProblems("java %CP%() Main", "%IF_EXISTS%(\"A\", \"%CP%()\")"),
              std::vector<SString>{e + "The CP function cannot be used in ARCHIVE."});
}

TEST(PackChecks, GoodLaunchScriptHasNoProblemsAndResolvesNothing) {
    testkit::LauncherState state;
    EXPECT_TRUE(scriptProblems("\"@JVM_EXE@\" %CP%(\"x.jar\",) %RUNTIME_SYSTEMPROP%() "
                               "%SYSTEMPROP%(\"home\", \"#HOME#\") %RUNTIME_JAVAARGS%() "
                               "%IF_EXISTS%(\"JVM_EXE\", \"%LAUNCHER_DIR%()/lib\") 100%% Main",
                               "%APPLICATION_ARCHIVE%(\"missing.jar\")")
                    .empty());
    EXPECT_TRUE(scriptProblems("").empty());
    // A search text or a tag name never reaches the command, so it may look like a macro.
    EXPECT_TRUE(scriptProblems("java %REPLACE%(\"%X%\", \"y\", \"a-b\") "
                               "%IF_EXISTS%(\"%T%\", \"t\")")
                    .empty());
}

TEST(PackChecks, MalformedVersionConstraintsAreReportedWithTheirLines) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    const SString path = dir.file("d.jvm");
    testkit::writeFile(path,
                       "DESC: Java\n"
                       "JVM_PROPERTIES: java.version=17++\n"  // replaced below
                       "JVM_EXE: bin/java\n"
                       "JVM_PROPERTIES:\n"
                       "  java.version = 17..\n"
                       "\n"
                       "  java.vendor=Acme+\n"
                       "  \"java.specification.version=..17\"\n"
                       "  os.name=Linux\n"
                       "  java.vm.version=17..11\n"
                       "  java.runtime.version=11..17\n"
                       "  java.class.version=61...\n"
                       "  no.equals.sign+\n"
                       "/:\n");
    TagFile descriptor;
    std::vector<SString> problems;
    ASSERT_TRUE(loadForCheck(path, descriptor, problems));
    checkJVMDescriptor(path, descriptor, problems);
    EXPECT_EQ(problems,
              (std::vector<SString>{
                  path + " line 5: java.version=17..: the range has no upper bound; write 17+ "
                         "for 17 or newer",
                  path + " line 8: java.specification.version=..17: the range has no lower "
                         "bound; write 0..17 for versions up to 17",
                  path + " line 10: java.vm.version=17..11: the range is empty: 17 is above 11"}));
}

TEST(PackChecks, GoodVersionConstraintsHaveNoProblems) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    const SString path = dir.file("d.jvm");
    testkit::writeFile(path,
                       "JVM_PROPERTIES:\n  java.version=17+\n  java.vm.version=1.8..11.0\n"
                       "  java.vendor=...\n  os.arch=amd64\n/:\n");
    TagFile descriptor;
    std::vector<SString> problems;
    ASSERT_TRUE(loadForCheck(path, descriptor, problems));
    checkJVMDescriptor(path, descriptor, problems);
    EXPECT_TRUE(problems.empty());
}

TEST(PackChecks, TextAfterAClosingQuoteIsReportedWithTheFix) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    const SString path = dir.file("l.tag");
    testkit::writeFile(path,
                       "DESC: \"My tool\"\n"
                       "COMMAND: \"@JVM_HOME@/@JVM_EXE@\" %CP%() Main\n"
                       "ARCHIVE: \"\"\"%APPLICATION_ARCHIVE%()\"\"\"\n"
                       "EXTRA:\n"
                       "  \"a b\"  \n"
                       "  \"x\" y\n"
                       "/:\n");
    std::vector<SString> problems;
    checkQuotedValues(path, problems);
    EXPECT_EQ(problems,
              (std::vector<SString>{
                  path + " line 2: COMMAND: the text after the closing quote ( %CP%() Main) would "
                         "be dropped; to keep the quotes, double each one and quote the whole "
                         "value: COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%() Main\", or write "
                         "the value as a block (COMMAND: alone on a line, the value, then /:)",
                  path + " line 6: EXTRA: the text after the closing quote ( y) would be "
                         "dropped; to keep the quotes, double each one and quote the whole "
                         "line: \"\"\"x\"\" y\""}));
}

TEST(PackChecks, InstructionsNeedTheFilesTheyUse) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    const SString path = dir.file("i.tag");
    testkit::writeFile(path,
                       "INSTRUCTIONS:\n  FIND_JVM 0 1\n  JMP0 @N1@ end\n\n  LAUNCH @S2@ 0\n"
                       "  VERIFY 0 0 1\n  :end\n/:\n");
    TagFile tags;
    std::vector<SString> problems;
    ASSERT_TRUE(loadForCheck(path, tags, problems));
    checkInstructionNeeds(path, tags, BundleContents{}, problems);
    EXPECT_EQ(problems,
              (std::vector<SString>{
                  path + " line 2: FIND_JVM needs a JVM descriptor, but none is embedded; add "
                         "--jvm FILE (qnpack init writes one)",
                  path + " line 2: FIND_JVM verifies each JVM with the Verify class, but no "
                         "verifier is embedded, so every JVM would be refused; add "
                         "--verify-archive verify.jar",
                  path + " line 5: LAUNCH needs a launch script, but none is embedded; add "
                         "--launch-script FILE",
                  path + " line 6: VERIFY needs a JVM descriptor, but none is embedded; add "
                         "--jvm FILE (qnpack init writes one)"}));
    problems.clear();
    checkInstructionNeeds(path, tags, BundleContents{true, true, true}, problems);
    EXPECT_TRUE(problems.empty());

    TagFile descriptor;
    descriptor.setTagValue("DESC", "x");
    checkDescriptorProperties("x.jvm", descriptor, problems);
    EXPECT_EQ(problems, std::vector<SString>{"x.jvm line 1: the descriptor has no "
                                             "JVM_PROPERTIES, so the launcher never tries its "
                                             "hints; add a line such as JVM_PROPERTIES: "
                                             "java.version=17+"});
}

}  // namespace
