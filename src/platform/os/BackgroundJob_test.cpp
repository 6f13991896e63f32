#include "platform/os/BackgroundJob.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST(BackgroundJob, TheLoadIsReadable) {
    double load = -1;
    ASSERT_TRUE(machineLoadAverage(load));
    EXPECT_GE(load, 0);
    EXPECT_GE(onlineProcessors(), 1);
}
