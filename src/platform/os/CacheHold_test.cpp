// An entry of the cache that a run holds survives the upkeep of other runs, for as long as
// the run or a program it started lives; then it goes like any other.

#include "platform/os/CacheHold.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "launcher/Launcher.h"
#include "platform/cache/UserCache.h"
#include "platform/os/HeldDirectory.h"
#include "support/TestKit.h"

using testkit::exists;
using testkit::ScopedEnv;

namespace {

class CacheHoldTest : public ::testing::Test {
protected:
    CacheHoldTest() {
        RunStatePiece::resetAll();
        Launcher::setLogFileName(m_dir.file("log"));
    }
    ~CacheHoldTest() override { RunStatePiece::resetAll(); }

    // An entry of 4 KiB last used `daysAgo` days ago.
    SString entry(const char* name, double daysAgo) {
        const SString path = UserCache::entryDirectory("runtimes", name);
        testkit::writeFile(path + "/lib", SString(4096, 'x'));
        struct timespec times[2];
        times[0].tv_sec = times[1].tv_sec = time(nullptr) - static_cast<time_t>(daysAgo * 86400);
        times[0].tv_nsec = times[1].tv_nsec = 0;
        utimensat(AT_FDCWD, path.c_str(), times, 0);
        return path;
    }
    // Runs the upkeep as it runs after a run that wrote to the cache.
    static void upkeep() {
        UserCache::noteWritten(1);
        UserCache::upkeep();
    }

    testkit::LauncherState m_state;
    testkit::ScopedTempDir m_dir;
    ScopedEnv m_cache{"QNLAUNCH_CACHE", m_dir.file("cache").c_str()};
};

}  // namespace

TEST_F(CacheHoldTest, AHeldEntryOutlivesExpiryAndTheSizeBoundUntilItIsLetGo) {
    ScopedEnv bound("QNLAUNCH_CACHE_SIZE", "3K");
    ASSERT_TRUE(UserCache::available());
    const SString expired = entry("expired", 40);
    const SString oldest = entry("oldest", 3);
    entry("newer", 2);
    ASSERT_TRUE(holdCacheEntry(HeldDirectory::open(expired)));
    ASSERT_TRUE(holdCacheEntry(HeldDirectory::open(oldest)));
    UniqueFd lock;
    EXPECT_FALSE(lockForRemoval(expired, lock));

    // Over the bound, the least recently used entry that no run holds goes.
    upkeep();
    EXPECT_EQ(testkit::listDir(m_dir.file("cache/runtimes")),
              (std::vector<SString>{"expired", "oldest"}));

    releaseCacheHolds();
    EXPECT_TRUE(lockForRemoval(expired, lock));
    lock.reset(-1);
    upkeep();
    EXPECT_FALSE(exists(expired));
    EXPECT_FALSE(exists(oldest));
}

// The hold passes to the programs the run starts: the application keeps its runtime held
// after the launcher is gone.
TEST_F(CacheHoldTest, AProgramTheRunStartedKeepsHoldingTheEntry) {
    ASSERT_TRUE(UserCache::available());
    const SString path = entry("runtime", 40);
    ASSERT_TRUE(holdCacheEntry(HeldDirectory::open(path)));
    const pid_t child = fork();
    if (child == 0) {
        execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(child, 0);
    releaseCacheHolds();
    upkeep();
    EXPECT_TRUE(exists(path));
    kill(child, SIGKILL);
    testkit::waitExit(child);
    upkeep();
    EXPECT_FALSE(exists(path));
}
