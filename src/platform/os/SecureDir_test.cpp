// Someone who can rename entries in the temporary directory swaps the launcher's new
// directory for a symbolic link at each step of its life; nothing outside it may change.

#include "platform/os/SecureDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/LauncherException.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"
#include "platform/os/DeleteFullDir.h"
#include "support/TestKit.h"

using testkit::exists;
using testkit::permissions;
using testkit::readFile;
using testkit::writeFile;

namespace {

// The launcher's temporary directory and a victim's private directory beside it.
class Swapped : public ::testing::Test {
protected:
    Swapped() {
        testkit::makeDirs(m_dir.file("temp"));
        PlatformImpl::setSystemTempDir(m_dir.file("temp"));
        Launcher::setLogFileName(m_dir.file("log"));
        for (const char* name : {"one", "two", "three"}) writeFile(victim(name), "mine");
        chmod(m_victim.c_str(), 0700);
    }
    SString victim(const char* name) const { return m_victim + "/" + name; }
    bool victimUntouched() const {
        return permissions(m_victim) == 0700 &&
               testkit::listDir(m_victim) == std::vector<SString>{"one", "three", "two"};
    }

    testkit::LauncherState m_state;
    testkit::ScopedEnv m_tmpdir{"TMPDIR", nullptr};
    testkit::ScopedTempDir m_dir;
    const SString m_victim = m_dir.file("victim");
};

// Someone who swaps a new directory for a link to the victim's directory, or for a
// directory of their own, the moment it is made.
class Swapper : public CreationObserver {
public:
    Swapper(const SString& victim, bool ownDirectory) : m_victim(victim), m_own(ownDirectory) {}
    void made(const char* path) override {
        testkit::swapForLink(path, m_victim);
        if (!m_own) return;
        unlink(path);
        mkdir(path, 0777);
        testkit::chownTo(path, 12345);
    }

private:
    SString m_victim;
    bool m_own;
};

TEST_F(Swapped, RightAfterCreationTheVictimKeepsItsModeAndTheLauncherStops) {
    for (bool ownDirectory : {false, true}) {
        Swapper swapper(m_victim, ownDirectory);
        const SString pattern = m_dir.file("temp/qnjXXXXXX");
        std::vector<char> name(pattern.c_str(), pattern.c_str() + pattern.size() + 1);
        const mode_t saved = umask(0);
        try {
            createPrivateDirectory(name, &swapper);
            ADD_FAILURE() << "no exception";
        } catch (const LauncherException& e) {
            EXPECT_NE(e.getMessage().find(" was replaced while it was being made."), SString::npos)
                << e.getMessage();
        }
        umask(saved);
        EXPECT_TRUE(victimUntouched());
        for (const SString& name : testkit::listDir(m_dir.file("temp"))) {
            testkit::removeTree(m_dir.file("temp/" + name));
        }
    }
}

TEST_F(Swapped, BeforeCleanupOnlyTheLaunchersOwnDirectoryIsEmptied) {
    const SString dir = PlatformImpl::createTempSubDirectory();
    writeFile(dir + "/archive.jar", "jar");
    writeFile(dir + "/sub/more", "x");
    const SString moved = testkit::swapForLink(dir, m_victim);
    PlatformImpl::cleanup();
    EXPECT_TRUE(victimUntouched());
    EXPECT_TRUE(testkit::listDir(moved).empty());
    EXPECT_NE(readFile(m_dir.file("log"))
                  .find("WARNING: " + dir +
                        " is no longer the directory the launcher made; it is left as it is."),
              SString::npos)
        << readFile(m_dir.file("log"));
}

// A subdirectory is replaced by a link to someone's directory of the same contents in the
// middle of the walk, after the walk has read the names; nothing of theirs goes.
TEST_F(Swapped, CleanupNeverFollowsALinkPutInPlaceOfASubdirectory) {
    for (const char* name : {"one", "two", "three"}) writeFile(m_dir.file("tree/sub/") + name, "x");
    struct Swapping : DeleteFullDir {
        int unlinkEntry(int dirFd, const char* name, int flags) override {
            if (!m_done) testkit::swapForLink(m_sub, m_target);
            m_done = true;
            return DeleteFullDir::unlinkEntry(dirFd, name, flags);
        }
        bool m_done = false;
        SString m_sub, m_target;
    } deleter;
    deleter.m_sub = m_dir.file("tree/sub");
    deleter.m_target = m_victim;
    deleter.process(m_dir.file("tree"));
    EXPECT_TRUE(victimUntouched());
}

TEST(TempDirectoryChoice, DirectoriesOthersCanTamperWithAreRefusedOnceWithTheReason) {
    testkit::LauncherState state;
    testkit::ScopedTempDir tmp;
    Launcher::setLogFileName(tmp.file("log"));
    // TMPDIR comes before the configured directory, /var/tmp by default, when none is given.
    const SString fallback = "/var/tmp";
    struct Case {
        const char* name;
        mode_t mode;
        unsigned owner;      // 0: root
        const char* reason;  // after the directory's name; null: it is used
    };
    const Case cases[] = {
        {"open", 0777, 0, " is writable by others and not sticky"},
        {"group", 0770, 0, " is writable by others and not sticky"},
        {"theirs", 01777, 12345, " is owned by user 12345"},
        {"sticky", 01777, 0, nullptr},
        {"private", 0700, 0, nullptr},
    };
    for (const Case& c : cases) {
        const SString dir = tmp.file(c.name);
        testkit::makeDirs(dir);
        chmod(dir.c_str(), c.mode);
        if (c.owner != 0) testkit::chownTo(dir, c.owner);
        testkit::ScopedEnv env("TMPDIR", dir.c_str());
        const SString expected = c.reason ? fallback : dir;
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(PlatformImpl::createTempFile().find(expected + "/qnj"), 0u) << c.name;
        }
        const SString log = readFile(tmp.file("log"));
        const SString warning = "WARNING: The temporary directory " + dir + " is not used: " + dir +
                                (c.reason ? c.reason : "") + ".\n";
        const size_t at = log.find(warning);
        EXPECT_EQ(at != SString::npos, c.reason != nullptr) << c.name << "\n" << log;
        if (at != SString::npos) {
            EXPECT_EQ(log.find(warning, at + 1), SString::npos) << c.name;
        }
    }
    // A name with a line break would break the lines of written descriptors and results.
    const SString broken = tmp.file("line\nbreak");
    testkit::makeDirs(broken);
    testkit::ScopedEnv env("TMPDIR", broken.c_str());
    EXPECT_EQ(PlatformImpl::createTempFile().find(fallback + "/qnj"), 0u);
    EXPECT_NE(readFile(tmp.file("log"))
                  .find("WARNING: The temporary directory " + tmp.file("line\\nbreak") +
                        " is not used: its name holds a line break.\n"),
              SString::npos);
    PlatformImpl::cleanup();
}

TEST(TempDirectoryChoice, WhenTmpdirAndTheConfiguredDirectoryAreRefusedTmpIsTaken) {
    testkit::LauncherState state;
    testkit::ScopedTempDir tmp;
    testkit::makeDirs(tmp.file("open"));
    chmod(tmp.file("open").c_str(), 0777);
    testkit::ScopedEnv env("TMPDIR", tmp.file("open").c_str());
    PlatformImpl::setSystemTempDir(tmp.file("open"));
    EXPECT_EQ(PlatformImpl::createTempFile().compare(0, 8, "/tmp/qnj"), 0);
    PlatformImpl::cleanup();
}

}  // namespace
