// Hostile and odd inputs end to end: directories where files are expected, endless and
// oversized inputs, and children that misbehave. Each run must end, with a clear message,
// and leave nothing behind.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "e2e/E2eHelpers.h"
#include "inputfiles/FileIndexEntry.h"

using namespace testkit;
using e2e::Workspace;

namespace {

// These tests signal or measure the launcher's own process, which under emulation is the
// emulator's.
#define SKIP_UNDER_EMULATION() \
    if (stubIsEmulated()) GTEST_SKIP() << "the emulator stands in for the launcher's process"

// Runs `bundle` like Workspace::run, but gives up after `seconds`.
RunResult runWithin(const Workspace& ws, const SString& bundle, const std::vector<SString>& args,
                    int seconds = 30, const std::map<SString, SString>& env = {}) {
    std::vector<SString> argv = {bundle, "-qn:tempdir", ws.tempDir(), "-qn:log", ws.log()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::map<SString, SString> environment = env;
    environment.emplace("TMPDIR", ws.tempDir());
    return testkit::run(argv, ws.root(), environment, seconds);
}

// AddressSanitizer reserves a large shadow of its own, and under an emulator the peak is
// the emulator's: peak sizes say nothing then.
bool peakIsMeaningful() {
#ifdef __SANITIZE_ADDRESS__
    return false;
#else
    return !testkit::stubIsEmulated();
#endif
}

// The high-water mark of resident memory (VmHWM) of the running process `pid`, in KiB; 0
// once it has gone.
long highWaterKiB(pid_t pid) {
    const SString status = readFile("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("VmHWM:");
    return at == SString::npos ? 0 : atol(status.c_str() + at + 6);
}

// Runs `argv` with its output discarded and returns its peak resident size in KiB. Read
// from /proc while it runs its program: the rusage of a child counts the copy of this
// test process it was before its exec, however large that is.
long peakKiB(const std::vector<SString>& argv, const SString& cwd) {
    int started[2];
    if (pipe2(started, O_CLOEXEC) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, 0);
        dup2(devNull, 1);
        dup2(devNull, 2);
        if (chdir(cwd.c_str()) != 0) _exit(126);
        const std::vector<SString> words = testkit::withEmulator(argv);
        std::vector<char*> raw;
        for (const SString& a : words) raw.push_back(const_cast<char*>(a.c_str()));
        raw.push_back(nullptr);
        execv(raw[0], raw.data());
        _exit(127);
    }
    // The pipe closes when the exec has replaced this process's copy.
    close(started[1]);
    char ignored;
    while (read(started[0], &ignored, 1) > 0) {
    }
    close(started[0]);
    long peak = 0;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        peak = std::max(peak, highWaterKiB(pid));
        usleep(1000);
    }
    return peak;
}

// A launcher started in the background with its output in `ws`/out.txt.
// No core files; `fileSizeLimit` bytes, when not 0, is the most it may write to a file.
pid_t startLauncher(const Workspace& ws, const SString& bundle, const std::vector<SString>& args,
                    rlim_t fileSizeLimit = 0) {
    std::vector<SString> argv = {bundle, "-qn:tempdir", ws.tempDir(), "-qn:log", ws.log()};
    argv.insert(argv.end(), args.begin(), args.end());
    const SString out = ws.file("out.txt");
    pid_t pid = fork();
    if (pid == 0) {
        struct rlimit none = {0, 0};
        setrlimit(RLIMIT_CORE, &none);
        if (fileSizeLimit > 0) {
            struct rlimit size = {fileSizeLimit, fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &size);
        }
        int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(fd, 1);
        dup2(fd, 2);
        std::vector<char*> raw;
        for (const SString& a : argv) raw.push_back(const_cast<char*>(a.c_str()));
        raw.push_back(nullptr);
        execv(raw[0], raw.data());
        _exit(127);
    }
    return pid;
}

// A process that writes `line` into the pipe `fifo` every 20 ms, for ever.
pid_t slowWriter(const SString& fifo, const SString& line) {
    pid_t pid = fork();
    if (pid == 0) {
        int fd = open(fifo.c_str(), O_WRONLY);
        for (;;) {
            if (write(fd, line.data(), line.size()) < 0) _exit(0);
            usleep(20000);
        }
    }
    return pid;
}

SString plainBundle(const Workspace& ws, const std::vector<SString>& instructionLines,
                    const SString& hint);

// Whether `pid` has ended (a zombie that waits to be collected counts as ended).
bool processGone(pid_t pid, int seconds = 10) {
    for (int i = 0; i < seconds * 100; ++i) {
        SString stat = readFile("/proc/" + std::to_string(pid) + "/stat");
        if (stat.empty() || stat.find(") Z") != SString::npos) return true;
        usleep(10000);
    }
    return false;
}

// A bundle whose verification runs `ws`/jdk/bin/java: it notes its process id in
// `ws`/verifier.pid and then waits.
SString hangingVerifierBundle(const Workspace& ws) {
    writeFile(ws.file("jdk/bin/java"),
              "#!/bin/sh\necho $$ > " + ws.file("verifier.pid") + "\nexec sleep 60\n", 0755);
    return plainBundle(ws, {"FIND_JVM 0 0", "LAUNCH @S2@ 0"}, ws.file("jdk"));
}

pid_t readPid(const SString& path) {
    for (int i = 0; i < 500 && readFile(path).empty(); ++i) usleep(10000);
    return atoi(readFile(path).c_str());
}

SString plainBundle(const Workspace& ws, const std::vector<SString>& instructionLines,
                    const SString& hint) {
    return BundleBuilder(ws.root())
        .add(FILE_TYPE_INSTRUCTIONS, "i.tag", e2e::instructions(instructionLines), 1)
        .add(FILE_TYPE_LAUNCH_SCRIPT, "l.tag", "COMMAND: echo launched\nDISPLAY_CONSOLE: 1\n", 2)
        .add(FILE_TYPE_JVM, "s.jvm", e2e::descriptor("S", e2e::kStandInExpected, {hint}), 5)
        .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "v", 6)
        .write(ws.file("app.bin"));
}

TEST(DirectoryAsFile, EveryReaderFailsWithItsUnreadableFileMessage) {
    Workspace ws;
    StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    const SString dir = ws.file("adir");
    makeDirs(dir);
    SString bundle = plainBundle(ws, {"FIND_JVM 0 0", "LAUNCH @S1@ 0"}, ws.file("jdk"));
    writeFile(ws.file("jvm.tag"), "ACTION: SEARCH\nJVM: " + dir + "\n");
    writeFile(ws.file("verify.tag"), "ACTION: VERIFY_JVM\nVERIFY_JVM_FILE: " + dir +
                                         "\nVERIFY_JVM_HOME: " + ws.file("jdk") + "\n");
    struct Case {
        std::vector<SString> args;
        SString expected;
    };
    const std::vector<Case> cases = {
        {{"-qn:in", dir}, "Unable to open input file specified on the command line"},
        {{"-qn:in", ws.file("jvm.tag")},
         "Error loading JVM file.Unable to load input file: " + dir},
        {{"-qn:in", ws.file("verify.tag")}, "Unable to load input file: " + dir},
        // LAUNCH given the JVM home instead of the descriptor.
        {{}, "Unable to load input file: " + ws.file("jdk")},
    };
    for (const Case& c : cases) {
        RunResult r = runWithin(ws, bundle, c.args, 20);
        EXPECT_NE(r.out.find(c.expected), SString::npos) << r.out << r.err;
        EXPECT_EQ(r.err.find("killed after timeout"), SString::npos) << c.expected;
    }
}

TEST(DirectoryAsFile, InstallerLeavingADirectoryNamedJvmFails) {
    Workspace ws;
    SString bundle = BundleBuilder(ws.root())
                         .add(FILE_TYPE_INSTRUCTIONS, "i.tag",
                              e2e::instructions({"INSTALL_JVM 0", "JMP0 @N1@ none", "INSTALLED",
                                                 ":none", "NOT_INSTALLED"}))
                         .add(FILE_TYPE_JVM_INSTALLER, "install.sh", "#!/bin/sh\nmkdir jvm\n")
                         .write(ws.file("app.bin"));
    RunResult r = runWithin(ws, bundle, {"-qn:silent"}, 20);
    EXPECT_EQ(r.err.find("killed after timeout"), SString::npos);
    EXPECT_NE(ws.logText().find("ERROR: Unable to load input file: " + ws.tempDir() + "/qnj"),
              SString::npos)
        << ws.logText();
    EXPECT_TRUE(ws.leftovers().empty());
}

TEST(LargeInput, LongValueCostsLittleMoreThanItsSize) {
    Workspace ws;
    const size_t size = 48u << 20;
    writeFile(ws.file("big.tag"), "ACTION: NONE\nBIG: " + SString(size, 'x') + "\n");
    long peak = peakKiB({qnlaunchPath(), "-qn:in", ws.file("big.tag")}, ws.root());
    EXPECT_GT(peak, 0);
    if (peakIsMeaningful()) {
        EXPECT_LT(peak, static_cast<long>(2 * size / 1024)) << peak << " KiB";
    }
}

TEST(LargeInput, EndlessInputFileIsRefusedPastTheLimit) {
    Workspace ws;
    SString bundle = plainBundle(ws, {"NEVER_RUN"}, ws.file("none"));
    RunResult r = runWithin(ws, bundle, {"-qn:in", "/dev/zero"}, 60);
    EXPECT_NE(r.out.find("/dev/zero is larger than 64 MiB, the limit for tag files."),
              SString::npos)
        << r.out.substr(0, 300) << r.err.substr(0, 300);
    writeFile(ws.file("in.tag"), "ACTION: SEARCH\nINSTRUCTIONS: /dev/zero\n");
    r = runWithin(ws, bundle, {"-qn:in", ws.file("in.tag")}, 60);
    EXPECT_NE(r.out.find("Error loading instructions file./dev/zero is larger than 64 MiB"),
              SString::npos)
        << r.out.substr(0, 300);
}

TEST(LargeInput, VerifierFloodingItsOutputIsRefusedWithLittleMemory) {
    Workspace ws;
    writeFile(ws.file("jdk/bin/java"), "#!/bin/sh\nexec yes 1739021872\n", 0755);
    writeFile(ws.file("d.jvm"), e2e::descriptor("D", e2e::kStandInExpected, {}));
    writeFile(ws.file("v.tag"),
              "ACTION: VERIFY_JVM\nLOGFILE: " + ws.log() + "\nVERIFY_JVM_FILE: " +
                  ws.file("d.jvm") + "\nVERIFY_JVM_HOME: " + ws.file("jdk") +
                  "\nVERIFY_CLASSPATH: \"\"\"v.jar\"\"\"\nVERIFY_CLASS_NAME: Verify\n");
    long peak = peakKiB({qnlaunchPath(), "-qn:in", ws.file("v.tag")}, ws.root());
    if (peakIsMeaningful()) {
        // Under emulation the peak is the emulator's, which takes about 30 MiB of its own.
        EXPECT_LT(peak, (stubIsEmulated() ? 48 : 32) * 1024) << peak << " KiB";
    }
    RunResult r = runWithin(ws, qnlaunchPath(), {"-qn:in", ws.file("v.tag")}, 60);
    EXPECT_EQ(r.out, "0\n");
    EXPECT_NE(ws.logText().find("WARNING: The JVM at " + ws.file("jdk") +
                                " is not used: its verification printed more than 1 MiB."),
              SString::npos)
        << ws.logText().substr(0, 2000);
}

TEST(LargeInput, CapturedOutputGoesToTheLogAsItArrivesWithLittleMemory) {
    SKIP_UNDER_EMULATION();
    Workspace ws;
    StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    // 64 MiB on standard output with standard error written in between.
    writeFile(ws.file("app.sh"),
              "#!/bin/sh\n"
              "echo first-error >&2\n"
              "head -c 67108864 /dev/zero | tr '\\0' o\n"
              "echo last-error >&2\n",
              0755);
    SString bundle =
        BundleBuilder(ws.root())
            .add(FILE_TYPE_INSTRUCTIONS, "i.tag",
                 e2e::instructions({"FIND_JVM 0 0", "LAUNCH @S2@ 0"}), 1)
            .add(FILE_TYPE_LAUNCH_SCRIPT, "l.tag", "COMMAND: " + ws.file("app.sh") + "\n", 2)
            .add(FILE_TYPE_JVM, "s.jvm",
                 e2e::descriptor("S", e2e::kStandInExpected, {ws.file("jdk")}), 5)
            .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "v", 6)
            .write(ws.file("app.bin"));
    long peak = peakKiB({bundle, "-qn:tempdir", ws.tempDir(), "-qn:log", ws.log()}, ws.root());
    EXPECT_GT(peak, 0);
    if (peakIsMeaningful()) {
        EXPECT_LT(peak, 16 * 1024) << peak << " KiB";
    }
    const SString log = ws.logText();
    const size_t out = log.find("Output from the launch script execution\nStdOut:\nooo");
    ASSERT_NE(out, SString::npos) << log.substr(0, 2000);
    const SString tail = "\nErrOut:\nfirst-error\nlast-error\n\n";
    const size_t header = sizeof "Output from the launch script execution\nStdOut:\n" - 1;
    EXPECT_EQ(log.find(tail), out + header + (64u << 20));
    EXPECT_TRUE(ws.leftovers().empty());
}

TEST(Interruption, TermWhileAnEndlessInputFileIsReadEndsTheRunAtOnce) {
    SKIP_UNDER_EMULATION();
    // One stream of lines, one endless line: the reader is inside a line or between lines.
    for (const SString line : {"A: 1\n", "xxxx"}) {
        Workspace ws;
        SString bundle = plainBundle(ws, {"NEVER_RUN"}, ws.file("none"));
        const SString fifo = ws.file("in.fifo");
        ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
        pid_t writer = slowWriter(fifo, line);
        pid_t launcher = startLauncher(ws, bundle, {"-qn:in", fifo});
        usleep(300000);
        kill(launcher, SIGTERM);
        // Within a second, with a margin for a loaded machine.
        int status = waitExit(launcher, 2);
        kill(writer, SIGKILL);
        waitpid(writer, nullptr, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << status << readFile(ws.file("out.txt"));
        EXPECT_EQ(SIGTERM, WTERMSIG(status));
        EXPECT_TRUE(ws.leftovers().empty());
    }
}

TEST(Interruption, InputFileFromAPipeIsRead) {
    Workspace ws;
    SString bundle = plainBundle(ws, {"NEVER_RUN"}, ws.file("none"));
    const SString fifo = ws.file("in.fifo");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    pid_t writer = fork();
    if (writer == 0) {
        int fd = open(fifo.c_str(), O_WRONLY);
        const char text[] = "ACTION: SEARCH\n";
        _exit(write(fd, text, sizeof text - 1) > 0 ? 0 : 1);
    }
    RunResult r = runWithin(ws, bundle, {"-qn:in", fifo}, 30);
    waitpid(writer, nullptr, 0);
    EXPECT_EQ("0\n", r.out) << r.err;
}

TEST(Interruption, QuitDuringVerificationCleansUpAndEndsTheVerifier) {
    SKIP_UNDER_EMULATION();
    Workspace ws;
    SString bundle = hangingVerifierBundle(ws);
    pid_t launcher = startLauncher(ws, bundle, {});
    pid_t verifier = readPid(ws.file("verifier.pid"));
    ASSERT_GT(verifier, 0) << readFile(ws.file("out.txt"));
    EXPECT_FALSE(ws.leftovers().empty());  // the extracted verifier archive
    kill(launcher, SIGQUIT);
    int status = waitExit(launcher, 20);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(SIGQUIT, WTERMSIG(status));
    EXPECT_TRUE(processGone(verifier));
    EXPECT_TRUE(ws.leftovers().empty());
    EXPECT_NE(ws.logText().find("WARNING: Ended by signal 3."), SString::npos);
}

TEST(Interruption, FileSizeLimitDuringExtractionCleansUpAndEndsBySigxfsz) {
    SKIP_UNDER_EMULATION();
    Workspace ws;
    SString bundle = BundleBuilder(ws.root())
                         .add(FILE_TYPE_INSTRUCTIONS, "i.tag", e2e::instructions({"ILAUNCH 5 0"}))
                         .add(FILE_TYPE_LAUNCH_SCRIPT, "l.tag", "COMMAND: echo run %CP%()\n")
                         .add(FILE_TYPE_JVM, "j.jvm", "CLASSPATH: \"-cp \"\n", 5)
                         .add(FILE_TYPE_CLASSPATH_ARCHIVE, "lib.jar", SString(4 << 20, 'j'))
                         .write(ws.file("app.bin"));
    pid_t launcher = startLauncher(ws, bundle, {}, 1 << 20);
    int status = waitExit(launcher, 30);
    ASSERT_TRUE(WIFSIGNALED(status)) << status << readFile(ws.file("out.txt"));
    EXPECT_EQ(SIGXFSZ, WTERMSIG(status));
    EXPECT_TRUE(ws.leftovers().empty());
}

// Sets the modification time of every entry in `dir` an hour back, as if left long ago.
void ageEntries(const SString& dir) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = time(nullptr) - 3600;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    for (const SString& name : listDir(dir)) {
        utimensat(AT_FDCWD, (dir + "/" + name).c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
}

TEST(Interruption, RunKilledOutrightEndsItsChildAndTheNextRunSweepsItsFiles) {
    SKIP_UNDER_EMULATION();
    // Killed while the verifier runs, and while the application runs.
    for (const bool duringApplication : {false, true}) {
        Workspace ws;
        SString bundle;
        SString pidFile;
        if (duringApplication) {
            StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
            pidFile = ws.file("app.pid");
            writeFile(ws.file("app.sh"), "#!/bin/sh\necho $$ > " + pidFile + "\nexec sleep 60\n",
                      0755);
            bundle = BundleBuilder(ws.root())
                         .add(FILE_TYPE_INSTRUCTIONS, "i.tag",
                              e2e::instructions({"FIND_JVM 0 0", "LAUNCH @S2@ 0"}), 1)
                         .add(FILE_TYPE_LAUNCH_SCRIPT, "l.tag",
                              "COMMAND: " + ws.file("app.sh") + "\n", 2)
                         .add(FILE_TYPE_JVM, "s.jvm",
                              e2e::descriptor("S", e2e::kStandInExpected, {ws.file("jdk")}), 5)
                         .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "v", 6)
                         .write(ws.file("app.bin"));
        } else {
            bundle = hangingVerifierBundle(ws);
            pidFile = ws.file("verifier.pid");
        }
        pid_t launcher = startLauncher(ws, bundle, {});
        pid_t child = readPid(pidFile);
        ASSERT_GT(child, 0) << readFile(ws.file("out.txt"));
        kill(launcher, SIGKILL);
        waitExit(launcher, 20);
        EXPECT_TRUE(processGone(child)) << duringApplication;
        ASSERT_FALSE(ws.leftovers().empty());

        // A later run in the same directory removes what was left once it is old enough.
        ageEntries(ws.tempDir());
        StandInJvm::create(ws.file("jdk2"), e2e::kStandInProperties);
        RunResult r = runWithin(ws, plainBundle(ws, {"FIND_JVM 0 0"}, ws.file("jdk2")), {}, 30);
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_TRUE(ws.leftovers().empty()) << duringApplication << " " << ws.leftovers()[0];
    }
}

}  // namespace
