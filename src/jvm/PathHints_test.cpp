#include "jvm/PathHints.h"

#include <gtest/gtest.h>

#include "support/TestKit.h"

using namespace testkit;

namespace {

std::vector<SString> expand(const SString& hint, const SString& partition) {
    StringDeque partitions;
    partitions.push_back(partition);
    return expandPathHint(hint, partitions);
}

TEST(PathHints, PatternsExpandEachWholeComponentNewestFirst) {
    ScopedTempDir dir;
    for (const char* name : {"jdk-21.0.2/x", "jdk-21.0.10/x", "zulu/x", "java-8/x", "java-8/y"}) {
        makeDirs(dir.file(name));
    }
    writeFile(dir.file("java-99.txt"), "a file, not a directory");
    const SString root = dir.path() + "/";
    EXPECT_EQ(expandPathPattern(root + "*"),
              (std::vector<SString>{root + "jdk-21.0.10", root + "jdk-21.0.2", root + "java-8",
                                    root + "zulu"}));
    // Two patterns in one hint, and a pattern that matches nothing.
    EXPECT_EQ(expandPathPattern(root + "java-*/*"), std::vector<SString>{});
    EXPECT_EQ(expandPathPattern(root + "java-8/*"),
              (std::vector<SString>{root + "java-8/x", root + "java-8/y"}));
    EXPECT_EQ(expandPathPattern(root + "*/y").size(), 4u);  // existence is the caller's test
    EXPECT_EQ(expandPathPattern(root + "nowhere/*"), std::vector<SString>{});
    EXPECT_TRUE(isPathPattern("usr/lib/jvm/*"));
    EXPECT_TRUE(isPathPattern("*/jre"));
    EXPECT_FALSE(isPathPattern("usr/lib/jvm/jdk*"));
}

TEST(PathHints, EnvironmentReferencesAreAbsoluteAndSkippedWhenUnsetOrEmpty) {
    ScopedEnv home("QN_HINT_HOME", "/home/u s$er");
    ScopedEnv empty("QN_HINT_EMPTY", "");
    ScopedEnv unset("QN_HINT_UNSET", nullptr);
    EXPECT_EQ(expand("#QN_HINT_HOME#/.jdks/jdk", "/root/"),
              std::vector<SString>{"/home/u s$er/.jdks/jdk"});
    EXPECT_EQ(expand("#QN_HINT_EMPTY#/jdk", "/"), std::vector<SString>{});
    EXPECT_EQ(expand("#QN_HINT_UNSET#", "/"), std::vector<SString>{});
    EXPECT_EQ(expand("#QN_HINT_HOME", "/"), std::vector<SString>{});  // not closed
    EXPECT_EQ(expand("/opt/a##b#QN_HINT_HOME#", "/"), std::vector<SString>{"/opt/a#b/home/u s$er"});
}

TEST(PathHints, PlainHintsAreRelativeToEachPartition) {
    StringDeque partitions;
    partitions.push_back("/a");
    partitions.push_back("/b/");
    EXPECT_EQ(expandPathHint("/usr/lib/jvm/x", partitions),
              (std::vector<SString>{"/a/usr/lib/jvm/x", "/b/usr/lib/jvm/x"}));
    EXPECT_EQ(expandPathHint("", partitions), std::vector<SString>{});
}

}  // namespace
