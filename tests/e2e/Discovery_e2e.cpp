// Finding the JVM a user has: environment and PATH hints, patterns tried newest first,
// version constraints and each home run once, over a fake tree of stand-in JVMs.

#include <gtest/gtest.h>
#include <unistd.h>
#include <set>

#include "e2e/E2eHelpers.h"
#include "inputfiles/FileIndexEntry.h"
#include "platform/PlatformImpl.h"

using namespace testkit;
using e2e::Workspace;

namespace {

const SString kInstructions = e2e::instructions(
    {"FIND_JVM 1 1", "JMP0 @N1@ none", "LAUNCH @S2@ 0", "GOTO end", ":none", "EXIT 1", ":end"});
const SString kScript =
    "DESC: Tool\nQUIET: 1\nDISPLAY_CONSOLE: 1\n"
    "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" Main\"\n";

// A tree laid out like a machine's: JVMs under usr/lib/jvm, per-user ones under home/, one
// named by JAVA_HOME and one reached through PATH; each stand-in prints its own name when run.
// Runs see the tree's usr/lib/jvm and usr/local in place of the machine's own, in a private
// mount namespace.
class Machine {
public:
    Machine() : m_root(m_ws.file("root")) {
        makeDirs(m_root + "/home");
        for (const char* place : {"/usr/lib/jvm", "/usr/local"}) {
            makeDirs(m_root + place);
            if (exists(place)) m_mounts.emplace_back(m_root + place, place);
        }
    }

    // Makes a stand-in at `relative` and returns its home as runs see it: below /usr/lib/jvm
    // and /usr/local at the machine's own places, elsewhere in the workspace.
    SString jvm(const SString& relative, const SString& version) {
        SString home = m_root + "/" + relative;
        StandInJvm::create(home, {{"java.version", version}}, "1739021872", "ran " + relative);
        for (const auto& mount : m_mounts) {
            const SString inTree = mount.first.substr(m_root.size() + 1) + "/";
            if (relative.compare(0, inTree.size(), inTree) == 0) return "/" + relative;
        }
        return home;
    }
    void link(const SString& relative, const SString& target) {
        SString path = m_root + "/" + relative;
        makeDirs(path.substr(0, path.rfind('/')));
        ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0) << path;
    }

    // Packs a bundle whose one descriptor asks java.version=`constraint` with `hints`.
    SString bundle(const SString& constraint, const std::vector<SString>& hints) {
        return BundleBuilder(m_ws.root())
            .add(FILE_TYPE_INSTRUCTIONS, "instructions.tag", kInstructions)
            .add(FILE_TYPE_JVM, "java.jvm",
                 e2e::descriptor("Java " + constraint, {"java.version=" + constraint}, hints))
            .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", kScript)
            .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "stand-in verifier")
            .write(m_ws.file("tool"));
    }

    // Runs `bundle` with HOME in the tree, relative hints below it, `env` on top; PATH starts
    // with `pathDir` when given.
    RunResult run(const SString& bundle, std::map<SString, SString> env = {},
                  const SString& pathDir = SString()) {
        env.emplace("HOME", m_root + "/home");
        env.emplace("JAVA_HOME", "");
        env.emplace("PATH", (pathDir.empty() ? "" : pathDir + ":") + "/usr/bin:/bin");
        return m_ws.run(bundle, {}, env, SString(), &m_mounts);
    }

    // How often the verifier ran in the stand-in at `relative`.
    int verifications(const SString& relative) const {
        StandInJvm jvm{m_root + "/" + relative};
        int count = 0;
        for (int call = 1; call <= jvm.callCount(); ++call) {
            for (const SString& arg : jvm.args(call)) count += arg == "Verify";
        }
        return count;
    }

    const SString& root() const { return m_root; }
    const Workspace& ws() const { return m_ws; }
    Workspace& ws() { return m_ws; }

private:
    Workspace m_ws;
    SString m_root;
    MountPlan m_mounts;
};

const std::vector<SString> kEverywhere = {"#JAVA_HOME#", "%JAVA_ON_PATH%", "usr/lib/jvm/*"};

TEST(Discovery, EnvironmentThenPathThenPatternsNewestFirst) {
    REQUIRE_PRIVATE_MOUNTS();
    Machine m;
    m.jvm("usr/lib/jvm/java-21-openjdk", "21.0.2");
    m.jvm("usr/lib/jvm/jdk-21.0.10", "21.0.10");
    m.jvm("usr/lib/jvm/temurin-25-jdk", "25");
    m.jvm("usr/lib/jvm/java-11-openjdk", "11.0.22");
    SString envHome = m.jvm("env/jdk", "17.0.9");
    SString pathHome = m.jvm("tools/jdk", "21.0.1");
    m.link("bin/java", pathHome + "/bin/java");  // PATH holds a link, as /usr/bin/java is
    const SString bundle = m.bundle("17+", kEverywhere);

    RunResult r = m.run(bundle, {{"JAVA_HOME", envHome}}, m.root() + "/bin");
    EXPECT_EQ(r.out, "ran env/jdk\n") << r.err;

    r = m.run(bundle, {}, m.root() + "/bin");
    EXPECT_EQ(r.out, "ran tools/jdk\n") << r.err;

    r = m.run(bundle);  // no JAVA_HOME and no java of the tree on PATH
    EXPECT_EQ(r.out, "ran usr/lib/jvm/temurin-25-jdk\n") << r.err;

    // Newest first by the versions in the names, whatever the prefix; 25 no longer fits.
    r = m.run(m.bundle("17..21", {"usr/lib/jvm/*"}));
    EXPECT_EQ(r.out, "ran usr/lib/jvm/jdk-21.0.10\n") << r.err;
    EXPECT_EQ(m.verifications("usr/lib/jvm/java-21-openjdk"), 0);
}

TEST(Discovery, ConstraintsRefuseOutsideTheirRangeWithReasons) {
    REQUIRE_PRIVATE_MOUNTS();
    Machine m;
    m.jvm("usr/lib/jvm/java-8-openjdk", "1.8.0_392");
    m.jvm("usr/lib/jvm/java-11-openjdk", "11.0.22");
    m.jvm("usr/lib/jvm/java-21-openjdk", "21.0.2");

    RunResult r = m.run(m.bundle("11..17", {"usr/lib/jvm/*"}));
    EXPECT_EQ(r.out, "ran usr/lib/jvm/java-11-openjdk\n") << r.err;
    EXPECT_NE(m.ws().logText().find("java-21-openjdk for Java 11..17"), SString::npos);

    r = m.run(m.bundle("8+", {"usr/lib/jvm/java-8-openjdk"}));
    EXPECT_EQ(r.out, "ran usr/lib/jvm/java-8-openjdk\n") << r.err;

    r = m.run(m.bundle("25+", {"usr/lib/jvm/*"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Java 25+"), SString::npos) << r.err;
    EXPECT_NE(r.err.find("java-21-openjdk"), SString::npos) << r.err;
}

TEST(Discovery, AHomeReachedTwiceIsVerifiedOnce) {
    REQUIRE_PRIVATE_MOUNTS();
    Machine m;
    SString home21 = m.jvm("usr/lib/jvm/java-21-openjdk", "21.0.2");
    m.jvm("usr/lib/jvm/java-11-openjdk", "11.0.22");
    m.link("usr/lib/jvm/default-java", home21);
    m.link("usr/lib/jvm/java-1.21.0-openjdk", "java-21-openjdk");

    // default-java, then the pattern (which meets 21 twice more), then JAVA_HOME naming it
    // again: 21 runs once, though three descriptors' worth of hints reach it.
    RunResult r = m.run(m.bundle("11..11", {"usr/lib/jvm/default-java", "usr/lib/jvm/*"}),
                        {{"JAVA_HOME", home21}});
    EXPECT_EQ(r.out, "ran usr/lib/jvm/java-11-openjdk\n") << r.err;
    EXPECT_EQ(m.verifications("usr/lib/jvm/java-21-openjdk"), 1);
    EXPECT_NE(m.ws().logText().find("already tried as " + home21), SString::npos);
}

TEST(Discovery, UnsetVariablesAndDirectoriesWithoutJvmsAreSkippedQuietly) {
    REQUIRE_PRIVATE_MOUNTS();
    Machine m;
    m.jvm("home/.sdkman/candidates/java/21.0.1-tem", "21.0.1");
    makeDirs(m.root() + "/usr/local/share");  // a pattern match that holds no JVM
    RunResult r = m.run(m.bundle("17+", {"#NO_SUCH_VARIABLE#/jdk", "#JAVA_HOME#", "usr/local/*",
                                         "#HOME#/.sdkman/candidates/java/*"}));
    EXPECT_EQ(r.out, "ran home/.sdkman/candidates/java/21.0.1-tem\n") << r.err;
    const SString log = m.ws().logText();
    EXPECT_EQ(log.find("Verifying JVM at " + m.root() + "/usr/local"), SString::npos) << log;
    EXPECT_EQ(log.find("NO_SUCH_VARIABLE"), SString::npos) << log;
}

TEST(Discovery, HomesWithBlanksAndShellSyntaxAreFoundAndRunNothing) {
    REQUIRE_PRIVATE_MOUNTS();
    Machine m;
    const SString name = "home/.jdks/My JDK (21) $(touch p1);`touch p2`\"q\"&";
    m.jvm(name, "21.0.1");
    RunResult r = m.run(m.bundle("17+", {"#HOME#/.jdks/*"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ran " + name + "\n") << r.err;
    for (const SString& dir : {m.ws().root(), m.root() + "/home/.jdks", SString(".")}) {
        EXPECT_FALSE(exists(dir + "/p1")) << dir;
        EXPECT_FALSE(exists(dir + "/p2")) << dir;
    }
}

}  // namespace

// The dots shown while a candidate is verified count the verifier's output by blocks, so
// a run that prints little shows the same dots every time, however its writes are timed.
TEST(Discovery, AVerificationShowsTheSameDotsOnEveryRun) {
    REQUIRE_PRIVATE_MOUNTS();
    Machine m;
    m.jvm("usr/lib/jvm/jdk-17", "17.0.9");
    const SString shown = e2e::instructions(
        {"FIND_JVM 1 1", "JMP0 @N1@ none", "GOTO end", ":none", "EXIT 1", ":end"});
    Workspace& ws = m.ws();
    const SString bundle =
        BundleBuilder(ws.root())
            .add(FILE_TYPE_INSTRUCTIONS, "instructions.tag", shown)
            .add(FILE_TYPE_JVM, "java.jvm",
                 e2e::descriptor("Java 17", {"java.version=17+"}, {"usr/lib/jvm/*"}))
            .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "stand-in verifier")
            .write(ws.file("shown"));
    std::set<SString> outputs;
    for (int run = 0; run < 10; ++run) {
        RunResult r = m.run(bundle, {{"QNLAUNCH_CACHE", "off"}});
        ASSERT_EQ(r.status, 0) << r.err;
        outputs.insert(r.out);
    }
    ASSERT_EQ(outputs.size(), 1u) << *outputs.begin() << "\n---\n" << *outputs.rbegin();
    // Six steps for the verification itself and one for each of the verifier's two short
    // streams.
    EXPECT_NE(outputs.begin()->find("\n" + SString(8, '.') + "\n"), SString::npos)
        << *outputs.begin();
}
