// Interruption and concurrency: signals reach the application and end the launcher after
// its clean-up, an interactive application keeps the terminal, and many runs at once do
// not disturb each other.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <vector>

#include "e2e/E2eHelpers.h"
#include "inputfiles/FileIndexEntry.h"

using namespace testkit;
using e2e::Workspace;

namespace {

// The application: notes a SIGTERM or SIGHUP, tells it has started, reads a line from its
// terminal when asked to, then waits.
const char* const kWaitingApp =
    "#!/bin/sh\n"
    "trap 'echo term > \"$1/term\"; exit 3' TERM\n"
    "trap 'echo hup > \"$1/hup\"; exit 3' HUP\n"
    "echo started > \"$1/started\"\n"
    "if [ \"$2\" = read ]; then read line; echo \"read: $line\"; fi\n"
    "sleep 30 & wait\n";

// A bundle that launches the waiting application with an embedded descriptor; the
// class-path archive gives the run something to clean up.
SString waitingBundle(const Workspace& ws, bool console, const SString& mode = "wait") {
    writeFile(ws.file("app.sh"), kWaitingApp, 0755);
    // The shell named by its path is the launcher's own child; a bare "sh" would run under
    // another shell, which a signal ends before the application's handler has run.
    SString script = "COMMAND: /bin/sh " + ws.file("app.sh") + " " + ws.root() + " " + mode +
                     " %CP%()\n" + (console ? "DISPLAY_CONSOLE: 1\n" : "");
    return BundleBuilder(ws.root())
        .add(FILE_TYPE_INSTRUCTIONS, "i.tag", e2e::instructions({"ILAUNCH 5 0"}))
        .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", script)
        .add(FILE_TYPE_JVM, "j.jvm", "JVM_HOME: /nowhere\nCLASSPATH: \"-cp \"\n", 5)
        .add(FILE_TYPE_CLASSPATH_ARCHIVE, "lib.jar", "library")
        .write(ws.file("app.bin"));
}

// A launcher started in the background, its output going to a file.
struct Running {
    pid_t pid = -1;
    SString out;
};

Running start(const Workspace& ws, const SString& bundle, const std::vector<SString>& args) {
    Running r;
    r.out = ws.file("out.txt");
    std::vector<SString> argv = {bundle, "-qn:tempdir", ws.tempDir(), "-qn:log", ws.log()};
    argv.insert(argv.end(), args.begin(), args.end());
    r.pid = fork();
    if (r.pid == 0) {
        int out = open(r.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        execProgram(argv);
        _exit(127);
    }
    return r;
}

bool waitFor(const SString& path, int seconds = 20) {
    for (int i = 0; i < seconds * 100; ++i) {
        if (exists(path)) return true;
        usleep(10000);
    }
    return false;
}

TEST(Signals, TerminationReachesTheApplicationAndTheLauncherCleansUp) {
    for (int signal : {SIGTERM, SIGHUP}) {
        for (bool console : {true, false}) {
            Workspace ws;
            Running launcher = start(ws, waitingBundle(ws, console), {});
            ASSERT_TRUE(waitFor(ws.file("started"))) << readFile(launcher.out);
            EXPECT_FALSE(ws.leftovers().empty());
            kill(launcher.pid, signal);
            int status = waitExit(launcher.pid);
            ASSERT_TRUE(WIFSIGNALED(status)) << status;
            EXPECT_EQ(WTERMSIG(status), signal);
            EXPECT_TRUE(exists(ws.file(signal == SIGTERM ? "term" : "hup")));
            EXPECT_TRUE(ws.leftovers().empty()) << signal << console;
        }
    }
}

// Whether a process runs whose command line is `words`, NUL-separated as /proc shows it.
bool processRuns(const SString& commandLine) {
    for (const SString& pid : listDir("/proc")) {
        if (pid.find_first_not_of("0123456789") != SString::npos) continue;
        SString text = readFile("/proc/" + pid + "/cmdline");
        if (text == commandLine) return true;
    }
    return false;
}

// A launch script that needs the shell (a variable in it): the one program it starts takes
// the shell's place, so a launcher killed outright takes the application with it.
TEST(Signals, AKilledLauncherLeavesNoApplicationStartedThroughTheShell) {
    Workspace ws;
    const SString token = std::to_string(getpid() % 100000);
    SString bundle = BundleBuilder(ws.root())
                         .add(FILE_TYPE_INSTRUCTIONS, "i.tag", e2e::instructions({"ILAUNCH 5 0"}))
                         .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag",
                              "DISPLAY_CONSOLE: 1\nCOMMAND: /bin/sleep 29.$QN_SLEEP_TOKEN\n")
                         .add(FILE_TYPE_JVM, "j.jvm", "JVM_HOME: /nowhere\n", 5)
                         .write(ws.file("app.bin"));
    setenv("QN_SLEEP_TOKEN", token.c_str(), 1);
    Running launcher = start(ws, bundle, {});
    unsetenv("QN_SLEEP_TOKEN");
    const SString nul(1, '\0');
    const SString sleeping = "/bin/sleep" + nul + "29." + token + nul;
    bool started = false;
    for (int i = 0; i < 2000 && !started; ++i) {
        started = processRuns(sleeping);
        if (!started) usleep(10000);
    }
    ASSERT_TRUE(started) << readFile(launcher.out);
    kill(launcher.pid, SIGKILL);
    waitExit(launcher.pid);
    bool gone = false;
    for (int i = 0; i < 500 && !gone; ++i) {
        gone = !processRuns(sleeping);
        if (!gone) usleep(10000);
    }
    EXPECT_TRUE(gone);
}

TEST(Signals, SignalWhileNoChildRunsEndsTheRunAfterCleanUp) {
    Workspace ws;
    SString bundle = BundleBuilder(ws.root())
                         .add(FILE_TYPE_INSTRUCTIONS, "i.tag",
                              e2e::instructions({"FIND_JVM 0 0", ":spin", "GOTO spin"}))
                         .add(FILE_TYPE_JVM, "j.jvm",
                              e2e::descriptor("J", {"java.version=..."}, {ws.file("none")}))
                         .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "v")
                         .write(ws.file("app.bin"));
    Running launcher = start(ws, bundle, {});
    ASSERT_TRUE(waitFor(ws.log()));
    for (int i = 0; i < 2000 && ws.leftovers().empty(); ++i) usleep(1000);
    EXPECT_FALSE(ws.leftovers().empty());  // the extracted verifier
    kill(launcher.pid, SIGINT);
    int status = waitExit(launcher.pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGINT);
    EXPECT_TRUE(ws.leftovers().empty());
    EXPECT_NE(ws.logText().find("WARNING: Ended by signal 2."), SString::npos);
}

// Reads from the terminal's master side until `text` has arrived or time runs out.
bool readUntil(int master, SString& seen, const SString& text, int seconds = 20) {
    time_t end = time(nullptr) + seconds;
    while (seen.find(text) == SString::npos && time(nullptr) < end) {
        struct pollfd p = {master, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        char buffer[1024];
        ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;
        seen.append(buffer, static_cast<size_t>(n));
    }
    return seen.find(text) != SString::npos;
}

TEST(Signals, InteractiveApplicationKeepsTheTerminalAndCtrlCEndsBoth) {
    Workspace ws;
    SString bundle = waitingBundle(ws, true, "read");
    std::vector<SString> argv = {bundle, "-qn:tempdir", ws.tempDir(), "-qn:log", ws.log()};
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        execProgram(argv);
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(waitFor(ws.file("started")));
    SString seen;
    ASSERT_EQ(write(master, "typed line\n", 11), 11);
    EXPECT_TRUE(readUntil(master, seen, "read: typed line")) << seen;
    ASSERT_EQ(write(master, "\x03", 1), 1);  // Ctrl-C
    int status = waitExit(pid);
    close(master);
    ASSERT_TRUE(WIFSIGNALED(status)) << status << "\n" << seen;
    EXPECT_EQ(WTERMSIG(status), SIGINT);
    EXPECT_TRUE(ws.leftovers().empty());
}

TEST(Concurrency, FiftyRunsAtOnceAllSucceedAndLeaveNothing) {
    Workspace ws;
    StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    SString bundle =
        BundleBuilder(ws.root())
            .add(FILE_TYPE_INSTRUCTIONS, "i.tag",
                 e2e::instructions({"FIND_JVM 0 0", "JMP0 @N1@ none", "LAUNCH @S2@ 0", ":none"}))
            .add(FILE_TYPE_LAUNCH_SCRIPT, "l.tag",
                 "COMMAND: echo run #RUN# found @JVM_HOME@ %CP%()\nDISPLAY_CONSOLE: 1\n")
            .add(FILE_TYPE_JVM, "j.jvm",
                 e2e::descriptor("J", e2e::kStandInExpected, {ws.file("jdk")}))
            .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "v")
            .add(FILE_TYPE_CLASSPATH_ARCHIVE, "lib.jar", "library")
            .write(ws.file("app.bin"));
    const int runs = 50;
    std::vector<pid_t> pids;
    for (int i = 0; i < runs; ++i) {
        pid_t pid = fork();
        if (pid == 0) {
            SString out = ws.file("out" + std::to_string(i));
            int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
            setenv("RUN", std::to_string(i).c_str(), 1);
            execProgram({bundle, "-qn:silent", "-qn:tempdir", ws.tempDir()});
            _exit(127);
        }
        pids.push_back(pid);
    }
    for (int i = 0; i < runs; ++i) {
        int status = waitExit(pids[i], 120);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << i << ": " << status;
        SString out = readFile(ws.file("out" + std::to_string(i)));
        EXPECT_EQ(out.find("run " + std::to_string(i) + " found " + ws.file("jdk") + " -cp "), 0u)
            << out;
    }
    EXPECT_TRUE(ws.leftovers().empty()) << ws.leftovers().size();
}

}  // namespace
