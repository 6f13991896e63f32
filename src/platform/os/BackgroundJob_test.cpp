#include "platform/os/BackgroundJob.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/UniqueFd.h"
#include "support/TestKit.h"

namespace {

// Reads `fd` until its end or `seconds` without news.
SString readAll(int fd, int seconds) {
    SString text;
    char buffer[256];
    struct pollfd ready = {fd, POLLIN, 0};
    while (poll(&ready, 1, seconds * 1000) > 0) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

bool sameFile(int fd, const char* path) {
    struct stat a, b;
    return fstat(fd, &a) == 0 && stat(path, &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

}  // namespace

TEST(BackgroundJob, StartsDetachedOnceTheLauncherHasEnded) {
    testkit::ScopedTempDir dir;
    const SString ended = dir.file("launcher-ended");
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    // A forked child stands in for the launcher.
    const pid_t launcher = fork();
    if (launcher == 0) {
        close(report[0]);
        const int unkept = open("/dev/null", O_RDONLY);
        const pid_t session = getsid(0);
        const bool started = startBackgroundJob({report[1]}, [&] {
            SString facts;
            facts += testkit::exists(ended) ? "after " : "before ";
            facts += getpriority(PRIO_PROCESS, 0) == 19 ? "nice19 " : "nice? ";
            facts += getsid(0) != session ? "session " : "same-session ";
            facts +=
                sameFile(0, "/dev/null") && sameFile(1, "/dev/null") && sameFile(2, "/dev/null")
                    ? "devnull "
                    : "streams? ";
            facts += fcntl(unkept, F_GETFD) < 0 ? "closed" : "inherited";
            return write(report[1], facts.data(), facts.size()) ==
                           static_cast<ssize_t>(facts.size())
                       ? 7
                       : 1;
        });
        usleep(200000);
        testkit::writeFile(ended, "");
        _exit(started ? 0 : 1);
    }
    close(report[1]);
    EXPECT_EQ(testkit::waitExit(launcher), 0);
    EXPECT_EQ(readAll(report[0], 20), "after nice19 session devnull closed");
    close(report[0]);
}

TEST(BackgroundJob, ThrowingWorkEndsItsProcessOnly) {
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t launcher = fork();
    if (launcher == 0) {
        close(report[0]);
        startBackgroundJob({report[1]}, [&]() -> int {
            if (write(report[1], "ran", 3) != 3) return 1;
            throw 1;
        });
        // Only the launcher gets here: a job that came back would say it once more.
        _exit(write(report[1], "L", 1) == 1 ? 0 : 1);
    }
    close(report[1]);
    EXPECT_EQ(testkit::waitExit(launcher), 0);
    EXPECT_EQ(readAll(report[0], 20), "Lran");
    close(report[0]);
}

// What the launcher holds (here a lock, as on a cached runtime in use) is let go by the
// job before startBackgroundJob returns, not whenever the job, at the lowest priority,
// gets to run: the launcher's next step, or its end, frees it for others at once.
TEST(BackgroundJob, TheLaunchersHoldsAreFreeOnceTheJobIsStarted) {
    testkit::ScopedTempDir dir;
    const SString held = dir.file("held");
    testkit::writeFile(held, "");
    const pid_t launcher = fork();
    if (launcher == 0) {
        int free = 0;
        for (int i = 0; i < 20; ++i) {
            // Read-only descriptors: closing them only lets their locks go.
            UniqueFd hold(open(held.c_str(), O_RDONLY));
            if (!hold || flock(hold.get(), LOCK_SH) != 0) _exit(2);
            if (!startBackgroundJob({}, [] { return 0; })) _exit(3);
            hold.reset(-1);
            const UniqueFd other(open(held.c_str(), O_RDONLY | O_CLOEXEC));
            if (flock(other.get(), LOCK_EX | LOCK_NB) == 0) ++free;
        }
        _exit(free);
    }
    // Its exit status: how many of the 20 holds were free at once.
    const int status = testkit::waitExit(launcher);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 20);
}

TEST(BackgroundJob, TheLoadIsReadable) {
    double load = -1;
    ASSERT_TRUE(machineLoadAverage(load));
    EXPECT_GE(load, 0);
    EXPECT_GE(onlineProcessors(), 1);
}
