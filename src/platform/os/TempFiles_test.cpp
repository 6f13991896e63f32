#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "base/LauncherException.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"
#include "platform/os/FreeSpace.h"
#include "support/StateAccess.h"
#include "support/TestKit.h"

using testkit::exists;
using testkit::permissions;
using testkit::writeFile;

namespace {

bool isDir(const SString& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isEmptyRegularFile(const SString& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
}

// Whether `name` is `dir` + "/qnj" + a suffix that names no further directory level.
bool isTempName(const SString& name, const SString& dir) {
    const SString prefix = dir + "/qnj";
    return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
           name.find('/', prefix.size()) == SString::npos;
}

}  // namespace

TEST(TempDirectory, DefaultIsVarTmpAndOnlyExistingDirectoriesReplaceIt) {
    testkit::ScopedTempDir tmp;
    writeFile(tmp.file("file"), "");
    for (const SString& unusable :
         {tmp.file("file"), tmp.file("missing"), tmp.file("file/x"), SString()}) {
        testkit::LauncherState state;
        PlatformImpl::setSystemTempDir(unusable);
        EXPECT_EQ("/var/tmp/", PlatformImpl::getSystemTempDirectory()) << unusable;
    }
    for (const SString& usable : {tmp.path(), tmp.path() + "/"}) {
        testkit::LauncherState state;
        PlatformImpl::setSystemTempDir(usable);
        EXPECT_EQ(usable, PlatformImpl::getSystemTempDirectory());
    }
}

TEST(TempDirectory, NamesComeFromTheGivenDirectoryThenTmpdirThenTmp) {
    testkit::ScopedTempDir tmp;
    const SString configured = tmp.file("conf"), fromEnv = tmp.file("env");
    testkit::makeDirs(configured);
    testkit::makeDirs(fromEnv);
    writeFile(tmp.file("file"), "");
    const SString varTmp = isDir("/var/tmp") ? "/var/tmp" : "/tmp";
    const SString envSlash = fromEnv + "/", missing = tmp.file("missing"), file = tmp.file("file");
    struct Case {
        const char* tmpdir;  // null: unset
        SString configured;  // empty: the default
        SString expectedDir;
    };
    const Case cases[] = {
        {fromEnv.c_str(), configured, configured},  // a given directory comes first
        {fromEnv.c_str(), SString(), fromEnv},
        {envSlash.c_str(), SString(), fromEnv},
        {missing.c_str(), configured, configured},
        {file.c_str(), configured, configured},
        {nullptr, configured, configured},
        {nullptr, configured + "/", configured},
        {nullptr, SString(), varTmp},
    };
    for (const Case& c : cases) {
        testkit::LauncherState state;
        testkit::ScopedEnv env("TMPDIR", c.tmpdir);
        if (!c.configured.empty()) PlatformImpl::setSystemTempDir(c.configured);
        SString file = PlatformImpl::createTempFile();
        SString dir = PlatformImpl::createTempSubDirectory();
        EXPECT_TRUE(isTempName(file, c.expectedDir)) << file;
        EXPECT_TRUE(isTempName(dir, c.expectedDir)) << dir;
        EXPECT_TRUE(isEmptyRegularFile(file)) << file;
        EXPECT_TRUE(isDir(dir) && testkit::listDir(dir).empty()) << dir;
        PlatformImpl::cleanup();
        EXPECT_FALSE(exists(file));
        EXPECT_FALSE(exists(dir));
    }
}

TEST(TempDirectory, ConfiguredDirectoryRemovedLaterFallsBackToTmp) {
    testkit::LauncherState state;
    testkit::ScopedEnv env("TMPDIR", nullptr);
    testkit::ScopedTempDir tmp;
    testkit::makeDirs(tmp.file("conf"));
    PlatformImpl::setSystemTempDir(tmp.file("conf"));
    rmdir(tmp.file("conf").c_str());
    SString file = PlatformImpl::createTempFile();
    EXPECT_TRUE(isTempName(file, "/tmp")) << file;
    PlatformImpl::cleanup();
    EXPECT_FALSE(exists(file));
}

TEST(TempDirectory, RelativeDirectoryGivesAbsoluteNames) {
    testkit::LauncherState state;  // restores the working directory
    testkit::ScopedTempDir tmp;
    testkit::makeDirs(tmp.file("rel"));
    ASSERT_EQ(chdir(tmp.path().c_str()), 0);
    testkit::ScopedEnv tmpdir("TMPDIR", "rel");
    const SString name = PlatformImpl::createTempFile();
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_TRUE(isTempName(name, SString(cwd) + "/rel")) << name;
}

TEST(TempFiles, EveryCreatedNameIsNew) {
    testkit::LauncherState state;
    testkit::ScopedEnv env("TMPDIR", nullptr);
    testkit::ScopedTempDir tmp;
    PlatformImpl::setSystemTempDir(tmp.path());
    for (int i = 0; i < 20; ++i) {
        PlatformImpl::createTempFile();
        PlatformImpl::createTempSubDirectory();
    }
    // and the run's lock file
    EXPECT_EQ(41u, testkit::listDir(tmp.path()).size());
    PlatformImpl::cleanup();
    EXPECT_TRUE(testkit::listDir(tmp.path()).empty());
}

TEST(TempFiles, CreationFailuresThrowAndRecordNothing) {
    testkit::LauncherState state;
    testkit::ScopedEnv env("TMPDIR", nullptr);
    testkit::ScopedTempDir tmp;
    Launcher::setLogFileName(tmp.file("log"));
    // An existing directory in which nothing can be created, even by root.
    PlatformImpl::setSystemTempDir("/proc");
    try {
        PlatformImpl::createTempSubDirectory();
        ADD_FAILURE() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_EQ(strerror(ENOENT), e.getMessage());
    }
    try {
        PlatformImpl::createTempFile();
        ADD_FAILURE() << "no exception";
    } catch (const LauncherException& e) {
        const SString prefix = "Error creating tmp file /proc/qnj";
        EXPECT_EQ(prefix, e.getMessage().substr(0, prefix.size()));
        EXPECT_EQ(prefix.size() + 6, e.getMessage().size()) << e.getMessage();
    }
    PlatformImpl::cleanup();
    EXPECT_FALSE(exists(tmp.file("log")));  // nothing was recorded to be deleted
}

// Others must not be able to swap the archives or edit a written descriptor while the
// application runs, whatever umask the launcher was started with.
TEST(TempFiles, PermissionsArePrivateWhateverTheUmask) {
    testkit::LauncherState state;
    testkit::ScopedEnv env("TMPDIR", nullptr);
    testkit::ScopedTempDir tmp;
    PlatformImpl::setSystemTempDir(tmp.path());
    for (mode_t mask : {0000, 0027, 0777}) {
        mode_t saved = umask(mask);
        SString file = PlatformImpl::createTempFile();
        SString dir = PlatformImpl::createTempSubDirectory();
        umask(saved);
        EXPECT_EQ(0600u, permissions(file)) << std::oct << mask;
        EXPECT_EQ(0700u, permissions(dir)) << std::oct << mask;
    }
    PlatformImpl::cleanup();
}

TEST(Cleanup, RemovesRecordedTreesAndFilesButNotLinkTargets) {
    testkit::LauncherState state;
    testkit::ScopedEnv env("TMPDIR", nullptr);
    testkit::ScopedTempDir tmp;
    Launcher::setLogFileName(tmp.file("log"));
    testkit::makeDirs(tmp.file("temp"));
    PlatformImpl::setSystemTempDir(tmp.file("temp"));
    writeFile(tmp.file("outside/keep"), "k");

    SString dir = PlatformImpl::createTempSubDirectory();
    for (const char* name : {"/a/b/c/deep", "/a/file", "/top", "/e/f/g/h"})
        writeFile(dir + name, "x");
    ASSERT_EQ(0, symlink(tmp.file("outside").c_str(), (dir + "/a/link").c_str()));
    SString file = PlatformImpl::createTempFile();
    writeFile(file, "descriptor");
    writeFile(tmp.file("added/sub/f"), "x");  // a directory on the file list goes with its contents
    PlatformImpl::addFileToCleanupList(tmp.file("added"));
    writeFile(tmp.file("plain"), "x");
    PlatformImpl::addFileToCleanupList(tmp.file("plain"));

    PlatformImpl::cleanup();
    // No "log" either: nothing failed.
    EXPECT_EQ((std::vector<SString>{"outside", "temp"}), testkit::listDir(tmp.path()));
    EXPECT_TRUE(testkit::listDir(tmp.file("temp")).empty());
    EXPECT_EQ("k", testkit::readFile(tmp.file("outside/keep")));
}

TEST(Cleanup, EntriesTakenOffTheListsSurvive) {
    testkit::LauncherState state;
    testkit::ScopedEnv env("TMPDIR", nullptr);
    testkit::ScopedTempDir tmp;
    PlatformImpl::setSystemTempDir(tmp.path());
    SString kept = PlatformImpl::createTempFile();
    SString gone = PlatformImpl::createTempFile();
    SString keptDir = PlatformImpl::createTempSubDirectory();
    writeFile(keptDir + "/f", "x");
    writeFile(tmp.file("twice"), "x");
    PlatformImpl::addFileToCleanupList(tmp.file("twice"));
    PlatformImpl::addFileToCleanupList(tmp.file("twice"));

    PlatformImpl::removeFileFromCleanupList(kept);
    PlatformImpl::removeDirFromCleanupList(keptDir);
    PlatformImpl::removeFileFromCleanupList(tmp.file("twice"));  // the second entry remains
    PlatformImpl::removeFileFromCleanupList(keptDir);            // not on the file list
    PlatformImpl::removeDirFromCleanupList(tmp.file("unknown"));
    PlatformImpl::cleanup();

    EXPECT_TRUE(exists(kept));
    EXPECT_TRUE(exists(keptDir + "/f"));
    EXPECT_FALSE(exists(gone));
    EXPECT_FALSE(exists(tmp.file("twice")));
}

TEST(Cleanup, DeletesTheLauncherOnlyWhenAsked) {
    testkit::ScopedTempDir tmp;
    for (bool deleteLauncher : {false, true}) {
        testkit::LauncherState state(tmp.file("copy/launcher"));
        writeFile(tmp.file("copy/launcher"), "#!");
        testkit::StateAccess::setDeleteLauncher(deleteLauncher);
        PlatformImpl::cleanup();
        EXPECT_EQ(!deleteLauncher, exists(tmp.file("copy")));
    }
}

TEST(DeleteLauncher, RemovesItsDirectoryOnlyWhenEmpty) {
    testkit::ScopedTempDir tmp;
    {
        testkit::LauncherState state(tmp.file("shared/launcher"));
        writeFile(tmp.file("shared/launcher"), "#!");
        writeFile(tmp.file("shared/other"), "o");
        PlatformImpl::deleteLauncher();
        EXPECT_EQ(std::vector<SString>{"other"}, testkit::listDir(tmp.file("shared")));
    }
    {
        testkit::LauncherState state(tmp.file("alone/launcher"));
        writeFile(tmp.file("alone/launcher"), "#!");
        PlatformImpl::deleteLauncher();
        EXPECT_FALSE(exists(tmp.file("alone")));
    }
}

TEST(SetFileExecutable, AddsExecuteBitsForTheOwnerAndReadersAndKeepsTheRest) {
    testkit::ScopedTempDir tmp;
    const std::pair<mode_t, mode_t> cases[] = {{0640, 0750},   {0600, 0700}, {0444, 0555},
                                               {04600, 04700}, {0755, 0755}, {0200, 0300}};
    for (const auto& [before, after] : cases) {
        writeFile(tmp.file("f"), "x");
        chmod(tmp.file("f").c_str(), before);
        PlatformImpl::setFileExecutable(tmp.file("f"));
        EXPECT_EQ(after, permissions(tmp.file("f"))) << std::oct << before;
    }
    PlatformImpl::setFileExecutable(tmp.file("missing"));
    EXPECT_FALSE(exists(tmp.file("missing")));
}

TEST(FreeSpace, RequiresTheSizePlusOneFragment) {
    struct Case {
        uint64_t fragment, block, available;
        long size;
        bool fits;
    };
    // size + f bytes are needed: the whole fragments the size covers and one more.
    const Case cases[] = {
        {4096, 4096, 0, 0, true},                   // nothing to write fits a full partition
        {4096, 4096, 0, -5, true},                  //
        {4096, 4096, 1, 1, false},                  // one byte needs two fragments
        {4096, 4096, 2, 1, true},                   //
        {4096, 4096, 2, 8192, false},               // an exact multiple needs one more
        {4096, 4096, 3, 8192, true},                //
        {4096, 4096, 3, 8193, false},               //
        {4096, 4096, 4, 8193, true},                //
        {512, 4096, 4, 1536, true},                 // the fragment size counts, not the block size
        {512, 4096, 3, 1536, false},                //
        {512, 4096, 4, 1537, false},                //
        {0, 1024, 3, 2048, true},                   // no fragment size: the block size stands in
        {0, 1024, 2, 2048, false},                  //
        {0, 0, 0, 1L << 40, true},                  // neither: the space cannot be judged
        {4096, 4096, 1ULL << 33, 1L << 44, true},   // counts beyond 32 bits are kept
        {4096, 4096, 1ULL << 33, 1L << 45, false},  //
        {1, 1, (1ULL << 32) + 2, (1L << 32) + 1, true},   // sizes beyond 32 bits are kept
        {1, 1, (1ULL << 32) + 1, (1L << 32) + 1, false},  //
        {4096, 4096, UINT64_MAX, LONG_MAX, true},         // no overflow at the extremes
        {UINT32_MAX, 0, 2, UINT32_MAX, true},             //
        {UINT32_MAX, 0, 1, UINT32_MAX, false},            //
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.fits, freeSpaceSuffices(c.fragment, c.block, c.available, c.size))
            << c.fragment << " " << c.block << " " << c.available << " " << c.size;
    }
}

TEST(CheckFreeSpace, ExaminesTheRealPartition) {
    testkit::LauncherState state;
    testkit::ScopedTempDir tmp;
    EXPECT_TRUE(PlatformImpl::checkFreeSpace(tmp.path(), 0));
    EXPECT_TRUE(PlatformImpl::checkFreeSpace(tmp.path(), 1));
    EXPECT_FALSE(PlatformImpl::checkFreeSpace(tmp.path(), LONG_MAX));
}

TEST(CheckFreeSpace, RelativePathsExamineTheCurrentDirectory) {
    testkit::LauncherState state;  // restores the working directory
    testkit::ScopedTempDir tmp;
    writeFile(tmp.file("file"), "x");
    ASSERT_EQ(0, chdir(tmp.path().c_str()));
    for (const SString& path : {SString("file/x"), SString("missing/dir"), SString()}) {
        EXPECT_NO_THROW(EXPECT_TRUE(PlatformImpl::checkFreeSpace(path, 1))) << path;
    }
}

TEST(CheckFreeSpace, UnexaminablePathThrowsTheSystemText) {
    testkit::LauncherState state;
    testkit::ScopedTempDir tmp;
    writeFile(tmp.file("file"), "x");
    const std::pair<SString, int> cases[] = {{tmp.file("file/x"), ENOTDIR},
                                             {tmp.file("missing"), ENOENT}};
    for (const auto& [path, error] : cases) {
        try {
            PlatformImpl::checkFreeSpace(path, 1);
            ADD_FAILURE() << "no exception for " << path;
        } catch (const LauncherException& e) {
            EXPECT_EQ(strerror(error), e.getMessage());
        }
    }
}
