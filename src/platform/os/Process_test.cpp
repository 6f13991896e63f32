#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "base/LauncherException.h"
#include "platform/PlatformImpl.h"
#include "platform/os/ProcessControl.h"
#include "support/StateAccess.h"
#include "support/TestKit.h"

namespace {

struct Captured {
    SString out, err;
};

Captured runCaptured(const SString& command, const SString& workingDir = SString()) {
    Captured c;
    PlatformImpl::executeProcess(command, workingDir, false, true, &c.out, &c.err);
    return c;
}

SString currentDir() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? buffer : "";
}

SString realPath(const SString& path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) ? buffer : "";
}

// Ends the whole test binary if a test hangs instead of letting it block forever.
class Watchdog {
public:
    explicit Watchdog(unsigned seconds) { alarm(seconds); }
    ~Watchdog() { alarm(0); }
};

// Runs `replace` in a forked copy of this process; returns what it wrote to standard output
// and its exit status (3 when `replace` returned).
template <typename Replace>
std::pair<SString, int> outputInFork(Replace replace) {
    int fds[2];
    if (pipe(fds) != 0) return {"", -1};
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], 1);
        close(fds[1]);
        replace();
        _exit(3);
    }
    close(fds[1]);
    SString output;
    char buffer[256];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) output.append(buffer, n);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return {output, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
}

}  // namespace

TEST(ExecuteProcess, EmptyWorkingDirectoryKeepsTheCurrentOne) {
    testkit::LauncherState state;
    const SString before = currentDir();
    EXPECT_EQ(before + "\n", runCaptured("pwd").out);
    EXPECT_EQ(before, currentDir());
}

TEST(ExecuteProcess, OnlyTheChildMovesToTheWorkingDirectory) {
    testkit::LauncherState state;
    testkit::ScopedTempDir tmp;
    const SString dir = realPath(tmp.path());
    const SString before = currentDir();
    EXPECT_EQ(dir + "\n", runCaptured("pwd", dir).out);
    EXPECT_EQ(before, currentDir());
}

TEST(ExecuteProcess, UnusableWorkingDirectoryFailsBeforeAnyChildStarts) {
    testkit::LauncherState state;
    testkit::ScopedTempDir tmp;
    testkit::writeFile(tmp.file("file"), "");
    const SString marker = tmp.file("marker");
    const std::pair<SString, int> cases[] = {{tmp.file("missing"), ENOENT},
                                             {tmp.file("file/sub"), ENOTDIR}};
    const SString before = currentDir();
    for (const auto& [dir, error] : cases) {
        for (bool capture : {false, true}) {
            SString out, err;
            try {
                PlatformImpl::executeProcess("touch " + marker, dir, false, capture, &out, &err);
                ADD_FAILURE() << "no exception for " << dir;
            } catch (const LauncherException& e) {
                EXPECT_EQ("Error setting working directory: " + dir + " " + strerror(error),
                          e.getMessage());
            }
            EXPECT_FALSE(testkit::exists(marker));
            EXPECT_EQ(before, currentDir());
        }
    }
}

TEST(ExecuteProcess, CapturesBothStreamsWholeAndUnchanged) {
    testkit::LauncherState state;
    for (int size : {0, 1, 4095, 4096, 4097, 8192, 65537}) {
        const SString command = "head -c " + std::to_string(size) + " /dev/zero | tr '\\0' o; " +
                                "head -c " + std::to_string(size + 1) +
                                " /dev/zero | tr '\\0' e >&2";
        Captured c = runCaptured(command);
        EXPECT_EQ(SString(size, 'o'), c.out) << size;
        EXPECT_EQ(SString(size + 1, 'e'), c.err) << size;
    }
}

TEST(ExecuteProcess, AppendsToTheCallersStrings) {
    testkit::LauncherState state;
    SString out = "before:", err = "earlier:";
    PlatformImpl::executeProcess("printf 'a\\nb'; printf 'c' >&2", "", false, true, &out, &err);
    EXPECT_EQ("before:a\nb", out);
    EXPECT_EQ("earlier:c", err);
}

TEST(ExecuteProcess, FullStreamsAtOnceAreCapturedWithoutStalling) {
    testkit::LauncherState state;
    Watchdog watchdog(120);
    // Both streams well past a pipe's capacity, written at the same time, each in order.
    Captured c = runCaptured("seq 1 200000 >&2 & seq 1 200000; wait");
    SString expected;
    for (int i = 1; i <= 200000; ++i) expected += std::to_string(i) + "\n";
    ASSERT_GT(expected.size(), 1u << 20);
    EXPECT_TRUE(c.out == expected) << "stdout size " << c.out.size();
    EXPECT_TRUE(c.err == expected) << "stderr size " << c.err.size();
}

TEST(ExecuteProcess, ReturnsOnlyAfterTheChildHasEnded) {
    testkit::LauncherState state;
    testkit::ScopedTempDir tmp;
    const SString marker = tmp.file("marker");
    PlatformImpl::executeProcess("sleep 0.3; echo done > " + marker, "", false, false, nullptr,
                                 nullptr);
    EXPECT_EQ("done\n", testkit::readFile(marker));
    // With capture, a child that closes its output early is still waited for.
    runCaptured("exec >&- 2>&-; sleep 0.3; echo again > " + marker);
    EXPECT_EQ("again\n", testkit::readFile(marker));
}

TEST(ExecuteProcess, FailingCommandsEndQuietlyWithTheShellsMessageCaptured) {
    testkit::LauncherState state;
    EXPECT_NO_THROW(runCaptured("exit 7"));
    Captured c = runCaptured("qn_no_such_command_x1");
    EXPECT_EQ("", c.out);
    EXPECT_NE(SString::npos, c.err.find("qn_no_such_command_x1")) << c.err;
}

TEST(ExecuteProcess, ProgressCountsBlocksOfEachStreamWhateverTheTiming) {
    testkit::LauncherState state(SString(), false);
    PlatformImpl::hideUI();  // count without printing dots
    // One step per 4096-byte block of each stream, the last partial or empty block
    // included; output written in pieces over time counts as the same output at once.
    const std::pair<const char*, long> cases[] = {
        {"true", 2},
        {"printf x", 2},
        {"printf y >&2", 2},
        {"for i in 1 2 3 4 5; do printf x; printf y >&2; sleep 0.05; done", 2},
        {"head -c 4095 /dev/zero", 2},
        {"head -c 8192 /dev/zero", 4},
        {"head -c 20000 /dev/zero", 6},
        {"for i in 1 2 3 4 5; do head -c 1000 /dev/zero; sleep 0.05; done", 3},
        {"head -c 10000 /dev/zero; head -c 5000 /dev/zero >&2", 5},
    };
    for (const auto& [command, steps] : cases) {
        testkit::StateAccess::setProgress(0);
        runCaptured(command);
        EXPECT_EQ(steps, testkit::StateAccess::progress()) << command;
    }
}

TEST(ExecuteProcess, TimeLimitKillsTheWholeProcessGroup) {
    testkit::LauncherState state;
    testkit::ScopedTempDir tmp;
    Watchdog watchdog(60);
    const SString pidFile = tmp.file("pid");
    SString out, err;
    ChildLimits limits;
    limits.timeLimitSeconds = 1;
    ChildOutcome outcome = CHILD_ENDED;
    PlatformImpl::executeProcess("sleep 120 & echo $! > " + pidFile + "; echo started; wait", "",
                                 false, true, &out, &err, limits, &outcome);
    EXPECT_EQ(CHILD_TIMED_OUT, outcome);
    EXPECT_EQ("started\n", out);
    pid_t descendant = atoi(testkit::readFile(pidFile).c_str());
    ASSERT_GT(descendant, 0);
    // Killed with its group; it may linger as a zombie of the reaper for a moment.
    bool gone = false;
    for (int i = 0; i < 200 && !gone; ++i) {
        SString state = testkit::readFile("/proc/" + std::to_string(descendant) + "/stat");
        gone = state.empty() || state.find(") Z") != SString::npos;
        if (!gone) usleep(10000);
    }
    EXPECT_TRUE(gone);
}

TEST(ExecuteProcess, SinkThatRefusesMoreStopsTheChild) {
    testkit::LauncherState state;
    Watchdog watchdog(60);
    struct FirstBytes : CaptureSink {
        SString kept;
        bool received(int stream, const char* data, size_t size) override {
            if (stream != 1 || kept.size() >= 10000) return false;
            kept.append(data, size);
            return true;
        }
    } sink;
    ChildLimits limits;
    limits.sink = &sink;
    ChildOutcome outcome = CHILD_ENDED;
    PlatformImpl::executeProcess("yes", "", false, true, nullptr, nullptr, limits, &outcome);
    EXPECT_EQ(CHILD_STOPPED_BY_SINK, outcome);
    EXPECT_GE(sink.kept.size(), 10000u);
    EXPECT_EQ(0u, sink.kept.find("y\ny\n"));
}

TEST(ExecuteProcess, DescendantHoldingTheOutputOpenDoesNotKeepTheCallWaiting) {
    testkit::LauncherState state;
    testkit::ScopedTempDir tmp;
    Watchdog watchdog(60);
    const SString pidFile = tmp.file("pid");
    // Plain, and detached into a session of its own like a daemon.
    for (const SString start : {"sleep 120 &", "setsid sleep 120 &"}) {
        auto begin = std::chrono::steady_clock::now();
        Captured c = runCaptured(start + " echo $! > " + pidFile + "; echo out; echo err >&2");
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(30)) << start;
        EXPECT_EQ("out\n", c.out) << start;
        EXPECT_EQ("err\n", c.err) << start;
        pid_t descendant = atoi(testkit::readFile(pidFile).c_str());
        if (descendant > 0) kill(descendant, SIGKILL);
    }
}

TEST(ReadFromFile, ReadsToTheEndAndReturnsTheLastCount) {
    testkit::LauncherState state(SString(), false);
    PlatformImpl::hideUI();
    struct Case {
        size_t size;
        int last;
        long reads;
    };
    for (const Case& c : {Case{0, 0, 1}, Case{4096, 0, 2}, Case{5000, 904, 2}, Case{8193, 1, 3}}) {
        FILE* stream = tmpfile();
        ASSERT_NE(nullptr, stream);
        const SString content(c.size, 'r');
        fwrite(content.data(), 1, content.size(), stream);
        rewind(stream);
        SString text = "pre";
        testkit::StateAccess::setProgress(0);
        EXPECT_EQ(c.last, readFromFile(stream, &text)) << c.size;
        EXPECT_EQ("pre" + content, text);
        EXPECT_EQ(c.reads, testkit::StateAccess::progress()) << c.size;
        rewind(stream);
        EXPECT_EQ(c.last, readFromFile(stream, nullptr));
        fclose(stream);
    }
}

TEST(ExecuteProcess, LongCommandsRunWithoutTheShellOrFailWithTheReason) {
    testkit::LauncherState state;
    const SString longWord(131071, 'a');
    Captured direct = runCaptured("basename " + longWord);
    EXPECT_EQ(direct.out, longWord + "\n");
    EXPECT_EQ(direct.err, "");
    try {
        runCaptured("basename " + longWord + " 2>&1");
        ADD_FAILURE() << "no failure";
    } catch (const LauncherException& e) {
        EXPECT_EQ(e.getMessage().find("Error running /bin/sh: Argument list too long (the "
                                      "command needs the shell, which takes it as one argument "
                                      "of at most 128 KiB; it has 131085 bytes)"),
                  0u)
            << e.getMessage();
    }
    // Too long even for a program started directly: about 2 MB in all.
    std::vector<SString> tooMany = {"/bin/true"};
    for (int i = 0; i < 40; ++i) tooMany.push_back(longWord);
    try {
        PlatformImpl::executeArguments(tooMany, SString(), true, nullptr, nullptr);
        ADD_FAILURE() << "no failure";
    } catch (const LauncherException& e) {
        EXPECT_EQ(e.getMessage(),
                  "Error running /bin/true: Argument list too long (41 arguments of 5242890 "
                  "bytes)");
    }
}

// Replacing the process takes the arguments as they are, and removes the run's temporary
// files first, but only once the program is known to be executable.
TEST(ReplaceProcess, ArgumentsArriveAsTheyAreAndTheRunsFilesGoFirst) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    PlatformImpl::setSystemTempDir(dir.path());
    testkit::ScopedEnv tmpdir("TMPDIR", dir.path().c_str());
    const SString file = PlatformImpl::createTempFile();
    const SString kept = PlatformImpl::createTempSubDirectory();
    PlatformImpl::removeDirFromCleanupList(kept);
    // A program that cannot be executed leaves everything in place.
    EXPECT_EQ(PlatformImpl::replaceProcess({dir.file("none"), "x"}, kept), ENOENT);
    EXPECT_TRUE(testkit::exists(file));

    const std::pair<SString, int> result = outputInFork([&] {
        PlatformImpl::replaceProcess({"/usr/bin/printf", "[%s]", "", "a\\", "x\\\"y", "l\nf"},
                                     kept);
    });
    EXPECT_EQ(result, std::make_pair(SString("[][a\\][x\\\"y][l\nf]"), 0));
    EXPECT_FALSE(testkit::exists(file));
    EXPECT_TRUE(testkit::exists(kept));
}

TEST(Environment, SetValuesReachChildrenAndEmptyValuesKeepTheVariable) {
    testkit::LauncherState state;
    testkit::ScopedEnv restore("QN_PLATFORM_TEST_VAR", nullptr);
    EXPECT_EQ("", PlatformImpl::getEnvironmentVariable("QN_PLATFORM_TEST_VAR"));
    const SString probe =
        "printf '%s|%s' \"${QN_PLATFORM_TEST_VAR+set}\" \"$QN_PLATFORM_TEST_VAR\"";
    EXPECT_EQ("|", runCaptured(probe).out);

    PlatformImpl::setEnvironmentVariable("QN_PLATFORM_TEST_VAR", "a b=c $d");
    EXPECT_EQ("a b=c $d", PlatformImpl::getEnvironmentVariable("QN_PLATFORM_TEST_VAR"));
    EXPECT_EQ("set|a b=c $d", runCaptured(probe).out);

    PlatformImpl::setEnvironmentVariable("QN_PLATFORM_TEST_VAR", "");
    EXPECT_EQ("", PlatformImpl::getEnvironmentVariable("QN_PLATFORM_TEST_VAR"));
    EXPECT_NE(nullptr, getenv("QN_PLATFORM_TEST_VAR"));
    EXPECT_EQ("set|", runCaptured(probe).out);
}

// Handing the process over: the command runs as this very process, in its working
// directory, with the descriptors asked for, once the run's files are gone.
TEST(HandOver, TheCommandBecomesTheProcess) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    PlatformImpl::setSystemTempDir(dir.path());
    testkit::ScopedEnv tmpdir("TMPDIR", dir.path().c_str());
    const SString file = PlatformImpl::createTempFile();
    EXPECT_EQ(PlatformImpl::handOver(dir.file("none") + " x", SString(), {}), ENOENT);
    EXPECT_TRUE(testkit::exists(file));
    testkit::makeDirs(dir.file("work"));
    const int kept = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int unkept = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const std::pair<SString, int> result = outputInFork([&] {
        printf("%ld\n", static_cast<long>(getpid()));
        // A command that needs the shell goes through it, as the same process.
        PlatformImpl::handOver("echo $$ \"$(pwd)\"; test -e /proc/self/fd/" + std::to_string(kept) +
                                   " && echo kept; test -e /proc/self/fd/" +
                                   std::to_string(unkept) + " || echo closed",
                               dir.file("work"), {kept});
    });
    close(kept);
    close(unkept);
    const std::vector<SString> lines = testkit::splitLines(result.first);
    ASSERT_EQ(lines.size(), 4u) << result.first;
    EXPECT_EQ(lines[1], lines[0] + " " + realPath(dir.file("work")));
    EXPECT_EQ(lines[2], "kept");
    EXPECT_EQ(lines[3], "closed");
    EXPECT_EQ(result.second, 0);
    EXPECT_FALSE(testkit::exists(file));
}

TEST(HandOver, ASignalThatCameFirstKeepsTheLauncher) {
    testkit::LauncherState state;
    const std::pair<SString, int> result = outputInFork([] {
        installSignalHandlers();
        raise(SIGTERM);
        _exit(PlatformImpl::handOver("echo replaced", SString(), {}) == EINTR ? 4 : 5);
    });
    EXPECT_EQ(result, std::make_pair(SString(), 4));
}

TEST(ExecuteProcess, WorkWhileTheChildRunsOverlapsIt) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    const SString flag = dir.file("flag");
    ChildLimits limits;
    limits.whileRunning = [&] { testkit::writeFile(flag, ""); };
    SString out;
    // The child waits for what the launcher does meanwhile.
    PlatformImpl::executeProcess("while [ ! -e " + flag + " ]; do sleep 0.05; done; echo seen",
                                 SString(), false, true, &out, nullptr, limits);
    EXPECT_EQ(out, "seen\n");

    // What the work throws ends the child and passes on.
    limits.whileRunning = [] { throw LauncherException("failed meanwhile"); };
    Watchdog watchdog(60);
    const time_t start = time(nullptr);
    EXPECT_THROW(
        PlatformImpl::executeProcess("sleep 30", SString(), false, true, nullptr, nullptr, limits),
        LauncherException);
    EXPECT_LT(time(nullptr) - start, 20);
}

TEST(ExecuteProcess, FilesTheChildWritesAreBounded) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    ChildLimits limits;
    limits.fileSizeLimit = 4096;
    const SString command = "head -c 10000 /dev/zero > " + dir.file("out");
    const int status =
        PlatformImpl::executeProcess(command, SString(), false, true, nullptr, nullptr, limits);
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_LE(testkit::readFile(dir.file("out")).size(), 4096u);
    EXPECT_EQ(PlatformImpl::executeProcess(command, SString(), false, true, nullptr, nullptr), 0);
}
