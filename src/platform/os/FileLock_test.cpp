#include "platform/os/FileLock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "support/TestKit.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(FileLock, AWaitEndsWhenTheHolderLetsGoAndGivesUpAfterItsTime) {
    testkit::ScopedTempDir tmp;
    const SString path = tmp.file("lock");

    // Free: taken at once, and the file is made.
    UniqueFd held = waitForLockFile(path, 5);
    ASSERT_TRUE(held);
    EXPECT_TRUE(testkit::exists(path));

    // Held by another holder (each open is one): given up after the time, as when the
    // holder is a stopped process.
    auto start = std::chrono::steady_clock::now();
    UniqueFd second = waitForLockFile(path, 1);
    EXPECT_FALSE(second);
    EXPECT_EQ(errno, EWOULDBLOCK);
    EXPECT_GE(secondsSince(start), 0.9);
    EXPECT_LT(secondsSince(start), 5.0);
    held.reset(-1);

    // Held by a process that ends after 0.3 s: the wait takes it then, long before its time.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        UniqueFd lock = lockFile(path, LockOpen::Existing);
        char byte = lock ? 1 : 0;
        if (write(ready[1], &byte, 1) != 1) _exit(1);
        usleep(300000);
        _exit(0);
    }
    // The pipe's ends are checked like any descriptor the test writes through.
    EXPECT_EQ(close(ready[1]), 0);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    EXPECT_EQ(close(ready[0]), 0);
    ASSERT_EQ(byte, 1);
    start = std::chrono::steady_clock::now();
    second = waitForLockFile(path, 30);
    EXPECT_TRUE(second);
    EXPECT_GE(secondsSince(start), 0.1);
    EXPECT_LT(secondsSince(start), 10.0);
    int status = 0;
    waitpid(holder, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(FileLock, NoLockThroughALinkOrWhereTheFileCannotBeMade) {
    testkit::ScopedTempDir tmp;
    testkit::writeFile(tmp.file("target"), "");
    ASSERT_EQ(symlink(tmp.file("target").c_str(), tmp.file("link").c_str()), 0);
    // Errors other than a held lock end the wait at once.
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(waitForLockFile(tmp.file("link"), 5));
    EXPECT_FALSE(waitForLockFile(tmp.file("target") + "/lock", 5));
    EXPECT_LT(secondsSince(start), 1.0);
}

}  // namespace
