// Where the launcher's own options end and the application's arguments begin, and the log
// named by QNLAUNCH_LOG: hand-written bundles of a stand-in JVM that records its arguments.

#include <gtest/gtest.h>
#include <unistd.h>

#include "e2e/E2eHelpers.h"
#include "inputfiles/FileIndexEntry.h"

using namespace testkit;
using e2e::Workspace;

namespace {

const SString kScript =
    "DESC: Tool\nQUIET: 1\nDISPLAY_CONSOLE: 1\nAUTO_SET_WORKING_DIR: 0\n"
    "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" Main\"\n";

// A quiet tool whose launch script sets LAUNCHER_OPTIONS_FIRST or not, and its stand-in JVM.
struct Tool {
    explicit Tool(const Workspace& ws, bool optionsFirst)
        : jvm(StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties)) {
        bundle = BundleBuilder(ws.root())
                     .add(FILE_TYPE_INSTRUCTIONS, "instructions.tag",
                          e2e::instructions({"FIND_JVM 0 1", "JMP0 @N1@ none", "LAUNCH @S2@ 0",
                                             "GOTO end", ":none", "EXIT 1", ":end"}))
                     .add(FILE_TYPE_JVM, "standin.jvm",
                          e2e::descriptor("Stand-in", e2e::kStandInExpected, {ws.file("jdk")}))
                     .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag",
                          kScript + (optionsFirst ? "LAUNCHER_OPTIONS_FIRST: 1\n" : ""))
                     .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "stand-in verifier")
                     .write(ws.file("tool"));
    }

    // The arguments the application got after its main class, or "<not run>".
    std::vector<SString> applicationArgs() const {
        const int calls = jvm.callCount();
        if (calls == 0) return {"<not run>"};
        std::vector<SString> args = jvm.exactArgs(calls);
        for (size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "Main") return std::vector<SString>(args.begin() + i + 1, args.end());
        }
        return {"<not run>"};
    }

    StandInJvm jvm;
    SString bundle;
};

struct Case {
    std::vector<SString> args;
    std::vector<SString> applicationArgs;
    SString out;
};

TEST(LauncherOptions, WithTheTagTheyEndAtTheApplicationsFirstArgument) {
    const Case cases[] = {
        {{"args.js", "--", "-qn:version"},
         {"args.js", "--", "-qn:version"},
         "stand-in application ran\n"},
        {{"-qn:javaconsole", "args.js", "-qn:log", "x.log", "-qn:silent", "-qn:extract"},
         {"args.js", "-qn:log", "x.log", "-qn:silent", "-qn:extract"},
         "stand-in application ran\n"},
        {{"args.js", "-qn:log"}, {"args.js", "-qn:log"}, "stand-in application ran\n"},
        {{"-qn:unknown", "-qn:version"},
         {"-qn:unknown", "-qn:version"},
         "stand-in application ran\n"},
        // Before the first argument they are the launcher's, values included.
        {{"-qn:javahome", "-qn:version", "-qn:version", "a"}, {"<not run>"}, "2.1\n"},
    };
    for (const Case& c : cases) {
        Workspace ws;
        Tool tool(ws, true);
        RunResult r = ws.run(tool.bundle, c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, c.out) << c.args[0];
        EXPECT_EQ(tool.applicationArgs(), c.applicationArgs) << c.args[0];
        EXPECT_FALSE(exists(ws.file("x.log")));
    }
}

TEST(LauncherOptions, WithoutTheTagTheyAreTakenAnywhereAsBefore) {
    Workspace ws;
    Tool tool(ws, false);
    RunResult r = ws.run(tool.bundle, {"args.js", "--", "-qn:version"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "2.1\n");
    EXPECT_EQ(tool.applicationArgs(), std::vector<SString>{"<not run>"});
    r = ws.run(tool.bundle, {"a", "-qn:javaconsole", "b"});
    EXPECT_EQ(r.out, "stand-in application ran\n") << r.err;
    EXPECT_EQ(tool.applicationArgs(), (std::vector<SString>{"a", "b"}));
}

TEST(LauncherOptions, LogWithoutAFileNameEndsTheRunWithStatusOne) {
    for (bool optionsFirst : {true, false}) {
        Workspace ws;
        Tool tool(ws, optionsFirst);
        RunResult r = run({tool.bundle, "-qn:tempdir", ws.tempDir(), "-qn:log"}, ws.root());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err,
                  "tool: A log file name must be specified after the -log option on the command "
                  "line.\n");
        EXPECT_EQ(tool.jvm.callCount(), 0);
    }
}

// -qn:extract and -qn:in work as before in front of the application's arguments, and are the
// application's behind them.
TEST(LauncherOptions, ExtractAndInputFilesStillWorkInFront) {
    Workspace ws;
    Tool tool(ws, true);
    makeDirs(ws.file("out"));
    RunResult r = run({tool.bundle, "-qn:extract"}, ws.file("out"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listDir(ws.file("out")),
              (std::vector<SString>{"input.tag", "instructions.tag", "launch.tag", "standin.jvm",
                                    "verify.jar"}));
    makeDirs(ws.file("none"));
    r = run({tool.bundle, "-qn:tempdir", ws.tempDir(), "app", "-qn:extract"}, ws.file("none"));
    EXPECT_EQ(r.out, "stand-in application ran\n") << r.err;
    EXPECT_TRUE(listDir(ws.file("none")).empty());

    writeFile(ws.file("search.tag"), "ACTION: SEARCH\n");
    r = ws.run(tool.bundle, {"-qn:in", ws.file("search.tag")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("1\n" + ws.file("jdk") + "\n", 0), 0u) << r.out;
}

// QNLAUNCH_LOG names the log when the command line does not; -qn:log wins. The application's
// arguments are left as they are.
TEST(LauncherOptions, TheLogVariableStandsInForTheLogOption) {
    Workspace ws;
    Tool tool(ws, true);
    const std::map<SString, SString> env = {{"QNLAUNCH_LOG", ws.file("from-env.log")}};
    RunResult r = run({tool.bundle, "-qn:tempdir", ws.tempDir(), "a", "-qn:log"}, ws.root(), env);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(tool.applicationArgs(), (std::vector<SString>{"a", "-qn:log"}));
    const SString log = readFile(ws.file("from-env.log"));
    EXPECT_EQ(log.rfind("------------------\n", 0), 0u) << log;
    EXPECT_NE(log.find("Executing launch script command: "), SString::npos) << log;

    r = run({tool.bundle, "-qn:log", ws.file("explicit.log"), "b"}, ws.root(),
            {{"QNLAUNCH_LOG", ws.file("unused.log")}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(readFile(ws.file("explicit.log")).find("Executing launch script command: "),
              SString::npos);
    EXPECT_FALSE(exists(ws.file("unused.log")));
    // A relative name is taken from the directory the launcher was started from.
    makeDirs(ws.file("cwd"));
    r = run({tool.bundle}, ws.file("cwd"), {{"QNLAUNCH_LOG", "relative.log"}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(exists(ws.file("cwd/relative.log")));
}

// Deciding where the options end reads the launch script from the one open of the bundle.
TEST(LauncherOptions, ReadingTheTagFirstKeepsOneOpenOfTheBundle) {
    if (access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "needs strace";
    if (stubIsEmulated()) GTEST_SKIP() << "strace would trace the emulator";
    Workspace ws;
    Tool tool(ws, true);
    const SString trace = ws.file("trace");
    RunResult r =
        run({"/usr/bin/strace", "-f", "-e", "trace=open,openat,openat2", "-o", trace, tool.bundle,
             "-qn:tempdir", ws.tempDir(), "one", "-qn:version"},
            ws.root(), {{"QNLAUNCH_CACHE", ws.file("cache")}, e2e::kNoLeakCheckUnderTrace});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "stand-in application ran\n") << r.err;
    int opens = 0;
    for (const SString& line : splitLines(readFile(trace))) {
        opens += line.find("open") != SString::npos &&
                 line.find("\"" + tool.bundle + "\"") != SString::npos;
    }
    EXPECT_EQ(opens, 1) << readFile(trace);
}

}  // namespace
