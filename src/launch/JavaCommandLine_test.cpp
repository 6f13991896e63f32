#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "base/LauncherException.h"
#include "inputfiles/RuntimeFiles.h"
#include "inputfiles/TagFile.h"
#include "jvm/JVMFile.h"
#include "launch/LaunchScript.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherInputFiles.h"
#include "platform/PlatformImpl.h"
#include "support/Bundles.h"
#include "support/StateAccess.h"
#include "support/TestKit.h"

namespace {

SString realPath(const SString& path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) ? SString(buffer) : path;
}

std::vector<SString> split(const SString& text, char separator) {
    std::vector<SString> parts;
    size_t begin = 0;
    for (size_t at = text.find(separator); at != SString::npos; at = text.find(separator, begin)) {
        parts.push_back(text.substr(begin, at - begin));
        begin = at + 1;
    }
    parts.push_back(text.substr(begin));
    return parts;
}

// A launcher at TMP/app/setup.bin with its runtime files beside it, a descriptor, a log
// file and the temporary directory of the run inside TMP.
class JavaCommandLine : public ::testing::Test {
protected:
    JavaCommandLine() {
        testkit::StateAccess::setLauncherFile(m_launcher);
        testkit::StateAccess::setOriginalLauncherFile(m_launcher);
        Launcher::setLogFileName(m_dir.file("launch.log"));
        testkit::makeDirs(m_dir.file("app"));
        testkit::makeDirs(m_dir.file("tmp"));
        m_descriptor.setTagValue("JVM_HOME", "/jh");
        m_descriptor.setTagValue("CLASSPATH", "-cp ");
        m_descriptor.setTagValue("CLASSPATH_SEPARATOR", ":");
        m_descriptor.setTagValue("JVM_CLASSPATH", "jvm.jar");
        m_descriptor.setTagValue("SYSTEM", "-D");
        m_descriptor.setTagValue("SYSTEM_SEPARATOR", "=");
    }

    void runtimeFile(const char* extension, const SString& content) {
        testkit::writeFile(m_dir.file("app/setup") + extension, content);
    }
    SString resolve(const SString& command, const SString& archive = SString()) {
        LaunchScript script(command, false, false);
        script.setContext(&testkit::StateAccess::inputFiles().context());
        script.m_archive = archive;
        return script.resolve(m_jvm);
    }
    SString log() const { return testkit::readFile(m_dir.file("launch.log")); }

    testkit::LauncherState m_state;
    testkit::ScopedTempDir m_dir;
    testkit::ScopedEnv m_tmpdir{"TMPDIR", (m_dir.path() + "/tmp").c_str()};
    testkit::ScopedEnv m_javaHome{"JAVA_HOME", nullptr};
    testkit::ScopedEnv m_cpVariable{"QN_JC_CP", nullptr};
    const SString m_launcher = m_dir.file("app/setup.bin");
    TagFile m_descriptor;
    JVMFile m_jvm{m_descriptor};
};

TEST_F(JavaCommandLine, RuntimeFileNamesDropOnlyTheLaunchersOwnExtension) {
    const std::pair<const char*, const char*> names[] = {
        {"/opt/app/setup.bin", "/opt/app/setup.cp1"},
        {"/opt/app.d/setup", "/opt/app.d/setup.cp1"},
        {"/opt/a.b/c.d.e", "/opt/a.b/c.d.cp1"},
        {"C:\\app\\setup.exe", "C:\\app\\setup.cp1"},
        {"setup.bin", "setup.bin.cp1"},
    };
    for (const auto& name : names) {
        EXPECT_EQ(RuntimeFiles::pathFor(name.first, ".cp1"), name.second) << name.first;
    }
}

TEST_F(JavaCommandLine, ClassPathJoinsItsSourcesInOrder) {
    runtimeFile(".cp1", "one\n\n  two \r\n");
    runtimeFile(".cp", "three\n");
    runtimeFile(".cp2", "last");
    // The launcher carries two class-path archives and an application archive.
    testkit::writeFile(m_dir.file("stub"), "stub");
    testkit::BundleBuilder(m_dir.file("work"))
        .stub(m_dir.file("stub"))
        .add(FILE_TYPE_CLASSPATH_ARCHIVE, "a.jar", "A")
        .add(FILE_TYPE_APPLICATION_ARCHIVE, "app.jar", "APP")
        .add(FILE_TYPE_CLASSPATH_ARCHIVE, "b.jar", "B")
        .write(m_launcher);
    testkit::StateAccess::inputFiles().load(false);

    TagFile tags;
    tags.setTagValue("COMMAND", "java %CP%(\"arg1\", \"\", \"arg2\") Main");
    tags.setTagValue("ARCHIVE", "%LAUNCHER_DIR%()/app.jar");
    LaunchScript script(tags, false);
    script.setContext(&testkit::StateAccess::inputFiles().context());
    const SString command = script.resolve(m_jvm);
    ASSERT_EQ(command.compare(0, 9, "java -cp "), 0) << command;
    ASSERT_EQ(command.substr(command.size() - 5), " Main");
    const std::vector<SString> entries = split(command.substr(9, command.size() - 14), ':');
    ASSERT_EQ(entries.size(), 10u) << command;
    EXPECT_EQ(std::vector<SString>(entries.begin(), entries.begin() + 6),
              (std::vector<SString>{"one", "two", "jvm.jar", "three", "arg1", "arg2"}));
    EXPECT_EQ(entries[6], m_dir.file("app/app.jar"));
    // The embedded class-path archives, extracted in index order into one new directory.
    EXPECT_EQ(entries[7].compare(0, m_dir.file("tmp/").size(), m_dir.file("tmp/")), 0);
    EXPECT_EQ(entries[7].substr(entries[7].rfind('/')), "/a.jar");
    EXPECT_EQ(entries[8], entries[7].substr(0, entries[7].size() - 5) + "b.jar");
    EXPECT_EQ(testkit::readFile(entries[7]), "A");
    EXPECT_EQ(testkit::readFile(entries[8]), "B");
    EXPECT_EQ(entries[9], "last");
}

TEST_F(JavaCommandLine, EmptyClassPathLeavesNoClasspathText) {
    m_descriptor.removeValue("JVM_CLASSPATH");
    EXPECT_EQ(resolve("java %CP%() Main"), "java  Main");
    EXPECT_EQ(resolve("java %CP%(\"a\",) Main"), "java -cp a Main");
}

// ARCHIVE is expanded while CP builds its value; a CP call in it would recurse until the
// stack runs out.
TEST_F(JavaCommandLine, ArchiveThatCallsCpFailsInsteadOfRecursing) {
    LaunchScript script(SString("java %CP%() Main"), false, false);
    script.setContext(&testkit::StateAccess::inputFiles().context());
    for (const char* archive : {"%CP%()", "%IF_EXISTS%(\"JVM_HOME\", \"%CP%(\"\"x\"\")\")"}) {
        script.m_archive = archive;
        try {
            script.resolve(m_jvm);
            ADD_FAILURE() << archive;
        } catch (const LauncherException& e) {
            EXPECT_EQ(e.getMessage(),
                      "Launch script error: The CP function cannot be used in ARCHIVE.");
        }
    }
    script.m_archive = "app.jar";
    EXPECT_EQ(script.resolve(m_jvm), "java -cp jvm.jar:app.jar Main");
}

TEST_F(JavaCommandLine, EnvironmentModeExportsTheClassPathWithoutQuotesOrMacros) {
    m_descriptor.setTagValue("JVM_CLASSPATH", "@JVM_HOME@/lib/rt.jar");
    m_descriptor.setTagValue("CP_ENV_VAR", "QN_JC_CP");
    const SString command = "java %CP%(\"\"\"/p q/x.jar\"\"\") Main";
    const SString archive = "\"/a b/app.jar\"";

    m_descriptor.setTagValue("USE_CP_ENV_VAR", "true");  // only "1" selects the variable
    EXPECT_EQ(resolve(command, archive),
              "java -cp /jh/lib/rt.jar:\"/p q/x.jar\":\"/a b/app.jar\" Main");
    EXPECT_EQ(getenv("QN_JC_CP"), nullptr);

    m_descriptor.setTagValue("USE_CP_ENV_VAR", "1");
    EXPECT_EQ(resolve(command, archive), "java  Main");
    ASSERT_NE(getenv("QN_JC_CP"), nullptr);
    EXPECT_STREQ(getenv("QN_JC_CP"), "@JVM_HOME@/lib/rt.jar:/p q/x.jar:/a b/app.jar");
    EXPECT_EQ(log(),
              "------------------\n"
              "Set env var QN_JC_CP to @JVM_HOME@/lib/rt.jar:/p q/x.jar:/a b/app.jar\n\n");
}

TEST_F(JavaCommandLine, EnvironmentModeWithoutVariableNameLogsAnError) {
    m_descriptor.setTagValue("USE_CP_ENV_VAR", "1");
    EXPECT_EQ(resolve("java %CP%(\"x.jar\") Main"), "java  Main");
    EXPECT_EQ(log(),
              "------------------\nERROR: If USE_CP_ENV_VAR is set to 1 in the jvm file, then the "
              "jvm file should also define CP_ENV_VAR.\n");
}

TEST_F(JavaCommandLine, PropertiesAndJavaArgumentsComeFromTheirFiles) {
    EXPECT_EQ(resolve("[%RUNTIME_SYSTEMPROP%()][%RUNTIME_JAVAARGS%()]"), "[][]");
    m_descriptor.setTagValue("MEM", "64m");
    runtimeFile(".sp", "a=b=c\nno equals sign\n\nhome=@JVM_HOME@@@x\n");
    runtimeFile(".ja", "-Xmx@MEM@\n@MISSING@\n  -server -ea \n");
    EXPECT_EQ(resolve("java %RUNTIME_SYSTEMPROP%() %RUNTIME_JAVAARGS%() Main"),
              "java -Da=b=c -Dhome=/jh@x -Xmx64m -server -ea Main");
    EXPECT_EQ(resolve("%SYSTEMPROP%(\"n\", \"v\")"), "-Dn=v");
}

TEST_F(JavaCommandLine, PassThroughArgumentsReachTheChildByteForByte) {
    const std::vector<SString> args = {"a b",        "\"hi\"", "$HOME",     "`echo no`",
                                       "back\\sl\\", "",       "it's",      "%CP%()",
                                       "@JVM_HOME@", "#HOME#", "tab\there", "new\nline"};
    StringDeque passThrough;
    SString expected;
    for (const SString& arg : args) {
        passThrough.push_back(arg);
        expected += "[" + arg + "]\n";
    }
    LaunchScript script(SString("sh -c 'for a; do printf \"[%s]\\n\" \"$a\"; done' x"), true,
                        false);
    script.setContext(&testkit::StateAccess::inputFiles().context());
    script.execute(m_jvm, &passThrough, false);
    EXPECT_EQ(script.m_stdOut, expected);
    EXPECT_NE(log().find(" x \"a b\" \"\\\"hi\\\"\" \"\\$HOME\""), SString::npos) << log();
    EXPECT_NE(log().find(" \"\" \"it's\""), SString::npos) << log();
}

// Every value that is not the bundle's own text, holding command substitutions, quotes, a
// semicolon and blanks, reaches the program as its bytes in each quoting context.
TEST_F(JavaCommandLine, OutsideValuesReachTheChildAsTheirBytes) {
    const SString hostile = "a $(touch p1) `touch p2`;touch p3 \"q'u\\v";
    const SString place = m_dir.file(hostile);
    const SString printer = m_dir.file("print-args.sh");
    testkit::writeFile(printer, "for a; do printf '[%s]\\n' \"$a\"; done\n");
    testkit::makeDirs(place + "/tmp");
    testkit::writeFile(place + "/my.jar", "jar");
    testkit::StateAccess::setLauncherFile(place + "/setup.bin");
    testkit::StateAccess::setOriginalLauncherFile(place + "/setup.bin");
    PlatformImpl::setSystemTempDir(place + "/tmp");
    testkit::ScopedEnv tmpdir("TMPDIR", (place + "/tmp").c_str());
    testkit::ScopedEnv value("QN_JC_VALUE", hostile.c_str());
    m_descriptor.setTagValue("JVM_HOME", place);
    m_descriptor.setTagValue("JVM_FILE", place + "/jvm");
    LaunchScript script(
        "sh " + printer +
            " \"#QN_JC_VALUE#\" "
            "'#QN_JC_VALUE#' @JVM_HOME@ \"@JVM_FILE@\" %LAUNCHER_DIR%() "
            "\"%LAUNCHER_FILE%()\" -t%TEMP_DIR%() %SYSTEMPROP%(\"h\", \"@JVM_HOME@/x\") "
            "%APPLICATION_ARCHIVE%(\"my.jar\")",
        true, false);
    script.setContext(&testkit::StateAccess::inputFiles().context());
    try {
        script.execute(m_jvm, nullptr, false);
    } catch (const LauncherException& e) {
        FAIL() << e.getMessage() << log();
    }
    std::vector<SString> lines = split(script.m_stdOut, '\n');
    ASSERT_EQ(lines.size(), 10u) << script.m_stdOut << script.m_errOut;
    EXPECT_EQ(
        std::vector<SString>(lines.begin(), lines.begin() + 8),
        (std::vector<SString>{"[" + hostile + "]", "[" + hostile + "]", "[" + place + "]",
                              "[" + place + "/jvm]", "[" + place + "]", "[" + place + "/setup.bin]",
                              "[-t" + place + "/tmp]", "[-Dh=" + place + "/x]"}));
    EXPECT_EQ(lines[8].find("[" + place + "/tmp/qnj"), 0u) << lines[8];
    EXPECT_EQ(lines[9], "");
    for (const char* planted : {"p1", "p2", "p3"}) {
        EXPECT_FALSE(testkit::exists(m_dir.file(planted)));
        EXPECT_FALSE(testkit::exists(place + "/" + planted));
    }
    // Unquoted, an environment value may split at blanks, but still runs nothing.
    StringDeque none;
    LaunchScript words("sh " + printer + " #QN_JC_VALUE#", true, false);
    words.execute(m_jvm, &none, false);
    EXPECT_EQ(words.m_stdOut, "[a]\n[$(touch]\n[p1)]\n[`touch]\n[p2`;touch]\n[p3]\n[\"q'u\\v]\n");
}

TEST_F(JavaCommandLine, ExecuteExportsJavaHomeRunsBesideTheLauncherAndLogsTheOutput) {
    LaunchScript script(SString("echo \"$JAVA_HOME\"; pwd -P; echo err >&2"), true, false);
    script.setContext(&testkit::StateAccess::inputFiles().context());
    script.execute(m_jvm, nullptr, false);
    const SString out = "/jh\n" + realPath(m_dir.file("app")) + "\n";
    EXPECT_EQ(script.m_stdOut, out);
    EXPECT_EQ(script.m_errOut, "err\n");
    EXPECT_EQ(log(),
              "------------------\nExecuting launch script command: echo \"$JAVA_HOME\"; pwd "
              "-P; echo err >&2 in working directory " +
                  m_dir.file("app") + "\nOutput from the launch script execution\nStdOut:\n" + out +
                  "\nErrOut:\nerr\n\n");

    // A second run appends to the captured output; an empty argument list adds nothing.
    StringDeque none;
    m_descriptor.removeValue("JVM_HOME");
    script.execute(m_jvm, &none, false);
    EXPECT_EQ(script.m_stdOut, out + "\n" + realPath(m_dir.file("app")) + "\n");
    EXPECT_EQ(script.m_errOut, "err\nerr\n");
    ASSERT_NE(getenv("JAVA_HOME"), nullptr);
    EXPECT_STREQ(getenv("JAVA_HOME"), "");
}

TEST_F(JavaCommandLine, WithoutAutoWorkingDirTheChildKeepsTheCurrentDirectory) {
    testkit::makeDirs(m_dir.file("other"));
    ASSERT_EQ(chdir(m_dir.file("other").c_str()), 0);
    TagFile tags;
    tags.setTagValue("COMMAND", "pwd -P");
    tags.setTagValue("AUTO_SET_WORKING_DIR", "0");
    LaunchScript script(tags, true);
    script.setContext(&testkit::StateAccess::inputFiles().context());
    script.execute(m_jvm, nullptr, false);
    EXPECT_NE(log().find("Executing launch script command: pwd -P in current working directory\n"
                         "Output from the launch script execution\nStdOut:\n" +
                         realPath(m_dir.file("other")) + "\n\nErrOut:\n\n"),
              SString::npos)
        << log();
}

TEST_F(JavaCommandLine, CapturedApplicationOutputIsLoggedAsItArrivesNotKept) {
    // Streams that alternate many times end up in the log as two whole blocks.
    TagFile tags;
    tags.setTagValue("COMMAND",
                     "i=0; while [ $i -lt 300 ]; do echo out$i; echo err$i >&2; "
                     "head -c 1000 /dev/zero | tr '\\0' x; i=$((i+1)); done");
    LaunchScript script(tags, true);
    script.setContext(&testkit::StateAccess::inputFiles().context());
    script.execute(m_jvm, nullptr, false);
    SString out, err;
    for (int i = 0; i < 300; ++i) {
        out += "out" + std::to_string(i) + "\n" + SString(1000, 'x');
        err += "err" + std::to_string(i) + "\n";
    }
    const SString block =
        "Output from the launch script execution\nStdOut:\n" + out + "\nErrOut:\n" + err + "\n";
    const SString text = log();
    ASSERT_GE(text.size(), block.size());
    EXPECT_EQ(text.substr(text.size() - block.size()), block);
    EXPECT_TRUE(script.m_stdOut.empty());
    EXPECT_TRUE(script.m_errOut.empty());

    // Without a log file the output is neither logged nor kept.
    Launcher::setLogFileName(SString());
    LaunchScript again(tags, true);
    again.setContext(&testkit::StateAccess::inputFiles().context());
    again.execute(m_jvm, nullptr, false);
    EXPECT_TRUE(again.m_stdOut.empty());
    EXPECT_EQ(log(), text);
}

TEST_F(JavaCommandLine, ConsoleRunsCaptureNothingAndLogNoOutputBlock) {
    TagFile tags;
    tags.setTagValue("COMMAND", "true");
    tags.setTagValue("DISPLAY_CONSOLE", "1");
    LaunchScript fromTag(tags, true);
    fromTag.setContext(&testkit::StateAccess::inputFiles().context());
    fromTag.execute(m_jvm, nullptr, false);
    LaunchScript asked(SString("true"), true, false);
    asked.setContext(&testkit::StateAccess::inputFiles().context());
    asked.execute(m_jvm, nullptr, true);
    const SString line =
        "Executing launch script command: true in working directory " + m_dir.file("app") + "\n";
    EXPECT_EQ(log(), "------------------\n" + line + line);
}

}  // namespace
