#include "platform/os/RunLock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "platform/PlatformImpl.h"
#include "support/TestKit.h"

using testkit::exists;
using testkit::writeFile;

namespace {

// Sets the modification time of `path` itself (not of a link's target) an hour back.
void makeOld(const SString& path) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = time(nullptr) - 3600;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW)) << path;
}

bool isLockedByOthers(const SString& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool locked = flock(fd, LOCK_SH | LOCK_NB) != 0;
    close(fd);
    return locked;
}

TEST(RunLock, SweepTakesOnlyOldUnlockedEntriesOfTheUserAndFollowsNoLink) {
    testkit::ScopedTempDir tmp;
    const SString dir = tmp.file("t");
    writeFile(tmp.file("keep/precious"), "mine");
    // A dead run: its lock file, a tree holding a link that leads out, a file.
    writeFile(dir + "/qnjDeadR1", "");
    writeFile(dir + "/qnjDeadR1abcdef/sub/f", "x");
    ASSERT_EQ(0, symlink(tmp.file("keep").c_str(), (dir + "/qnjDeadR1abcdef/sub/out").c_str()));
    writeFile(dir + "/qnjDeadR1ghijkl", "x");
    // A live run: its lock file is held.
    writeFile(dir + "/qnjLiveR1", "");
    writeFile(dir + "/qnjLiveR1abcdef/f", "x");
    int held = open((dir + "/qnjLiveR1").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(0, flock(held, LOCK_EX));
    // An older launcher's directory, a link in launcher naming, names that only look alike.
    writeFile(dir + "/qnjOld123/f", "x");
    ASSERT_EQ(0, symlink(tmp.file("keep").c_str(), (dir + "/qnjLinked").c_str()));
    writeFile(dir + "/qnj-notes.txt", "x");
    writeFile(dir + "/qnjDeadR1abcdefg", "x");
    writeFile(dir + "/other", "x");
    const bool root = geteuid() == 0;
    if (root) {
        writeFile(dir + "/qnjForeig/f", "x");
        ASSERT_EQ(0, chown((dir + "/qnjForeig").c_str(), 4242, 4242));
    }
    for (const SString& name : testkit::listDir(dir)) makeOld(dir + "/" + name);
    // One entry of the dead run is recent: it is not touched yet.
    writeFile(dir + "/qnjDeadR1young1", "x");

    EXPECT_EQ(4, sweepDeadRuns(dir));
    for (const char* gone : {"qnjDeadR1", "qnjDeadR1abcdef", "qnjDeadR1ghijkl", "qnjOld123"}) {
        EXPECT_FALSE(exists(dir + "/" + gone)) << gone;
    }
    for (const char* kept : {"qnjLiveR1", "qnjLiveR1abcdef/f", "qnjLinked", "qnj-notes.txt",
                             "qnjDeadR1abcdefg", "other", "qnjDeadR1young1"}) {
        EXPECT_TRUE(exists(dir + "/" + kept)) << kept;
    }
    if (root) {
        EXPECT_TRUE(exists(dir + "/qnjForeig/f"));
    }
    EXPECT_EQ("mine", testkit::readFile(tmp.file("keep/precious")));

    // Once the live run has ended, its entries go too.
    close(held);
    EXPECT_EQ(2, sweepDeadRuns(dir));
    EXPECT_FALSE(exists(dir + "/qnjLiveR1abcdef"));
    EXPECT_EQ(0, sweepDeadRuns(tmp.file("missing")));
}

TEST(RunLock, EntriesOfARunCarryItsLockedFileUntilCleanUp) {
    testkit::ScopedTempDir tmp;
    testkit::LauncherState state;
    testkit::ScopedEnv env("TMPDIR", tmp.path().c_str());
    const SString dir = PlatformImpl::createTempSubDirectory();
    const SString file = PlatformImpl::createTempFile();
    const SString prefix = tmp.path() + "/qnj";
    ASSERT_EQ(prefix.size() + 12, dir.size()) << dir;
    ASSERT_EQ(prefix.size() + 12, file.size()) << file;
    const SString lockFile = dir.substr(0, prefix.size() + 6);
    EXPECT_EQ(lockFile, file.substr(0, prefix.size() + 6));
    EXPECT_TRUE(isLockedByOthers(lockFile));
    EXPECT_EQ(3u, testkit::listDir(tmp.path()).size());

    for (const SString& path : {dir, file, lockFile}) makeOld(path);
    EXPECT_EQ(0, sweepDeadRuns(tmp.path()));
    PlatformImpl::cleanup();
    EXPECT_TRUE(testkit::listDir(tmp.path()).empty());
}

}  // namespace
