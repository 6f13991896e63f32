// The background job that makes a class-data archive, with a stand-in JVM of release 25
// that writes a class list, makes an archive with -Xshare:dump and notes the archives it is
// given: one job for many first runs, nothing left when anything is killed, nothing on
// the terminal, nothing without a cache or on a busy machine, and archives refused or
// changed made again, at most twice for one key.

#include <gtest/gtest.h>
#include <unistd.h>

#include "e2e/E2eHelpers.h"
#include "inputfiles/FileIndexEntry.h"
#include "platform/os/FileIdentity.h"

using namespace testkit;
using e2e::Workspace;

namespace {

// A stand-in HotSpot JVM for class data. Files in its home steer it: dump-seconds and
// dump-after (sleeps before and after it writes the archive), app-seconds (the
// application's run), refuse (it logs a refusal of the archive it is given).
const char* const kClassDataJvm =
    "#!/bin/sh\n"
    "home=\"${0%/bin/java}\"\n"
    "list=; classes=; archive=; log=; dump=0\n"
    "for a in \"$@\"; do\n"
    "  case \"$a\" in\n"
    "    Verify) printf '1739021872\\n25.0.3\\n'; exit 0;;\n"
    "    -Xshare:dump) dump=1;;\n"
    "    -XX:DumpLoadedClassList=*) list=\"${a#*=}\";;\n"
    "    -XX:SharedClassListFile=*) classes=\"${a#*=}\";;\n"
    "    -XX:SharedArchiveFile=*) archive=\"${a#*=}\";;\n"
    "    -Xlog:*:file=*) log=\"${a#*:file=}\"; log=\"${log%%::*}\";;\n"
    "  esac\n"
    "done\n"
    "if [ $dump = 1 ]; then\n"
    "  echo $$ >> \"$home/dumps\"\n"
    "  [ -f \"$home/dump-seconds\" ] && sleep \"$(cat \"$home/dump-seconds\")\"\n"
    "  { printf '\\242\\253\\013\\360'; cat \"$classes\"; } > \"$archive\"\n"
    "  [ -f \"$home/dump-after\" ] && sleep \"$(cat \"$home/dump-after\")\"\n"
    "  exit 0\n"
    "fi\n"
    "printf '%s\\n' \"$@\" > \"$home/app-args\"\n"
    "echo \"$PPID\" > \"$home/app-parent\"\n"
    "[ -n \"$list\" ] && printf '# classes\\njava/lang/Object id: 1\\nHello id: 2\\n' > "
    "\"$list\"\n"
    "if [ -n \"$archive\" ]; then\n"
    "  if [ -f \"$home/refuse\" ]; then msg='UseSharedSpaces: Unable to map shared spaces'\n"
    "  else msg=\"Opened archive $archive.\"; fi\n"
    "  [ -n \"$log\" ] && echo \"[info][cds] $msg\" > \"$log\"\n"
    "fi\n"
    "echo 'stand-in application ran'\n"
    "[ -f \"$home/app-seconds\" ] && sleep \"$(cat \"$home/app-seconds\")\"\n"
    "exit 0\n";

struct ClassDataSetup {
    Workspace ws;
    SString home, bundle, cache;
    MountPlan quiet;

    ClassDataSetup() {
        home = ws.file("jdk");
        writeFile(home + "/bin/java", kClassDataJvm, 0755);
        writeFile(home + "/release", "JAVA_VERSION=\"25.0.3\"\n");
        // Large enough that concurrent first runs overlap in writing its cached copy.
        writeFile(ws.file("hello.jar"), "the application's jar" + SString(8 << 20, '.'));
        bundle =
            BundleBuilder(ws.root())
                .add(
                    FILE_TYPE_INSTRUCTIONS, "instructions.tag",
                    e2e::instructions({"FIND_JVM 0 0", "JMP0 @N1@ none", "LAUNCH @S2@ 0", ":none"}))
                .add(FILE_TYPE_JVM, "jdk.jvm",
                     e2e::descriptor("JDK", {"java.version=25..."}, {home}))
                .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag",
                     "DESC: Hello\nQUIET: 1\nDISPLAY_CONSOLE: 1\nCLASS_DATA: 1\nCOMMAND: "
                     "\"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%() Hello\"\n")
                .addFile(FILE_TYPE_VERIFY_ARCHIVE, verifyJarPath())
                .addFile(FILE_TYPE_CLASSPATH_ARCHIVE, ws.file("hello.jar"))
                .write(ws.file("app.bin"));
        cache = ws.file("cache");
        quiet = e2e::machineWithLoad(ws, "0.00");
    }

    RunResult run(const std::vector<SString>& args = {}, const MountPlan* mounts = nullptr) {
        return ws.run(bundle, args, {{"QNLAUNCH_CACHE", cache}}, SString(),
                      mounts ? mounts : &quiet);
    }
    // The one class-data entry of the cache, or empty.
    SString entry() const {
        const std::vector<SString> entries = listDir(cache + "/classdata");
        return entries.size() == 1 ? cache + "/classdata/" + entries[0] : SString();
    }
    // Waits until no job is left; whether the entry then holds an archive.
    bool jobsDone() const {
        EXPECT_TRUE(e2e::waitUntilNoneRuns(bundle, 60));
        return !entry().empty() && exists(entry() + "/app.jsa");
    }
    std::vector<SString> appArgs() const { return splitLines(readFile(home + "/app-args")); }
    bool appGot(const SString& prefix) const {
        for (const SString& arg : appArgs()) {
            if (arg.compare(0, prefix.size(), prefix) == 0) return true;
        }
        return false;
    }
    int dumps() const { return static_cast<int>(splitLines(readFile(home + "/dumps")).size()); }

    // Whether the entry holds the entry's own files only, and its archive, if any, whole.
    ::testing::AssertionResult entryIsClean() const {
        for (const SString& name : listDir(entry())) {
            if (name != "lock" && name != "app.jsa" && name != "app.jsa.id" && name != "failures") {
                return ::testing::AssertionFailure() << "left in the entry: " << name;
            }
        }
        if (exists(entry() + "/app.jsa")) {
            const SString stamp = readFile(entry() + "/app.jsa.id");
            if (stamp.compare(0, stamp.find('\n'), fileIdentity(entry() + "/app.jsa", true)) != 0) {
                return ::testing::AssertionFailure() << "an archive without its stamp";
            }
        }
        if (!ws.leftovers().empty()) {
            return ::testing::AssertionFailure()
                   << "left in the temporary directory: " << ws.leftovers()[0];
        }
        return ::testing::AssertionSuccess();
    }
};

const char* const kAppOutput = "stand-in application ran\n";

}  // namespace

TEST(BackgroundJob, OneJobMakesTheArchiveForTwentyFirstRunsAtOnce) {
    REQUIRE_NATIVE_JOB();
    REQUIRE_PRIVATE_MOUNTS();
    ClassDataSetup s;
    writeFile(s.home + "/dump-seconds", "1");
    // The twenty start together, once all are ready.
    SString script =
        "for i in $(seq 20); do (while [ ! -e \"$2.go\" ]; do sleep 0.01; done; exec \"$0\" "
        "-qn:tempdir \"$1\" -qn:log \"$2.$i\" > \"$2.$i.out\" 2>&1) & done; sleep 0.5; "
        ": > \"$2.go\"; wait";
    RunResult r = run({"/bin/sh", "-c", script, s.bundle, s.ws.tempDir(), s.ws.file("run")},
                      s.ws.root(), {{"QNLAUNCH_CACHE", s.cache}}, 120, nullptr, &s.quiet);
    ASSERT_EQ(r.status, 0) << r.err;
    for (int i = 1; i <= 20; ++i) {
        // Nothing on the terminal but the application's output.
        EXPECT_EQ(readFile(s.ws.file("run." + std::to_string(i) + ".out")), kAppOutput);
    }
    // All of them ran with one copy of the jar, so all share one key.
    EXPECT_TRUE(e2e::waitUntilNoneRuns(s.bundle, 60));
    ASSERT_EQ(listDir(s.cache + "/classdata").size(), 1u);
    ASSERT_TRUE(s.jobsDone());
    EXPECT_EQ(s.dumps(), 1);
    EXPECT_TRUE(s.entryIsClean());

    // The next run maps it.
    r = s.run();
    EXPECT_EQ(r.out, kAppOutput);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(s.appGot("-XX:SharedArchiveFile=" + s.entry() + "/app.jsa"));
    EXPECT_FALSE(s.appGot("-XX:DumpLoadedClassList="));
}

TEST(BackgroundJob, KilledAtAnyMomentItLeavesNothingBehind) {
    REQUIRE_PRIVATE_MOUNTS();
    struct Case {
        const char* what;
        const char* victim;  // job, dump (the JVM it runs) or launcher (SIGTERM)
        const char* seconds;
    };
    // The application runs 1 s; the dump waits 1 s, writes, waits 1 s more.
    const Case cases[] = {{"while it waits for the launcher", "job", "0.5"},
                          {"while the JVM dumps", "job", "1.8"},
                          {"after the JVM wrote the archive", "job", "2.8"},
                          {"the dumping JVM", "dump", "1.8"},
                          {"the launcher, with the job waiting", "launcher", "0.5"}};
    for (const Case& c : cases) {
        ClassDataSetup s;
        writeFile(s.home + "/app-seconds", "1");
        writeFile(s.home + "/dump-seconds", "1");
        writeFile(s.home + "/dump-after", "1");
        // Jobs are the processes of the bundle in a session other than the script's.
        const SString script =
            "\"$0\" -qn:tempdir \"$1\" -qn:log \"$2\" > \"$2.out\" 2>&1 & launcher=$!\n"
            "sleep \"$4\"\n"
            "set -- \"$@\" $(cut -d' ' -f6 /proc/$$/stat)\n"
            "case $3 in\n"
            "  launcher) kill -TERM $launcher;;\n"
            "  dump) kill -KILL $(cat \"$6\");;\n"
            "  job) for p in /proc/[0-9]*; do\n"
            "      [ \"$(readlink $p/exe)\" = \"$0\" ] || continue\n"
            "      [ \"$(cut -d' ' -f6 $p/stat)\" = \"$7\" ] || kill -KILL ${p#/proc/}\n"
            "    done;;\n"
            "esac\n"
            "wait $launcher; exit 0\n";
        const RunResult r = run({"/bin/sh", "-c", script, s.bundle, s.ws.tempDir(), s.ws.log(),
                                 c.victim, c.seconds, "unused", s.home + "/dumps"},
                                s.ws.root(), {{"QNLAUNCH_CACHE", s.cache}}, 120, nullptr, &s.quiet);
        ASSERT_EQ(r.status, 0) << c.what << r.err;
        s.jobsDone();
        EXPECT_TRUE(s.entryIsClean()) << c.what;
        EXPECT_EQ(readFile(s.ws.log() + ".out").find('['), SString::npos) << c.what;
    }
}

TEST(BackgroundJob, NoneWithoutACacheOrOnABusyMachine) {
    REQUIRE_PRIVATE_MOUNTS();
    ClassDataSetup s;
    RunResult r = s.ws.run(s.bundle, {}, {{"QNLAUNCH_CACHE", "off"}}, SString(), &s.quiet);
    EXPECT_EQ(r.out, kAppOutput);
    EXPECT_TRUE(e2e::processesRunning(s.bundle).empty());
    EXPECT_FALSE(s.appGot("-XX:DumpLoadedClassList="));
    EXPECT_TRUE(s.ws.leftovers().empty());

    // One busy processor more than there are.
    const MountPlan busy =
        e2e::machineWithLoad(s.ws, std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + ".50");
    r = s.run({}, &busy);
    EXPECT_EQ(r.out, kAppOutput);
    EXPECT_FALSE(s.appGot("-XX:DumpLoadedClassList="));
    EXPECT_NE(s.ws.logText().find("the machine is busy"), SString::npos);
    EXPECT_FALSE(s.jobsDone());
}

TEST(BackgroundJob, ARefusedArchiveIsMadeAgainAndGivenUpAtTheSecondRefusal) {
    REQUIRE_NATIVE_JOB();
    REQUIRE_PRIVATE_MOUNTS();
    ClassDataSetup s;
    s.run();
    ASSERT_TRUE(s.jobsDone());
    writeFile(s.home + "/refuse", "");
    for (int round = 1; round <= 2; ++round) {
        RunResult r = s.run();
        EXPECT_EQ(r.out, kAppOutput);
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(s.appGot("-XX:SharedArchiveFile=")) << round;
        EXPECT_FALSE(exists(s.entry() + "/app.jsa")) << round;
        EXPECT_NE(s.ws.logText().find("the JVM refused it"), SString::npos);
        if (round == 1) {
            // Made again by the next run's job.
            s.run();
            ASSERT_TRUE(s.jobsDone());
        }
    }
    unlink(s.ws.log().c_str());
    RunResult r = s.run();
    EXPECT_EQ(r.out, kAppOutput);
    EXPECT_FALSE(s.appGot("-XX:SharedArchiveFile="));
    EXPECT_FALSE(s.appGot("-XX:DumpLoadedClassList="));
    EXPECT_NE(s.ws.logText().find("was given up"), SString::npos) << s.ws.logText();
    EXPECT_EQ(s.dumps(), 2);
    EXPECT_TRUE(s.entryIsClean());
}

TEST(BackgroundJob, AnArchiveChangedSinceItWasMadeIsNeverHandedToTheJvm) {
    REQUIRE_NATIVE_JOB();
    REQUIRE_PRIVATE_MOUNTS();
    ClassDataSetup s;
    s.run();
    ASSERT_TRUE(s.jobsDone());
    const SString archive = s.entry() + "/app.jsa";
    const SString made = readFile(archive);
    // Damaged in place: as long as before, but other bytes.
    writeFile(archive, SString(made.size(), 'x'));
    RunResult r = s.run();
    EXPECT_EQ(r.out, kAppOutput);
    EXPECT_FALSE(s.appGot("-XX:SharedArchiveFile="));
    EXPECT_TRUE(s.appGot("-XX:DumpLoadedClassList="));
    ASSERT_TRUE(s.jobsDone());
    EXPECT_EQ(readFile(archive), made);
    s.run();
    EXPECT_TRUE(s.appGot("-XX:SharedArchiveFile=" + archive));
    EXPECT_TRUE(s.entryIsClean());
}

TEST(BackgroundJob, AProvenArchiveLetsTheLauncherHandOverAndALaterRunJudgesIt) {
    REQUIRE_NATIVE_JOB();
    REQUIRE_PRIVATE_MOUNTS();
    ClassDataSetup s;
    s.run();
    ASSERT_TRUE(s.jobsDone());
    const std::vector<SString> noLog = {s.bundle, "-qn:tempdir", s.ws.tempDir()};
    const std::map<SString, SString> env = {{"QNLAUNCH_CACHE", s.cache}};
    const SString test = std::to_string(getpid());
    // Its first use is watched: the launcher stays the JVM's parent.
    RunResult r = run(noLog, s.ws.root(), env, 60, nullptr, &s.quiet);
    EXPECT_EQ(r.out, kAppOutput);
    EXPECT_NE(readFile(s.home + "/app-parent"), test + "\n");
    // Proven, it is handed over: the JVM is the launcher's process, its parent the test.
    r = run(noLog, s.ws.root(), env, 60, nullptr, &s.quiet);
    EXPECT_EQ(r.out, kAppOutput);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(s.home + "/app-parent"), test + "\n");
    EXPECT_TRUE(s.appGot("-XX:SharedArchiveFile=" + s.entry() + "/app.jsa"));
    EXPECT_TRUE(s.ws.leftovers().empty());
    // What a handed-over JVM refuses is found by the next run, which records anew.
    writeFile(s.home + "/refuse", "");
    r = run(noLog, s.ws.root(), env, 60, nullptr, &s.quiet);
    EXPECT_EQ(readFile(s.home + "/app-parent"), test + "\n");
    unlink((s.home + "/refuse").c_str());
    r = s.run();
    EXPECT_EQ(r.out, kAppOutput);
    EXPECT_NE(s.ws.logText().find("the JVM refused it"), SString::npos) << s.ws.logText();
    EXPECT_TRUE(s.appGot("-XX:DumpLoadedClassList="));
    ASSERT_TRUE(s.jobsDone());
    EXPECT_TRUE(s.entryIsClean());
}
