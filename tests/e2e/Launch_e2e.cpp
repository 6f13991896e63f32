// Launching the application through a packed bundle: the exact argument vector, the
// environment and working directory the stand-in JVM receives, and the captured output.

#include <gtest/gtest.h>

#include "base/TextLines.h"
#include "e2e/E2eHelpers.h"
#include "inputfiles/FileIndexEntry.h"

using namespace testkit;
using e2e::Workspace;

namespace {

const SString kFindAndLaunch =
    e2e::instructions({"FIND_JVM 0 0", "JMP0 @N1@ none", "LAUNCH @S2@ 0", ":none"});

// A bundle whose descriptor finds the stand-in through a path hint.
SString launchBundle(const Workspace& ws, const SString& launchScript,
                     const SString& extraDescriptor = SString()) {
    return BundleBuilder(ws.root())
        .add(FILE_TYPE_INSTRUCTIONS, "instructions.tag", kFindAndLaunch)
        .add(FILE_TYPE_JVM, "standin.jvm",
             e2e::descriptor("Stand-in", e2e::kStandInExpected, {ws.file("jdk")}, extraDescriptor))
        .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", launchScript)
        .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "stand-in verifier")
        .add(FILE_TYPE_CLASSPATH_ARCHIVE, "lib.jar", "library")
        .write(ws.file("app.bin"));
}

TEST(Launch, PassThroughArgumentsReachTheApplicationByteForByte) {
    Workspace ws;
    StandInJvm jvm = StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    SString bundle =
        launchBundle(ws, "DESC: Demo\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%() Main\"\n");
    const std::vector<SString> args = {"plain",      "two words",  "say \"hi\"",  "$HOME",
                                       "`echo no`",  "$(echo no)", "back\\slash", "",
                                       "trailing\\", "*",          "tab\there"};
    RunResult r = ws.run(bundle, args);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    ASSERT_EQ(jvm.callCount(), 2) << ws.logText();
    std::vector<SString> received = jvm.args(2);
    ASSERT_GE(received.size(), 3u);
    EXPECT_EQ(received[0], "-cp");  // "-cp " and then the class path as one word
    EXPECT_EQ(received[2], "Main");
    std::vector<SString> passed(received.begin() + 3, received.end());
    EXPECT_EQ(passed, args);
    EXPECT_EQ(jvm.env(2, "JAVA_HOME"), ws.file("jdk"));
    EXPECT_EQ(jvm.cwd(2), ws.root());
    EXPECT_TRUE(ws.leftovers().empty());
}

TEST(Launch, ClassPathSystemPropertiesAndJavaArgumentsComeFromEverySource) {
    Workspace ws;
    StandInJvm jvm = StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    writeFile(ws.file("app.cp1"), "first.jar\n\n");
    writeFile(ws.file("app.cp"), "middle.jar\n");
    writeFile(ws.file("app.cp2"), "last.jar");
    writeFile(ws.file("app.sp"), "a=b=c\nnot a property\nhome=@JVM_HOME@\n");
    writeFile(ws.file("app.ja"), "-Xmx64m\n-Dexe=@JVM_EXE@\n");
    SString bundle = launchBundle(
        ws,
        "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %RUNTIME_JAVAARGS%() %RUNTIME_SYSTEMPROP%() "
        "%SYSTEMPROP%(\"\"desc\"\", \"\"@DESC@\"\") %CP%(\"\"arg.jar\"\") Main\"\n"
        "ARCHIVE: app.jar\n",
        "JVM_CLASSPATH: jvm.jar\n");
    RunResult r = ws.run(bundle);
    ASSERT_EQ(jvm.callCount(), 2) << ws.logText();
    std::vector<SString> received = jvm.args(2);
    ASSERT_EQ(received.size(), 8u) << ws.logText();
    EXPECT_EQ(received[0], "-Xmx64m");
    EXPECT_EQ(received[1], "-Dexe=bin/java");
    EXPECT_EQ(received[2], "-Da=b=c");
    EXPECT_EQ(received[3], "-Dhome=" + ws.file("jdk"));
    EXPECT_EQ(received[4], "-Ddesc=Stand-in");
    EXPECT_EQ(received[5], "-cp");
    // The embedded class-path archive is extracted into a temporary directory.
    const SString& classpath = received[6];
    EXPECT_EQ(classpath.find("first.jar:jvm.jar:middle.jar:arg.jar:app.jar:" + ws.tempDir()), 0u)
        << classpath;
    EXPECT_NE(stringEndsWith(classpath, "/lib.jar:last.jar"), SString::npos) << classpath;
    EXPECT_EQ(received[7], "Main");
    EXPECT_TRUE(ws.leftovers().empty());
}

TEST(Launch, EveryFunctionOfTheLaunchScriptResolvesInAPackedBundle) {
    Workspace ws;
    StandInJvm jvm = StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    SString script =
        "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %REPLACE%(\"\"/\"\", \"\"+\"\", \"\"a/b/c\"\") "
        "%IF_EXISTS%(\"\"JVM_EXE\"\", \"\"exe=@JVM_EXE@\"\") %IF_EXISTS%(\"\"NOPE\"\", "
        "\"\"never\"\") "
        "%LAUNCHER_FILE%() %LAUNCHER_DIR%() %TEMP_DIR%() #QN_FROM_ENV# "
        "%APPLICATION_ARCHIVE%() %SYSTEMPROP%(\"\"p\"\", \"\"@DESC@\"\") %CP%() Main\"\n";
    SString bundle = BundleBuilder(ws.root())
                         .add(FILE_TYPE_INSTRUCTIONS, "instructions.tag", kFindAndLaunch)
                         .add(FILE_TYPE_JVM, "standin.jvm",
                              e2e::descriptor("Stand-in", e2e::kStandInExpected, {ws.file("jdk")}))
                         .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", script)
                         .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "stand-in verifier")
                         .add(FILE_TYPE_APPLICATION_ARCHIVE, "app.jar", "the application")
                         .write(ws.file("app.bin"));
    ws.run(bundle, {"last"}, {{"QN_FROM_ENV", "from-env"}});
    ASSERT_EQ(jvm.callCount(), 2) << ws.logText();
    std::vector<SString> received = jvm.args(2);
    ASSERT_EQ(received.size(), 10u) << ws.logText();
    EXPECT_EQ(received[0], "a+b+c");
    EXPECT_EQ(received[1], "exe=bin/java");
    EXPECT_EQ(received[2], bundle);
    EXPECT_EQ(received[3], ws.root());
    EXPECT_EQ(received[4], ws.tempDir());
    EXPECT_EQ(received[5], "from-env");
    const SString& archive = received[6];
    EXPECT_EQ(archive.find(ws.tempDir() + "/qnj"), 0u) << archive;
    EXPECT_NE(stringEndsWith(archive, "/app.jar"), SString::npos) << archive;
    EXPECT_EQ(received[7], "-Dp=Stand-in");
    EXPECT_EQ(received[8], "Main");  // the empty class path leaves nothing
    EXPECT_EQ(received[9], "last");
    EXPECT_TRUE(ws.leftovers().empty());
}

TEST(Launch, WorkingDirectoryIsTheCallersWhenNotSetAutomatically) {
    Workspace ws;
    StandInJvm jvm = StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    SString bundle = launchBundle(
        ws, "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" Main\"\nAUTO_SET_WORKING_DIR: 0\n");
    makeDirs(ws.file("elsewhere"));
    ws.run(bundle, {}, {}, ws.file("elsewhere"));
    ASSERT_EQ(jvm.callCount(), 2) << ws.logText();
    EXPECT_EQ(jvm.cwd(2), ws.file("elsewhere"));
    EXPECT_NE(ws.logText().find(" Main in current working directory\n"), SString::npos);
}

TEST(Launch, ClassPathCanTravelInAnEnvironmentVariable) {
    Workspace ws;
    StandInJvm jvm = StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    SString bundle = launchBundle(
        ws,
        "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%(\"\"\"\"\"\"/opt/my lib.jar\"\"\"\"\"\") "
        "Main\"\n",
        "USE_CP_ENV_VAR: 1\nCP_ENV_VAR: CLASSPATH\n");
    ws.run(bundle);
    ASSERT_EQ(jvm.callCount(), 2) << ws.logText();
    EXPECT_EQ(jvm.args(2), std::vector<SString>{"Main"});
    SString classpath = jvm.env(2, "CLASSPATH");
    EXPECT_EQ(classpath.find("/opt/my lib.jar:"), 0u) << classpath;
    EXPECT_NE(ws.logText().find("Set env var CLASSPATH to /opt/my lib.jar:"), SString::npos);
}

TEST(Launch, CapturedOutputOfBothStreamsIsLoggedWhole) {
    Workspace ws;
    StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    // The application writes 1 MiB to each stream at the same time.
    writeFile(ws.file("app.sh"),
              "#!/bin/sh\n"
              "head -c 1048576 /dev/zero | tr '\\0' o &\n"
              "head -c 1048576 /dev/zero | tr '\\0' e >&2\n"
              "wait\n",
              0755);
    SString bundle = launchBundle(ws, "COMMAND: " + ws.file("app.sh") + "\n");
    RunResult r = ws.run(bundle);
    EXPECT_EQ(r.status, 0);
    SString log = ws.logText();
    SString expected = "Output from the launch script execution\nStdOut:\n" +
                       SString(1048576, 'o') + "\nErrOut:\n" + SString(1048576, 'e') + "\n";
    EXPECT_NE(log.find(expected), SString::npos);
}

TEST(Launch, ErrorInInstructionsNamesTheInstructionLine) {
    Workspace ws;
    SString bundle = BundleBuilder(ws.root())
                         .add(FILE_TYPE_INSTRUCTIONS, "i.tag",
                              "OTHER: x\nINSTRUCTIONS:\n  // first\n\n  FOO 1\n/:\n")
                         .write(ws.file("app.bin"));
    RunResult r = ws.run(bundle);
    const SString message = "Error in instructions. Invalid command (FOO).  Line number (2)";
    EXPECT_EQ(r.out, message + "\n");
    EXPECT_NE(ws.logText().find("ERROR: " + message + "\n"), SString::npos);
}

TEST(Launch, LaunchScriptErrorEndsTheRunBeforeAnythingStarts) {
    Workspace ws;
    StandInJvm jvm = StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    SString bundle = launchBundle(ws, "COMMAND: java %TEMP_DIR%\n");
    RunResult r = ws.run(bundle);
    // No title line: this launch script has no description.
    EXPECT_EQ(r.out, "Launch script error: Expected left parenthesis. (near character 15)\n");
    EXPECT_EQ(jvm.callCount(), 1);  // the verification only
    EXPECT_NE(ws.logText().find("Launch command:\njava %TEMP_DIR%\n"), SString::npos);
}

// A command that is only words is run without a shell, so it is limited only as any program's
// arguments are: one argument up to 128 KiB, and about 2 MB in all.
TEST(Launch, LongArgumentsReachTheApplicationWhenNoShellIsNeeded) {
    Workspace ws;
    StandInJvm jvm = StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    SString bundle = launchBundle(
        ws, "DESC: Demo\nDISPLAY_CONSOLE: 1\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" Main\"\n");
    std::vector<SString> single = {SString(131071, 'a')};
    std::vector<SString> many;
    for (int i = 0; i < 1900; ++i) many.push_back(SString(999, static_cast<char>('a' + i % 26)));
    int call = 2;
    for (const std::vector<SString>* args : {&single, &many}) {
        RunResult r = ws.run(bundle, *args);
        ASSERT_EQ(r.status, 0) << r.out.substr(0, 1000) << r.err.substr(0, 1000);
        ASSERT_EQ(jvm.callCount(), call) << args->size();
        std::vector<SString> received = jvm.args(call);
        ASSERT_FALSE(received.empty());
        EXPECT_EQ(received[0], "Main");
        EXPECT_TRUE(std::vector<SString>(received.begin() + 1, received.end()) == *args)
            << args->size() << " arguments sent, " << received.size() - 1 << " received";
        call += 2;
    }
}

// A command that needs the shell is one argument to it: when that is too long for the
// system, the run fails and says why instead of ending as if the application had run.
TEST(Launch, CommandTooLongForTheShellFailsTheRun) {
    Workspace ws;
    StandInJvm jvm = StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    SString bundle = launchBundle(
        ws, "DESC: Demo\nQUIET: 1\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" Main 2>&1\"\n");
    RunResult r = ws.run(bundle, {SString(131071, 'a')});
    EXPECT_EQ(r.status, 1);
    const SString message =
        "Error running /bin/sh: Argument list too long (the command needs the shell, which "
        "takes it as one argument of at most 128 KiB; it has ";
    EXPECT_NE(r.err.find("app.bin: " + message), SString::npos) << r.err.substr(0, 1000);
    EXPECT_NE(ws.logText().find("ERROR: " + message), SString::npos);
    EXPECT_EQ(jvm.callCount(), 1);  // the verification only
    EXPECT_TRUE(ws.leftovers().empty());

    // Within the limit the same command runs through the shell.
    RunResult shorter = ws.run(bundle, {SString(1000, 'a')});
    EXPECT_EQ(shorter.status, 0) << shorter.err;
    ASSERT_EQ(jvm.callCount(), 3);
    EXPECT_EQ(jvm.args(3), (std::vector<SString>{"Main", SString(1000, 'a')}));
}

}  // namespace
