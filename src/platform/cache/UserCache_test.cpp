// Where the per-user cache lives, how its entries are written and read, and the upkeep
// that bounds it.

#include "platform/cache/UserCache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "launcher/Launcher.h"
#include "support/TestKit.h"

using testkit::exists;
using testkit::listDir;
using testkit::permissions;
using testkit::readFile;
using testkit::ScopedEnv;
using testkit::writeFile;

namespace {

class UserCacheTest : public ::testing::Test {
protected:
    UserCacheTest() { newRun(); }
    ~UserCacheTest() override { RunStatePiece::resetAll(); }

    // A new run, logging to the test's file.
    void newRun() {
        RunStatePiece::resetAll();
        Launcher::setLogFileName(m_dir.file("log"));
    }

    // The cache directory chosen with these variables (null: unset).
    SString chosen(const char* own, const char* xdg, const char* home) {
        ScopedEnv a("QNLAUNCH_CACHE", own), b("XDG_CACHE_HOME", xdg), c("HOME", home);
        newRun();
        return UserCache::directory();
    }

    // Sets the last use of `path` to `daysAgo` days before now.
    static void usedDaysAgo(const SString& path, double daysAgo) {
        struct timespec times[2];
        times[0].tv_sec = times[1].tv_sec = time(nullptr) - static_cast<time_t>(daysAgo * 86400);
        times[0].tv_nsec = times[1].tv_nsec = 0;
        utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
    }

    testkit::LauncherState m_state;
    testkit::ScopedTempDir m_dir;
};

}  // namespace

TEST_F(UserCacheTest, LocationFollowsTheVariablesInOrder) {
    const SString xdg = m_dir.file("xdg"), home = m_dir.file("home");
    EXPECT_EQ(chosen(m_dir.file("own").c_str(), xdg.c_str(), home.c_str()), m_dir.file("own"));
    EXPECT_EQ(chosen(nullptr, xdg.c_str(), home.c_str()), xdg + "/qnlaunch");
    EXPECT_EQ(chosen(nullptr, "relative/is/ignored", home.c_str()), home + "/.cache/qnlaunch");
    EXPECT_EQ(chosen("", nullptr, home.c_str()), home + "/.cache/qnlaunch");
    EXPECT_EQ(chosen("off", xdg.c_str(), home.c_str()), "");
    EXPECT_EQ(chosen(nullptr, nullptr, nullptr), "");
    // Each directory made on the way is private.
    EXPECT_EQ(permissions(home + "/.cache/qnlaunch"), 0700u);
    EXPECT_EQ(permissions(home + "/.cache"), 0700u);
    EXPECT_EQ(permissions(xdg + "/qnlaunch"), 0700u);

    // A relative name is taken from the current directory.
    testkit::makeDirs(m_dir.file("cwd"));
    ASSERT_EQ(chdir(m_dir.file("cwd").c_str()), 0);
    EXPECT_EQ(chosen("rel/", nullptr, nullptr), m_dir.file("cwd") + "/rel");
}

TEST_F(UserCacheTest, APlaceThatCannotBeMadeMeansNoCacheAndAWarning) {
    writeFile(m_dir.file("file"), "not a directory");
    EXPECT_EQ(chosen(m_dir.file("file/cache").c_str(), nullptr, nullptr), "");
    EXPECT_NE(
        readFile(m_dir.file("log"))
            .find("WARNING: The cache directory " + m_dir.file("file/cache") + " cannot be made: "),
        SString::npos)
        << readFile(m_dir.file("log"));
    // Entries are neither read nor written then.
    SString content;
    EXPECT_FALSE(UserCache::writeEntry("jvm", "x", "text"));
    EXPECT_FALSE(UserCache::readEntry("jvm", "x", content));
    EXPECT_EQ(UserCache::entryDirectory("archives", "x"), "");
}

TEST_F(UserCacheTest, EntriesAreWrittenWholeUnderTheirNames) {
    ScopedEnv own("QNLAUNCH_CACHE", m_dir.file("cache").c_str());
    ASSERT_TRUE(UserCache::available());
    ASSERT_TRUE(UserCache::writeEntry("jvm", "one", "first"));
    ASSERT_TRUE(UserCache::writeEntry("jvm", "one", "second text"));
    SString content;
    ASSERT_TRUE(UserCache::readEntry("jvm", "one", content));
    EXPECT_EQ(content, "second text");
    EXPECT_FALSE(UserCache::readEntry("jvm", "two", content));
    EXPECT_EQ(listDir(m_dir.file("cache/jvm")), std::vector<SString>{"one"});
    EXPECT_EQ(permissions(m_dir.file("cache/jvm/one")), 0600u);

    // A file that is never committed leaves nothing behind.
    {
        CacheFile file(m_dir.file("cache/jvm"));
        ASSERT_TRUE(file.valid());
        EXPECT_TRUE(exists(file.temporaryPath()));
    }
    EXPECT_EQ(listDir(m_dir.file("cache/jvm")), std::vector<SString>{"one"});

    // A link in an entry's place is not followed.
    writeFile(m_dir.file("elsewhere"), "not ours");
    ASSERT_EQ(symlink(m_dir.file("elsewhere").c_str(), m_dir.file("cache/jvm/link").c_str()), 0);
    EXPECT_FALSE(UserCache::readEntry("jvm", "link", content));
    const SString directory = UserCache::entryDirectory("archives", "group");
    EXPECT_EQ(directory, m_dir.file("cache/archives/group"));
    EXPECT_EQ(permissions(directory), 0700u);
}

TEST_F(UserCacheTest, UpkeepExpiresOldEntriesAndEvictsTheLeastRecentlyUsed) {
    ScopedEnv own("QNLAUNCH_CACHE", m_dir.file("cache").c_str());
    ScopedEnv bound("QNLAUNCH_CACHE_SIZE", "10K");
    ASSERT_TRUE(UserCache::available());
    const SString cache = m_dir.file("cache");
    // Four 4 KiB entries of different ages, one of them used by this run.
    for (const char* name : {"old", "older", "recent"}) {
        writeFile(UserCache::entryDirectory("archives", name) + "/a.jar", SString(4096, 'x'));
    }
    writeFile(UserCache::entryDirectory("archives", "now") + "/a.jar", SString(4096, 'x'));
    usedDaysAgo(cache + "/archives/recent", 1);
    usedDaysAgo(cache + "/archives/old", 5);
    usedDaysAgo(cache + "/archives/older", 10);
    ASSERT_TRUE(UserCache::writeEntry("jvm", "expired", "answers"));
    usedDaysAgo(cache + "/jvm/expired", 31);
    writeFile(cache + "/jvm/.tmp-left", "from a crashed run");
    usedDaysAgo(cache + "/jvm/.tmp-left", 2);
    writeFile(cache + "/jvm/.tmp-busy", "being written");

    UserCache::upkeep();
    EXPECT_EQ(listDir(cache + "/archives"), (std::vector<SString>{"now", "recent"}));
    EXPECT_EQ(listDir(cache + "/jvm"), std::vector<SString>{".tmp-busy"});

    // Without writes, upkeep waits a day since the last one.
    usedDaysAgo(cache + "/archives/recent", 40);
    newRun();
    ASSERT_TRUE(UserCache::available());
    UserCache::upkeep();
    EXPECT_TRUE(exists(cache + "/archives/recent"));
    usedDaysAgo(cache + "/.upkeep", 2);
    UserCache::upkeep();
    EXPECT_FALSE(exists(cache + "/archives/recent"));
}

TEST(CacheSizeBound, ReadsANumberWithAnOptionalUnit) {
    struct Case {
        const char* text;
        uint64_t bound;
    };
    for (const Case& c :
         {Case{nullptr, 1ull << 30}, Case{"2048", 2048}, Case{"3k", 3072}, Case{"5M", 5ull << 20},
          Case{"2G", 2ull << 30}, Case{"ten", 1ull << 30}, Case{"10MB", 1ull << 30}}) {
        ScopedEnv bound("QNLAUNCH_CACHE_SIZE", c.text);
        EXPECT_EQ(cacheSizeBound(), c.bound) << (c.text ? c.text : "unset");
    }
}
