#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"
#include "platform/os/DeleteFullDir.h"
#include "platform/os/FindFiles.h"
#include "support/StateAccess.h"
#include "support/TestKit.h"

using testkit::exists;
using testkit::makeDirs;
using testkit::writeFile;

namespace {

// Records the walk: the files handed over and the directories taken off the stack.
class RecordingWalker : public FileNavigator {
public:
    explicit RecordingWalker(bool cancelable = false) : FileNavigator(cancelable) {}
    bool processFile(const SString& path) override {
        files.push_back(path);
        if (onFile) onFile(path);
        return stopAfter > 0 && static_cast<long>(files.size()) >= stopAfter;
    }
    std::vector<SString> visited() const { return {m_visitedDirs.begin(), m_visitedDirs.end()}; }

    std::vector<SString> files;
    long stopAfter = 0;
    std::function<void(const SString&)> onFile;
};

// Entry names of `dir` in the order readdir returns them.
std::vector<SString> readdirOrder(const SString& dir) {
    std::vector<SString> names;
    DIR* d = opendir(dir.c_str());
    while (struct dirent* e = readdir(d)) {
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    }
    closedir(d);
    return names;
}

// Lines of the log after its separator line.
std::vector<SString> logLines(const SString& logFile) {
    std::vector<SString> lines = testkit::splitLines(testkit::readFile(logFile));
    if (!lines.empty() && lines.front() == "------------------") lines.erase(lines.begin());
    return lines;
}

SString warning(const SString& path, int errorNumber) {
    return "WARNING: Could not delete " + path + " :  " + strerror(errorNumber);
}

class NameListener : public FileFindListener {
public:
    bool foundFile(const SString& path) override {
        found.push_back(path);
        return stopAtFirst;
    }
    std::vector<SString> found;
    bool stopAtFirst = false;
};

}  // namespace

TEST(FileNavigator, WalksDepthFirstReadingTheLastPushedDirectoryNext) {
    testkit::ScopedTempDir tmp;
    const SString root = tmp.file("r");
    for (const char* dir : {"a/a1/a11", "a/a2", "b/b1", "c"}) makeDirs(root + "/" + dir);
    writeFile(root + "/a/a1/a11/f", "");
    writeFile(root + "/b/f", "");

    // Expected order: a stack of directories, each one's subdirectories pushed in readdir order.
    std::vector<SString> expected, stack = {root};
    while (!stack.empty()) {
        SString dir = stack.back();
        stack.pop_back();
        expected.push_back(dir);
        for (const SString& name : readdirOrder(dir)) {
            if (FileNavigator::isDirectory((dir + "/" + name).c_str()))
                stack.push_back(dir + "/" + name);
        }
    }
    RecordingWalker walker;
    EXPECT_FALSE(walker.process(root));
    EXPECT_EQ(expected, walker.visited());
    std::sort(walker.files.begin(), walker.files.end());
    EXPECT_EQ((std::vector<SString>{root + "/a/a1/a11/f", root + "/b/f"}), walker.files);
}

TEST(FileNavigator, RootWithTrailingSeparatorGivesSingleSeparatorPaths) {
    testkit::ScopedTempDir tmp;
    writeFile(tmp.file("d/f"), "");
    RecordingWalker walker;
    walker.process(tmp.path() + "/");
    EXPECT_EQ((std::vector<SString>{tmp.path() + "/", tmp.file("d")}), walker.visited());
    EXPECT_EQ(std::vector<SString>{tmp.file("d/f")}, walker.files);
}

TEST(FileNavigator, SymbolicLinksAreFilesAndNotFollowed) {
    testkit::ScopedTempDir tmp;
    writeFile(tmp.file("target/inside"), "");
    writeFile(tmp.file("root/file"), "");
    ASSERT_EQ(0, symlink(tmp.file("target").c_str(), tmp.file("root/dirlink").c_str()));
    ASSERT_EQ(0, symlink(tmp.file("root/file").c_str(), tmp.file("root/filelink").c_str()));
    ASSERT_EQ(0, symlink(tmp.file("nowhere").c_str(), tmp.file("root/dangling").c_str()));

    RecordingWalker walker;
    walker.process(tmp.file("root"));
    std::sort(walker.files.begin(), walker.files.end());
    EXPECT_EQ((std::vector<SString>{tmp.file("root/dangling"), tmp.file("root/dirlink"),
                                    tmp.file("root/file"), tmp.file("root/filelink")}),
              walker.files);
    EXPECT_EQ(std::vector<SString>{tmp.file("root")}, walker.visited());
}

TEST(FileNavigator, DirectoriesThatCannotBeOpenedAreVisitedButNotRead) {
    testkit::ScopedTempDir tmp;
    writeFile(tmp.file("file"), "x");
    for (const SString& root : {tmp.file("file"), tmp.file("missing"), tmp.file("file/below")}) {
        RecordingWalker walker;
        EXPECT_FALSE(walker.process(root));
        EXPECT_EQ(std::vector<SString>{root}, walker.visited());
        EXPECT_TRUE(walker.files.empty());
    }
}

TEST(FileNavigator, DirectoryRemovedBeforeItIsReadIsSkippedSilently) {
    testkit::ScopedTempDir tmp;
    writeFile(tmp.file("root/gone/inner"), "");
    writeFile(tmp.file("root/file"), "");
    RecordingWalker walker;
    // Subdirectories are read only after their parent is done, so this runs first.
    walker.onFile = [&](const SString&) { testkit::removeTree(tmp.file("root/gone")); };
    EXPECT_FALSE(walker.process(tmp.file("root")));
    EXPECT_EQ((std::vector<SString>{tmp.file("root"), tmp.file("root/gone")}), walker.visited());
    EXPECT_EQ(std::vector<SString>{tmp.file("root/file")}, walker.files);
}

TEST(FileNavigator, SocketCountsAsDirectoryAndYieldsNothing) {
    testkit::ScopedTempDir tmp;
    const SString socketPath = tmp.file("sock");
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address));
    close(fd);

    EXPECT_TRUE(FileNavigator::isDirectory(socketPath.c_str()));
    RecordingWalker walker;
    walker.process(tmp.path());
    EXPECT_EQ((std::vector<SString>{tmp.path(), socketPath}), walker.visited());
    EXPECT_TRUE(walker.files.empty());
}

TEST(FileNavigator, ProcessFileReturningTrueStopsTheWalk) {
    testkit::ScopedTempDir tmp;
    for (const char* name : {"a/1", "a/2", "b/3", "4", "5"}) writeFile(tmp.file(name), "");
    RecordingWalker walker;
    walker.stopAfter = 1;
    EXPECT_TRUE(walker.process(tmp.path()));
    EXPECT_EQ(1u, walker.files.size());
}

TEST(FileNavigator, CancelFlagStopsOnlyCancelableWalks) {
    testkit::LauncherState state;
    testkit::ScopedTempDir tmp;
    writeFile(tmp.file("f"), "");
    testkit::StateAccess::setCanceled(true);
    RecordingWalker cancelable(true), steady(false);
    EXPECT_FALSE(cancelable.process(tmp.path()));
    EXPECT_TRUE(cancelable.files.empty());
    steady.process(tmp.path());
    EXPECT_EQ(std::vector<SString>{tmp.file("f")}, steady.files);
}

TEST(FileNavigator, AdvancesProgressOncePerThousandFiles) {
    testkit::LauncherState state(SString(), false);
    testkit::ScopedTempDir tmp;
    for (int i = 0; i < 2999; ++i) writeFile(tmp.file(std::to_string(i)), "");
    testkit::StdoutCapture out;
    RecordingWalker walker;
    walker.process(tmp.path());
    EXPECT_EQ("..", out.finish());
}

TEST(FindFiles, MatchesNamesPrecededBySeparatorOnly) {
    testkit::LauncherState state;
    StringDeque names;
    names.push_back("java");
    names.push_back("bin/java");
    NameListener listener;
    FindFiles finder(names, listener);
    const std::map<SString, int> reports = {
        {"/opt/jdk/bin/java", 2},
        {"/java", 1},
        {"/opt/xjava", 0},
        {"/opt/java.exe", 0},
        {"java", 0},
        {"/opt/javabin/java/x", 0},
        {"bin/java", 1},
        {"/opt/jdk/xbin/java", 1},
    };
    for (const auto& [path, count] : reports) {
        listener.found.clear();
        EXPECT_FALSE(finder.processFile(path)) << path;
        EXPECT_EQ(static_cast<size_t>(count), listener.found.size()) << path;
    }
}

TEST(FindFiles, ListenerReturningTrueEndsReportsForThatPath) {
    testkit::LauncherState state;
    StringDeque names;
    names.push_back("java");
    names.push_back("bin/java");
    NameListener listener;
    listener.stopAtFirst = true;
    FindFiles finder(names, listener);
    EXPECT_TRUE(finder.processFile("/jdk/bin/java"));
    EXPECT_EQ(std::vector<SString>{"/jdk/bin/java"}, listener.found);
}

TEST(FindFiles, SkipsTemporaryDirectoryAndVarTmpWithOrWithoutSeparator) {
    testkit::ScopedTempDir tmp;
    makeDirs(tmp.file("temp"));
    for (const SString& configured : {tmp.file("temp"), tmp.file("temp") + "/"}) {
        testkit::LauncherState state;
        PlatformImpl::setSystemTempDir(configured);
        StringDeque names;
        NameListener listener;
        FindFiles finder(names, listener);
        for (const SString& dir : {tmp.file("temp"), tmp.file("temp") + "/", SString("/var/tmp"),
                                   SString("/var/tmp/")}) {
            EXPECT_TRUE(finder.skipDirectory(dir)) << configured << " " << dir;
        }
        for (const SString& dir : {tmp.file("temp/sub"), tmp.file("tem"), SString("/var/tmpx"),
                                   SString("/var"), tmp.path()}) {
            EXPECT_FALSE(finder.skipDirectory(dir)) << configured << " " << dir;
        }
    }
}

TEST(FindFiles, WalkFindsFilesOutsideTheSkippedTemporaryDirectory) {
    testkit::LauncherState state;
    testkit::ScopedTempDir tmp;
    writeFile(tmp.file("temp/qnjX/bin/java"), "");
    writeFile(tmp.file("jdk/bin/java"), "");
    writeFile(tmp.file("jdk/bin/javac"), "");
    PlatformImpl::setSystemTempDir(tmp.file("temp"));
    StringDeque names;
    names.push_back("java");
    NameListener listener;
    FindFiles finder(names, listener);
    EXPECT_FALSE(finder.process(tmp.path()));
    EXPECT_EQ(std::vector<SString>{tmp.file("jdk/bin/java")}, listener.found);
}

TEST(DeleteFullDir, RemovesNestedTreeWithoutFollowingLinks) {
    testkit::LauncherState state;
    testkit::ScopedTempDir tmp;
    Launcher::setLogFileName(tmp.file("log"));
    writeFile(tmp.file("keep/precious"), "x");
    for (const char* name : {"t/a/b/c/f", "t/a/g", "t/lib/h", "t/lib64/i", "t/j"}) {
        writeFile(tmp.file(name), "data");
    }
    makeDirs(tmp.file("t/empty/deeper"));
    ASSERT_EQ(0, symlink(tmp.file("keep").c_str(), tmp.file("t/a/link").c_str()));

    PlatformImpl::deleteFile(tmp.file("t"));
    EXPECT_FALSE(exists(tmp.file("t")));
    EXPECT_TRUE(exists(tmp.file("keep/precious")));
    EXPECT_FALSE(exists(tmp.file("log")));
}

TEST(DeleteFullDir, VanishedFileIsLoggedAndTheRestRemoved) {
    testkit::LauncherState state;
    testkit::ScopedTempDir tmp;
    Launcher::setLogFileName(tmp.file("log"));
    writeFile(tmp.file("t/sub/gone"), "");
    writeFile(tmp.file("t/other"), "");

    // Someone else removes the file between the directory read and its deletion.
    struct Racing : DeleteFullDir {
        int unlinkEntry(int dirFd, const char* name, int flags) override {
            if (strcmp(name, "gone") == 0) unlinkat(dirFd, name, 0);
            return DeleteFullDir::unlinkEntry(dirFd, name, flags);
        }
    } deleter;
    EXPECT_TRUE(deleter.process(tmp.file("t")));
    EXPECT_FALSE(exists(tmp.file("t")));
    EXPECT_EQ(std::vector<SString>{warning(tmp.file("t/sub/gone"), ENOENT)},
              logLines(tmp.file("log")));
}

TEST(DeleteFullDir, DirectoryLeftBehindKeepsItsAncestorsButNotItsSiblings) {
    testkit::LauncherState state;
    testkit::ScopedTempDir tmp;
    Launcher::setLogFileName(tmp.file("log"));
    // Siblings whose names begin with the stuck directory's name; created in both orders so
    // that whatever order readdir returns, some are handled after the failure.
    const std::vector<SString> bases = {"lib", "a", "x", "data", "m", "z"};
    for (size_t i = 0; i < bases.size(); ++i) {
        SString stuck = "t/" + bases[i] + "64/stuck", sibling = "t/" + bases[i] + "/y/f";
        writeFile(tmp.file(i % 2 ? stuck : sibling), "");
        writeFile(tmp.file(i % 2 ? sibling : stuck), "");
    }
    writeFile(tmp.file("t/d"), "");
    // A file that stays put, as one the launcher has no right to delete would.
    struct Stubborn : DeleteFullDir {
        int unlinkEntry(int dirFd, const char* name, int flags) override {
            if (strcmp(name, "stuck") == 0) return 0;
            return DeleteFullDir::unlinkEntry(dirFd, name, flags);
        }
    } deleter;
    deleter.process(tmp.file("t"));
    std::vector<SString> left, warnings;
    for (const SString& base : bases) {
        left.push_back(base + "64");
        warnings.push_back(warning(tmp.file("t/" + base + "64"), ENOTEMPTY));
        EXPECT_TRUE(exists(tmp.file("t/" + base + "64/stuck")));
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, testkit::listDir(tmp.file("t")));
    std::vector<SString> logged = logLines(tmp.file("log"));
    std::sort(logged.begin(), logged.end());
    std::sort(warnings.begin(), warnings.end());
    EXPECT_EQ(warnings, logged);
}

TEST(DeleteFile, MissingPathLogsOneWarning) {
    testkit::LauncherState state;
    testkit::ScopedTempDir tmp;
    Launcher::setLogFileName(tmp.file("log"));
    PlatformImpl::deleteFile(tmp.file("missing"));
    PlatformImpl::deleteFile(tmp.file("log/below"));
    EXPECT_EQ("------------------\n" + warning(tmp.file("missing"), ENOENT) + "\n" +
                  warning(tmp.file("log/below"), ENOTDIR) + "\n",
              testkit::readFile(tmp.file("log")));
}

TEST(DeleteFile, RemovesFileAndLinkButNotTheLinkTarget) {
    testkit::LauncherState state;
    testkit::ScopedTempDir tmp;
    writeFile(tmp.file("dir/f"), "");
    writeFile(tmp.file("plain"), "");
    ASSERT_EQ(0, symlink(tmp.file("dir").c_str(), tmp.file("link").c_str()));
    PlatformImpl::deleteFile(tmp.file("link"));
    PlatformImpl::deleteFile(tmp.file("plain"));
    EXPECT_EQ(std::vector<SString>{"dir"}, testkit::listDir(tmp.path()));
    EXPECT_TRUE(exists(tmp.file("dir/f")));
}

TEST(FileExists, FollowsLinksAndAcceptsAnyType) {
    testkit::ScopedTempDir tmp;
    writeFile(tmp.file("f"), "");
    symlink(tmp.file("f").c_str(), tmp.file("good").c_str());
    symlink(tmp.file("none").c_str(), tmp.file("bad").c_str());
    EXPECT_TRUE(PlatformImpl::fileExists(tmp.file("f")));
    EXPECT_TRUE(PlatformImpl::fileExists(tmp.path()));
    EXPECT_TRUE(PlatformImpl::fileExists(tmp.file("good")));
    EXPECT_FALSE(PlatformImpl::fileExists(tmp.file("bad")));
    EXPECT_FALSE(PlatformImpl::fileExists(tmp.file("f/x")));
}
