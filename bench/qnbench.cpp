// Measuring aid for the benchmark scripts: runs the launcher's own walker and child
// capture in a loop, times commands and reads a process's peak memory.
//
//   qnbench walk ROOT NAME         scan ROOT with the disk-search walker, print the finds
//   qnbench capture RUNS           median ms of a captured "echo" child, launcher vs direct
//   qnbench time RUNS CMD...       median wall ms of CMD (output discarded)
//   qnbench times CMD...           wall ms and CPU ms (user + system, CMD and the children
//                                  it waited for) of one run of CMD (output discarded)
//   qnbench peakmem CMD...         peak resident memory (KiB) of CMD itself, not its children
//                                  nor the program it hands its process over to
//   qnbench copy kernel|rw SRC DST one copy of SRC to a new DST, by copy_file_range or by
//                                  read and write through a 1 MiB buffer; prints wall ms
//   qnbench handover exec|fork CMD...  runs CMD by exec'ing it, or by forking, exec'ing
//                                  it in the child and waiting: timed from outside, the
//                                  two differ by what a launcher saves when it execs
//   qnbench sweep RUNS DIR         median us of the dead-run sweep of DIR vs one listing of it

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/PlatformImpl.h"
#include "platform/os/FindFiles.h"
#include "platform/os/RunLock.h"

namespace {

double nowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

class CountFinds : public FileFindListener {
public:
    bool foundFile(const SString&) override {
        ++count;
        return false;
    }
    long count = 0;
};

int walk(const char* root, const char* name) {
    PlatformImpl::setSilent(true);
    StringDeque names;
    names.push_back(name);
    CountFinds finds;
    FindFiles finder(names, finds);
    finder.process(root);
    printf("%ld\n", finds.count);
    return 0;
}

// The same child, started the plain way: fork, exec the shell, read its output, wait.
void runDirect(const char* command) {
    int fds[2];
    if (pipe(fds) != 0) exit(1);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        execl("/bin/sh", "sh", "-c", command, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char buffer[4096];
    while (read(fds[0], buffer, sizeof buffer) > 0) {
    }
    close(fds[0]);
    waitpid(pid, nullptr, 0);
}

int capture(int runs) {
    PlatformImpl::setSilent(true);
    const char* command = "echo hello";
    std::vector<double> launcher, direct;
    for (int i = 0; i < runs; ++i) {
        double t0 = nowMs();
        SString out, err;
        PlatformImpl::executeProcess(command, SString(), false, true, &out, &err);
        double t1 = nowMs();
        runDirect(command);
        double t2 = nowMs();
        launcher.push_back(t1 - t0);
        direct.push_back(t2 - t1);
    }
    printf("%.3f %.3f\n", median(launcher), median(direct));
    return 0;
}

pid_t spawn(char** argv) {
    pid_t pid = fork();
    if (pid == 0) {
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        execvp(argv[0], argv);
        _exit(127);
    }
    return pid;
}

int timeCommand(int runs, char** argv) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        double t0 = nowMs();
        waitpid(spawn(argv), nullptr, 0);
        times.push_back(nowMs() - t0);
    }
    printf("%.3f\n", median(times));
    return 0;
}

// CPU time moves less than wall time on a machine shared with other work, so both are
// recorded.
int timesCommand(char** argv) {
    double t0 = nowMs();
    pid_t pid = spawn(argv);
    int status;
    rusage usage;
    if (wait4(pid, &status, 0, &usage) != pid) return 1;
    double wall = nowMs() - t0;
    double cpu = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                 (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    printf("%.3f %.3f\n", wall, cpu);
    return 0;
}

// Reads VmHWM of `pid`; 0 when it can no longer be read.
long peakKiB(pid_t pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/status", static_cast<int>(pid));
    FILE* f = fopen(path, "r");
    if (!f) return 0;
    char line[256];
    long kib = 0;
    while (fgets(line, sizeof line, f)) {
        if (strncmp(line, "VmHWM:", 6) == 0) kib = atol(line + 6);
    }
    fclose(f);
    return kib;
}

// The program /proc shows `pid` running; empty once it has gone.
std::string programOf(pid_t pid) {
    char path[64], target[PATH_MAX];
    snprintf(path, sizeof path, "/proc/%d/exe", static_cast<int>(pid));
    const ssize_t n = readlink(path, target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

int peakmem(char** argv) {
    char command[PATH_MAX];
    const std::string wanted = realpath(argv[0], command) ? command : argv[0];
    pid_t pid = spawn(argv);
    long peak = 0;
    bool seen = false;
    for (;;) {
        // Read before reaping: the status file vanishes with the process. Only while the
        // process runs the command itself: a launcher that hands its process over to the
        // JVM is measured up to that moment, and the JVM's memory is not counted.
        const std::string program = programOf(pid);
        if (program == wanted) {
            seen = true;
            peak = std::max(peak, peakKiB(pid));
        } else if (seen) {
            int status;
            waitpid(pid, &status, 0);
            break;
        }
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) break;
        usleep(200);
    }
    printf("%ld\n", peak);
    return 0;
}

int copyFile(const char* how, const char* source, const char* target) {
    double t0 = nowMs();
    int in = open(source, O_RDONLY | O_CLOEXEC);
    int out = open(target, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (in < 0 || out < 0) return 1;
    if (strcmp(how, "kernel") == 0) {
        for (;;) {
            ssize_t n = copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
            if (n < 0) return 1;
            if (n == 0) break;
        }
    } else {
        std::vector<char> buffer(1 << 20);
        for (;;) {
            ssize_t n = read(in, buffer.data(), buffer.size());
            if (n < 0) return 1;
            if (n == 0) break;
            for (ssize_t done = 0; done < n;) {
                ssize_t w = write(out, buffer.data() + done, static_cast<size_t>(n - done));
                if (w <= 0) return 1;
                done += w;
            }
        }
    }
    close(in);
    if (close(out) != 0) return 1;
    printf("%.3f\n", nowMs() - t0);
    return 0;
}

int handover(const char* how, char** argv) {
    if (strcmp(how, "exec") == 0) {
        execvp(argv[0], argv);
        return 127;
    }
    pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[0], argv);
        _exit(127);
    }
    int status;
    if (waitpid(pid, &status, 0) != pid) return 1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Reads every name in `dir` once, as the cheapest look at a directory can.
long listOnce(const char* dir) {
    DIR* stream = opendir(dir);
    if (!stream) exit(1);
    long names = 0;
    while (readdir(stream)) ++names;
    closedir(stream);
    return names;
}

int sweep(int runs, const char* dir) {
    std::vector<double> swept, listed;
    long names = 0;
    for (int i = 0; i < runs; ++i) {
        double t0 = nowMs();
        if (sweepDeadRuns(dir) != 0) {
            fprintf(stderr, "%s held leftovers to sweep\n", dir);
            return 1;
        }
        double t1 = nowMs();
        names = listOnce(dir);
        double t2 = nowMs();
        swept.push_back((t1 - t0) * 1e3);
        listed.push_back((t2 - t1) * 1e3);
    }
    printf("%.1f %.1f %ld\n", median(swept), median(listed), names);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && strcmp(argv[1], "walk") == 0) return walk(argv[2], argv[3]);
    if (argc >= 3 && strcmp(argv[1], "capture") == 0) return capture(atoi(argv[2]));
    if (argc >= 4 && strcmp(argv[1], "time") == 0) return timeCommand(atoi(argv[2]), argv + 3);
    if (argc >= 5 && strcmp(argv[1], "copy") == 0) return copyFile(argv[2], argv[3], argv[4]);
    if (argc >= 4 && strcmp(argv[1], "handover") == 0) return handover(argv[2], argv + 3);
    if (argc >= 3 && strcmp(argv[1], "times") == 0) return timesCommand(argv + 2);
    if (argc >= 3 && strcmp(argv[1], "peakmem") == 0) return peakmem(argv + 2);
    if (argc >= 4 && strcmp(argv[1], "sweep") == 0) return sweep(atoi(argv[2]), argv[3]);
    fprintf(
        stderr,
        "usage: qnbench walk ROOT NAME | capture RUNS | time RUNS CMD... | times CMD... | "
        "peakmem CMD... | sweep RUNS DIR | copy kernel|rw SRC DST | handover exec|fork CMD...\n");
    return 2;
}
