#include "launch/LaunchScript.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/LauncherException.h"
#include "inputfiles/TagFile.h"
#include "jvm/JVMFile.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherInputFiles.h"
#include "platform/PlatformImpl.h"
#include "platform/shell/DirectCommand.h"
#include "support/StateAccess.h"
#include "support/TestKit.h"

namespace {

struct Case {
    SString command;
    SString expected;  // the resolved command, or "error: " + the exception's message
};

// Resolves launch commands against one descriptor, for a launcher at /opt/app/setup.bin.
class LaunchScriptTest : public ::testing::Test {
protected:
    LaunchScriptTest() {
        m_descriptor.setTagValue("JVM_HOME", "/jh");
        m_descriptor.setTagValue("JVM_EXE", "bin/java");
        m_descriptor.setTagValue("EMPTY", "");
        m_descriptor.setTagValue("SEP", ";");
        m_descriptor.setTagValue("SYSTEM", "-D");
        m_descriptor.setTagValue("SYSTEM_SEPARATOR", "=");
    }

    SString outcome(const SString& command) {
        LaunchScript script(command, false, false);
        script.setContext(&testkit::StateAccess::inputFiles().context());
        try {
            return script.resolve(m_jvm);
        } catch (const LauncherException& e) {
            return "error: " + e.getMessage();
        }
    }

    void expectAll(const std::vector<Case>& cases) {
        for (const Case& c : cases) EXPECT_EQ(outcome(c.command), c.expected) << c.command;
    }

    testkit::LauncherState m_state{"/opt/app/setup.bin"};
    TagFile m_descriptor;
    JVMFile m_jvm{m_descriptor};
};

TEST_F(LaunchScriptTest, FunctionsProduceTheirValues) {
    testkit::ScopedTempDir dir;
    testkit::makeDirs(dir.file("t\\"));
    PlatformImpl::setSystemTempDir(dir.file("t\\"));
    testkit::ScopedEnv set("QN_LS_VAR", "value");
    testkit::ScopedEnv unset("QN_LS_UNSET", nullptr);
    expectAll({
        {"%REPLACE%(\"/\", \"\\\", \"a/b/c\")", "a\\b\\c"},
        {"%REPLACE%(\"aa\", \"a\", \"aaaa\")", "aa"},
        {"%REPLACE%(\"\", \"x\", \"abc\")", "abc"},
        {"%REPLACE%(\"@SEP@\", \"+\", \"a;b;c\")", "a+b+c"},
        {"%REPLACE%(\"x\", \"\"\"\", \"axb\")", "a\"b"},
        {"%SYSTEMPROP%(\"java.home\", \"@JVM_HOME@/jre\")", "-Djava.home=/jh/jre"},
        {"%IF_EXISTS%(\"JVM_EXE\", \"found\")", "found"},
        {"[%IF_EXISTS%(\"NOPE\", \"found\")]", "[]"},
        {"[%IF_EXISTS%(\"EMPTY\", \"found\")]", "[]"},
        {"%LAUNCHER_FILE%()", "/opt/app/setup.bin"},
        {"%LAUNCHER_DIR%()/lib", "/opt/app/lib"},
        {"%TEMP_DIR%()", dir.file("t")},
        {"%TEMP_DIR% ( \t)", dir.file("t")},
        {"%%", "%"},
        {"100%% sure", "100% sure"},
        {"a%", "a%"},
        {"a%b", "a%b"},
        {"##", "#"},
        {"user@@host", "user@host"},
        {"[#QN_LS_UNSET#]#QN_LS_VAR#", "[]value"},
    });
}

TEST_F(LaunchScriptTest, NestedMacrosExpandThroughRescannedValues) {
    expectAll({
        {"%IF_EXISTS%(\"JVM_EXE\", \"%LAUNCHER_DIR%()/lib\")", "/opt/app/lib"},
        {"[%IF_EXISTS%(\"NOPE\", \"%LAUNCHER_DIR%()/lib\")]", "[]"},
        {"%REPLACE%(\"X\", \"%LAUNCHER_DIR%()\", \"X/bin\")", "/opt/app/bin"},
    });
}

// Functions run first, then descriptor macros, then environment macros, each pass over
// the whole text as the previous one left it.
TEST_F(LaunchScriptTest, PassesRunFunctionsThenDescriptorThenEnvironment) {
    testkit::ScopedEnv env("QN_LS_VAR", "value");
    testkit::ScopedEnv at("QN_LS_AT", "@JVM_HOME@");
    m_descriptor.setTagValue("WITH_ENV", "#QN_LS_VAR#/x");
    m_descriptor.setTagValue("WITH_FUNCTION", "%LAUNCHER_FILE%()");
    m_descriptor.setTagValue("DIRNAME", "v1");
    testkit::StateAccess::setOriginalLauncherFile("/opt/@DIRNAME@/setup.bin");
    expectAll({
        {"@WITH_ENV@", "value/x"},
        {"#QN_LS_AT#", "@JVM_HOME@"},
        {"@WITH_FUNCTION@", "%LAUNCHER_FILE%()"},
        // Paths and environment values are not the bundle's text: no pass reads them.
        {"%LAUNCHER_DIR%()", "/opt/@DIRNAME@"},
    });
}

TEST_F(LaunchScriptTest, ErrorsReportTheirMessageAndPosition) {
    const SString e = "error: Launch script error: ";
    expectAll({
        {"%TEMP_DIR%", e + "Expected left parenthesis. (near character 10)"},
        {"x %TEMP_DIR%", e + "Expected left parenthesis. (near character 12)"},
        {"%TEMP_DIR% x", e + "Expected left parenthesis. (near character 10)"},
        {"%cp%()", e + "Invalid function name (cp)."},
        {"%FOO%", e + "Invalid function name (FOO)."},
        {"% CP%()", e + "Invalid function name ( CP)."},
        {"%CP%(x)", e + "Expected string arg. (near character 5)"},
        {"%CP%(,)", e + "Expected string arg. (near character 5)"},
        {"%CP%(\"a\" x)", e + "Expected right parenthesis. (near character 8)"},
        {"%CP%(\"a\"", e + "Expected right parenthesis. (near character 8)"},
        {"%CP%(\"a\",", e + "Expected string arg. (near character 9)"},
        {"%SYSTEMPROP%(\"a\" x", e + "Expected right parenthesis. (near character 16)"},
        // After the first macro is replaced, positions count in the changed text.
        {"%LAUNCHER_FILE%() %CP%(x)", e + "Expected string arg. (near character 24)"},
        // An unfinished quoted argument is reported by the quote parser itself.
        {"%CP%(\"a", "error: Expected double quote to end argument near 6"},
        {"%CP%(\"a\"\"", "error: Expected double quote to end argument near -1"},
    });
}

TEST_F(LaunchScriptTest, WrongArgumentCountsNameTheFunction) {
    const SString e = "error: Launch script error: ";
    expectAll({
        {"%REPLACE%(\"a\", \"b\")", e + "REPLACE function requires 3 arguments."},
        {"%RUNTIME_SYSTEMPROP%(\"x\")", e + "RUNTIME_SYSTEMPROP function takes no arguments."},
        {"%RUNTIME_JAVAARGS%(\"x\")", e + "RUNTIME_JAVAARGS function takes no arguments."},
        {"%SYSTEMPROP%(\"a\")", e + "SYSTEMPROP function requires 2 arguments."},
        {"%IF_EXISTS%(\"a\")", e + "IF_EXISTS function requires 2 arguments."},
        {"%LAUNCHER_FILE%(\"x\")", e + "LAUNCHER_FILE function takes 0 arguments."},
        {"%LAUNCHER_DIR%(\"x\")", e + "LAUNCHER_DIR function takes 0 arguments."},
        {"%APPLICATION_ARCHIVE%(\"a\", \"b\")",
         e + "APPLICATION_ARCHIVE function takes 0 arguments."},
        {"%TEMP_DIR%(\"x\")", e + "TEMP_DIR function takes 0 arguments."},
        {"%ENV_OPTIONS%()", e + "ENV_OPTIONS function needs the names of environment variables."},
    });
}

// The words of each named variable, split with the usual quoting, become arguments of their
// own with exactly their bytes; the command still starts without a shell.
TEST_F(LaunchScriptTest, EnvOptionsGiveEachWordAsOneArgument) {
    testkit::ScopedTempDir dir;
    Launcher::setLogFileName(dir.file("launch.log"));
    testkit::ScopedEnv first("QN_LS_OPTS",
                             "-Dfoo=\"a b\" '$(touch p1)' `touch p2` back\\\\slash \"\" "
                             "-Dat=@JVM_HOME@%%#HOME# \"it's\"");
    testkit::ScopedEnv second("QN_LS_MORE", " -Xmx1g\t-ea ");
    testkit::ScopedEnv open("QN_LS_OPEN", "-Dgood=1 -Dbad=\"a b");
    testkit::ScopedEnv unset("QN_LS_UNSET", nullptr);
    const SString command = outcome(
        "/bin/java %ENV_OPTIONS%(\"QN_LS_UNSET\", \"QN_LS_OPTS\", \"QN_LS_OPEN\", "
        "\"QN_LS_MORE\") Main");
    std::vector<SString> words;
    ASSERT_TRUE(splitForDirectStart(command, words)) << command;
    // Backquotes are bytes like any other: they quote nothing.
    EXPECT_EQ(words, (std::vector<SString>{"/bin/java", "-Dfoo=a b", "$(touch p1)", "`touch", "p2`",
                                           "back\\slash", "", "-Dat=@JVM_HOME@%%#HOME#", "it's",
                                           "-Xmx1g", "-ea", "Main"}));
    // A value with a quote left open gives none of its words, and says so.
    EXPECT_NE(testkit::readFile(dir.file("launch.log"))
                  .find("WARNING: QN_LS_OPEN is not used: its value has a quote that is not "
                        "closed (-Dgood=1 -Dbad=\"a b)\n"),
              SString::npos)
        << testkit::readFile(dir.file("launch.log"));
    EXPECT_EQ(outcome("[%ENV_OPTIONS%(\"QN_LS_UNSET\")]"), "[]");
}

TEST_F(LaunchScriptTest, ErrorLogsTheCommandAsItStoodThen) {
    testkit::ScopedTempDir dir;
    Launcher::setLogFileName(dir.file("launch.log"));
    outcome("%LAUNCHER_FILE%() %CP%(x)");
    EXPECT_EQ(testkit::readFile(dir.file("launch.log")),
              "------------------\nLaunch command:\n/opt/app/setup.bin %CP%(x)\n");
}

TEST_F(LaunchScriptTest, SelfReferringValuesEndWithAnError) {
    m_descriptor.setTagValue("LOOP", "x@LOOP@");
    const SString result = outcome("@LOOP@");
    EXPECT_EQ(result.compare(0, 7, "error: "), 0) << result;
    EXPECT_NE(result.find("@LOOP@"), SString::npos) << result;
    // An environment value is never expanded again, so it cannot refer to itself.
    testkit::ScopedEnv self("QN_LS_SELF", "a#QN_LS_SELF#");
    EXPECT_EQ(outcome("#QN_LS_SELF#"), "'a#QN_LS_SELF#'");
}

TEST_F(LaunchScriptTest, ApplicationArchiveWithANameCopiesTheFileBesideTheLauncher) {
    testkit::ScopedTempDir dir;
    testkit::ScopedEnv tmp("TMPDIR", dir.path().c_str());
    testkit::writeFile(dir.file("app/my.jar"), "jar bytes");
    testkit::StateAccess::setOriginalLauncherFile(dir.file("app/setup.bin"));
    const SString copy = outcome("%APPLICATION_ARCHIVE%(\"my.jar\")");
    EXPECT_NE(copy, dir.file("app/my.jar"));
    EXPECT_EQ(copy.substr(copy.size() - 7), "/my.jar");
    EXPECT_EQ(testkit::readFile(copy), "jar bytes");
}

TEST(LaunchScriptTags, ConstructorsReadTheScriptOrTakeTheCommand) {
    TagFile tags;
    tags.setTagValue("COMMAND", "java -jar x");
    tags.setTagValue("DISPLAY_CONSOLE", "1");
    tags.setTagValue("AUTO_SET_WORKING_DIR", "0");
    tags.setTagValue("DESC", "My application");
    tags.setTagValue("ARCHIVE", "%APPLICATION_ARCHIVE%()");
    LaunchScript script(tags, true);
    script.setContext(&testkit::StateAccess::inputFiles().context());
    EXPECT_EQ(script.m_command, "java -jar x");
    EXPECT_TRUE(script.m_captureOutput);
    EXPECT_TRUE(script.m_displayConsole);
    EXPECT_FALSE(script.m_autoSetWorkingDir);
    EXPECT_TRUE(script.m_extractArchives);
    EXPECT_EQ(script.m_description, "My application");
    EXPECT_EQ(script.m_archive, "%APPLICATION_ARCHIVE%()");
    EXPECT_EQ(script.m_jvmFile, nullptr);

    TagFile words;
    words.setTagValue("DISPLAY_CONSOLE", "yes");
    words.setTagValue("AUTO_SET_WORKING_DIR", "true");
    LaunchScript defaults(words, false);
    EXPECT_FALSE(defaults.m_displayConsole);
    EXPECT_TRUE(defaults.m_autoSetWorkingDir);
    EXPECT_EQ(defaults.m_command, "");

    LaunchScript fromCommand(SString("cmd"), true, false);
    EXPECT_EQ(fromCommand.m_command, "cmd");
    EXPECT_FALSE(fromCommand.m_displayConsole);
    EXPECT_TRUE(fromCommand.m_autoSetWorkingDir);
    EXPECT_FALSE(fromCommand.m_extractArchives);
    EXPECT_EQ(fromCommand.m_archive, "");
}

}  // namespace
