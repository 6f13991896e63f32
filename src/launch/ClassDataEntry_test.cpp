// The state an archive's cache entry keeps between runs: whether its archive is the one
// made for the key, refusals counted up to giving up, and the logs of runs whose JVM took
// the process over.

#include "launch/ClassDataEntry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/os/UnnamedFile.h"
#include "support/TestKit.h"

using testkit::exists;
using testkit::readFile;
using testkit::writeFile;

namespace {

const char* const kInUse = "[info][cds] Opened archive /x/app.jsa.\n[info][class,path] ok\n";
const char* const kRefused =
    "[info][cds] Opened archive /x/app.jsa.\n"
    "[info][cds] UseSharedSpaces: Unable to map shared spaces\n";

// Commits an archive of `content` to `entry`.
void commit(const ClassDataEntry& entry, const SString& content) {
    const UnnamedFile archive = UnnamedFile::create(entry.directory());
    ASSERT_TRUE(archive.valid());
    ASSERT_TRUE(archive.write(content));
    ASSERT_TRUE(entry.commitArchive(archive));
}

}  // namespace

TEST(ClassDataEntry, AnArchiveIsReadyOnlyAsItWasMadeAndForItsKey) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    const ClassDataEntry entry(dir.path(), "key-one");
    EXPECT_FALSE(entry.archiveReady());
    commit(entry, "archive bytes");
    bool proven = true;
    EXPECT_TRUE(entry.archiveReady(&proven));
    EXPECT_FALSE(proven);
    EXPECT_EQ(readFile(entry.archivePath()), "archive bytes");
    // Nothing but the entry's own files: no temporary name is left.
    EXPECT_EQ(testkit::listDir(dir.path()), (std::vector<SString>{"app.jsa", "app.jsa.id"}));

    EXPECT_FALSE(ClassDataEntry(dir.path(), "key-two").archiveReady());
    // Changed in place with the same size and times put back, it still has another change
    // time: a JVM never gets it.
    struct stat before;
    ASSERT_EQ(stat(entry.archivePath().c_str(), &before), 0);
    writeFile(entry.archivePath(), "ARCHIVE BYTES");
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, entry.archivePath().c_str(), times, 0), 0);
    EXPECT_FALSE(entry.archiveReady());
}

TEST(ClassDataEntry, RunsProveTheArchiveOrGiveItUpAtTheSecondRefusalInARow) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    const ClassDataEntry entry(dir.path(), "key");
    commit(entry, "one");
    entry.judgeRun(kInUse, 0);
    bool proven = false;
    ASSERT_TRUE(entry.archiveReady(&proven));
    EXPECT_TRUE(proven);

    entry.judgeRun(kRefused, 0);
    EXPECT_FALSE(exists(entry.archivePath()));
    EXPECT_EQ(entry.failures(), 1);
    EXPECT_FALSE(entry.givenUp());
    // A new archive that works clears the count...
    commit(entry, "two");
    entry.judgeRun(kInUse, 0);
    EXPECT_EQ(entry.failures(), 0);
    // ...and a crash counts as a refusal: 134 is how a damaged archive ends the JVM.
    entry.judgeRun(kInUse, 134 << 8);
    EXPECT_EQ(entry.failures(), 1);
    commit(entry, "three");
    entry.judgeRun(kRefused, -1);
    EXPECT_TRUE(entry.givenUp());
    // An ending that says nothing of the archive (the application's own error) changes
    // nothing.
    commit(entry, "four");
    entry.judgeRun("", 1 << 8);
    EXPECT_TRUE(entry.archiveReady(&proven));
    EXPECT_FALSE(proven);
}

TEST(ClassDataEntry, LogsOfRunsThatHandedOverAreReadOnceTheirJvmHasEnded) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    const ClassDataEntry entry(dir.path(), "key");
    commit(entry, "archive");
    SString livePath, endedPath;
    UniqueFd live = entry.createRunLog(livePath);
    UniqueFd ended = entry.createRunLog(endedPath);
    ASSERT_TRUE(live && ended);
    EXPECT_NE(livePath, endedPath);
    writeFile(livePath, kRefused);
    writeFile(endedPath, kInUse);
    ended.reset(-1);

    entry.readLogsOfEndedRuns();
    EXPECT_FALSE(exists(endedPath));
    EXPECT_TRUE(exists(livePath));
    bool proven = false;
    EXPECT_TRUE(entry.archiveReady(&proven));
    EXPECT_TRUE(proven);

    // Its JVM gone (the lock with it), the refusal it logged counts.
    live.reset(-1);
    entry.readLogsOfEndedRuns();
    EXPECT_FALSE(exists(livePath));
    EXPECT_FALSE(entry.archiveReady());
    EXPECT_EQ(entry.failures(), 1);
}

TEST(ClassDataEntry, OneJobAtATime) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    const ClassDataEntry entry(dir.path(), "key");
    EXPECT_FALSE(entry.jobAtWork());
    UniqueFd lock = entry.lockForJob();
    ASSERT_TRUE(lock);
    // Another process's open of the lock file is another lock: fork to ask from outside.
    const pid_t pid = fork();
    if (pid == 0) _exit(entry.jobAtWork() && !entry.lockForJob() ? 0 : 1);
    EXPECT_EQ(testkit::waitExit(pid), 0);
    lock.reset(-1);
    EXPECT_FALSE(entry.jobAtWork());
}
