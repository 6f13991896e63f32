// Child processes and the environment: commands run through the shell as children
// (optionally with their output captured), argument vectors run without one, or a command
// replaces the launcher altogether.

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/LauncherException.h"
#include "base/UniqueFd.h"
#include "platform/CmdLine.h"
#include "platform/PlatformImpl.h"
#include "platform/ProcessControl.h"
#include "platform/ShellWords.h"
#include "platform/SystemError.h"

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

// Reads what is available on `fd` into `text`; false at end of file.
bool drain(int fd, SString* text) {
    char buffer[4096];
    ssize_t n;
    do {
        n = read(fd, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    PlatformImpl::advanceUIProgress(1);
    if (n <= 0) return false;
    if (text) text->append(buffer, static_cast<size_t>(n));
    return true;
}

// Collects both output pipes until each reaches end of file, in arrival order per stream.
void collectOutput(ChildProcess& child, int outFd, int errFd, SString* stdOut, SString* errOut) {
    struct pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    SString* targets[2] = {stdOut, errOut};
    int open = 2;
    while (open > 0) {
        // Once interrupted, the signal is repeated now and then for processes the child
        // started after it went out and that still hold the pipes.
        int ready = poll(fds, 2, pendingSignal() != 0 ? 200 : -1);
        if (ready == 0) {
            child.resignal();
            continue;
        }
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                if (!drain(fds[i].fd, targets[i])) {
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
    }
}

void replaceProcess(const SString& command) {
    CmdLine cmdLine;
    cmdLine.parse(command);
    if (cmdLine.getOptionCount() == 0) return;
    std::vector<char*> argv;
    for (int i = 0; i < cmdLine.getOptionCount(); ++i) {
        argv.push_back(const_cast<char*>(cmdLine.getOption(i)));
    }
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
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
                                 bool capture, bool inChild, SString* stdOut, SString* errOut) {
    if (!inChild) {
        replaceProcess(command);
        return 0;
    }
    // Plain words need no shell in between; anything else, and a program that cannot be
    // started directly, goes through the shell (which reports failures its way).
    std::vector<SString> words;
    const bool simple = splitSimpleCommand(command, words);
    return runChild(simple ? words : std::vector<SString>(), &command, workingDir, capture, stdOut,
                    errOut);
}

int PlatformImpl::executeArguments(const std::vector<SString>& arguments, const SString& workingDir,
                                   bool capture, SString* stdOut, SString* errOut) {
    if (arguments.empty()) return 0;
    return runChild(arguments, nullptr, workingDir, capture, stdOut, errOut);
}

int PlatformImpl::runChild(std::vector<SString> words, const SString* command,
                           const SString& workingDir, bool capture, SString* stdOut,
                           SString* errOut) {
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
    std::vector<char*> argv;
    for (SString& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    ChildProcess child;
    pid_t pid = child.start(!capture);
    if (pid < 0) throw LauncherException(systemErrorText("Error forking new process: ", errno));
    if (pid == 0) {
        if (directory && fchdir(directory.get()) != 0) {
            int error = errno;
            childError(("Error setting working directory: " + workingDir + " ").c_str(), error);
            _exit(127);
        }
        if (capture && (dup2(outPipe.writeEnd(), 1) < 0 || dup2(errPipe.writeEnd(), 2) < 0)) {
            childError("Error capturing stdout or stderr in new process: ", errno);
            _exit(127);
        }
        if (!command) {
            // An argument vector: no shell, no word of it is looked at (a script without
            // a #! line still runs through the shell, as its own file).
            execvp(argv[0], argv.data());
            childError(("Error running " + words[0] + ": ").c_str(), errno);
            _exit(127);
        }
        if (!words.empty()) execv(argv[0], argv.data());
        execl("/bin/sh", "sh", "-c", command->c_str(), static_cast<char*>(nullptr));
        childError("Error running /bin/sh: ", errno);
        _exit(127);
    }
    if (capture) {
        outPipe.closeWrite();
        errPipe.closeWrite();
        collectOutput(child, outPipe.readEnd(), errPipe.readEnd(), stdOut, errOut);
    }
    if (!child.wait()) {
        throw LauncherException(systemErrorText("Error waiting for child process: ", errno));
    }
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
