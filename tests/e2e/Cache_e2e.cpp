// The per-user cache seen from outside: verified JVMs answered from it until the JVM
// changes, extracted archives reused until the bundle changes, refusal of unsafe cache
// directories, corrupt entries, concurrent cold runs and a full disk.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e/E2eHelpers.h"
#include "inputfiles/FileIndexEntry.h"

using namespace testkit;
using e2e::Workspace;

namespace {

const SString kFindAndLaunch =
    e2e::instructions({"FIND_JVM 0 0", "JMP0 @N1@ none", "LAUNCH @S2@ 0", ":none"});
const SString kLaunchScript =
    "DESC: Demo\nDISPLAY_CONSOLE: 1\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%() Main\"\n";

SString cacheBundle(const Workspace& ws, const std::vector<SString>& properties,
                    const SString& library = "library", const SString& extra = SString()) {
    return BundleBuilder(ws.root())
        .add(FILE_TYPE_INSTRUCTIONS, "instructions.tag", kFindAndLaunch)
        .add(FILE_TYPE_JVM, "standin.jvm",
             e2e::descriptor("Stand-in", properties, {ws.file("jdk")}, extra))
        .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", kLaunchScript)
        .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "stand-in verifier")
        .add(FILE_TYPE_CLASSPATH_ARCHIVE, "lib.jar", library)
        .write(ws.file("app.bin"));
}

// A stand-in JVM home with a release file, as installed JDKs have.
StandInJvm standIn(const Workspace& ws) {
    StandInJvm jvm = StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    writeFile(ws.file("jdk/release"), "JAVA_VERSION=\"17.0.9\"\n");
    return jvm;
}

std::map<SString, SString> cacheAt(const SString& path) {
    return {{"QNLAUNCH_CACHE", path}};
}

// Runs the bundle once with the cache and a fresh log; the log's text.
SString runOnce(const Workspace& ws, const SString& bundle, const SString& cache,
                int expectedStatus = 0) {
    unlink(ws.log().c_str());
    RunResult r = ws.run(bundle, {}, cacheAt(cache));
    EXPECT_EQ(r.status, expectedStatus) << r.out << r.err;
    EXPECT_NE(r.out.find("stand-in application ran"), SString::npos) << r.out << ws.logText();
    return ws.logText();
}

bool mentions(const SString& text, const SString& part) {
    return text.find(part) != SString::npos;
}

// The file of the class path the Nth call received ("-cp" and the path).
SString classPathFile(const StandInJvm& jvm, int call) {
    std::vector<SString> args = jvm.args(call);
    return args.size() >= 2 ? args[1] : SString();
}

}  // namespace

TEST(Cache, VerificationComesFromTheCacheUntilTheJvmChanges) {
    Workspace ws;
    StandInJvm jvm = standIn(ws);
    const SString bundle = cacheBundle(ws, e2e::kStandInExpected);
    const SString cache = ws.file("cache");

    SString log = runOnce(ws, bundle, cache);
    EXPECT_EQ(jvm.callCount(), 2);  // the verifier and the application
    EXPECT_FALSE(mentions(log, "taken from the cache"));

    // Every verification of the next run comes from the cache: the verifier is not even
    // extracted (its copy in the cache, taken away here, does not come back).
    std::vector<SString> groups = listDir(cache + "/archives");
    for (const SString& group : groups) {
        if (exists(cache + "/archives/" + group + "/files/verify.jar"))
            removeTree(cache + "/archives/" + group);
    }
    ASSERT_EQ(listDir(cache + "/archives").size(), 1u);
    log = runOnce(ws, bundle, cache);
    EXPECT_EQ(jvm.callCount(), 3) << log;  // the application alone
    EXPECT_TRUE(
        mentions(log, "Verification of " + ws.file("jdk") + "/bin/java taken from the cache."))
        << log;
    EXPECT_EQ(listDir(cache + "/archives").size(), 1u);
    EXPECT_FALSE(mentions(log, "\"Verify\"")) << log;
    EXPECT_TRUE(ws.leftovers().empty());

    // A reinstalled java (a new file in its place) is verified again.
    const SString script = readFile(ws.file("jdk/bin/java"));
    writeFile(ws.file("jdk/bin/java.new"), script, 0755);
    ASSERT_EQ(rename(ws.file("jdk/bin/java.new").c_str(), ws.file("jdk/bin/java").c_str()), 0);
    runOnce(ws, bundle, cache);
    EXPECT_EQ(jvm.callCount(), 5);
    runOnce(ws, bundle, cache);
    EXPECT_EQ(jvm.callCount(), 6);

    // So is one whose release file changed.
    struct timespec times[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
    ASSERT_EQ(utimensat(AT_FDCWD, ws.file("jdk/release").c_str(), times, 0), 0);
    log = runOnce(ws, bundle, cache);
    EXPECT_EQ(jvm.callCount(), 8) << log;
    EXPECT_FALSE(mentions(log, "taken from the cache"));
}

TEST(Cache, PropertiesOutsideTheListAndOptingOutAreVerifiedEveryTime) {
    struct Case {
        std::vector<SString> properties;
        SString extra;
    };
    for (const Case& c : {Case{{"java.version=17...", "user.dir=/"}, ""},
                          Case{e2e::kStandInExpected, "VERIFY_CACHE: 0\n"}}) {
        Workspace ws;
        StandInJvm jvm = StandInJvm::create(
            ws.file("jdk"),
            {{"java.version", "17.0.9"}, {"java.vendor", "Stand-in"}, {"user.dir", "/"}});
        const SString bundle = cacheBundle(ws, c.properties, "library", c.extra);
        runOnce(ws, bundle, ws.file("cache"));
        const SString log = runOnce(ws, bundle, ws.file("cache"));
        EXPECT_EQ(jvm.callCount(), 4) << c.extra;
        EXPECT_FALSE(mentions(log, "taken from the cache"));
    }
}

TEST(Cache, SwitchedOffNothingIsKeptAndEveryRunVerifies) {
    Workspace ws;
    StandInJvm jvm = standIn(ws);
    const SString bundle = cacheBundle(ws, e2e::kStandInExpected);
    for (int i = 0; i < 2; ++i) {
        unlink(ws.log().c_str());
        RunResult r = ws.run(bundle, {},
                             {{"QNLAUNCH_CACHE", "off"},
                              {"XDG_CACHE_HOME", ws.file("xdg")},
                              {"HOME", ws.file("home")}});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    EXPECT_EQ(jvm.callCount(), 4);
    EXPECT_FALSE(exists(ws.file("xdg")));
    EXPECT_FALSE(exists(ws.file("home")));
    const SString log = ws.logText();
    EXPECT_FALSE(mentions(log, "cache")) << log;
    // The archives come from the run's temporary directory, as they always did.
    EXPECT_EQ(classPathFile(jvm, 4).compare(0, ws.tempDir().size(), ws.tempDir()), 0);
}

TEST(Cache, LivesBelowXdgCacheHomeElseTheHomeDirectory) {
    Workspace ws;
    StandInJvm jvm = standIn(ws);
    const SString bundle = cacheBundle(ws, e2e::kStandInExpected);
    RunResult r = ws.run(
        bundle, {},
        {{"QNLAUNCH_CACHE", ""}, {"XDG_CACHE_HOME", ws.file("xdg")}, {"HOME", ws.file("home")}});
    ASSERT_EQ(r.status, 0) << r.err;
    struct stat info;
    ASSERT_EQ(stat(ws.file("xdg/qnlaunch").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_FALSE(exists(ws.file("home/.cache")));

    r = ws.run(bundle, {},
               {{"QNLAUNCH_CACHE", ""}, {"XDG_CACHE_HOME", ""}, {"HOME", ws.file("home")}});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(stat(ws.file("home/.cache/qnlaunch").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(
        classPathFile(jvm, jvm.callCount())
            .compare(0, ws.file("home/.cache/qnlaunch").size(), ws.file("home/.cache/qnlaunch")),
        0);
}

TEST(Cache, UnsafeDirectoriesAreRefusedWithAWarningAndTheRunGoesOn) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to hand files to another user";
    struct Case {
        const char* what;
        void (*make)(const Workspace& ws);
        SString reason;
    };
    const Case cases[] = {
        {"another owner",
         [](const Workspace& ws) {
             makeDirs(ws.file("cache"));
             chmod(ws.file("cache").c_str(), 0700);
             chownTo(ws.file("cache"), 12345);
         },
         "is owned by user 12345"},
        {"open to everyone",
         [](const Workspace& ws) {
             makeDirs(ws.file("cache"));
             chmod(ws.file("cache").c_str(), 0777);
         },
         "it is writable by group or others"},
        {"open to the group",
         [](const Workspace& ws) {
             makeDirs(ws.file("cache"));
             chmod(ws.file("cache").c_str(), 0770);
         },
         "it is writable by group or others"},
        {"someone else's link",
         [](const Workspace& ws) {
             makeDirs(ws.file("real"));
             chmod(ws.file("real").c_str(), 0700);
             symlink(ws.file("real").c_str(), ws.file("cache").c_str());
             chownTo(ws.file("cache"), 12345);
         },
         "is owned by user 12345"},
    };
    for (const Case& c : cases) {
        Workspace ws;
        StandInJvm jvm = standIn(ws);
        const SString bundle = cacheBundle(ws, e2e::kStandInExpected);
        c.make(ws);
        runOnce(ws, bundle, ws.file("cache"));
        const SString log = runOnce(ws, bundle, ws.file("cache"));
        EXPECT_EQ(jvm.callCount(), 4) << c.what;
        EXPECT_TRUE(
            mentions(log, "WARNING: The cache directory " + ws.file("cache") + " is not used: "))
            << c.what << "\n"
            << log;
        EXPECT_TRUE(mentions(log, c.reason)) << c.what << "\n" << log;
        EXPECT_TRUE(listDir(ws.file("real")).empty()) << c.what;
    }
}

TEST(Cache, CorruptEntriesAreIgnoredAndReplaced) {
    Workspace ws;
    StandInJvm jvm = standIn(ws);
    const SString bundle = cacheBundle(ws, e2e::kStandInExpected, "the library's bytes");
    const SString cache = ws.file("cache");
    runOnce(ws, bundle, cache);
    const SString library = classPathFile(jvm, 2);
    ASSERT_EQ(library.compare(0, cache.size(), cache), 0) << library;
    const std::vector<SString> answers = listDir(cache + "/jvm");
    ASSERT_EQ(answers.size(), 1u);
    const SString answer = cache + "/jvm/" + answers[0];
    const SString whole = readFile(answer);

    // Cut both short, as a crash in the middle of a write without renaming would.
    ASSERT_EQ(truncate(answer.c_str(), static_cast<off_t>(whole.size() / 2)), 0);
    ASSERT_EQ(chmod(library.c_str(), 0600), 0);
    ASSERT_EQ(truncate(library.c_str(), 3), 0);
    runOnce(ws, bundle, cache);
    EXPECT_EQ(jvm.callCount(), 4);  // verified again
    EXPECT_EQ(readFile(classPathFile(jvm, 4)), "the library's bytes");
    EXPECT_EQ(classPathFile(jvm, 4), library);
    EXPECT_EQ(readFile(answer), whole);

    // Garbage of full length is no entry either.
    writeFile(answer, SString(whole.size(), 'x'));
    runOnce(ws, bundle, cache);
    EXPECT_EQ(jvm.callCount(), 6);
    runOnce(ws, bundle, cache);
    EXPECT_EQ(jvm.callCount(), 7);
}

TEST(Cache, FiftyConcurrentColdRunsAllSucceedAndLeaveAConsistentCache) {
    Workspace ws;
    StandInJvm jvm = standIn(ws);
    const SString bundle = cacheBundle(ws, e2e::kStandInExpected, SString(300000, 'j'));
    const SString cache = ws.file("cache");
    // The bundle's command line (behind the emulator for a stub of another machine).
    SString program;
    for (const SString& word : withEmulator({bundle, "-qn:tempdir", ws.tempDir()})) {
        program += "'" + word + "' ";
    }
    const SString script =
        "i=0; while [ $i -lt 50 ]; do\n"
        "  i=$((i + 1))\n"
        "  ( " +
        program + "> '" + ws.file("out") + "'.$i 2>&1; echo $? > '" + ws.file("status") +
        "'.$i ) &\n"
        "done\nwait\n";
    RunResult r = run({"/bin/sh", "-c", script}, ws.root(),
                      {{"QNLAUNCH_CACHE", cache}, {"TMPDIR", ws.tempDir()}}, 300);
    ASSERT_EQ(r.status, 0) << r.err;
    for (int i = 1; i <= 50; ++i) {
        const SString n = std::to_string(i);
        EXPECT_EQ(readFile(ws.file("status." + n)), "0\n") << n;
        EXPECT_TRUE(mentions(readFile(ws.file("out." + n)), "stand-in application ran")) << n;
    }
    // One whole copy of each archive and one answer, nothing half written.
    for (const char* kind : {"archives", "jvm"}) {
        for (const SString& name : listDir(cache + "/" + kind)) {
            EXPECT_NE(name[0], '.') << kind << "/" << name;
        }
    }
    const std::vector<SString> groups = listDir(cache + "/archives");
    ASSERT_EQ(groups.size(), 2u);  // the class path and the verifier
    for (const SString& group : groups) {
        for (const SString& name : listDir(cache + "/archives/" + group + "/files")) {
            EXPECT_NE(name[0], '.') << name;
            if (name == "lib.jar") {
                EXPECT_TRUE(readFile(cache + "/archives/" + group + "/files/lib.jar") ==
                            SString(300000, 'j'));
            }
        }
    }
    const int before = jvm.callCount();
    const SString log = runOnce(ws, bundle, cache);
    EXPECT_TRUE(mentions(log, "taken from the cache")) << log;
    EXPECT_GE(jvm.callCount(), before);
    EXPECT_TRUE(ws.leftovers().empty());
}

TEST(Cache, AFullOrReadOnlyDiskNeverFailsARun) {
    Workspace ws;
    const SString disk = ws.file("disk");
    makeDirs(disk);
    e2e::ScopedTmpfs tmpfs(disk, "size=256k,mode=0700");
    if (!tmpfs.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
    StandInJvm jvm = standIn(ws);
    const SString bundle = cacheBundle(ws, e2e::kStandInExpected, SString(200000, 'z'));
    const SString cache = disk + "/cache";
    // Fill it, leaving too little for the archive.
    writeFile(disk + "/filler", SString(200000, 'f'));
    runOnce(ws, bundle, cache);
    // The archive that did not fit was extracted for the run alone; nothing half written stays.
    EXPECT_EQ(classPathFile(jvm, 2).compare(0, ws.tempDir().size(), ws.tempDir()), 0);
    SString left;
    for (const SString& group : listDir(cache + "/archives")) {
        for (const SString& name : listDir(cache + "/archives/" + group + "/files")) {
            left += name + " ";
        }
    }
    EXPECT_EQ(left, "verify.jar ");

    // Read-only: nothing can be made, and the run goes on all the same.
    unlink((disk + "/filler").c_str());
    removeTree(cache);
    ASSERT_EQ(mount("tmpfs", disk.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=256k"), 0);
    const SString log = runOnce(ws, bundle, cache);
    EXPECT_TRUE(mentions(log, "WARNING: The cache directory " + cache + " cannot be made: "))
        << log;
    EXPECT_TRUE(ws.leftovers().empty());
}

TEST(Cache, ARebuiltBundleUsesItsNewArchives) {
    Workspace ws;
    StandInJvm jvm = standIn(ws);
    const SString cache = ws.file("cache");
    runOnce(ws, cacheBundle(ws, e2e::kStandInExpected, "version one"), cache);
    EXPECT_EQ(readFile(classPathFile(jvm, 2)), "version one");
    // Same name, same length, other bytes.
    runOnce(ws, cacheBundle(ws, e2e::kStandInExpected, "version two"), cache);
    const SString second = classPathFile(jvm, jvm.callCount());
    EXPECT_EQ(readFile(second), "version two");
    EXPECT_NE(second, classPathFile(jvm, 2));
    EXPECT_EQ(readFile(classPathFile(jvm, 2)), "version one");  // left to age out
}

// The descriptor that FIND_JVM hands to LAUNCH cannot be written into a full temporary
// directory: the run ends with the write error and status 1, the application never runs
// (it once ran "/" as the JVM, from an empty descriptor).
TEST(Cache, AFullTemporaryDirectoryEndsTheRunWithTheWriteError) {
    Workspace ws;
    e2e::ScopedTmpfs tmpfs(ws.tempDir(), "size=64k,mode=0700");
    if (!tmpfs.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
    StandInJvm jvm = standIn(ws);
    const SString bundle = cacheBundle(ws, e2e::kStandInExpected);
    const SString cache = ws.file("cache");
    runOnce(ws, bundle, cache);  // the verification and the archives go into the cache
    const int calls = jvm.callCount();
    writeFile(ws.tempDir() + "/filler", SString(64 * 1024, 'f'));
    RunResult r = ws.run(bundle, {}, cacheAt(cache));
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    const SString message = "Error writing file = " + std::to_string(ENOSPC) +
                            " There may not be enough temporary disk space.";
    EXPECT_NE((r.out + r.err).find(message), SString::npos) << r.out << r.err;
    EXPECT_NE(ws.logText().find("ERROR: " + message), SString::npos) << ws.logText();
    EXPECT_EQ(jvm.callCount(), calls);
    unlink((ws.tempDir() + "/filler").c_str());
    EXPECT_TRUE(ws.leftovers().empty());
}
