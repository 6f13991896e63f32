// A bundle packed with "qnpack create --runtime" on a machine without a fitting JVM (its
// /usr/lib/jvm hidden, no java on the PATH, no JAVA_HOME): the real runtime made with
// jlink is installed once and reused, or for the run alone; a cache another user controls
// is never used, however it is swapped meanwhile; and a runtime in use stays while other
// bundles' runs keep the cache.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <future>
#include <thread>

#include "base/Sha256.h"
#include "e2e/E2eHelpers.h"
#include "inputfiles/Bundle.h"
#include "inputfiles/FileIndexEntry.h"

using namespace testkit;
using e2e::Workspace;

namespace {

constexpr unsigned kOtherUser = 12345;
constexpr long kDay = 24 * 60 * 60;

class RuntimeBundle : public ::testing::Test {
protected:
    void SetUp() override {
        if (getenv("QN_STUB")) GTEST_SKIP() << "packs with the host stub only";
        if (SString(QN_TEST_RUNTIME).empty() || !exists(QN_TEST_RUNTIME "/release")) {
            GTEST_SKIP() << "no runtime made with jlink in this build";
        }
        if (!exists(verifyJarPath())) GTEST_SKIP() << "verify.jar was not built";
        REQUIRE_PRIVATE_MOUNTS();
        RunResult packed = run({qnpackPath(), "create", "-o", m_ws.file("app"), "--main-jar",
                                QN_TEST_RUNTIME_APP, "--runtime", QN_TEST_RUNTIME});
        ASSERT_EQ(packed.status, 0) << packed.err;
        m_bundle = m_ws.file("app");
        Bundle bundle(m_bundle);
        bundle.readIndex();
        const auto runtimes = bundle.index().entriesOfType(FILE_TYPE_RUNTIME);
        ASSERT_EQ(runtimes.size(), 1u);
        m_id = hexText(runtimes[0]->m_digest);
        ASSERT_EQ(m_id.size(), 64u);
    }

    // Runs the bundle on the machine without a JVM, with `env` over a plain environment
    // whose cache is under the workspace's home.
    RunResult runApp(const std::map<SString, SString>& env = {},
                     const std::vector<SString>& args = {}, const SString& cwd = SString()) const {
        std::map<SString, SString> all = {{"PATH", "/usr/bin:/bin"},
                                          {"JAVA_HOME", ""},
                                          {"HOME", m_ws.file("home")},
                                          {"QNLAUNCH_CACHE", ""},
                                          {"XDG_CACHE_HOME", ""}};
        for (const auto& e : env) all[e.first] = e.second;
        return m_ws.run(m_bundle, args, all, cwd, &m_noJvm);
    }
    // What the application prints when it runs on the runtime at `home`.
    static SString ranOn(const SString& home) { return "home " + home + "\nzone +09:00\n"; }
    // Whether the run ran on a runtime in a private directory of its own.
    bool ranPrivately(const RunResult& r) const {
        const SString prefix = "home " + m_ws.tempDir() + "/qnj";
        return r.status == 0 && r.out.compare(0, prefix.size(), prefix) == 0 &&
               r.out.find("\nzone +09:00\n") != SString::npos;
    }
    SString newLog(const SString& before) const { return m_ws.logText().substr(before.size()); }
    // Runs the application from the cached runtime until told to go on, while another
    // bundle's run (on the machine's JVM, with QNLAUNCH_CACHE_SIZE `size`) keeps the cache
    // after the runtime's last use was moved back `age` seconds.
    void expectKeptWhileInUse(const char* what, long age, const char* size);

    Workspace m_ws;
    MountPlan m_noJvm = {{"tmpfs", "/usr/lib/jvm"}};
    SString m_bundle;
    SString m_id;
};

}  // namespace

TEST_F(RuntimeBundle, InstalledOnceIntoTheCacheAndReusedOrForTheRunAlone) {
    // The bundle carries the runtime as an archive, not as an installer.
    RunResult list = run({qnpackPath(), "list", m_bundle});
    EXPECT_NE(list.out.find(" runtime "), SString::npos) << list.out;
    EXPECT_NE(list.out.find("runtime.tar\n"), SString::npos) << list.out;
    EXPECT_EQ(list.out.find("jvm-installer"), SString::npos) << list.out;

    const SString home = m_ws.file("home/.cache/qnlaunch/runtimes/") + m_id;
    RunResult first = runApp();
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, ranOn(home));
    EXPECT_EQ(first.err, "");
    EXPECT_NE(m_ws.logText().find("No matching JVM was found."), SString::npos);
    EXPECT_NE(m_ws.logText().find("Installed the runtime into " + home), SString::npos);
    EXPECT_TRUE(m_ws.leftovers().empty());

    const SString before = m_ws.logText();
    RunResult second = runApp();
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.out, ranOn(home));
    EXPECT_NE(newLog(before).find("Using the runtime " + home), SString::npos);
    EXPECT_EQ(newLog(before).find("Installed the runtime"), SString::npos);
    EXPECT_EQ(listDir(m_ws.file("home/.cache/qnlaunch/runtimes")), std::vector<SString>{m_id});

    // With the cache off, the runtime lives in the run's temporary directory and goes
    // with it; no cache is made.
    RunResult uncached = runApp({{"QNLAUNCH_CACHE", "off"}, {"HOME", m_ws.file("other-home")}});
    EXPECT_TRUE(ranPrivately(uncached)) << uncached.out << uncached.err;
    EXPECT_TRUE(m_ws.leftovers().empty());
    EXPECT_FALSE(exists(m_ws.file("other-home")));
}

// A relative QNLAUNCH_CACHE is taken from the directory the run starts in, once, for the
// launcher and the install alike; a relative XDG_CACHE_HOME is ignored.
TEST_F(RuntimeBundle, RelativeCachePathsAreMadeAbsoluteOrIgnored) {
    struct Case {
        const char* name;
        const char* value;
        const char* cache;  // where the cache then is, below the workspace
    };
    for (const Case& c : {Case{"QNLAUNCH_CACHE", "rel/cache", "rel/cache"},
                          Case{"XDG_CACHE_HOME", "rel-xdg", "home/.cache/qnlaunch"}}) {
        const SString home = m_ws.file(c.cache) + "/runtimes/" + m_id;
        const SString before = m_ws.logText();
        RunResult first = runApp({{c.name, c.value}}, {}, m_ws.root());
        EXPECT_EQ(first.out, ranOn(home)) << c.name << first.err;
        RunResult second = runApp({{c.name, c.value}}, {}, m_ws.root());
        EXPECT_EQ(second.out, ranOn(home)) << c.name << second.err;
        const SString log = newLog(before);
        EXPECT_NE(log.find("Using the runtime " + home), SString::npos) << c.name;
        EXPECT_EQ(log.find("Installed the runtime"), log.rfind("Installed the runtime"))
            << c.name << ": installed more than once";
        removeTree(m_ws.file(c.cache));
    }
    EXPECT_FALSE(exists(m_ws.file("rel-xdg")));
}

// Root running with another user's home finds that user's cache, owned by them: it is not
// used, and the runtime goes into the run's own directory.
TEST_F(RuntimeBundle, RootNeverUsesAnotherUsersCache) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to hand files to another user";
    const SString cache = m_ws.file("alice/.cache/qnlaunch");
    makeDirs(cache);
    for (const char* path : {"alice", "alice/.cache", "alice/.cache/qnlaunch"}) {
        chownTo(m_ws.file(path), kOtherUser);
    }
    RunResult r = runApp({{"HOME", m_ws.file("alice")}});
    EXPECT_TRUE(ranPrivately(r)) << r.out << r.err;
    EXPECT_NE(m_ws.logText().find("The cache directory " + cache + " is not used: "),
              SString::npos);
    EXPECT_FALSE(exists(cache + "/runtimes"));
    EXPECT_TRUE(m_ws.leftovers().empty());
}

// Another user swaps a directory of theirs, holding a planted runtime under the bundle's
// name, with the directory the cache would be in, again and again while runs go on: the
// cache on their ground is never used, and their java never runs.
TEST_F(RuntimeBundle, ASwappedCacheNeverRunsAnotherUsersJava) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    const SString ground = m_ws.file("mallory");
    const SString planted = ground + "/planted/qnlaunch/runtimes/" + m_id;
    writeFile(planted + "/bin/java", "#!/bin/sh\necho PLANTED\n", 0755);
    writeFile(planted + "/jvm", "DESC: Planted\nJVM_EXE: bin/java\n");
    makeDirs(ground + "/xdg/qnlaunch/runtimes");
    for (const SString& path : {ground, ground + "/planted", ground + "/planted/qnlaunch",
                                ground + "/planted/qnlaunch/runtimes", planted, planted + "/bin",
                                planted + "/bin/java", planted + "/jvm"}) {
        chownTo(path, kOtherUser);
    }
    // Their ground is theirs, in a workspace they can pass through.
    ASSERT_EQ(chmod(m_ws.root().c_str(), 0755), 0);
    const SString a = ground + "/xdg", b = ground + "/planted";
    const pid_t swapper = fork();
    ASSERT_GE(swapper, 0);
    if (swapper == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0) {
            _exit(2);
        }
        const time_t end = time(nullptr) + 60;
        while (time(nullptr) < end) {
            // 2: RENAME_EXCHANGE
            if (syscall(SYS_renameat2, AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), 2) != 0) {
                _exit(3);
            }
        }
        _exit(0);
    }
    std::vector<RunResult> results;
    for (int i = 0; i < 3; ++i) results.push_back(runApp({{"XDG_CACHE_HOME", a}}));
    // The swaps went on through every run.
    int status = 0;
    EXPECT_EQ(waitpid(swapper, &status, WNOHANG), 0)
        << "the swapper stopped with status " << WEXITSTATUS(status);
    kill(swapper, SIGKILL);
    waitpid(swapper, &status, 0);
    for (const RunResult& r : results) {
        EXPECT_EQ(r.out.find("PLANTED"), SString::npos) << r.out;
        EXPECT_TRUE(ranPrivately(r)) << r.out << r.err;
    }
    EXPECT_NE(m_ws.logText().find("is owned by user 12345"), SString::npos);
    EXPECT_TRUE(m_ws.leftovers().empty());
}

// While an application runs from the cached runtime, another bundle's run keeps the cache:
// an aged runtime, or one past the size bound, stays until the application ends; the same
// upkeep takes it once no run holds it.
void RuntimeBundle::expectKeptWhileInUse(const char* what, long age, const char* size) {
    RunResult packed =
        run({qnpackPath(), "create", "-o", m_ws.file("other"), "--main-jar", QN_TEST_RUNTIME_APP});
    ASSERT_EQ(packed.status, 0) << packed.err;
    const SString cache = m_ws.file("cache");
    const SString home = cache + "/runtimes/" + m_id;
    const std::map<SString, SString> env = {{"QNLAUNCH_CACHE", cache}};
    ASSERT_EQ(runApp(env).out, ranOn(home)) << what;

    // The other bundle's run, on the machine's own JVM, with its upkeep due.
    const auto otherRun = [&] {
        const struct timespec aged = {time(nullptr) - age, 0};
        const struct timespec times[2] = {aged, aged};
        EXPECT_EQ(utimensat(AT_FDCWD, home.c_str(), times, 0), 0);
        unlink((cache + "/.upkeep").c_str());
        return run({m_ws.file("other"), "-qn:log", m_ws.file("other.log")}, m_ws.root(),
                   {{"QNLAUNCH_CACHE", cache},
                    {"QNLAUNCH_CACHE_SIZE", size},
                    {"HOME", m_ws.file("home")}});
    };
    const SString started = m_ws.file("started"), go = m_ws.file("go");
    auto app = std::async(std::launch::async, [&] { return runApp(env, {started, go}); });
    for (int i = 0; i < 3000 && !exists(started); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(exists(started)) << what;
    RunResult other = otherRun();
    EXPECT_EQ(other.status, 0) << what << other.err;
    EXPECT_TRUE(exists(home + "/lib/tzdb.dat")) << what;
    writeFile(go, "");
    RunResult ended = app.get();
    EXPECT_EQ(ended.status, 0) << what << ended.err;
    EXPECT_EQ(ended.out, ranOn(home)) << what;

    // Held no more, it goes.
    EXPECT_EQ(otherRun().status, 0);
    EXPECT_FALSE(exists(home)) << what;
}

TEST_F(RuntimeBundle, AnAgedRuntimeInUseOutlivesTheUpkeepOfOtherRuns) {
    // The runtime's last use is moved back 40 days; the bound stays the default.
    expectKeptWhileInUse("unused for 40 days", 40 * kDay, "");
}

TEST_F(RuntimeBundle, ARuntimeInUsePastTheSizeBoundOutlivesTheUpkeepOfOtherRuns) {
    // Older than what the other run uses, in a cache bounded below the runtime's size.
    expectKeptWhileInUse("past the size bound", 120, "20M");
}
