// Verification and launch against the JDK installed on this machine (skipped without one).

#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include "e2e/E2eHelpers.h"
#include "inputfiles/FileIndexEntry.h"
#include "inputfiles/TagFile.h"

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
    RunResult r = run(argv);
    std::vector<SString> lines;
    size_t start = 0;
    while (start < r.out.size()) {
        size_t end = r.out.find('\n', start);
        lines.push_back(r.out.substr(start, end - start));
        start = end + 1;
    }
    return lines;
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

TEST(RealJdk, SearchAllScansTheDisksAndListsEveryMatch) {
    REQUIRE_JDK(home);
    Workspace ws;
    SString bundle =
        BundleBuilder(ws.root())
            .add(FILE_TYPE_JVM, "any.jvm", e2e::descriptor("Any", {"java.version=..."}, {}))
            .addFile(FILE_TYPE_VERIFY_ARCHIVE, verifyJarPath())
            .write(ws.file("app.bin"));
    writeFile(ws.file("all.tag"), "ACTION: SEARCH_ALL\n");
    RunResult r = ws.run(bundle, {"-qn:in", ws.file("all.tag")});
    std::vector<SString> lines;
    for (size_t start = 0; start < r.out.size();) {
        size_t end = r.out.find('\n', start);
        lines.push_back(r.out.substr(start, end - start));
        start = end + 1;
    }
    ASSERT_FALSE(lines.empty());
    long count = atol(lines[0].c_str());
    ASSERT_GE(count, 1) << r.out;
    ASSERT_EQ(lines.size(), static_cast<size_t>(1 + 2 * count)) << r.out;
    bool foundInstalled = false;
    for (long i = 0; i < count; ++i) {
        char resolved[PATH_MAX];
        const SString& found = lines[1 + 2 * i];
        if (realpath(found.c_str(), resolved) && SString(resolved) == home) foundInstalled = true;
        TagFile written(lines[2 + 2 * i]);
        EXPECT_EQ(written.getTagValue("JVM_HOME", 0), found);
        removeTree(lines[2 + 2 * i]);
    }
    EXPECT_TRUE(foundInstalled) << r.out;
    EXPECT_TRUE(ws.leftovers().empty());
}

}  // namespace
