// What reaches a run from outside its bundle is data that must earn its trust: runtime
// files beside a bundle in a shared directory, a bundle replaced by another release, a
// cached copy changed behind the cache's back, homes and paths with the characters that
// mean something to the launcher or to a class path.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <cerrno>

#include "e2e/E2eHelpers.h"
#include "inputfiles/FileIndexEntry.h"

using namespace testkit;
using e2e::Workspace;

namespace {

const SString kFindAndLaunch =
    e2e::instructions({"FIND_JVM 0 0", "JMP0 @N1@ none", "LAUNCH @S2@ 0", ":none"});
const SString kLaunchScript =
    "DESC: Demo\nQUIET: 1\nDISPLAY_CONSOLE: 1\n"
    "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %RUNTIME_JAVAARGS%() %CP%() Main\"\n";

// A stand-in JVM at `home` whose application prints the bytes of the last file on its
// class path and the arguments it got.
StandInJvm libraryPrinter(const SString& home) {
    return StandInJvm::create(home, e2e::kStandInProperties, "1739021872", "",
                              "for a; do last=$a; done\n"
                              "for a; do case $a in *:*|*.jar) cp=$a;; esac; done\n"
                              "cat \"${cp##*:}\"; echo; printf '[%s]' \"$@\"; echo");
}

SString bundleWith(const Workspace& ws, const SString& jdk, const SString& library,
                   const SString& output) {
    return BundleBuilder(ws.root())
        .add(FILE_TYPE_INSTRUCTIONS, "instructions.tag", kFindAndLaunch)
        .add(FILE_TYPE_JVM, "standin.jvm",
             e2e::descriptor("Stand-in", e2e::kStandInExpected, {jdk}))
        .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", kLaunchScript)
        .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "stand-in verifier")
        .add(FILE_TYPE_CLASSPATH_ARCHIVE, "lib.jar", library)
        .write(output);
}

// Replaces the bytes of `path` in place (the same inode) and sets its modification time
// back to what it was, as an extraction of a release with fixed times does.
void rewriteInPlace(const SString& path, const SString& bytes) {
    struct stat before;
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    chmod(path.c_str(), before.st_mode | S_IWUSR);
    int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
    chmod(path.c_str(), before.st_mode);
    struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    struct stat after;
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    ASSERT_EQ(after.st_ino, before.st_ino);
    ASSERT_EQ(after.st_size, before.st_size);
}

// Every cached file of that name.
std::vector<SString> cachedCopies(const SString& cache, const SString& name) {
    std::vector<SString> found;
    for (const SString& group : listDir(cache + "/archives")) {
        const SString path = cache + "/archives/" + group + "/files/" + name;
        if (exists(path)) found.push_back(path);
    }
    return found;
}

// A bundle in a directory everyone may write to, as /tmp is: files beside it that someone
// else put there, or that are no plain files, are skipped with a warning and never wait.
TEST(OutsideData, RuntimeFilesBesideABundleMustBeTrustedPlainFiles) {
    struct Case {
        const char* what;
        const char* extension;
        void (*plant)(const SString& path);
        const char* reason;
    };
    const Case cases[] = {
        {"another user's .cp1", ".cp1",
         [](const SString& path) {
             writeFile(path, "/tmp/theirs.jar\n", 0644);
             chownTo(path, 12345);
         },
         "is owned by user 12345"},
        {"another user's .ja", ".ja",
         [](const SString& path) {
             writeFile(path, "-javaagent:/tmp/theirs.jar\n", 0644);
             chownTo(path, 12345);
         },
         "is owned by user 12345"},
        {"a .cp anyone may write", ".cp",
         [](const SString& path) {
             writeFile(path, "/tmp/theirs.jar\n");
             chmod(path.c_str(), 0666);
         },
         "is writable by others"},
        {"a named pipe as .cp", ".cp",
         [](const SString& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); },
         "it is not a plain file"},
    };
    for (const Case& c : cases) {
        Workspace ws;
        libraryPrinter(ws.file("jdk"));
        makeDirs(ws.file("pub"));
        ASSERT_EQ(chmod(ws.file("pub").c_str(), 01777), 0);
        const SString bundle = bundleWith(ws, ws.file("jdk"), "LIB", ws.file("pub/app"));
        const SString planted = ws.file("pub/app") + c.extension;
        c.plant(planted);
        RunResult r = ws.run(bundle);
        EXPECT_EQ(r.status, 0) << c.what << "\n" << r.out << r.err;
        EXPECT_EQ(r.out.find("theirs"), SString::npos) << c.what << "\n" << r.out;
        const SString warning = "The runtime file " + planted + " is not read: ";
        EXPECT_NE(r.err.find(warning), SString::npos) << c.what << "\n" << r.err;
        EXPECT_NE(r.err.find(c.reason), SString::npos) << c.what << "\n" << r.err;
        EXPECT_NE(ws.logText().find("WARNING: " + warning), SString::npos) << c.what;
    }
}

// Two releases of one size, the second extracted over the first with the first's times (a
// reproducible build's tarball), or copied in after the first was removed: the new
// application runs, never the old one's cached copy.
TEST(OutsideData, AReleaseOfTheSameSizeNeverRunsTheOldCopy) {
    Workspace ws;
    libraryPrinter(ws.file("jdk"));
    const SString bundle = ws.file("app");
    bundleWith(ws, ws.file("jdk"), "VERSION-1", bundle);
    const SString second = bundleWith(ws, ws.file("jdk"), "VERSION-2", ws.file("release2"));
    ASSERT_EQ(readFile(bundle).size(), readFile(second).size());
    const std::map<SString, SString> env = {{"QNLAUNCH_CACHE", ws.file("cache")}};

    RunResult r = ws.run(bundle, {}, env);
    EXPECT_EQ(r.out.substr(0, 9), "VERSION-1") << r.out << r.err;
    rewriteInPlace(bundle, readFile(second));
    r = ws.run(bundle, {}, env);
    EXPECT_EQ(r.out.substr(0, 9), "VERSION-2") << r.out << r.err;

    // Removed and copied in again with the old times: the same.
    bundleWith(ws, ws.file("jdk"), "VERSION-1", ws.file("release1"));
    struct stat old;
    ASSERT_EQ(stat(bundle.c_str(), &old), 0);
    ASSERT_EQ(unlink(bundle.c_str()), 0);
    writeFile(bundle, readFile(ws.file("release1")), 0755);
    struct timespec times[2] = {old.st_atim, old.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, bundle.c_str(), times, 0), 0);
    r = ws.run(bundle, {}, env);
    EXPECT_EQ(r.out.substr(0, 9), "VERSION-1") << r.out << r.err;
    EXPECT_TRUE(ws.leftovers().empty());
}

// A cached copy changed in place after it was written, at the same size and with its old
// time put back, is written again before it is handed to the application.
TEST(OutsideData, ACachedCopyChangedInPlaceIsWrittenAgain) {
    Workspace ws;
    libraryPrinter(ws.file("jdk"));
    const SString bundle = bundleWith(ws, ws.file("jdk"), "THE-LIBRARY", ws.file("app"));
    const std::map<SString, SString> env = {{"QNLAUNCH_CACHE", ws.file("cache")}};
    RunResult r = ws.run(bundle, {}, env);
    EXPECT_EQ(r.out.substr(0, 11), "THE-LIBRARY") << r.out << r.err;
    const std::vector<SString> copies = cachedCopies(ws.file("cache"), "lib.jar");
    ASSERT_EQ(copies.size(), 1u);
    rewriteInPlace(copies[0], "THE-DAMAGED");
    r = ws.run(bundle, {}, env);
    EXPECT_EQ(r.out.substr(0, 11), "THE-LIBRARY") << r.out << r.err;
    EXPECT_EQ(readFile(copies[0]), "THE-LIBRARY");
}

// Homes whose names hold the launcher's macro characters are verified and run like any
// other: named with -qn:javahome, and found through a hint that writes "#" as "##".
TEST(OutsideData, HomesWithMacroCharactersWork) {
    Workspace ws;
    const SString odd = ws.file("we#ird%dir@x");
    libraryPrinter(odd);
    const SString bundle = bundleWith(ws, ws.file("nothing-here"), "LIB", ws.file("app"));
    const std::map<SString, SString> noCache = {{"QNLAUNCH_CACHE", "off"}};
    RunResult r = ws.run(bundle, {"-qn:javahome", odd}, noCache);
    EXPECT_EQ(r.status, 0) << r.out << r.err << ws.logText();
    EXPECT_EQ(r.out.substr(0, 3), "LIB") << r.out << r.err;
    EXPECT_EQ(StandInJvm{odd}.callCount(), 2);

    SString hinted = ws.root() + "/we##ird%dir@x";
    const SString found = bundleWith(ws, hinted, "LIB", ws.file("found"));
    r = ws.run(found, {}, noCache);
    EXPECT_EQ(r.status, 0) << r.out << r.err << ws.logText();
    EXPECT_EQ(r.out.substr(0, 3), "LIB") << r.out << r.err;
    EXPECT_EQ(StandInJvm{odd}.callCount(), 4);
}

// A colon in the cache's path or the temporary directory's would split a class path: the
// run takes its archives from a place without one.
TEST(OutsideData, ColonsInTheCacheAndTemporaryPathsDoNotBreakARun) {
    Workspace ws;
    libraryPrinter(ws.file("jdk"));
    const SString bundle = bundleWith(ws, ws.file("jdk"), "LIB", ws.file("app"));
    makeDirs(ws.file("ho:me"));
    makeDirs(ws.file("t:mp"));
    ASSERT_EQ(chmod(ws.file("t:mp").c_str(), 0700), 0);
    RunResult r = run({bundle, "-qn:log", ws.log()}, ws.root(),
                      {{"HOME", ws.file("ho:me")},
                       {"TMPDIR", ws.file("t:mp")},
                       {"QNLAUNCH_CACHE", ""},
                       {"XDG_CACHE_HOME", ""}});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.substr(0, 3), "LIB") << r.out << r.err << ws.logText();
    EXPECT_EQ(r.out.find(":me"), SString::npos) << r.out;
    EXPECT_NE(ws.logText().find("holds a colon"), SString::npos) << ws.logText();
    EXPECT_TRUE(listDir(ws.file("t:mp")).empty());
}

// VERIFY_CLASSPATH is one class path whatever its form: unquoted, a blank in it does not
// split it into two arguments.
TEST(OutsideData, AVerifierClassPathWithABlankIsOneArgument) {
    Workspace ws;
    StandInJvm jdk = StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    writeFile(ws.file("d.jvm"), e2e::descriptor("D", e2e::kStandInExpected, {}));
    const SString verifier = ws.file("my v.jar");
    writeFile(ws.file("v.tag"), "ACTION: VERIFY_JVM\nVERIFY_JVM_FILE: " + ws.file("d.jvm") +
                                    "\nVERIFY_JVM_HOME: " + jdk.home + "\nVERIFY_CLASSPATH: " +
                                    verifier + "\nVERIFY_CLASS_NAME: Verify\n");
    RunResult r = ws.run(qnlaunchPath(), {"-qn:in", ws.file("v.tag")}, {{"QNLAUNCH_CACHE", "off"}});
    EXPECT_EQ(r.out, "1\n") << r.err;
    ASSERT_EQ(jdk.callCount(), 1);
    const std::vector<SString> args = jdk.args(1);
    ASSERT_GE(args.size(), 3u);
    EXPECT_EQ(args[0], "-cp");
    EXPECT_EQ(args[1], verifier);
    EXPECT_EQ(args[2], "Verify");
}

}  // namespace
