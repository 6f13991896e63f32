// The hand-over: when nothing is left for the launcher after the application, its process
// becomes the application's, so the exit status and the signals are the application's own,
// and nothing of the run is left behind; when something is left, it waits as before.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "e2e/E2eHelpers.h"
#include "inputfiles/FileIndexEntry.h"

using namespace testkit;
using e2e::Workspace;

namespace {

// The application notes its process id and its parent's, then ends as its first argument
// says: with a status, or by waiting to be signalled.
const char* const kApp =
    "while [ $# -gt 0 ] && [ \"$1\" != Main ]; do shift; done; shift\n"
    "echo \"$$ $PPID\" > \"${0%/bin/java}/pids.tmp\"\n"
    "mv \"${0%/bin/java}/pids.tmp\" \"${0%/bin/java}/pids\"\n"
    "case \"$1\" in\n"
    "  status) exit \"$2\";;\n"
    "  wait) exec sleep 30;;\n"
    "esac\n";

SString handOverBundle(const Workspace& ws, const std::vector<SString>& after = {},
                       const SString& scriptExtra = SString()) {
    StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties, "1739021872", "", kApp);
    std::vector<SString> lines = {"FIND_JVM 0 0", "JMP0 @N1@ none", "LAUNCH @S2@ 0", "GOTO done",
                                  ":none",        "EXIT 1",         ":done"};
    lines.insert(lines.end(), after.begin(), after.end());
    return BundleBuilder(ws.root())
        .add(FILE_TYPE_INSTRUCTIONS, "i.tag", e2e::instructions(lines))
        .add(FILE_TYPE_LAUNCH_SCRIPT, "l.tag",
             "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%() Main\"\nDISPLAY_CONSOLE: 1\n" +
                 scriptExtra)
        .add(FILE_TYPE_JVM, "j.jvm", e2e::descriptor("J", e2e::kStandInExpected, {ws.file("jdk")}))
        .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "v")
        .add(FILE_TYPE_CLASSPATH_ARCHIVE, "lib.jar", "library")
        .write(ws.file("app.bin"));
}

// Starts the bundle with a cache and a temporary directory of the workspace and no log.
pid_t start(const Workspace& ws, const SString& bundle, const std::vector<SString>& args) {
    std::vector<SString> argv = {bundle, "-qn:tempdir", ws.tempDir()};
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        setenv("QNLAUNCH_CACHE", ws.file("cache").c_str(), 1);
        execProgram(argv);
        _exit(127);
    }
    return pid;
}

// "PID PPID" of the application, once it has said them.
std::vector<SString> appPids(const Workspace& ws) {
    const SString path = ws.file("jdk/pids");
    for (int i = 0; i < 2000 && !exists(path); ++i) usleep(10000);
    SString text = readFile(path);
    unlink(path.c_str());
    if (!text.empty()) text.pop_back();
    const size_t blank = text.find(' ');
    if (blank == SString::npos) return {};
    return {text.substr(0, blank), text.substr(blank + 1)};
}

}  // namespace

TEST(HandOver, TheExitStatusIsTheApplicationsOwnAndNothingIsLeft) {
    Workspace ws;
    const SString bundle = handOverBundle(ws);
    // Twice: a first run with an empty cache, and a warm one.
    for (int round = 0; round < 2; ++round) {
        const pid_t launcher = start(ws, bundle, {"status", "7"});
        const int status = waitExit(launcher);
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), 7);
        // The application ran as the launcher's own process.
        EXPECT_EQ(appPids(ws),
                  (std::vector<SString>{std::to_string(launcher), std::to_string(getpid())}));
        EXPECT_TRUE(ws.leftovers().empty()) << ws.leftovers()[0];
    }
}

TEST(HandOver, SignalsToTheBundleAreSignalsToTheApplication) {
    Workspace ws;
    const SString bundle = handOverBundle(ws);
    for (int signal : {SIGTERM, SIGINT, SIGKILL}) {
        const pid_t launcher = start(ws, bundle, {"wait"});
        const std::vector<SString> pids = appPids(ws);
        ASSERT_EQ(pids.size(), 2u);
        EXPECT_EQ(pids[0], std::to_string(launcher));
        kill(launcher, signal);
        const int status = waitExit(launcher);
        ASSERT_TRUE(WIFSIGNALED(status)) << signal << ": " << status;
        EXPECT_EQ(WTERMSIG(status), signal);
        // Nothing of the application goes on, and the run left nothing, even for SIGKILL.
        EXPECT_NE(kill(launcher, 0), 0);
        EXPECT_TRUE(ws.leftovers().empty()) << signal;
    }
}

TEST(HandOver, TheLauncherWaitsWhenSomethingIsLeftForIt) {
    struct Case {
        const char* what;
        std::vector<SString> after;
        std::vector<SString> args;
        SString scriptExtra;
        const char* cache;
    };
    const Case cases[] = {
        {"an instruction after LAUNCH", {"EXIT 3"}, {}, "", nullptr},
        {"a log file", {}, {"-qn:log", "LOG"}, "", nullptr},
        {"captured output", {}, {}, "DISPLAY_CONSOLE: 0\n", nullptr},
        // Without a cache the class path is a temporary file.
        {"a temporary file the command uses", {}, {}, "", "off"},
    };
    for (const Case& c : cases) {
        Workspace ws;
        const SString bundle = handOverBundle(ws, c.after, c.scriptExtra);
        std::vector<SString> args = c.args;
        for (SString& arg : args) {
            if (arg == "LOG") arg = ws.log();
        }
        args.push_back("status");
        args.push_back("0");
        std::map<SString, SString> env = {{"QNLAUNCH_CACHE", c.cache ? c.cache : ws.file("cache")}};
        std::vector<SString> argv = {bundle, "-qn:tempdir", ws.tempDir()};
        argv.insert(argv.end(), args.begin(), args.end());
        const RunResult r = run(argv, ws.root(), env);
        const std::vector<SString> pids = appPids(ws);
        ASSERT_EQ(pids.size(), 2u) << c.what << r.out << r.err << readFile(ws.log());
        // The application's parent is the launcher, not the test.
        EXPECT_NE(pids[1], std::to_string(getpid())) << c.what;
        EXPECT_TRUE(ws.leftovers().empty()) << c.what;
        EXPECT_EQ(r.status, c.after.empty() ? 0 : 3) << c.what;
    }
}
