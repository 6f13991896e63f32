// Exit statuses a script can rely on: the application's own status and signal, EXIT in
// the instructions, 1 after a failure message, and bundles that have nothing to run.

#include <gtest/gtest.h>

#include <csignal>

#include "e2e/E2eHelpers.h"
#include "inputfiles/FileIndexEntry.h"

using namespace testkit;
using e2e::Workspace;

namespace {

const SString kFindAndLaunch = e2e::instructions(
    {"FIND_JVM 0 0", "JMP0 @N1@ none", "LAUNCH @S2@ 0", "GOTO end", ":none", "EXIT 1", ":end"});
const SString kLaunchScript = "DESC: Tool\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" Main\"\n";

SString toolBundle(const Workspace& ws, const SString& instructions = kFindAndLaunch,
                   bool withLaunchScript = true) {
    BundleBuilder builder(ws.root());
    builder.add(FILE_TYPE_INSTRUCTIONS, "instructions.tag", instructions)
        .add(FILE_TYPE_JVM, "standin.jvm",
             e2e::descriptor("Stand-in", e2e::kStandInExpected, {ws.file("jdk")}))
        .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "stand-in verifier");
    if (withLaunchScript) builder.add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", kLaunchScript);
    return builder.write(ws.file("tool"));
}

StandInJvm application(const Workspace& ws, const SString& script) {
    return StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties, "1739021872", "", script);
}

TEST(ExitStatus, TheApplicationsStatusIsTheRunsStatus) {
    for (int code : {0, 3, 200}) {
        Workspace ws;
        application(ws, "exit " + std::to_string(code));
        RunResult r = ws.run(toolBundle(ws));
        EXPECT_EQ(r.status, code) << r.out << r.err << ws.logText();
        EXPECT_TRUE(ws.leftovers().empty());
    }
}

TEST(ExitStatus, AnApplicationEndedBySignalEndsTheRunByTheSameSignal) {
    for (int signal : {SIGTERM, SIGINT}) {
        Workspace ws;
        application(ws, "kill -" + std::to_string(signal) + " $$");
        RunResult r = ws.run(toolBundle(ws));
        EXPECT_EQ(r.status, 128 + signal) << r.out << r.err;
        EXPECT_TRUE(ws.leftovers().empty());
        EXPECT_NE(ws.logText().find("Ended by signal " + std::to_string(signal) + "."),
                  SString::npos);
    }
}

TEST(ExitStatus, ExitEndsTheInstructionsWithItsValue) {
    Workspace ws;  // no stand-in JVM: the search fails and the instructions say EXIT 1
    RunResult none = ws.run(toolBundle(ws));
    EXPECT_EQ(none.status, 1) << none.out << none.err;

    Workspace computed;
    RunResult r = computed.run(
        toolBundle(computed, e2e::instructions({"SET N2 = 7", "EXIT @N2@", "EXIT 5"})));
    EXPECT_EQ(r.status, 7) << r.out << r.err;

    Workspace plain;
    RunResult nothing = plain.run(toolBundle(plain, e2e::instructions({"SET N1 = 4"})));
    EXPECT_EQ(nothing.status, 0) << nothing.out << nothing.err;
}

TEST(ExitStatus, ExitOutsideTheByteRangeIsAnInstructionError) {
    Workspace ws;
    RunResult r = ws.run(toolBundle(ws, e2e::instructions({"EXIT 256"})));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error in instructions. The EXIT command requires the exit status, a "
                         "number from 0 to 255, as its only argument. Line number (1)"),
              SString::npos)
        << r.out;
}

TEST(ExitStatus, LaunchWithoutALaunchScriptFailsWithAMessage) {
    Workspace ws;
    application(ws, "exit 0");
    RunResult r = ws.run(toolBundle(ws, kFindAndLaunch, false));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("the launcher carries no launch script"), SString::npos) << r.out;
}

TEST(ExitStatus, FilesWithNothingToRunSayWhyOnStandardError) {
    Workspace ws;
    const SString stub = ws.file("qnlaunch");
    writeFile(stub, readFile(qnlaunchPath()), 0755);
    RunResult plainStub = run({stub});
    EXPECT_EQ(plainStub.status, 1);
    EXPECT_EQ(plainStub.out, "");
    EXPECT_EQ(plainStub.err,
              "qnlaunch: this is the launcher stub alone, with no application appended; make a "
              "bundle from it with qnpack create (see qnpack --help).\n");

    const SString stripped = ws.file("pdftool");
    writeFile(stripped, readFile(qnlaunchPath()), 0755);
    RunResult noData = run({stripped});
    EXPECT_EQ(noData.status, 1);
    EXPECT_EQ(noData.out, "");
    EXPECT_NE(noData.err.find("pdftool: this file carries no bundle data; it was probably "
                              "stripped"),
              SString::npos)
        << noData.err;

    const SString noInstructions = BundleBuilder(ws.root())
                                       .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", kLaunchScript)
                                       .write(ws.file("noinstr"));
    RunResult r = run({noInstructions});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Tool\n");
    EXPECT_EQ(r.err,
              "noinstr: this bundle carries no instructions; it was probably packed without "
              "--instructions.\n");
}

// Started by a bare name from a directory that no longer exists, the launcher cannot find
// its own file: it says so and fails.
TEST(ExitStatus, AStartThatCannotFindItsOwnFileFails) {
    if (stubIsEmulated()) GTEST_SKIP() << "the emulator, not the launcher, gets the bare name";
    Workspace ws;
    const SString bundle = toolBundle(ws);
    const SString gone = ws.file("gone");
    makeDirs(gone);
    RunResult r =
        run({"/bin/bash", "-c", "cd " + gone + " && rmdir " + gone + " && exec -a tool " + bundle});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("qnlaunch: cannot determine the current directory: ", 0), 0u) << r.err;
}

TEST(ExitStatus, InputFileActionsKeepStatusZero) {
    Workspace ws;  // a search that finds nothing still reports on standard output, with 0
    const SString bundle = toolBundle(ws);
    writeFile(ws.file("search.tag"), "ACTION: SEARCH\nSHOW_PROGRESS: 0\nSHOW_FAIL_MSG: 0\nJVM: " +
                                         ws.file("none.jvm") + "\n");
    writeFile(ws.file("none.jvm"),
              e2e::descriptor("None", e2e::kStandInExpected, {ws.file("missing")}));
    RunResult r = ws.run(bundle, {"-qn:in", ws.file("search.tag")});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "0\n");
}

}  // namespace
