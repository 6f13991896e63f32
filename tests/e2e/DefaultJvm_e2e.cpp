// The system's default JVM first: generated bundles try -qn:javahome, JAVA_HOME, the java on
// PATH, then the newest in the usual places; a JAVA_HOME they cannot use is said once, with
// the reason, and the search goes on. Stand-in JVMs on a fake machine whose /usr/lib/jvm
// and /usr/local are trees of the test (a private mount namespace; the machine's own
// /usr/bin/java then leads nowhere).

#include <gtest/gtest.h>
#include <unistd.h>

#include "e2e/E2eHelpers.h"
#include "inputfiles/FileIndexEntry.h"
#include "support/ZipBuilder.h"

using namespace testkit;
using e2e::Workspace;

namespace {

class Machine {
public:
    Machine() : m_root(m_ws.file("root")) {
        makeDirs(m_root + "/home");
        for (const char* place : {"/usr/lib/jvm", "/usr/local"}) {
            makeDirs(m_root + place);
            if (exists(place)) m_mounts.emplace_back(m_root + place, place);
        }
    }

    // A stand-in of `version` that prints "ran NAME"; its home as runs see it.
    SString jvm(const SString& relative, const SString& version) {
        StandInJvm::create(m_root + "/" + relative, {{"java.version", version}}, "1739021872",
                           "ran " + relative);
        for (const char* place : {"usr/lib/jvm/", "usr/local/"}) {
            if (relative.compare(0, strlen(place), place) == 0) return "/" + relative;
        }
        return m_root + "/" + relative;
    }
    // A PATH directory whose java is a link to `home`/bin/java, as /usr/bin/java is.
    SString pathTo(const SString& home) {
        const SString dir = m_root + "/path-to" + home;
        makeDirs(dir);
        EXPECT_EQ(symlink((home + "/bin/java").c_str(), (dir + "/java").c_str()), 0);
        return dir;
    }
    // A bundle packed by qnpack from a Java 17 jar, with `extra` options.
    SString pack(const SString& name, const std::vector<SString>& extra = {}) {
        ZipBuilder()
            .add("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\nMain-Class: app.Main\n")
            .add("app/Main.class", classFileHeader(61))
            .write(m_ws.file("app.jar"));
        std::vector<SString> argv = {qnpackPath(),    "create",     "-o",
                                     m_ws.file(name), "--main-jar", m_ws.file("app.jar")};
        argv.insert(argv.end(), extra.begin(), extra.end());
        RunResult packed = testkit::run(argv);
        EXPECT_EQ(packed.status, 0) << packed.err;
        return m_ws.file(name);
    }
    // Runs `bundle` with `args`, HOME in the tree, JAVA_HOME as given (none by default) and
    // PATH starting with `pathDir` when given.
    RunResult run(const SString& bundle, const SString& javaHome, const SString& pathDir,
                  const std::vector<SString>& args = {}) {
        const std::map<SString, SString> env = {
            {"HOME", m_root + "/home"},
            {"JAVA_HOME", javaHome},
            {"PATH", (pathDir.empty() ? "" : pathDir + ":") + "/usr/bin:/bin"},
            {"QNLAUNCH_CACHE", "off"}};
        return m_ws.run(bundle, args, env, SString(), &m_mounts);
    }
    Workspace& ws() { return m_ws; }

private:
    Workspace m_ws;
    SString m_root;
    MountPlan m_mounts;
};

#define REQUIRE_MACHINE()                                                   \
    REQUIRE_PRIVATE_MOUNTS();                                               \
    if (getenv("QN_STUB")) GTEST_SKIP() << "packs with the host stub only"; \
    if (!exists(verifyJarPath())) GTEST_SKIP() << "verify.jar was not built"

TEST(DefaultJvm, JavaHomeThenThePathsJavaThenTheNewestInstalled) {
    REQUIRE_MACHINE();
    Machine m;
    m.jvm("usr/lib/jvm/temurin-25-jdk", "25.0.1");
    m.jvm("usr/lib/jvm/java-21-openjdk", "21.0.2");
    const SString javaHome = m.jvm("env/jdk-21", "21.0.1");
    const SString system = m.pathTo(m.jvm("usr/lib/jvm/java-17-openjdk", "17.0.15"));
    const SString option = m.jvm("opt-in/jdk", "17.0.2");
    const SString bundle = m.pack("tool");
    const SString newest = m.pack("newest", {"--prefer-newest"});

    const struct {
        SString bundle;
        SString javaHome;
        SString pathDir;
        std::vector<SString> args;
        SString ran;
    } cases[] = {
        {bundle, javaHome, system, {"-qn:javahome", option}, "opt-in/jdk"},
        {bundle, javaHome, system, {}, "env/jdk-21"},
        {bundle, "", system, {}, "usr/lib/jvm/java-17-openjdk"},
        {bundle, "", "", {}, "usr/lib/jvm/temurin-25-jdk"},
        {newest, "", system, {}, "usr/lib/jvm/temurin-25-jdk"},
        {newest, javaHome, system, {}, "env/jdk-21"},
    };
    for (const auto& c : cases) {
        RunResult r = m.run(c.bundle, c.javaHome, c.pathDir, c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "ran " + c.ran + "\n") << c.javaHome << " " << c.pathDir;
        EXPECT_EQ(r.err, "");
    }
}

// A JAVA_HOME the bundle cannot use is said on standard error, with why, and the search goes
// on to the java on PATH.
TEST(DefaultJvm, AJavaHomeThatDoesNotFitIsSaidOnceWithTheReason) {
    REQUIRE_MACHINE();
    Machine m;
    const SString old = m.jvm("opt-old/jdk8", "1.8.0_392");
    const SString system = m.pathTo(m.jvm("usr/lib/jvm/java-17-openjdk", "17.0.15"));
    makeDirs(m.ws().file("root/empty"));
    const SString bundle = m.pack("tool");
    const std::pair<SString, SString> cases[] = {
        {old, "java.version is 1.8.0_392, needs 17+"},
        {m.ws().file("root/nowhere"), "there is no such directory"},
        {m.ws().file("root/empty"), "no executable at " + m.ws().file("root/empty/bin/java")},
    };
    for (const auto& c : cases) {
        RunResult r = m.run(bundle, c.first, system);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "ran usr/lib/jvm/java-17-openjdk\n");
        EXPECT_EQ(r.err, "tool: JAVA_HOME=" + c.first + " is not used: " + c.second + "\n");
        EXPECT_NE(m.ws().logText().find("WARNING: JAVA_HOME=" + c.first +
                                        " is not used: " + c.second + "\n"),
                  SString::npos);
    }
    // Silent runs say nothing; a JAVA_HOME that fits is not mentioned.
    RunResult r = m.run(bundle, old, system, {"-qn:silent"});
    EXPECT_EQ(r.err, "");
    r = m.run(bundle, m.jvm("opt-new/jdk", "21.0.1"), system);
    EXPECT_EQ(r.out, "ran opt-new/jdk\n");
    EXPECT_EQ(r.err, "");
}

// Searched twice in one run (again after a failed install, for the report), and by two
// descriptors, JAVA_HOME is still said once; the report of what was tried lists it too.
TEST(DefaultJvm, TheJavaHomeReportComesOnceARun) {
    REQUIRE_PRIVATE_MOUNTS();
    Machine m;
    const SString old = m.jvm("opt-old/jdk11", "11.0.22");
    Workspace& ws = m.ws();
    const SString bundle =
        BundleBuilder(ws.root())
            .add(FILE_TYPE_INSTRUCTIONS, "instructions.tag",
                 e2e::instructions({"FIND_JVM 0 0", "FIND_JVM 0 1", "EXIT 1"}))
            .add(FILE_TYPE_JVM, "a.jvm",
                 e2e::descriptor("Java 17", {"java.version=17+"}, {"#JAVA_HOME#"}))
            .add(FILE_TYPE_JVM, "b.jvm",
                 e2e::descriptor("Java 21", {"java.version=21+"}, {"#JAVA_HOME#"}))
            .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag",
                 "DESC: Tool\nQUIET: 1\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" Main\"\n")
            .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "stand-in verifier")
            .write(ws.file("tool"));
    RunResult r = m.run(bundle, old, "");
    EXPECT_EQ(r.status, 1);
    const SString said =
        "tool: JAVA_HOME=" + old + " is not used: java.version is 11.0.22, needs 17+\n";
    EXPECT_EQ(r.err.find(said), 0u) << r.err;
    EXPECT_EQ(r.err.find(said, 1), SString::npos) << r.err;
    EXPECT_NE(r.err.find("tool:   " + old + ": java.version is 11.0.22, needs 21+\n"),
              SString::npos)
        << r.err;
}

}  // namespace
