// Bundles for command-line tools: with QUIET, standard output carries the application's
// bytes only and the launcher's own words go to standard error.

#include <gtest/gtest.h>

#include "e2e/E2eHelpers.h"
#include "inputfiles/FileIndexEntry.h"

using namespace testkit;
using e2e::Workspace;

namespace {

const SString kInstructions =
    e2e::instructions({"INITIALIZE_UI", "FIND_JVM 1 1", "JMP0 @N1@ none", "LAUNCH @S2@ 0",
                       "GOTO end", ":none", "EXIT 1", ":end"});
const SString kQuietScript =
    "DESC: Tool\nQUIET: 1\nDISPLAY_CONSOLE: 1\nAUTO_SET_WORKING_DIR: 0\n"
    "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" Main\"\n";

SString quietBundle(const Workspace& ws, const SString& script = kQuietScript) {
    return BundleBuilder(ws.root())
        .add(FILE_TYPE_INSTRUCTIONS, "instructions.tag", kInstructions)
        .add(FILE_TYPE_JVM, "standin.jvm",
             e2e::descriptor("Stand-in", e2e::kStandInExpected, {ws.file("jdk")}))
        .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", script)
        .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "stand-in verifier")
        .write(ws.file("tool"));
}

TEST(QuietTool, StandardOutputHoldsOnlyTheApplicationsBytes) {
    Workspace ws;
    // Every byte value but NUL, which the shell's printf cannot carry in an argument.
    SString bytes;
    SString escaped;
    for (int c = 1; c < 256; ++c) {
        bytes += static_cast<char>(c);
        char octal[8];
        snprintf(octal, sizeof octal, "\\%03o", c);
        escaped += octal;
    }
    StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties, "1739021872", "",
                       "printf '" + escaped + "'");
    RunResult r = ws.run(quietBundle(ws));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, bytes);
    EXPECT_EQ(r.err, "");
}

TEST(QuietTool, FailuresGoToStandardErrorWithTheLaunchersName) {
    Workspace ws;  // no JVM anywhere
    RunResult r = ws.run(quietBundle(ws));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("tool: No matching JVM was found.\n", 0), 0u) << r.err;
}

TEST(QuietTool, AFailedSearchReportsWhatWasNeededAndWhatWasTried) {
    Workspace ws;
    StandInJvm::create(ws.file("old"), {{"java.version", "11.0.2"}, {"java.vendor", "Stand-in"}});
    std::vector<SString> hints = {ws.file("old"), ws.file("missing")};
    for (int i = 0; i < 10; ++i) hints.push_back(ws.file("none" + std::to_string(i)));
    for (size_t i = 1; i < hints.size(); ++i) makeDirs(hints[i]);  // homes without a java
    hints.push_back(ws.file("not-there"));                         // not tried at all
    const SString bundle = BundleBuilder(ws.root())
                               .add(FILE_TYPE_INSTRUCTIONS, "instructions.tag", kInstructions)
                               .add(FILE_TYPE_JVM, "standin.jvm",
                                    e2e::descriptor("Java 17", {"java.version=17..."}, hints))
                               .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", kQuietScript)
                               .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "stand-in verifier")
                               .write(ws.file("tool"));
    RunResult r = ws.run(bundle);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    const SString expected =
        "tool: No matching JVM was found.\n"
        "tool: This program accepts:\n"
        "tool:   Java 17 (java.version=17...)\n"
        "tool: Tried:\n"
        "tool:   " +
        ws.file("old") +
        ": java.version is 11.0.2, needs 17...\n"
        "tool:   " +
        ws.file("missing") + ": no executable at " + ws.file("missing") + "/bin/java\n";
    EXPECT_EQ(r.err.substr(0, expected.size()), expected) << r.err;
    EXPECT_NE(r.err.find("tool:   and 2 more\ntool: Choose a JVM with -qn:javahome DIR; -qn:log "
                         "FILE writes the full log.\n"),
              SString::npos)
        << r.err;
    EXPECT_NE(ws.logText().find("Refused JVM at " + ws.file("none9") +
                                " for Java 17: no "
                                "executable at "),
              SString::npos);
}

TEST(QuietTool, WithoutQuietTheDisplayStaysOnStandardOutput) {
    Workspace ws;
    SString script = kQuietScript;
    script.replace(script.find("QUIET: 1"), 8, "QUIET: 0");
    RunResult r = ws.run(quietBundle(ws, script));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("Tool\n\nInitializing Tool...\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("No matching JVM was found.\n"), SString::npos) << r.out;
}

TEST(QuietTool, InputFileResultsStillGoToStandardOutput) {
    Workspace ws;
    StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    const SString bundle = quietBundle(ws);
    writeFile(ws.file("search.tag"), "ACTION: SEARCH\nSHOW_PROGRESS: 0\nSHOW_FAIL_MSG: 0\n");
    RunResult r = ws.run(bundle, {"-qn:in", ws.file("search.tag")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 2), "1\n") << r.out;
}

// The home of the real JDK the tests use; empty when none is installed.
SString realJavaHome() {
    for (const char* home : {"/usr/lib/jvm/java-17-openjdk-amd64", "/usr/lib/jvm/default-java"}) {
        if (exists(SString(home) + "/bin/javac")) return home;
    }
    return SString();
}

TEST(QuietTool, AMultiJarApplicationWorksInAPipeThroughTheRealJdk) {
    const SString jdk = realJavaHome();
    if (jdk.empty() || !exists(verifyJarPath())) GTEST_SKIP() << "no JDK or verifier here";
    Workspace ws;
    writeFile(ws.file("src/lib/Shout.java"),
              "package lib;\npublic class Shout {\n"
              "  public static String of(String s) { return s.toUpperCase() + \"!\"; }\n}\n");
    writeFile(ws.file("src/app/Main.java"),
              "package app;\npublic class Main {\n"
              "  public static void main(String[] a) {\n"
              "    for (String s : a) System.out.println(lib.Shout.of(s));\n"
              "    System.exit(a.length);\n  }\n}\n");
    ASSERT_EQ(run({jdk + "/bin/javac", "-d", ws.file("classes"), ws.file("src/lib/Shout.java"),
                   ws.file("src/app/Main.java")})
                  .status,
              0);
    ASSERT_EQ(
        run({jdk + "/bin/jar", "cf", ws.file("lib.jar"), "-C", ws.file("classes"), "lib"}).status,
        0);
    ASSERT_EQ(
        run({jdk + "/bin/jar", "cf", ws.file("app.jar"), "-C", ws.file("classes"), "app"}).status,
        0);
    const SString descriptor =
        "DESC: Java 17\nJVM_EXE: bin/java\nCLASSPATH: \"-cp \"\nCLASSPATH_SEPARATOR: :\n"
        "JVM_PROPERTIES:\n  java.specification.version=17\n/:\nPATH_HINT: " +
        jdk + "\n";
    const SString bundle =
        BundleBuilder(ws.root())
            .add(FILE_TYPE_INSTRUCTIONS, "instructions.tag", kInstructions)
            .add(FILE_TYPE_JVM, "java17.jvm", descriptor)
            .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag",
                 "DESC: Shout\nQUIET: 1\nDISPLAY_CONSOLE: 1\nAUTO_SET_WORKING_DIR: 0\n"
                 "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%() app.Main\"\n")
            .addFile(FILE_TYPE_VERIFY_ARCHIVE, verifyJarPath())
            .addFile(FILE_TYPE_CLASSPATH_ARCHIVE, ws.file("app.jar"))
            .addFile(FILE_TYPE_CLASSPATH_ARCHIVE, ws.file("lib.jar"))
            .write(ws.file("shout"));
    // The shell starts the bundle as a user would; a bundle for another machine goes
    // behind the emulator, which passes the pipe through.
    SString command;
    for (const SString& word :
         withEmulator({bundle, "-qn:tempdir", ws.tempDir(), "two words", "x\"y"})) {
        command += "'" + word + "' ";
    }
    const SString script = command + "| od -An -c | tr -s ' '; exit ${PIPESTATUS[0]}";
    RunResult r = run({"/bin/bash", "-c", script});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.out, " T W O W O R D S ! \\n X \" Y ! \\n\n");
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(ws.leftovers().empty());
}

}  // namespace

namespace {

TEST(QuietTool, RunsFromADirectoryDeeperThanAnyFixedBuffer) {
    Workspace ws;
    StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    SString deep = ws.file("d");
    while (deep.size() < 3000) deep += "/" + SString(100, 'n');
    makeDirs(deep);
    const SString bundle = quietBundle(ws);
    ASSERT_EQ(rename(bundle.c_str(), (deep + "/tool").c_str()), 0);
    // Started by a relative name, the launcher finds itself through the current directory.
    RunResult r = run({"./tool", "-qn:tempdir", ws.tempDir()}, deep);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "stand-in application ran\n");
}

}  // namespace

namespace {

// A relative -qn:javahome is taken from the directory the user typed it in, though the
// application runs from the launcher's directory; a -qn:tempdir that names no directory
// says so once.
TEST(QuietTool, RelativeJavaHomeAndAMissingTempDirectory) {
    Workspace ws;
    StandInJvm::create(ws.file("other/jdk"), e2e::kStandInProperties);
    SString script = kQuietScript;
    script.replace(script.find("AUTO_SET_WORKING_DIR: 0"), 23, "AUTO_SET_WORKING_DIR: 1");
    makeDirs(ws.file("bin"));
    const SString bundle = quietBundle(ws, script);
    ASSERT_EQ(rename(bundle.c_str(), ws.file("bin/tool").c_str()), 0);
    RunResult r = run({ws.file("bin/tool"), "-qn:tempdir", ws.file("missing"), "-qn:tempdir",
                       ws.tempDir(), "-qn:javahome", "other/jdk"},
                      ws.root());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "stand-in application ran\n");
    EXPECT_EQ(r.err,
              "tool: -qn:tempdir " + ws.file("missing") + " is not a directory; it is not used.\n");
    EXPECT_TRUE(ws.leftovers().empty());
}

}  // namespace
