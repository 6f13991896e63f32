#include "platform/os/BackgroundJob.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/UniqueFd.h"
#include "platform/os/ProcessControl.h"

namespace {

// The idle I/O class: the job's reads and writes wait for everyone else's.
constexpr int kIoprioWhoProcess = 1;
constexpr int kIoprioClassIdle = 3;
constexpr int kIoprioClassShift = 13;

// A descriptor that becomes readable when `pid` ends (pidfd_open, Linux 5.3); -1 where the
// kernel offers none.
int processEndDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

// When `pid` started, in clock ticks since boot (field 22 of /proc/PID/stat); 0 when it
// cannot be read, as for a process that has gone.
unsigned long long startTime(pid_t pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%ld/stat", static_cast<long>(pid));
    // Read-only: closing it can lose nothing.
    const UniqueFd fd(open(path, O_RDONLY | O_CLOEXEC));
    if (!fd) return 0;
    char text[1024];
    const ssize_t n = read(fd.get(), text, sizeof text - 1);
    if (n <= 0) return 0;
    text[n] = '\0';
    // The command name in parentheses may hold blanks: fields count from its end.
    const char* field = strrchr(text, ')');
    for (int i = 2; field && i < 22; ++i) field = strchr(field + 1, ' ');
    return field ? strtoull(field + 1, nullptr, 10) : 0;
}

// Returns once the process `pid` (which started at `started`) has ended: through its
// descriptor `endFd` when there is one, else by looking every half second.
void waitForEnd(pid_t pid, int endFd, unsigned long long started) {
    if (endFd >= 0) {
        struct pollfd ready = {endFd, POLLIN, 0};
        while (poll(&ready, 1, -1) < 0 && errno == EINTR) {
        }
        return;
    }
    // A process id may be reused: another start time is another process.
    while (kill(pid, 0) == 0 || errno == EPERM) {
        if (startTime(pid) != started) return;
        usleep(500000);
    }
}

// Closes every descriptor but those in `kept`.
void closeOthers(std::vector<int> kept) {
    std::sort(kept.begin(), kept.end());
    int next = 0;
    bool ranges = true;
    for (int fd : kept) {
#ifdef SYS_close_range
        if (ranges && fd > next && syscall(SYS_close_range, next, fd - 1, 0) != 0) ranges = false;
#else
        ranges = false;
#endif
        next = fd + 1;
    }
#ifdef SYS_close_range
    if (ranges && syscall(SYS_close_range, next, ~0u, 0) == 0) return;
#endif
    // Without close_range (before Linux 5.9): every open descriptor as /proc lists it.
    std::vector<int> open;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (struct dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.') open.push_back(atoi(entry->d_name));
        }
        closedir(dir);
    }
    for (int fd : open) {
        // Copies of the launcher's descriptors, written through by nobody here: a failed
        // close only leaves one open.
        if (!std::binary_search(kept.begin(), kept.end(), fd)) close(fd);
    }
}

// Closes every descriptor but the standard streams, `keptFds` and `endFd`: nothing the
// launcher holds (a runtime kept from removal, a lock, the bundle) stays held by the job.
void keepOnly(const std::vector<int>& keptFds, int endFd) {
    std::vector<int> kept = keptFds;
    for (int fd = 0; fd <= 2; ++fd) kept.push_back(fd);
    if (endFd >= 0) kept.push_back(endFd);
    closeOthers(kept);
}

// Puts the process out of everyone's way: a session of its own, no terminal, the root as
// its directory, the default signal actions, the lowest CPU priority and the idle I/O
// class.
void detach() {
    setsid();
    resetSignalState();
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXFSZ, SIGPIPE, SIGCHLD}) {
        sigaction(signal, &action, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // Nothing of the launcher's directory is kept busy (a file system that is unmounted).
    if (chdir("/") != 0) _exit(1);
    setpriority(PRIO_PROCESS, 0, 19);
#ifdef SYS_ioprio_set
    syscall(SYS_ioprio_set, kIoprioWhoProcess, 0, kIoprioClassIdle << kIoprioClassShift);
#endif
    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    for (int fd = 0; fd <= 2 && devNull >= 0; ++fd) dup2(devNull, fd);
    // The standard streams are its copies now: closing the original loses nothing.
    if (devNull > 2) close(devNull);
}

}  // namespace

bool startBackgroundJob(const std::vector<int>& keptFds, const std::function<int()>& work) {
    const pid_t launcher = getpid();
    const unsigned long long started = startTime(launcher);
    const int endFd = processEndDescriptor(launcher);
    // The job is the launcher's grandchild: its child ends at once, so the job is nobody's
    // to wait for, and neither the launcher nor the program it may be replaced by gets a
    // signal or a child to collect when the job ends.
    //
    // The child lets go of the launcher's descriptors before it forks the job and ends, and
    // the launcher waits for it: once this returns, no process of the job holds what the
    // launcher held. (Done in the job, at the lowest priority, it could wait behind a busy
    // machine's work while the launcher's holds kept a runtime from the next upkeep.)
    const pid_t child = fork();
    if (child == 0) {
        keepOnly(keptFds, endFd);
        if (fork() != 0) _exit(0);
        int status = 1;
        try {
            detach();
            waitForEnd(launcher, endFd, started);
            status = work();
        } catch (...) {
            status = 1;
        }
        _exit(status);
    }
    const int error = errno;
    // The launcher's copy of the job's process descriptor: nothing to lose if this fails.
    if (endFd >= 0) close(endFd);
    if (child < 0) {
        errno = error;
        return false;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

bool machineLoadAverage(double& load) {
    // The kernel's own account, as every tool shows it.
    const UniqueFd fd(open("/proc/loadavg", O_RDONLY | O_CLOEXEC));
    if (fd) {
        char text[128];
        const ssize_t n = read(fd.get(), text, sizeof text - 1);
        if (n > 0) {
            text[n] = '\0';
            char* end = nullptr;
            load = strtod(text, &end);
            if (end != text) return true;
        }
    }
    double averages[1];
    if (getloadavg(averages, 1) != 1) return false;
    load = averages[0];
    return true;
}

int onlineProcessors() {
    const long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<int>(count) : 1;
}
