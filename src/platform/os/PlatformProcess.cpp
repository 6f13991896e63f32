// Child processes and the environment: commands run through the shell as children
// (optionally with their output captured), argument vectors run without one, or a command
// replaces the launcher altogether.

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/LauncherException.h"
#include "base/UniqueFd.h"
#include "platform/PlatformImpl.h"
#include "platform/os/ProcessControl.h"
#include "platform/os/RunLock.h"
#include "platform/os/SystemError.h"
#include "platform/shell/DirectCommand.h"

namespace {

// A pipe whose ends are closed when it goes out of scope.
class Pipe {
public:
    Pipe() = default;
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    bool open() { return pipe2(m_fds, O_CLOEXEC) == 0; }
    int readEnd() const { return m_fds[0]; }
    int writeEnd() const { return m_fds[1]; }
    void closeRead() { closeFd(m_fds[0]); }
    void closeWrite() { closeFd(m_fds[1]); }

private:
    static void closeFd(int& fd) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    int m_fds[2] = {-1, -1};
};

// Writes a message to standard error with plain system calls (used in a forked child).
void childError(const char* context, int errorNumber) {
    SString message = systemErrorText(context, errorNumber) + "\n";
    ssize_t ignored = ::write(2, message.data(), message.size());
    (void)ignored;
}

// Appends each stream to its string (a null string drops that stream).
class StringSink : public CaptureSink {
public:
    StringSink(SString* stdOut, SString* errOut) : m_targets{stdOut, errOut} {}
    bool received(int stream, const char* data, size_t size) override {
        if (SString* target = m_targets[stream == 1 ? 0 : 1]) target->append(data, size);
        return true;
    }

private:
    SString* m_targets[2];
};

enum DrainResult { DRAIN_DATA, DRAIN_END, DRAIN_STOP };

// The progress of reading one captured stream: one step per 4096-byte block, the last
// partial or empty block included, as a reader that waits for full blocks would count.
// The count then depends on how much the child wrote, not on how its writes were timed.
class StreamProgress {
public:
    static constexpr size_t kBlock = 4096;

    void read(size_t count) {
        const size_t before = m_bytes / kBlock;
        m_bytes += count;
        PlatformImpl::advanceUIProgress(static_cast<long>(m_bytes / kBlock - before));
    }
    void ended() {
        if (m_ended) return;
        m_ended = true;
        PlatformImpl::advanceUIProgress(1);
    }

private:
    size_t m_bytes = 0;
    bool m_ended = false;
};

// Reads what is available on `fd`, up to one buffer, and hands them to `sink` as stream `stream`.
DrainResult drain(int fd, int stream, CaptureSink& sink, StreamProgress& progress) {
    char buffer[4096];
    ssize_t n;
    do {
        n = read(fd, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return DRAIN_END;
    progress.read(static_cast<size_t>(n));
    return sink.received(stream, buffer, static_cast<size_t>(n)) ? DRAIN_DATA : DRAIN_STOP;
}

double monotonicSeconds() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

// Hands what `fd` holds at this moment to the sink, and no more: a process that outlived
// the child may go on writing. False when the sink asked to stop.
bool drainWhatIsThere(int fd, int stream, CaptureSink& sink, StreamProgress& progress) {
    int available = 0;
    if (ioctl(fd, FIONREAD, &available) != 0) return true;
    size_t left = static_cast<size_t>(available);
    while (left > 0) {
        char buffer[4096];
        ssize_t n = read(fd, buffer, std::min(left, sizeof buffer));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        left -= static_cast<size_t>(n);
        progress.read(static_cast<size_t>(n));
        if (!sink.received(stream, buffer, static_cast<size_t>(n))) return false;
    }
    progress.ended();
    return true;
}

// Collects both output pipes, in arrival order per stream, until each reaches end of file
// or the child has ended (what its descendants write later is not waited for), or the
// child runs out of time, or the sink asks to stop it.
ChildOutcome collectOutput(ChildProcess& child, int outFd, int errFd, CaptureSink& sink,
                           int timeLimitSeconds) {
    struct pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    const double deadline = timeLimitSeconds > 0 ? monotonicSeconds() + timeLimitSeconds : 0;
    double nextEndCheck = monotonicSeconds() + 0.1;
    StreamProgress progress[2];
    int open = 2;
    while (open > 0) {
        // The wait is bounded so that the child's end and the deadline are noticed; once
        // interrupted, the signal is repeated now and then for processes the child started.
        int ready = poll(fds, 2, pendingSignal() != 0 ? 200 : 100);
        if (ready < 0 && errno != EINTR) break;
        const double now = monotonicSeconds();
        if (deadline > 0 && now >= deadline) {
            child.killGroup();
            return CHILD_TIMED_OUT;
        }
        if (ready <= 0 || now >= nextEndCheck) {
            nextEndCheck = now + 0.1;
            if (child.hasEnded()) {
                for (int i = 0; i < 2; ++i) {
                    if (fds[i].fd >= 0 && !drainWhatIsThere(fds[i].fd, i + 1, sink, progress[i])) {
                        return CHILD_STOPPED_BY_SINK;
                    }
                }
                return CHILD_ENDED;
            }
        }
        if (ready <= 0) {
            child.resignal();
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            DrainResult result = drain(fds[i].fd, i + 1, sink, progress[i]);
            if (result == DRAIN_STOP) {
                child.killGroup();
                return CHILD_STOPPED_BY_SINK;
            }
            if (result == DRAIN_END) {
                progress[i].ended();
                fds[i].fd = -1;
                --open;
            }
        }
    }
    return CHILD_ENDED;
}

// In a forked child whose exec failed: tells the launcher through `fd` when the failure was
// arguments too long for the system, and ends the child then.
void reportTooLong(int fd) {
    if (errno != E2BIG) return;
    const char mark = 1;
    ssize_t ignored = ::write(fd, &mark, 1);
    (void)ignored;
    _exit(127);
}

// Whether the child reported through `fd` that its exec failed for too long arguments;
// returns as soon as the child has started its program or given up.
bool execWasTooLong(int fd) {
    char mark;
    ssize_t n;
    do {
        n = read(fd, &mark, 1);
    } while (n < 0 && errno == EINTR);
    return n == 1;
}

// The failure of a command the system refused as too long: run directly (`words`) the
// arguments together are too long; through the shell the command is one argument, which
// the system limits to 128 KiB.
SString tooLongMessage(const SString& program, const std::vector<SString>& words,
                       const SString* command) {
    SString message = systemErrorText("Error running " + program + ": ", E2BIG);
    if (words.empty() && command) {
        return message +
               " (the command needs the shell, which takes it as one argument of at "
               "most 128 KiB; it has " +
               std::to_string(command->size()) + " bytes)";
    }
    size_t total = 0;
    for (const SString& word : words) total += word.size() + 1;
    return message + " (" + std::to_string(words.size()) + " arguments of " +
           std::to_string(total) + " bytes)";
}

// In a forked child: the environment entries, inherited descriptors and file-size bound
// that `limits` give it.
void applyChildLimits(const ChildLimits& limits) {
    for (const SString& entry : limits.environment) {
        const size_t eq = entry.find('=');
        if (eq != SString::npos) setenv(entry.substr(0, eq).c_str(), entry.c_str() + eq + 1, 1);
    }
    for (int fd : limits.inheritedFds) fcntl(fd, F_SETFD, 0);
    if (limits.fileSizeLimit > 0) {
        const struct rlimit bound = {limits.fileSizeLimit, limits.fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &bound);
    }
}

// In a forked child: runs `argv` (the words of `command` when it needs no shell), or
// `command` through the shell, which the command then replaces; never returns. An exec
// refused for too long arguments is told through `tooLongFd`.
[[noreturn]] void execChild(const std::vector<char*>& argv, const SString* command, int tooLongFd) {
    if (!command) {
        // An argument vector: no shell, no word of it is looked at (a script without
        // a #! line still runs through the shell, as its own file).
        execvp(argv[0], argv.data());
        reportTooLong(tooLongFd);
        childError((SString("Error running ") + argv[0] + ": ").c_str(), errno);
        _exit(127);
    }
    errno = 0;
    if (argv[0]) execvp(argv[0], argv.data());
    // Arguments too long to be run directly are too long for the shell as well.
    reportTooLong(tooLongFd);
    // One command takes the shell's place, so it is the launcher's child and dies with it.
    const SString shellText = commandForShell(*command);
    execl("/bin/sh", "sh", "-c", shellText.c_str(), static_cast<char*>(nullptr));
    reportTooLong(tooLongFd);
    childError("Error running /bin/sh: ", errno);
    _exit(127);
}

// Runs the work of `limits` that overlaps the child's run; when it fails, the child's
// group is killed and reaped before the failure goes on.
void overlapWithChild(const ChildLimits& limits, ChildProcess& child) {
    if (!limits.whileRunning) return;
    try {
        limits.whileRunning();
    } catch (...) {
        child.killGroup();
        try {
            child.wait();
        } catch (...) {
        }
        throw;
    }
}

}  // namespace

int readFromFile(FILE* stream, SString* text) {
    std::vector<char> buffer(4096);
    size_t last = 0;
    while (!feof(stream) && !ferror(stream)) {
        last = fread(buffer.data(), 1, buffer.size(), stream);
        if (last > 0 && text) text->append(buffer.data(), last);
        PlatformImpl::advanceUIProgress(1);
    }
    return static_cast<int>(last);
}

int PlatformImpl::executeProcess(const SString& command, const SString& workingDir, bool,
                                 bool capture, SString* stdOut, SString* errOut,
                                 const ChildLimits& limits, ChildOutcome* outcome) {
    if (outcome) *outcome = CHILD_ENDED;
    // Plain words need no shell in between; anything else, and a program that cannot be
    // started directly, goes through the shell (which reports failures its way).
    std::vector<SString> words;
    const bool simple = splitForDirectStart(command, words);
    return runChild(simple ? words : std::vector<SString>(), &command, workingDir, capture, stdOut,
                    errOut, limits, outcome);
}

int PlatformImpl::replaceProcess(const std::vector<SString>& arguments, const SString& keptEntry) {
    if (arguments.empty()) return EINVAL;
    // What would make exec fail for certain (no such file, no permission, a file system
    // mounted without exec) is found before anything of the run is removed.
    if (access(arguments[0].c_str(), X_OK) != 0) return errno;
    std::vector<char*> argv;
    for (const SString& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    cleanupBeforeReplacement(keptEntry);
    // Output the status display has buffered would be lost with the process image.
    fflush(nullptr);
    execv(argv[0], argv.data());
    return errno;
}

int PlatformImpl::handOver(const SString& command, const SString& workingDir,
                           const std::vector<int>& inheritedFds) {
    std::vector<SString> words;
    if (!splitForDirectStart(command, words)) words = {"/bin/sh", "-c", command};
    SString program = words[0];
    if (program.find('/') == SString::npos) program = findProgramOnPath(program);
    if (program.empty()) return ENOENT;
    if (access(program.c_str(), X_OK) != 0) return errno;
    UniqueFd directory;
    if (!workingDir.empty()) {
        directory.reset(open(workingDir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!directory) return errno;
    }
    UniqueFd before(open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    std::vector<char*> argv;
    for (SString& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    cleanupBeforeReplacement(SString());
    if (!signalsForReplacement()) return EINTR;
    // Output the status display has buffered would be lost with the process image.
    fflush(nullptr);
    int error = 0;
    if (directory && fchdir(directory.get()) != 0) error = errno;
    if (error == 0) {
        for (int fd : inheritedFds) fcntl(fd, F_SETFD, 0);
        execv(program.c_str(), argv.data());
        error = errno;
        for (int fd : inheritedFds) fcntl(fd, F_SETFD, FD_CLOEXEC);
        if (before && fchdir(before.get()) != 0) error = errno;
    }
    restoreLauncherSignals();
    return error;
}

int PlatformImpl::executeArguments(const std::vector<SString>& arguments, const SString& workingDir,
                                   bool capture, SString* stdOut, SString* errOut,
                                   const ChildLimits& limits, ChildOutcome* outcome) {
    if (outcome) *outcome = CHILD_ENDED;
    if (arguments.empty()) return 0;
    return runChild(arguments, nullptr, workingDir, capture, stdOut, errOut, limits, outcome);
}

int PlatformImpl::runChild(std::vector<SString> words, const SString* command,
                           const SString& workingDir, bool capture, SString* stdOut,
                           SString* errOut, const ChildLimits& limits, ChildOutcome* outcome) {
    // Only the child moves to the working directory: the launcher's own directory, against
    // which its log file and the user's relative paths are read, never changes.
    UniqueFd directory;
    if (!workingDir.empty()) {
        directory.reset(open(workingDir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!directory) {
            throw LauncherException(
                systemErrorText("Error setting working directory: " + workingDir + " ", errno));
        }
    }
    Pipe outPipe, errPipe;
    if (capture && (!outPipe.open() || !errPipe.open())) {
        throw LauncherException(
            systemErrorText("Couldn't create either stdout or stderr pipe: ", errno));
    }
    // Told by the child when the system refused its arguments as too long (E2BIG); closed
    // unread when the program starts.
    Pipe tooLong;
    if (!tooLong.open()) {
        throw LauncherException(systemErrorText("Error creating a pipe: ", errno));
    }
    std::vector<char*> argv;
    for (SString& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    ChildProcess child;
    pid_t pid = child.start(!capture);
    if (pid < 0) throw LauncherException(systemErrorText("Error forking new process: ", errno));
    if (pid == 0) {
        applyChildLimits(limits);
        if (directory && fchdir(directory.get()) != 0) {
            int error = errno;
            childError(("Error setting working directory: " + workingDir + " ").c_str(), error);
            _exit(127);
        }
        if (capture && (dup2(outPipe.writeEnd(), 1) < 0 || dup2(errPipe.writeEnd(), 2) < 0)) {
            childError("Error capturing stdout or stderr in new process: ", errno);
            _exit(127);
        }
        execChild(argv, command, tooLong.writeEnd());
    }
    tooLong.closeWrite();
    const bool startedDirectly = !command || !words.empty();
    if (execWasTooLong(tooLong.readEnd())) {
        child.wait();
        throw LauncherException(tooLongMessage(startedDirectly ? words[0] : SString("/bin/sh"),
                                               startedDirectly ? words : std::vector<SString>(),
                                               command));
    }
    overlapWithChild(limits, child);
    ChildOutcome ended = CHILD_ENDED;
    if (capture) {
        outPipe.closeWrite();
        errPipe.closeWrite();
        StringSink strings(stdOut, errOut);
        ended = collectOutput(child, outPipe.readEnd(), errPipe.readEnd(),
                              limits.sink ? *limits.sink : strings, limits.timeLimitSeconds);
    }
    if (!child.wait()) {
        throw LauncherException(systemErrorText("Error waiting for child process: ", errno));
    }
    if (outcome) *outcome = ended;
    return child.status();
}

void PlatformImpl::checkInterrupted() {
    throwIfSignalled();
}

SString PlatformImpl::getEnvironmentVariable(const SString& name) {
    const char* value = getenv(name.c_str());
    return value ? SString(value) : SString();
}

void PlatformImpl::setEnvironmentVariable(const SString& name, const SString& value) {
    setenv(name.c_str(), value.c_str(), 1);
}
