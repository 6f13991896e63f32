// Verification and launch against the JDK installed on this machine (skipped without one).

#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include "e2e/E2eHelpers.h"
#include "inputfiles/FileIndexEntry.h"
#include "inputfiles/TagFile.h"
#include "platform/PlatformImpl.h"

using namespace testkit;
using e2e::Workspace;

namespace {

// The home of the `java` on the PATH, with its links resolved; empty when there is none.
SString installedJavaHome() {
    const char* path = getenv("PATH");
    SString dirs = path ? path : "";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == SString::npos) end = dirs.size();
        SString candidate = dirs.substr(start, end - start) + "/java";
        char resolved[PATH_MAX];
        if (access(candidate.c_str(), X_OK) == 0 && realpath(candidate.c_str(), resolved)) {
            SString exe = resolved;
            if (exe.size() > 9 && exe.compare(exe.size() - 9, 9, "/bin/java") == 0) {
                return exe.substr(0, exe.size() - 9);
            }
        }
        start = end + 1;
    }
    return SString();
}

#define REQUIRE_JDK(home)                                                       \
    SString home = installedJavaHome();                                         \
    if (home.empty()) GTEST_SKIP() << "no JDK installed (no java on the PATH)"; \
    if (!exists(verifyJarPath())) GTEST_SKIP() << "verify.jar was not built"

// The properties the real JVM reports, through the verifier itself.
std::vector<SString> verifierOutput(const SString& home, const std::vector<SString>& names) {
    std::vector<SString> argv = {home + "/bin/java", "-cp", verifyJarPath(), "Verify"};
    argv.insert(argv.end(), names.begin(), names.end());
    return splitLines(run(argv).out);
}

TEST(RealJdk, VerifierPrintsTheMagicLineAndEachProperty) {
    REQUIRE_JDK(home);
    std::vector<SString> out = verifierOutput(home, {"java.home", "no.such.property", ""});
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0], "1739021872");
    char resolved[PATH_MAX];
    ASSERT_NE(realpath(out[1].c_str(), resolved), nullptr);
    EXPECT_EQ(SString(resolved), home);
    EXPECT_EQ(out[2], "");
    EXPECT_EQ(out[3], "");
}

TEST(RealJdk, DescriptorVerifiesTheInstalledVersionOnly) {
    REQUIRE_JDK(home);
    SString version = verifierOutput(home, {"java.version"}).at(1);
    Workspace ws;
    SString bundle = BundleBuilder(ws.root())
                         .addFile(FILE_TYPE_VERIFY_ARCHIVE, verifyJarPath())
                         .write(ws.file("app.bin"));
    for (const auto& c :
         std::vector<std::pair<SString, SString>>{{version, "1\n"}, {version + "0", "0\n"}}) {
        writeFile(ws.file("d.jvm"),
                  e2e::descriptor("Real", {"java.version=" + c.first, "java.vm.name=..."}, {}));
        writeFile(ws.file("v.tag"), "ACTION: VERIFY_JVM\nVERIFY_JVM_FILE: " + ws.file("d.jvm") +
                                        "\nVERIFY_JVM_HOME: " + home + "\n");
        RunResult r = ws.run(bundle, {"-qn:in", ws.file("v.tag")});
        EXPECT_EQ(r.out, c.second) << "expecting " << c.first;
    }
    EXPECT_TRUE(ws.leftovers().empty());
}

TEST(RealJdk, DemoBundleFindsTheJdkAndGreetsWithItsArguments) {
    REQUIRE_JDK(home);
    SString demo = demoBundlePath();
    if (!exists(demo)) GTEST_SKIP() << "the demo bundle was not built";
    Workspace ws;
    RunResult r = ws.run(demo, {"first", "two words", "$HOME"});
    EXPECT_NE(r.out.find("Hello from a qnlaunch bundle!\n"), SString::npos) << r.out;
    EXPECT_NE(r.out.find("Arguments: 3\n  first\n  two words\n  $HOME\n"), SString::npos);
    EXPECT_NE(ws.logText().find("Matching JVM home is /"), SString::npos);
    EXPECT_TRUE(ws.leftovers().empty());
}

// The demo takes the java on the PATH, the system's default, before the newest JDK of a
// tree laid out like /usr/lib/jvm. Without one on the PATH it tries the newest JDK,
// verifying only the directories that hold one; with that JDK gone it takes the next.
TEST(RealJdk, DemoTakesTheDefaultJavaThenTheNewestJdkAndTheNextWhenItIsHidden) {
    REQUIRE_JDK(home);
    const SString newest = "/usr/lib/jvm/temurin-25-jdk-amd64";
    const SString older = "/usr/lib/jvm/java-17-openjdk-amd64";
    if (!exists(newest) || !exists(older)) GTEST_SKIP() << "needs JDKs 25 and 17 here";
    SString demo = SString(QN_BIN_DIR) + "/hello";
    if (!exists(demo)) GTEST_SKIP() << "the demo bundle was not built";
    REQUIRE_PRIVATE_MOUNTS();
    Workspace ws;
    // The machine's /usr/lib/jvm shows the two JDKs and a directory without a JVM.
    const SString jvms = ws.file("root/usr/lib/jvm");
    makeDirs(jvms + "/openjdk-17");
    MountPlan both = {{newest, jvms + "/temurin-25-jdk-amd64"},
                      {older, jvms + "/java-17-openjdk-amd64"},
                      {jvms, "/usr/lib/jvm"}};
    makeDirs(ws.file("default/bin"));
    ASSERT_EQ(symlink((older + "/bin/java").c_str(), ws.file("default/bin/java").c_str()), 0);
    makeDirs(ws.file("no-java"));
    std::map<SString, SString> env = {{"JAVA_HOME", ""}, {"PATH", ws.file("default/bin")}};
    RunResult byDefault = ws.run(demo, {}, env, SString(), &both);
    EXPECT_NE(byDefault.out.find("Java home: " + older + "\n"), SString::npos)
        << byDefault.out << byDefault.err;

    env["PATH"] = ws.file("no-java");
    const SString before = ws.logText();
    RunResult r = ws.run(demo, {}, env, SString(), &both);
    EXPECT_NE(r.out.find("Java home: " + newest + "\n"), SString::npos) << r.out << r.err;
    const SString firstLog = ws.logText().substr(before.size());
    size_t verified = 0;
    for (size_t at = firstLog.find("Verifying JVM at "); at != SString::npos;
         at = firstLog.find("Verifying JVM at ", at + 1)) {
        ++verified;
    }
    EXPECT_EQ(verified, 1u) << firstLog;

    MountPlan olderOnly = {{older, jvms + "/java-17-openjdk-amd64"}, {jvms, "/usr/lib/jvm"}};
    r = ws.run(demo, {}, env, SString(), &olderOnly);
    EXPECT_NE(r.out.find("Java home: " + older + "\n"), SString::npos) << r.out << r.err;
    EXPECT_TRUE(ws.leftovers().empty());
}

// The scan walks the whole of "/" of a small fake machine: the C library, the installed
// JDK at /opt/deep/jdk and the workspace. The walk does not follow links to directories.
TEST(RealJdk, SearchAllScansTheDisksAndListsEveryMatch) {
    REQUIRE_JDK(home);
    REQUIRE_PRIVATE_MOUNTS();
    if (stubIsEmulated()) GTEST_SKIP() << "the fake machine holds this machine's C library";
    Workspace ws;
    SString bundle =
        BundleBuilder(ws.root())
            .add(FILE_TYPE_JVM, "any.jvm", e2e::descriptor("Any", {"java.version=..."}, {}))
            .addFile(FILE_TYPE_VERIFY_ARCHIVE, verifyJarPath())
            .write(ws.file("app.bin"));
    writeFile(ws.file("all.tag"), "ACTION: SEARCH_ALL\n");
    // The machine's root lies outside the workspace, which is mounted in it.
    ScopedTempDir machineDir;
    const SString root = machineDir.path();
    const MountPlan machine = {{"tmpfs", root},
                               {"/usr/lib/x86_64-linux-gnu", root + "/usr/lib/x86_64-linux-gnu"},
                               {"/usr/lib/x86_64-linux-gnu", root + "/lib/x86_64-linux-gnu"},
                               {"/lib64", root + "/lib64"},
                               {"/usr/bin/sh", root + "/usr/bin/sh"},
                               {"/dev", root + "/dev"},
                               {home, root + "/opt/deep/jdk"},
                               {ws.root(), root + ws.root()},
                               {"", root}};
    RunResult r =
        ws.run(bundle, {"-qn:in", ws.file("all.tag")}, {{"PATH", "/usr/bin"}}, SString(), &machine);
    std::vector<SString> lines = splitLines(r.out);
    ASSERT_FALSE(lines.empty()) << r.status << " " << r.err;
    long count = atol(lines[0].c_str());
    ASSERT_EQ(count, 1) << r.out << r.err;
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[1], "/opt/deep/jdk");
    // The workspace is the same directory inside the fake machine and out here.
    TagFile written(lines[2]);
    EXPECT_EQ(written.getTagValue("JVM_HOME", 0), "/opt/deep/jdk");
    removeTree(lines[2]);
    EXPECT_TRUE(ws.leftovers().empty());
}

}  // namespace
