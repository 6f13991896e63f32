// The bundled runtime is installed once into the cache, found there by later runs, held
// while used, and never taken from a place someone else could have changed; with no usable
// cache it goes into a private directory of the run. Nothing partial stays behind.

#include "jvm/EmbeddedRuntime.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

#include "base/LauncherException.h"
#include "base/UniqueFd.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"
#include "platform/cache/UserCache.h"
#include "platform/os/CacheHold.h"
#include "support/TestKit.h"
#include "support/UstarBuilder.h"

using testkit::exists;
using testkit::listDir;
using testkit::permissions;
using testkit::readFile;
using testkit::ScopedEnv;
using testkit::UstarBuilder;
using testkit::writeFile;

namespace {

SString java(const SString& marker) {
    return "#!/bin/sh\necho " + marker + "\n";
}

// Runs a function at the moment before the rename.
struct StepsCalling : RuntimeInstallSteps {
    explicit StepsCalling(std::function<void(const SString&)> call) : m_call(std::move(call)) {}
    void beforeRename(const SString& privatePath) override { m_call(privatePath); }
    std::function<void(const SString&)> m_call;
};

class EmbeddedRuntimeTest : public ::testing::Test {
protected:
    EmbeddedRuntimeTest() {
        Launcher::setLogFileName(m_dir.file("log"));
        testkit::makeDirs(m_dir.file("temp"));
        PlatformImpl::setSystemTempDir(m_dir.file("temp"));
        useCache(m_dir.file("cache"));
    }
    ~EmbeddedRuntimeTest() override { RunStatePiece::resetAll(); }

    // Points the cache at `path`, as a new run would see it.
    void useCache(const SString& path) {
        m_cache.reset();
        m_cache = std::make_unique<ScopedEnv>("QNLAUNCH_CACHE", path.c_str());
        RunStatePiece::resetAll();
        Launcher::setLogFileName(m_dir.file("log"));
        PlatformImpl::setSystemTempDir(m_dir.file("temp"));
    }
    // The runtime of a bundle that holds `archive` between other bytes.
    EmbeddedRuntime runtime(const SString& archive, const SString& id = "rt1",
                            RuntimeInstallSteps* steps = nullptr) {
        const SString path = m_dir.file("bundle" + std::to_string(m_bundles.size()));
        writeFile(path, "STUB" + archive + "INDEX");
        m_bundles.emplace_back(open(path.c_str(), O_RDONLY | O_CLOEXEC));
        return EmbeddedRuntime(m_bundles.back().get(), 4, static_cast<long long>(archive.size()),
                               id, steps);
    }
    SString runtimes() const { return m_dir.file("cache/runtimes"); }
    bool logged(const SString& text) const {
        return readFile(m_dir.file("log")).find(text) != SString::npos;
    }
    SString logText() const { return readFile(m_dir.file("log")); }
    // Installs into a new private directory of the run and returns the home.
    SString installForTheRun(const EmbeddedRuntime& rt) {
        return rt.installInto(PlatformImpl::createTempSubDirectory());
    }

    testkit::LauncherState m_state;
    ScopedEnv m_tmpdir{"TMPDIR", nullptr};
    testkit::ScopedTempDir m_dir;
    std::unique_ptr<ScopedEnv> m_cache;
    std::vector<UniqueFd> m_bundles;
};

}  // namespace

TEST_F(EmbeddedRuntimeTest, AnInstallIsWholeWithExactModesAndHeldForTheRun) {
    const SString archive = UstarBuilder::runtime("real")
                                .file("lib/tool", "t", 0750)
                                .file("lib/secret", "s", 0600)
                                .directory("conf", 0700)
                                .file("conf/deep/er/file", "d", 0444)
                                .bytes();
    const mode_t saved = umask(027);
    const SString home = runtime(archive).installInCache();
    umask(saved);
    ASSERT_EQ(home, runtimes() + "/rt1") << logText();
    EXPECT_EQ(readFile(home + "/bin/java"), java("real"));
    EXPECT_EQ(readFile(home + "/lib/modules"), SString(3000, 'm'));
    EXPECT_EQ(readFile(home + "/conf/deep/er/file"), "d");
    EXPECT_EQ(listDir(runtimes()), std::vector<SString>{"rt1"});
    struct Mode {
        const char* path;
        unsigned mode;
    };
    for (const Mode& m :
         {Mode{"", 0755}, Mode{"/bin", 0755}, Mode{"/bin/java", 0755}, Mode{"/lib/modules", 0644},
          Mode{"/lib/tool", 0754}, Mode{"/lib/secret", 0644}, Mode{"/conf", 0755},
          Mode{"/conf/deep", 0755}, Mode{"/conf/deep/er/file", 0644}}) {
        EXPECT_EQ(permissions(home + m.path), m.mode) << m.path;
    }
    EXPECT_EQ(permissions(runtimes()), 0700u);
    UniqueFd lock;
    EXPECT_FALSE(lockForRemoval(home, lock));
}

TEST_F(EmbeddedRuntimeTest, ALaterRunFindsTheCopyMarksItUsedAndHoldsIt) {
    const SString home = runtime(UstarBuilder::runtime("first").bytes()).installInCache();
    ASSERT_FALSE(home.empty());
    struct timespec old[2] = {{time(nullptr) - 10 * 86400, 0}, {time(nullptr) - 10 * 86400, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, home.c_str(), old, 0), 0);

    useCache(m_dir.file("cache"));  // a new run, which holds nothing yet
    UniqueFd lock;
    ASSERT_TRUE(lockForRemoval(home, lock));
    lock.reset(-1);
    EXPECT_EQ(runtime(UstarBuilder::runtime("other").bytes(), "rt2").findInCache(), "");
    // The copy is found by its name; the archive is not read again (this one is damaged).
    EXPECT_EQ(runtime("damaged").installInCache(), home);
    EXPECT_EQ(runtime("damaged").findInCache(), home);
    EXPECT_EQ(readFile(home + "/bin/java"), java("first"));
    struct stat st;
    ASSERT_EQ(stat(home.c_str(), &st), 0);
    EXPECT_GT(st.st_mtime, time(nullptr) - 60);
    EXPECT_FALSE(lockForRemoval(home, lock));

    // Without a cache there is nothing to find.
    useCache("off");
    EXPECT_EQ(runtime("damaged").findInCache(), "");
    EXPECT_EQ(runtime("damaged").installInCache(), "");
}

// Another run completes its install while this one is about to rename: this one takes the
// other's copy and leaves nothing of its own.
TEST_F(EmbeddedRuntimeTest, ARunThatLosesTheRaceUsesTheWinnersCopy) {
    SString winner;
    StepsCalling steps([&](const SString&) {
        winner = runtime(UstarBuilder::runtime("winner").bytes()).installInCache();
    });
    const SString home =
        runtime(UstarBuilder::runtime("loser").bytes(), "rt1", &steps).installInCache();
    EXPECT_EQ(home, runtimes() + "/rt1");
    EXPECT_EQ(winner, home);
    EXPECT_EQ(readFile(home + "/bin/java"), java("winner"));
    EXPECT_EQ(listDir(runtimes()), std::vector<SString>{"rt1"});
}

TEST_F(EmbeddedRuntimeTest, RunsStartingTogetherEndWithOneWholeCopy) {
    const SString archive =
        UstarBuilder::runtime("together").file("lib/big", SString(1 << 20, 'b')).bytes();
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < 4; ++i) {
        const EmbeddedRuntime rt = runtime(archive);
        const pid_t pid = fork();
        if (pid == 0) {
            char go;
            close(start[1]);
            if (read(start[0], &go, 1) != 0) _exit(3);
            try {
                const SString home = rt.installInCache();
                _exit(home == runtimes() + "/rt1" &&
                              readFile(home + "/bin/java") == java("together")
                          ? 0
                          : 1);
            } catch (...) {
                _exit(2);
            }
        }
        children.push_back(pid);
    }
    close(start[0]);
    close(start[1]);
    for (pid_t pid : children) EXPECT_EQ(testkit::waitExit(pid), 0);
    EXPECT_EQ(listDir(runtimes()), std::vector<SString>{"rt1"});
    EXPECT_EQ(readFile(runtimes() + "/rt1/lib/big").size(), 1u << 20);
}

TEST_F(EmbeddedRuntimeTest, AnUnsafeCacheIsNotUsedAndTheRuntimeGoesToTheRun) {
    struct Case {
        const char* what;
        std::function<void(const SString& cache)> make;
        SString logLine;  // CACHE stands for the cache's path
    };
    const SString elsewhere = m_dir.file("elsewhere");
    testkit::makeDirs(elsewhere);
    const std::vector<Case> cases = {
        {"another user's cache", [](const SString& c) { testkit::chownTo(c, 12345); },
         "The cache directory CACHE is not used: it is owned by user 12345."},
        {"a group-writable cache", [](const SString& c) { chmod(c.c_str(), 0770); },
         "The cache directory CACHE is not used: it is writable by group or others."},
        {"another user's runtimes",
         [](const SString& c) {
             testkit::makeDirs(c + "/runtimes");
             testkit::chownTo(c + "/runtimes", 12345);
         },
         "The cache directory CACHE/runtimes is not used: it is owned by user 12345."},
        {"group-writable runtimes",
         [](const SString& c) {
             testkit::makeDirs(c + "/runtimes");
             chmod((c + "/runtimes").c_str(), 0775);
         },
         "The cache directory CACHE/runtimes is not used: it is writable by group or others."},
        {"linked runtimes",
         [&](const SString& c) { symlink(elsewhere.c_str(), (c + "/runtimes").c_str()); },
         "The cache directory CACHE/runtimes is not used: it is no directory (a symbolic link "
         "is not followed)."},
        {"another user's copy",
         [](const SString& c) {
             writeFile(c + "/runtimes/rt1/bin/java", java("planted"), 0755);
             testkit::chownTo(c + "/runtimes/rt1", 12345);
         },
         "The runtime CACHE/runtimes/rt1 is not used: it is owned by user 12345."},
        {"a linked copy",
         [&](const SString& c) {
             writeFile(elsewhere + "/bin/java", java("planted"), 0755);
             testkit::makeDirs(c + "/runtimes");
             symlink(elsewhere.c_str(), (c + "/runtimes/rt1").c_str());
         },
         "The runtime CACHE/runtimes/rt1 is not used: it is no directory (a symbolic link is "
         "not followed)."},
    };
    int n = 0;
    for (const Case& c : cases) {
        const SString cache = m_dir.file("cache" + std::to_string(++n));
        testkit::makeDirs(cache);
        chmod(cache.c_str(), 0700);
        c.make(cache);
        useCache(cache);
        const EmbeddedRuntime rt = runtime(UstarBuilder::runtime("real").bytes());
        EXPECT_EQ(rt.installInCache(), "") << c.what;
        SString line = c.logLine;
        line.replace(line.find("CACHE"), 5, cache);
        EXPECT_TRUE(logged(line)) << c.what << "\n" << logText();
        const SString home = installForTheRun(rt);
        EXPECT_EQ(home.compare(0, m_dir.file("temp/").size(), m_dir.file("temp/")), 0) << home;
        EXPECT_EQ(readFile(home + "/bin/java"), java("real")) << c.what;
        EXPECT_TRUE(listDir(elsewhere).empty() || listDir(elsewhere) == std::vector<SString>{"bin"})
            << c.what;
        EXPECT_NE(readFile(cache + "/runtimes/rt1/bin/java"), java("real")) << c.what;
    }
}

TEST_F(EmbeddedRuntimeTest, ARefusedArchiveLeavesNothingBehind) {
    struct Case {
        const char* what;
        SString archive;
        const char* message;
    };
    const SString escape = m_dir.file("escape");
    const std::vector<Case> cases = {
        {"parent", UstarBuilder::runtime("x").file("../../../escape", "x").bytes(),
         "has a \"..\" component"},
        {"absolute", UstarBuilder::runtime("x").file(escape, "x").bytes(), "is absolute"},
        {"symbolic link", UstarBuilder::runtime("x").member("lib/link", '2', 0777, "").bytes(),
         "neither a regular file nor a directory"},
        {"device", UstarBuilder::runtime("x").member("dev", '3', 0666, "").bytes(),
         "neither a regular file nor a directory"},
        {"twice", UstarBuilder::runtime("x").file("lib/modules", "again").bytes(),
         "\"lib/modules\" twice, or below a file of that name"},
        {"below a file", UstarBuilder::runtime("x").file("bin/java/x", "x").bytes(),
         "\"bin/java/x\" twice, or below a file of that name"},
        {"no java", UstarBuilder().directory("bin").file("bin/javac", "x", 0755).bytes(),
         "holds no bin/java"},
        {"cut short", UstarBuilder::runtime("x").bytes(false), "is cut short"},
    };
    for (const Case& c : cases) {
        const EmbeddedRuntime rt = runtime(c.archive);
        for (bool inCache : {true, false}) {
            const SString dir = inCache ? SString() : PlatformImpl::createTempSubDirectory();
            try {
                inCache ? rt.installInCache() : rt.installInto(dir);
                ADD_FAILURE() << c.what << ": installed";
            } catch (const LauncherException& e) {
                EXPECT_NE(e.getMessage().find(c.message), SString::npos)
                    << c.what << ": " << e.getMessage();
            }
            EXPECT_TRUE(listDir(dir).empty()) << c.what;
        }
        EXPECT_TRUE(listDir(runtimes()).empty()) << c.what;
        EXPECT_FALSE(exists(escape)) << c.what;
        EXPECT_FALSE(exists(m_dir.file("cache/escape"))) << c.what;
    }
}

TEST_F(EmbeddedRuntimeTest, AFullDiskLeavesNoPartOfTheRuntime) {
    const SString disk = m_dir.file("disk");
    testkit::makeDirs(disk);
    testkit::ScopedTmpfs tmpfs(disk, "size=256k,mode=0700");
    if (!tmpfs.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
    const EmbeddedRuntime rt =
        runtime(UstarBuilder::runtime("real").file("lib/big", SString(400000, 'b')).bytes());

    useCache(disk + "/cache");
    EXPECT_EQ(rt.installInCache(), "");
    EXPECT_TRUE(
        logged("Could not keep the runtime in the cache (No space left on device); it is "
               "installed for this run."))
        << logText();
    EXPECT_TRUE(listDir(disk + "/cache/runtimes").empty());
    EXPECT_EQ(readFile(installForTheRun(rt) + "/lib/big").size(), 400000u);

    // The run's own directory on the full disk: the install fails and leaves it empty.
    testkit::makeDirs(disk + "/temp");
    PlatformImpl::setSystemTempDir(disk + "/temp");
    const SString dir = PlatformImpl::createTempSubDirectory();
    ASSERT_EQ(dir.compare(0, disk.size(), disk), 0);
    try {
        rt.installInto(dir);
        ADD_FAILURE() << "installed";
    } catch (const LauncherException& e) {
        EXPECT_EQ(e.getMessage(), PlatformImpl::writeErrorText(ENOSPC));
    }
    EXPECT_TRUE(listDir(dir).empty());
}

// The directory filled for the cache is renamed away just before it goes into place, and
// a directory with another bin/java put at its name, or at the final name: that java is
// never handed out. Put at the private name it is taken out of the cache again; another
// user's at the final name is not ours to remove and stays.
TEST_F(EmbeddedRuntimeTest, ADirectorySwappedBeforeTheRenameIsNeverUsed) {
    const SString stolen = m_dir.file("cache/stolen");
    struct Case {
        const char* what;
        std::function<void(const SString& privatePath)> swap;
        const char* logLine;
        std::vector<SString> left;  // in the runtimes directory afterwards
    };
    const std::vector<Case> cases = {
        {"at the private name",
         [&](const SString& privatePath) {
             ASSERT_EQ(rename(privatePath.c_str(), stolen.c_str()), 0);
             writeFile(privatePath + "/bin/java", java("planted"), 0755);
         },
         "was replaced while it was being filled); it is installed for this run.",
         {}},
        {"at the final name, another user's",
         [&](const SString&) {
             writeFile(runtimes() + "/rt1/bin/java", java("planted"), 0755);
             testkit::chownTo(runtimes() + "/rt1", 12345);
         },
         "/rt1 is not used: it is owned by user 12345.",
         {"rt1"}},
    };
    for (const Case& c : cases) {
        useCache(m_dir.file("cache"));
        StepsCalling steps(c.swap);
        const EmbeddedRuntime rt = runtime(UstarBuilder::runtime("real").bytes(), "rt1", &steps);
        EXPECT_EQ(rt.installInCache(), "") << c.what;
        EXPECT_TRUE(logged(c.logLine)) << c.what << "\n" << logText();
        const SString home = installForTheRun(rt);
        EXPECT_EQ(readFile(home + "/bin/java"), java("real")) << c.what;
        EXPECT_EQ(listDir(runtimes()), c.left) << c.what;
        testkit::removeTree(runtimes());
    }
    // The copy that was moved away was emptied through its descriptor.
    EXPECT_TRUE(listDir(stolen).empty());
}

TEST(EmbeddedRuntime, ANameThatCannotBeACacheEntryIsRefused) {
    for (const char* id : {"", ".hidden", "a/b", "..", "line\nbreak"}) {
        EXPECT_THROW(EmbeddedRuntime(0, 0, 0, id), LauncherException) << id;
    }
}
