// INSTALL_JVM end to end with stand-in runtimes (a bin/java that is a shell script): the
// bundle's runtime installed once into the cache and its JVM launched, the results when
// it cannot be installed, a directory typed at the prompt, and the trust rule applied to
// what a hand-written installer leaves.

#include <gtest/gtest.h>
#include <unistd.h>

#include "base/Sha256.h"
#include "e2e/E2eHelpers.h"
#include "inputfiles/Bundle.h"
#include "inputfiles/FileIndexEntry.h"
#include "support/UstarBuilder.h"

using namespace testkit;
using e2e::Workspace;

namespace {

const SString kDescriptor =
    "DESC: Bundled Java 17\nJVM_EXE: bin/java\nJVM_PROPERTIES: java.version=17\n";
// Runs the installed JVM's executable, which says where it is and what it was given.
// Quiet, so that its output is the JVM's alone.
const SString kRunJava =
    "DESC: Runs\nQUIET: 1\nDISPLAY_CONSOLE: 1\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" hello\"\n";

// INSTALL_JVM `option`, then LAUNCH of what it handed on, or EXIT 3 when it failed.
SString installInstructions(const SString& option) {
    return e2e::instructions({"INSTALL_JVM " + option, "JMP0 @N1@ failed", "LAUNCH @S1@ 0",
                              "GOTO end", ":failed", "EXIT 3", ":end"});
}

// A runtime archive whose bin/java prints "ran PATH ARGS".
SString standInRuntime(const SString& descriptor = kDescriptor) {
    UstarBuilder archive;
    archive.directory("bin").file("bin/java", "#!/bin/sh\necho \"ran $0 $*\"\n", 0755);
    if (!descriptor.empty()) archive.file("jvm", descriptor);
    return archive.bytes();
}

SString runtimeBundle(const Workspace& ws, const SString& option, const SString& archive) {
    return BundleBuilder(ws.root())
        .add(FILE_TYPE_INSTRUCTIONS, "i.tag", installInstructions(option))
        .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", kRunJava)
        .add(FILE_TYPE_RUNTIME, "runtime.tar", archive)
        .write(ws.file("app.bin"));
}

}  // namespace

TEST(RuntimeInstall, TheRuntimeIsInstalledOnceIntoTheCacheAndItsJvmRuns) {
    Workspace ws;
    const SString archive = standInRuntime();
    const SString bundle = runtimeBundle(ws, "0", archive);
    const SString home = ws.file("cache/runtimes/") + hexText(Sha256::of(archive));
    const std::map<SString, SString> env = {{"QNLAUNCH_CACHE", ws.file("cache")}};

    RunResult first = ws.run(bundle, {}, env);
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, "ran " + home + "/bin/java hello\n");
    EXPECT_EQ(first.err, "");
    EXPECT_NE(ws.logText().find("Installed the runtime into " + home), SString::npos);
    // The descriptor handed on was a file of the run, gone with it.
    EXPECT_TRUE(ws.leftovers().empty());

    const SString before = ws.logText();
    RunResult second = ws.run(bundle, {}, env);
    EXPECT_EQ(second.out, first.out);
    const SString log = ws.logText().substr(before.size());
    EXPECT_NE(log.find("Using the runtime " + home + ", held for this run."), SString::npos);
    EXPECT_EQ(log.find("Installed the runtime"), SString::npos) << log;

    // Without a cache, into a private directory of the run, which goes with it.
    RunResult uncached = ws.run(bundle, {}, {{"QNLAUNCH_CACHE", "off"}});
    EXPECT_EQ(uncached.status, 0) << uncached.err;
    EXPECT_EQ(uncached.out.compare(0, 4 + ws.tempDir().size() + 4, "ran " + ws.tempDir() + "/qnj"),
              0)
        << uncached.out;
    EXPECT_TRUE(ws.leftovers().empty());
    EXPECT_EQ(listDir(ws.file("cache/runtimes")).size(), 1u);
}

// A runtime that cannot be installed leaves N1 = 0 for the instructions to go on; the
// reason is logged, and shown unless the install is silent.
TEST(RuntimeInstall, AFailedInstallGivesN1ZeroAndSaysWhyUnlessSilent) {
    const SString why =
        "The bundled runtime could not be installed. The runtime archive runtime.tar holds no "
        "descriptor \"jvm\" at its root.";
    for (const char* option : {"0", "1"}) {
        Workspace ws;
        const SString bundle = runtimeBundle(ws, option, standInRuntime(SString()));
        RunResult r = ws.run(bundle, {}, {{"QNLAUNCH_CACHE", ws.file("cache")}});
        EXPECT_EQ(r.status, 3) << option << r.err;
        EXPECT_EQ((r.out + r.err).find(why) != SString::npos, SString(option) == "1")
            << option << ": " << r.out << r.err;
        EXPECT_NE(ws.logText().find(why), SString::npos) << option;
        EXPECT_EQ(r.out.find("ran "), SString::npos);
        EXPECT_TRUE(listDir(ws.file("cache/runtimes")).empty());
        EXPECT_TRUE(ws.leftovers().empty());
    }
}

// The directory typed at the prompt becomes the runtime's home and keeps it.
TEST(RuntimeInstall, APromptedDirectoryBecomesTheHomeAndKeepsTheRuntime) {
    Workspace ws;
    const SString bundle = runtimeBundle(ws, "2", standInRuntime());
    const SString input = ws.file("opt/my jdk") + "\n";
    makeDirs(ws.file("opt"));
    RunResult r =
        run({bundle, "-qn:tempdir", ws.tempDir(), "-qn:log", ws.log()}, ws.root(),
            {{"QNLAUNCH_CACHE", ws.file("cache")}, {"TMPDIR", ws.tempDir()}}, 120, &input);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("ran " + ws.file("opt/my jdk") + "/bin/java hello\n"), SString::npos)
        << r.out;
    EXPECT_TRUE(exists(ws.file("opt/my jdk/bin/java")));
    EXPECT_EQ(readFile(ws.file("opt/my jdk/jvm")), kDescriptor);
    EXPECT_FALSE(exists(ws.file("cache/runtimes")));
    EXPECT_TRUE(ws.leftovers().empty());
}

// What a hand-written installer leaves runs only when no one but root and this user could
// have changed it; otherwise N1 = 0, and the reason is shown even by a silent install.
TEST(RuntimeInstall, AnInstallersJvmThatOthersCouldChangeDoesNotRun) {
    struct Case {
        const char* change;  // shell lines run after the JVM is in place
        const char* reason;
        bool needsRoot;
    };
    for (const Case& c : {Case{"chmod 0777 bin/java", "/bin/java is writable by others", false},
                          Case{"chown 12345 bin", "/bin is owned by user 12345", true},
                          Case{":", nullptr, false}}) {
        if (c.needsRoot && geteuid() != 0) continue;
        Workspace ws;
        const SString installer =
            "#!/bin/sh\nmkdir bin\nprintf '#!/bin/sh\\necho \"ran $0\"\\n' "
            "> bin/java\nchmod 0755 bin/java\nprintf 'DESC: Mine\\nJVM_EXE: "
            "bin/java\\n' > jvm\n" +
            SString(c.change) + "\n";
        const SString bundle = BundleBuilder(ws.root())
                                   .add(FILE_TYPE_INSTRUCTIONS, "i.tag", installInstructions("0"))
                                   .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", kRunJava)
                                   .add(FILE_TYPE_JVM_INSTALLER, "install.sh", installer)
                                   .write(ws.file("app.bin"));
        RunResult r = ws.run(bundle, {}, {{"QNLAUNCH_CACHE", "off"}});
        if (!c.reason) {
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_NE(r.out.find("ran " + ws.tempDir() + "/qnj"), SString::npos) << r.out;
            continue;
        }
        EXPECT_EQ(r.status, 3) << c.change << r.out << r.err;
        EXPECT_EQ(r.out.find("ran "), SString::npos) << c.change;
        const SString shown = r.out + r.err;
        EXPECT_NE(shown.find("Not running the installed JVM at " + ws.tempDir() + "/qnj"),
                  SString::npos)
            << c.change << ": " << shown;
        EXPECT_NE(shown.find(c.reason), SString::npos) << c.change << ": " << shown;
        EXPECT_NE(ws.logText().find("Not running the installed JVM at "), SString::npos);
    }
}
