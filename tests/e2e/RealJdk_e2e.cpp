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
    Workspace ws;
    const SString jvms = ws.file("root/usr/lib/jvm");
    makeDirs(jvms + "/openjdk-17");  // a directory there without a JVM
    ASSERT_EQ(symlink(older.c_str(), (jvms + "/java-17-openjdk-amd64").c_str()), 0);
    ASSERT_EQ(symlink(newest.c_str(), (jvms + "/temurin-25-jdk-amd64").c_str()), 0);
    makeDirs(ws.file("default/bin"));
    ASSERT_EQ(symlink((older + "/bin/java").c_str(), ws.file("default/bin/java").c_str()), 0);
    makeDirs(ws.file("no-java"));
    std::map<SString, SString> env = {{kTestSearchRootVariable, ws.file("root")},
                                      {"JAVA_HOME", ""},
                                      {"PATH", ws.file("default/bin")}};
    RunResult byDefault = ws.run(demo, {}, env);
    EXPECT_NE(byDefault.out.find("Java home: " + older + "\n"), SString::npos) << byDefault.out;

    env["PATH"] = ws.file("no-java");
    const SString before = ws.logText();
    RunResult r = ws.run(demo, {}, env);
    EXPECT_NE(r.out.find("Java home: " + newest + "\n"), SString::npos) << r.out;
    const SString firstLog = ws.logText().substr(before.size());
    size_t verified = 0;
    for (size_t at = firstLog.find("Verifying JVM at "); at != SString::npos;
         at = firstLog.find("Verifying JVM at ", at + 1)) {
        ++verified;
    }
    EXPECT_EQ(verified, 1u) << firstLog;

    ASSERT_EQ(unlink((jvms + "/temurin-25-jdk-amd64").c_str()), 0);
    r = ws.run(demo, {}, env);
    EXPECT_NE(r.out.find("Java home: " + older + "\n"), SString::npos) << r.out;
    EXPECT_TRUE(ws.leftovers().empty());
}

TEST(RealJdk, SearchAllScansTheDisksAndListsEveryMatch) {
    REQUIRE_JDK(home);
    Workspace ws;
    SString bundle =
        BundleBuilder(ws.root())
            .add(FILE_TYPE_JVM, "any.jvm", e2e::descriptor("Any", {"java.version=..."}, {}))
            .addFile(FILE_TYPE_VERIFY_ARCHIVE, verifyJarPath())
            .write(ws.file("app.bin"));
    writeFile(ws.file("all.tag"), "ACTION: SEARCH_ALL\n");
    // The scan walks a small tree that holds the installed JDK, not the whole machine.
    // The walk does not follow links to directories; the JVM runs through a link to its
    // executable, as /usr/bin/java does.
    makeDirs(ws.file("root/opt/deep/jdk/bin"));
    ASSERT_EQ(symlink((home + "/bin/java").c_str(), ws.file("root/opt/deep/jdk/bin/java").c_str()),
              0);
    RunResult r = ws.run(bundle, {"-qn:in", ws.file("all.tag")},
                         {{kTestSearchRootVariable, ws.file("root")}});
    std::vector<SString> lines = splitLines(r.out);
    ASSERT_FALSE(lines.empty());
    long count = atol(lines[0].c_str());
    ASSERT_EQ(count, 1) << r.out;
    ASSERT_EQ(lines.size(), static_cast<size_t>(1 + 2 * count)) << r.out;
    bool foundInstalled = false;
    for (long i = 0; i < count; ++i) {
        const SString& found = lines[1 + 2 * i];
        if (found == ws.file("root/opt/deep/jdk")) foundInstalled = true;
        TagFile written(lines[2 + 2 * i]);
        EXPECT_EQ(written.getTagValue("JVM_HOME", 0), found);
        removeTree(lines[2 + 2 * i]);
    }
    EXPECT_TRUE(foundInstalled) << r.out;
    EXPECT_TRUE(ws.leftovers().empty());
}

}  // namespace
