// Work relative to a held directory lands in that very directory, makes only new entries,
// never goes through a link and never renames over what is there.

#include "platform/os/HeldDirectory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "launcher/Launcher.h"
#include "support/TestKit.h"

using testkit::exists;
using testkit::listDir;
using testkit::permissions;
using testkit::readFile;
using testkit::writeFile;

namespace {

class HeldDirectoryTest : public ::testing::Test {
protected:
    HeldDirectoryTest() {
        Launcher::setLogFileName(m_dir.file("log"));
        testkit::makeDirs(m_dir.file("held"));
        writeFile(m_dir.file("victim/mine"), "mine");
    }
    testkit::LauncherState m_state;
    testkit::ScopedTempDir m_dir;
};

}  // namespace

TEST_F(HeldDirectoryTest, NewEntriesGetExactlyTheirModesAndNeverReplaceOrFollow) {
    const HeldDirectory held = HeldDirectory::open(m_dir.file("held"));
    ASSERT_TRUE(held);
    const mode_t saved = umask(077);
    const HeldDirectory child = held.makeChild("sub", 0755);
    UniqueFd file = held.createFile("run", 0755);
    umask(saved);
    ASSERT_TRUE(child);
    ASSERT_TRUE(file);
    EXPECT_EQ(permissions(m_dir.file("held/sub")), 0755u);
    EXPECT_EQ(permissions(m_dir.file("held/run")), 0755u);
    EXPECT_EQ(child.path(), m_dir.file("held/sub"));

    // What exists is neither made again nor written through.
    EXPECT_FALSE(held.makeChild("sub", 0755));
    EXPECT_EQ(errno, EEXIST);
    ASSERT_EQ(symlink(m_dir.file("victim/mine").c_str(), m_dir.file("held/link").c_str()), 0);
    ASSERT_EQ(symlink(m_dir.file("victim").c_str(), m_dir.file("held/dirlink").c_str()), 0);
    EXPECT_FALSE(held.createFile("link", 0644));
    EXPECT_FALSE(held.createFile("run", 0644));
    EXPECT_FALSE(held.openChild("dirlink"));
    EXPECT_FALSE(held.openChild("run"));
    EXPECT_FALSE(held.holdsRegularFile("link"));
    EXPECT_TRUE(held.holdsRegularFile("run"));
    EXPECT_EQ(readFile(m_dir.file("victim/mine")), "mine");
}

TEST_F(HeldDirectoryTest, RenamesNeverReplaceAnEntry) {
    const HeldDirectory held = HeldDirectory::open(m_dir.file("held"));
    writeFile(m_dir.file("held/from/inside"), "x");
    writeFile(m_dir.file("held/file"), "f");
    testkit::makeDirs(m_dir.file("held/emptydir"));
    for (const char* taken : {"file", "emptydir"}) {
        EXPECT_EQ(held.renameNoReplace("from", taken), EEXIST) << taken;
    }
    EXPECT_EQ(readFile(m_dir.file("held/file")), "f");
    EXPECT_EQ(held.renameNoReplace("from", "to"), 0);
    EXPECT_EQ(readFile(m_dir.file("held/to/inside")), "x");
    const HeldDirectory to = held.openChild("to");
    EXPECT_TRUE(held.holdsEntry("to", to));
    EXPECT_FALSE(held.holdsEntry("emptydir", to));
}

// Someone renames the held directory away and puts a link to the victim's in its place:
// what is made and removed through the held descriptor stays in the directory first opened.
TEST_F(HeldDirectoryTest, WorkLandsInTheHeldDirectoryWhateverItsPathLeadsToNow) {
    const HeldDirectory held = HeldDirectory::open(m_dir.file("held"));
    writeFile(m_dir.file("held/old"), "old");
    const SString moved = testkit::swapForLink(m_dir.file("held"), m_dir.file("victim"));
    ASSERT_TRUE(held.createFile("new", 0600));
    ASSERT_TRUE(held.makeChild("dir", 0700));
    EXPECT_EQ(listDir(moved), (std::vector<SString>{"dir", "new", "old"}));
    EXPECT_EQ(listDir(m_dir.file("victim")), std::vector<SString>{"mine"});

    // A link inside is removed as a link.
    ASSERT_EQ(symlink(m_dir.file("victim").c_str(), (moved + "/dir/link").c_str()), 0);
    EXPECT_TRUE(held.removeTree("dir"));
    EXPECT_TRUE(held.removeContents());
    EXPECT_TRUE(listDir(moved).empty());
    EXPECT_EQ(readFile(m_dir.file("victim/mine")), "mine");
}
