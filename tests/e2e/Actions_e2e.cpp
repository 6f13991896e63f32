// The controller's actions end to end: finding, verifying and installing a JVM, the
// input-file interface for other programs, and handing over to an embedded launcher.

#include <gtest/gtest.h>
#include <sys/mount.h>

#include "e2e/E2eHelpers.h"
#include "inputfiles/FileIndexEntry.h"
#include "inputfiles/TagFile.h"

using namespace testkit;
using e2e::Workspace;

namespace {

// Launch script that prints the chosen JVM's home, so a test can see which one was used.
const SString kEchoLaunch =
    "DESC: Echo\nCOMMAND: echo launched @JVM_HOME@ #QN_MARK#\nDISPLAY_CONSOLE: 1\n";

SString lastLine(const SString& text) {
    SString t = text;
    if (!t.empty() && t.back() == '\n') t.pop_back();
    size_t nl = t.rfind('\n');
    return nl == SString::npos ? t : t.substr(nl + 1);
}

// A bundle with the given instructions, one stand-in descriptor (id 5) hinting at
// `hint`, the echo launch script and a verifier archive.
SString bundleWith(const Workspace& ws, const std::vector<SString>& instructionLines,
                   const SString& hint, const SString& name = "app.bin") {
    return BundleBuilder(ws.root())
        .add(FILE_TYPE_INSTRUCTIONS, "instructions.tag", e2e::instructions(instructionLines), 1)
        .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", kEchoLaunch, 2)
        .add(FILE_TYPE_JVM, "standin.jvm",
             e2e::descriptor("Stand-in", e2e::kStandInExpected, {hint}), 5)
        .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "stand-in verifier", 6)
        .write(ws.file(name));
}

TEST(Actions, DefaultRunFindsVerifiesAndLaunchesWithTheWrittenDescriptor) {
    Workspace ws;
    StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    SString bundle = bundleWith(ws,
                                {"FIND_JVM 0 0", "JMP0 @N1@ none", "LAUNCH @S2@ 0", "GOTO end",
                                 ":none", "NOT_FOUND", ":end"},
                                ws.file("jdk"));
    RunResult r = ws.run(bundle, {}, {{"QN_MARK", "ok"}});
    EXPECT_EQ(lastLine(r.out), "launched " + ws.file("jdk") + " ok") << r.out;
    SString log = ws.logText();
    EXPECT_NE(log.find("Matching JVM home is " + ws.file("jdk") + "\n"), SString::npos);
    EXPECT_NE(log.find("Matching JVM file is " + ws.tempDir() + "/qnj"), SString::npos);
    EXPECT_TRUE(ws.leftovers().empty());
}

TEST(Actions, NoJvmFoundTakesTheInstallBranchAndNeedsAnInstaller) {
    Workspace ws;
    SString bundle = bundleWith(
        ws, {"FIND_JVM 0 0", "JMP0 @N1@ install", "LAUNCH @S2@ 0", ":install", "INSTALL_JVM 0"},
        ws.file("nothing-here"));
    RunResult r = ws.run(bundle);
    EXPECT_EQ(lastLine(r.out), "No JVM installer was included in the launcher.");
    EXPECT_NE(ws.logText().find("Finding a JVM\n"), SString::npos);
    EXPECT_NE(ws.logText().find("No matching JVM was found.\n"), SString::npos);
}

// An installer that makes a stand-in JVM home of its working directory and leaves the
// descriptor "jvm" there.
SString installerScript(const SString& properties) {
    return "#!/bin/sh\n"
           "mkdir -p bin\n"
           "cat > bin/java <<'JAVA'\n#!/bin/sh\n" +
           properties +
           "JAVA\n"
           "chmod +x bin/java\n"
           "printf 'DESC: Installed\\nJVM_EXE: bin/java\\n' > jvm\n"
           "echo installer output\n";
}

TEST(Actions, InstalledJvmIsDescribedAndLaunched) {
    for (const char* option : {"0", "1"}) {
        Workspace ws;
        SString bundle =
            BundleBuilder(ws.root())
                .add(FILE_TYPE_INSTRUCTIONS, "i.tag",
                     e2e::instructions({SString("INSTALL_JVM ") + option, "JMP0 @N1@ failed",
                                        "LAUNCH @S1@ 0", "GOTO end", ":failed", "INSTALL_FAILED",
                                        ":end"}))
                .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", kEchoLaunch)
                .add(FILE_TYPE_JVM_INSTALLER, "install.sh", installerScript(""))
                .write(ws.file("app.bin"));
        RunResult r = ws.run(bundle);
        SString last = lastLine(r.out);
        // With the display on, the application's line follows the progress dots.
        ASSERT_NE(last.find("launched " + ws.tempDir() + "/qnj"), SString::npos) << option << "\n"
                                                                                 << r.out;
        // The installer's own output is captured, not shown.
        EXPECT_EQ(r.out.find("installer output"), SString::npos);
        EXPECT_TRUE(ws.leftovers().empty()) << option;
    }
}

TEST(Actions, InstallIntoPromptedDirectoryInstallsNothingWhenSilent) {
    Workspace ws;
    SString bundle = BundleBuilder(ws.root())
                         .add(FILE_TYPE_INSTRUCTIONS, "i.tag",
                              e2e::instructions({"INSTALL_JVM 2", "JMP0 @N1@ none", "INSTALLED",
                                                 ":none", "NOTHING_INSTALLED"}))
                         .add(FILE_TYPE_JVM_INSTALLER, "install.sh", installerScript(""))
                         .write(ws.file("app.bin"));
    RunResult r = ws.run(bundle, {"-qn:silent"});
    EXPECT_EQ(r.out, "");
    EXPECT_NE(ws.logText().find("Invalid command (NOTHING_INSTALLED).  Line number (5)"),
              SString::npos);
}

// The destination typed at the prompt: the whole line names it; a new directory is made, an
// empty one is used, and anything else is refused before the installer is written, naming
// the directory at fault.
TEST(Actions, PromptedDestinationIsTheWholeLineAndOnlyANewOrEmptyDirectory) {
    Workspace ws;
    SString bundle =
        BundleBuilder(ws.root())
            .add(FILE_TYPE_INSTRUCTIONS, "i.tag",
                 e2e::instructions({"INSTALL_JVM 2", "JMP0 @N1@ failed", "LAUNCH @S1@ 0",
                                    "GOTO end", ":failed", "INSTALL_FAILED", ":end"}))
            .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", kEchoLaunch)
            .add(FILE_TYPE_JVM_INSTALLER, "install.sh", installerScript(""))
            .write(ws.file("app.bin"));
    // A directory named by the first word of the answer, and one holding the user's files.
    writeFile(ws.file("my/keep"), "mine");
    writeFile(ws.file("full/install.sh"), "the user's own script");
    makeDirs(ws.file("empty"));
    writeFile(ws.file("file"), "a file");

    struct Installed {
        SString typed;
        SString home;
    };
    for (const Installed& c : {Installed{"  " + ws.file("my dir") + " \t", ws.file("my dir")},
                               Installed{ws.file("empty"), ws.file("empty")},
                               Installed{"rel dir", ws.file("rel dir")}}) {
        unlink(ws.log().c_str());
        RunResult r = ws.runWithInput(bundle, {}, c.typed + "\n");
        // The application's line follows the progress dots.
        const SString last = lastLine(r.out);
        const SString expected = "launched " + c.home;
        EXPECT_TRUE(last.size() >= expected.size() &&
                    last.compare(last.size() - expected.size(), expected.size(), expected) == 0)
            << c.typed << "\n"
            << r.out;
        EXPECT_TRUE(exists(c.home + "/jvm")) << c.typed;
        EXPECT_FALSE(exists(c.home + "/install.sh")) << c.typed;
    }
    EXPECT_EQ(listDir(ws.file("my")), std::vector<SString>{"keep"});

    struct Refused {
        SString typed;
        SString message;
    };
    for (const Refused& c :
         {Refused{ws.file("full"), "The directory " + ws.file("full") +
                                       " is not empty: the JVM is installed only into a new or "
                                       "an empty directory."},
          Refused{ws.file("no/such/dir"), "The directory " + ws.file("no") + " does not exist."},
          Refused{ws.file("file/jvm"), ws.file("file") + " is not a directory."},
          Refused{ws.file("file"), ws.file("file") + " is not a directory."}}) {
        unlink(ws.log().c_str());
        RunResult r = ws.runWithInput(bundle, {}, c.typed + "\n");
        EXPECT_NE(r.out.find(c.message + "\n"), SString::npos) << c.typed << "\n" << r.out;
        const SString log = ws.logText();
        EXPECT_NE(log.find("ERROR: " + c.message + "\n"), SString::npos) << log;
        EXPECT_NE(log.find("Invalid command (INSTALL_FAILED)"), SString::npos) << log;
    }
    EXPECT_EQ(readFile(ws.file("full/install.sh")), "the user's own script");
    EXPECT_EQ(listDir(ws.file("full")), std::vector<SString>{"install.sh"});
    EXPECT_FALSE(exists(ws.file("no")));
    EXPECT_EQ(readFile(ws.file("file")), "a file");
    EXPECT_TRUE(ws.leftovers().empty());
}

TEST(Actions, SearchPrintsThreeLinesAndLeavesTheDescriptorForTheCaller) {
    Workspace ws;
    StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    SString bundle = bundleWith(ws, {"NEVER_RUN"}, ws.file("jdk"));
    writeFile(ws.file("search.tag"), "ACTION: SEARCH\nLOGFILE: " + ws.log() + "\n");
    RunResult r = ws.run(bundle, {"-qn:in", ws.file("search.tag")});
    std::vector<SString> out = splitLines(r.out);
    ASSERT_EQ(out.size(), 3u) << r.out;
    EXPECT_EQ(out[0], "1");
    EXPECT_EQ(out[1], ws.file("jdk"));
    ASSERT_TRUE(exists(out[2]));
    TagFile written(out[2]);
    EXPECT_EQ(written.getTagValue("JVM_HOME", 0), ws.file("jdk"));
    EXPECT_EQ(written.getTagValue("JVM_FILE", 0), out[2]);
    EXPECT_EQ(written.getTagValue("JVM_TEMP", 0), "0");
    EXPECT_EQ(ws.leftovers(), std::vector<SString>{out[2].substr(ws.tempDir().size() + 1)});
}

TEST(Actions, SearchWithoutMatchPrintsOnlyZero) {
    Workspace ws;
    SString bundle = bundleWith(ws, {"NEVER_RUN"}, ws.file("nothing"));
    writeFile(ws.file("search.tag"), "ACTION: SEARCH\nSHOW_PROGRESS: 0\nSHOW_FAIL_MSG: 0\n");
    RunResult r = ws.run(bundle, {"-qn:in", ws.file("search.tag")});
    EXPECT_EQ(r.out, "0\n");
}

TEST(Actions, VerifyJvmActionPrintsTheResultOrLogsAMissingTag) {
    Workspace ws;
    StandInJvm::create(ws.file("jdk17"), e2e::kStandInProperties);
    StandInJvm::create(ws.file("jdk11"), {{"java.version", "11.0.1"}, {"java.vendor", "x"}});
    SString bundle = bundleWith(ws, {"NEVER_RUN"}, ws.file("none"));
    writeFile(ws.file("d.jvm"), e2e::descriptor("Wanted", e2e::kStandInExpected, {}));
    for (const auto& c :
         std::vector<std::pair<SString, SString>>{{"jdk17", "1\n"}, {"jdk11", "0\n"}}) {
        writeFile(ws.file("v.tag"), "ACTION: VERIFY_JVM\nLOGFILE: " + ws.log() +
                                        "\nVERIFY_JVM_FILE: " + ws.file("d.jvm") +
                                        "\nVERIFY_JVM_HOME: " + ws.file(c.first) + "\n");
        RunResult r = ws.run(bundle, {"-qn:in", ws.file("v.tag")});
        EXPECT_EQ(r.out, c.second) << c.first;
    }
    writeFile(ws.file("v.tag"), "ACTION: VERIFY_JVM\nLOGFILE: " + ws.log() +
                                    "\nVERIFY_JVM_FILE: " + ws.file("d.jvm") + "\n");
    RunResult r = ws.run(bundle, {"-qn:in", ws.file("v.tag")});
    EXPECT_EQ(r.out, "");
    EXPECT_NE(ws.logText().find(
                  "ERROR: TO execute the VERIFY_JVM action, you must also provide values in the "
                  "input file for VERIFY_JVM_FILE and VERIFY_JVM_HOME.\n"),
              SString::npos);
}

TEST(Actions, InstallJvmActionRunsTheNamedInstallerAndPrintsTheDescriptor) {
    Workspace ws;
    SString bundle = bundleWith(ws, {"NEVER_RUN"}, ws.file("none"));
    writeFile(ws.file("install.sh"), installerScript(""), 0755);
    makeDirs(ws.file("dest"));
    writeFile(ws.file("i.tag"), "ACTION: INSTALL_JVM\nINSTALL_JVM_EXE: " + ws.file("install.sh") +
                                    "\nINSTALL_JVM_DEST: " + ws.file("dest") + "\n");
    RunResult r = ws.run(bundle, {"-qn:in", ws.file("i.tag")});
    // The named installer's output is not captured.
    EXPECT_EQ(r.out, "installer output\n" + ws.file("dest") + "/jvm\n");
    TagFile written(ws.file("dest/jvm"));
    EXPECT_EQ(written.getTagValue("JVM_HOME", 0), ws.file("dest"));
    EXPECT_EQ(written.getTagValue("JVM_TEMP", 0), "0");
}

TEST(Actions, InvalidActionIsShownTwiceAndLoggedOnce) {
    Workspace ws;
    SString bundle = bundleWith(ws, {"NEVER_RUN"}, ws.file("none"));
    writeFile(ws.file("x.tag"), "ACTION: DANCE\nSHOW_FAIL_MSG: 1\nLOGFILE: " + ws.log() + "\n");
    RunResult r = ws.run(bundle, {"-qn:in", ws.file("x.tag")});
    EXPECT_EQ(r.out,
              "Echo\nInvalid action in input file: DANCE\n"
              "Invalid action in input file: DANCE\n");
    SString log = ws.logText();
    EXPECT_EQ(log.find("ERROR: Invalid action"), log.rfind("ERROR: Invalid action"));
}

TEST(Actions, VerifyByIdChecksTheEmbeddedDescriptorAndReportsBadIds) {
    Workspace ws;
    StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    const std::vector<std::pair<SString, SString>> cases = {
        {"VERIFY 0 0 5", "Error in instructions. Invalid command (VERIFIED).  Line number (3)"},
        {"VERIFY 0 0 9", "Cannot verify jvm file at index 9 because it does not exist."},
        {"VERIFY 0 0 2",
         "To verify a JVM, use an index of a jvm file. The index passed in was 2 which "
         "corresponds to the file named launch.tag"},
    };
    for (const auto& c : cases) {
        SString bundle = BundleBuilder(ws.root())
                             .add(FILE_TYPE_INSTRUCTIONS, "i.tag",
                                  e2e::instructions({c.first, "JMP0 @N1@ bad", "VERIFIED", ":bad",
                                                     "NOT_VERIFIED"}),
                                  1)
                             .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", kEchoLaunch, 2)
                             .add(FILE_TYPE_JVM, "standin.jvm",
                                  e2e::descriptor("S", e2e::kStandInExpected, {},
                                                  "JVM_HOME: " + ws.file("jdk") + "\n"),
                                  5)
                             .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "v", 6)
                             .write(ws.file("app.bin"));
        RunResult r = ws.run(bundle);
        EXPECT_EQ(lastLine(r.out), c.second) << c.first;
    }
}

TEST(Actions, JavaHomeOptionSteersVerificationToTheChosenDirectory) {
    Workspace ws;
    StandInJvm::create(ws.file("chosen"), e2e::kStandInProperties);
    SString bundle = BundleBuilder(ws.root())
                         .add(FILE_TYPE_INSTRUCTIONS, "i.tag",
                              e2e::instructions({"VERIFY 0 0 5", "JMP0 @N1@ bad", "ILAUNCH 5 0",
                                                 "GOTO end", ":bad", "NOT_VERIFIED", ":end"}))
                         .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", kEchoLaunch)
                         .add(FILE_TYPE_JVM, "standin.jvm",
                              e2e::descriptor("S", e2e::kStandInExpected, {},
                                              "JVM_HOME: " + ws.file("elsewhere") + "\n"),
                              5)
                         .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "v")
                         .write(ws.file("app.bin"));
    RunResult r = ws.run(bundle, {"-qn:javahome", ws.file("chosen")});
    // ILAUNCH uses the embedded descriptor, whose home verification has just set.
    EXPECT_EQ(lastLine(r.out), "launched " + ws.file("chosen")) << r.out;
    EXPECT_NE(ws.logText().find("After VERIFY, the jvm home is " + ws.file("chosen")),
              SString::npos);
}

TEST(Actions, IlaunchWithoutUsableDescriptorOnlyLogs) {
    Workspace ws;
    SString bundle =
        bundleWith(ws, {"ILAUNCH 1 0", "EXECUTE_LAUNCHER 0", "GOTO end", ":end"}, ws.file("none"));
    RunResult r = ws.run(bundle);
    SString log = ws.logText();
    EXPECT_NE(log.find("ERROR: Unable to launch the internal launch script with the internal "
                       "JVM file. Either the launch script or the JVM file is missing from the "
                       "launcher.\n"),
              SString::npos);
    EXPECT_NE(log.find("ERROR: Unable to execute the embedded launcher.\n"), SString::npos);
}

// A bundle to embed: it finds the stand-in in ws/jdk and starts it with "Main" and the
// arguments it was given.
SString innerBundle(const Workspace& ws) {
    // An emulated stub can start only a program for this machine.
    return BundleBuilder(ws.root() + "/inner")
        .stub(stubIsEmulated() ? hostStubPath() : qnlaunchPath())
        .add(FILE_TYPE_INSTRUCTIONS, "i.tag", e2e::instructions({"FIND_JVM 0 0", "LAUNCH @S2@ 0"}))
        .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag",
             "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" Main\"\n")
        .add(FILE_TYPE_JVM, "standin.jvm",
             e2e::descriptor("S", e2e::kStandInExpected, {ws.file("jdk")}))
        .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "v")
        .write(ws.file("inner.bin"));
}

TEST(Actions, EmbeddedLauncherTakesOverWithEveryArgumentAndRemovesItself) {
    Workspace ws;
    StandInJvm jvm = StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    SString inner = innerBundle(ws);
    SString outer = BundleBuilder(ws.root() + "/outer")
                        .add(FILE_TYPE_INSTRUCTIONS, "i.tag",
                             e2e::instructions({"EXECUTE_LAUNCHER 1", "NOT_REPLACED"}))
                        .addFile(FILE_TYPE_EMBEDDED_LAUNCHER, inner)
                        .write(ws.file("outer.bin"));
    const std::vector<SString> args = {"plain", "say \"hi\"", "two words"};
    RunResult r = ws.run(outer, args);
    EXPECT_EQ(r.out.find("NOT_REPLACED"), SString::npos) << r.out;
    ASSERT_EQ(jvm.callCount(), 2) << ws.logText();
    std::vector<SString> received = jvm.args(2);
    // The options handed on are the inner launcher's own; the rest reaches the application.
    std::vector<SString> expected = {"Main"};
    expected.insert(expected.end(), args.begin(), args.end());
    EXPECT_EQ(received, expected);
    // The inner launcher ran from its own directory and deleted both at its end.
    EXPECT_TRUE(ws.leftovers().empty()) << ws.leftovers().size();
}

// An outer bundle that finds a JVM (the verifier archive and the written descriptor land in
// the temporary directory) and then hands over to an inner bundle run from its own copy.
TEST(Actions, EmbeddedLauncherGetsItsArgumentsByteForByteAndNothingOfTheOuterRunStays) {
    Workspace ws;
    StandInJvm jvm = StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    SString inner = innerBundle(ws);
    SString outer = BundleBuilder(ws.root() + "/outer")
                        .add(FILE_TYPE_INSTRUCTIONS, "i.tag",
                             e2e::instructions({"FIND_JVM 0 0", "JMP0 @N1@ none",
                                                "EXECUTE_LAUNCHER 3", ":none", "NOT_REPLACED"}))
                        .add(FILE_TYPE_JVM, "standin.jvm",
                             e2e::descriptor("S", e2e::kStandInExpected, {ws.file("jdk")}))
                        .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "v")
                        .addFile(FILE_TYPE_EMBEDDED_LAUNCHER, inner)
                        .write(ws.file("outer.bin"));
    const std::vector<SString> args = {"plain",      "",           "a\\",       "x\\\"y", "q\"q",
                                       "two  words", "line\nfeed", "tab\there", "\\\"",   "end"};
    ASSERT_EQ(args.size(), 10u);
    RunResult r = ws.run(outer, args, {{"QNLAUNCH_CACHE", "off"}});
    EXPECT_EQ(r.out.find("NOT_REPLACED"), SString::npos) << r.out;
    EXPECT_EQ(ws.logText().find("NOT_REPLACED"), SString::npos) << ws.logText();
    // The outer run verified, the inner one verified and launched.
    ASSERT_EQ(jvm.callCount(), 3) << ws.logText();
    std::vector<SString> expected = {"Main"};
    expected.insert(expected.end(), args.begin(), args.end());
    EXPECT_EQ(jvm.exactArgs(3), expected);
    // Neither the outer run's verifier and descriptor nor the inner copy, its directory or
    // a run's lock file is left.
    EXPECT_TRUE(ws.leftovers().empty()) << ws.leftovers().size() << " " << ws.leftovers()[0];
}

// When the embedded copy cannot be executed (its temporary directory is mounted without
// execution), the failure is logged and the run goes on with its files still in place.
TEST(Actions, EmbeddedLauncherThatCannotRunLeavesTheRunAsItWas) {
    Workspace ws;
    StandInJvm jvm = StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    const SString noexec = ws.file("noexec");
    makeDirs(noexec);
    e2e::ScopedTmpfs tmpfs(noexec, "size=256m,mode=0700", MS_NOEXEC);
    if (!tmpfs.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
    SString inner = innerBundle(ws);
    SString outer = BundleBuilder(ws.root() + "/outer")
                        .add(FILE_TYPE_INSTRUCTIONS, "i.tag",
                             e2e::instructions({"FIND_JVM 0 0", "JMP0 @N1@ none",
                                                "EXECUTE_LAUNCHER 4", "LAUNCH @S2@ 0", ":none"}))
                        .add(FILE_TYPE_JVM, "standin.jvm",
                             e2e::descriptor("S", e2e::kStandInExpected, {ws.file("jdk")}))
                        .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "v")
                        .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag",
                             "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" Outer\"\n")
                        .addFile(FILE_TYPE_EMBEDDED_LAUNCHER, inner)
                        .write(ws.file("outer.bin"));
    RunResult r = ws.run(outer, {"-qn:tempdir", noexec, "arg"}, {{"QNLAUNCH_CACHE", "off"}});
    const SString log = ws.logText();
    EXPECT_NE(log.find("ERROR: Unable to execute the embedded launcher " + noexec + "/qnj"),
              SString::npos)
        << log;
    EXPECT_NE(log.find("/inner.bin: Permission denied\n"), SString::npos) << log;
    // The descriptor FIND_JVM wrote was still there for LAUNCH.
    ASSERT_EQ(jvm.callCount(), 2) << log;
    EXPECT_EQ(jvm.args(2), (std::vector<SString>{"Outer", "arg"}));
    EXPECT_TRUE(listDir(noexec).empty()) << listDir(noexec).size();
}

}  // namespace
