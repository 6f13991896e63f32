#include "platform/os/TrustedPath.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/TestKit.h"

using testkit::chownTo;
using testkit::makeDirs;
using testkit::writeFile;

namespace {

// A tree below a private directory: what differs between the cases is set up per case.
class TrustedPathTest : public ::testing::Test {
protected:
    SString file(const SString& name) const { return m_dir.file(name); }
    // Writes an executable `name` and sets the modes of `modes` (path, mode) on the way.
    SString program(const SString& name,
                    const std::vector<std::pair<SString, mode_t>>& modes = {}) {
        writeFile(file(name), "#!/bin/sh\n", 0755);
        for (const auto& entry : modes) chmod(file(entry.first).c_str(), entry.second);
        return file(name);
    }
    testkit::ScopedTempDir m_dir;
};

TEST_F(TrustedPathTest, OwnDirectoriesAndStickySharedOnesAreTrusted) {
    EXPECT_EQ(untrustedPathReason(program("a/bin/java")), "");
    EXPECT_EQ(untrustedPathReason(program("shared/jdk/bin/java", {{"shared", 01777}})), "");
    EXPECT_EQ(untrustedPathReason("/tmp"), "");
    EXPECT_EQ(untrustedPathReason(file("a/./bin/../bin/java")), "");
}

TEST_F(TrustedPathTest, EntriesOthersCanChangeAreNamedWithTheReason) {
    const SString p = program("open/jdk/bin/java", {{"open", 0777}});
    EXPECT_EQ(untrustedPathReason(p), file("open") + " is writable by others and not sticky");
    EXPECT_EQ(untrustedPathReason(program("g/bin/java", {{"g/bin", 0775}})),
              file("g/bin") + " is writable by others and not sticky");
    EXPECT_EQ(untrustedPathReason(program("w/bin/java", {{"w/bin/java", 0757}})),
              file("w/bin/java") + " is writable by others");

    const SString planted = program("sticky/evil/bin/java", {{"sticky", 01777}});
    chownTo(file("sticky/evil"), 12345);
    EXPECT_EQ(untrustedPathReason(planted), file("sticky/evil") + " is owned by user 12345");
    const SString theirs = program("t/bin/java");
    chownTo(theirs, 12345);
    EXPECT_EQ(untrustedPathReason(theirs), theirs + " is owned by user 12345");

    EXPECT_EQ(
        untrustedPathReason(file("missing/java")).find(file("missing") + " cannot be examined"),
        0u);
}

// A link is as good as the directory it lies in and the path it leads to.
TEST_F(TrustedPathTest, LinksAreFollowedAndEveryStepIsChecked) {
    program("real/bin/java");
    makeDirs(file("links"));
    ASSERT_EQ(symlink(file("real").c_str(), file("links/abs").c_str()), 0);
    ASSERT_EQ(symlink("../real", file("links/rel").c_str()), 0);
    EXPECT_EQ(untrustedPathReason(file("links/abs/bin/java")), "");
    EXPECT_EQ(untrustedPathReason(file("links/rel/bin/java")), "");

    program("open/bin/java", {{"open", 0777}});
    ASSERT_EQ(symlink(file("open").c_str(), file("links/to-open").c_str()), 0);
    EXPECT_EQ(untrustedPathReason(file("links/to-open/bin/java")),
              file("open") + " is writable by others and not sticky");

    ASSERT_EQ(symlink(file("real").c_str(), file("links/theirs").c_str()), 0);
    chownTo(file("links/theirs"), 12345);
    EXPECT_EQ(untrustedPathReason(file("links/theirs/bin/java")),
              file("links/theirs") + " is owned by user 12345");

    ASSERT_EQ(symlink("loop", file("links/loop").c_str()), 0);
    EXPECT_EQ(untrustedPathReason(file("links/loop")),
              file("links/loop") + " leads through too many symbolic links");
}

TEST(LineBreaks, AreFoundAndShownEscaped) {
    EXPECT_FALSE(holdsLineBreak("/usr/lib/jvm/x"));
    EXPECT_TRUE(holdsLineBreak("/x\n/y"));
    EXPECT_TRUE(holdsLineBreak("/x\r"));
    EXPECT_EQ(showLineBreaks("a\nb\rc"), "a\\nb\\rc");
}

}  // namespace
