// Stored verifier answers: which properties they may answer, and how entries that belong
// to another JVM or were cut short are ignored.

#include "jvm/VerifiedJVMs.h"

#include <gtest/gtest.h>

#include "launcher/Launcher.h"
#include "platform/cache/UserCache.h"
#include "support/TestKit.h"

using testkit::ScopedEnv;

namespace {

StringDeque names(std::initializer_list<const char*> list) {
    StringDeque result;
    for (const char* name : list) result.push_back(name);
    return result;
}

class VerifiedJVMsTest : public ::testing::Test {
protected:
    VerifiedJVMsTest() : m_cache("QNLAUNCH_CACHE", m_dir.file("cache").c_str()) {
        RunStatePiece::resetAll();
    }
    ~VerifiedJVMsTest() override { RunStatePiece::resetAll(); }

    testkit::LauncherState m_state;
    testkit::ScopedTempDir m_dir;
    ScopedEnv m_cache;
};

}  // namespace

TEST(FileDependentProperty, NamesTheFixedListAndItsFamilies) {
    for (const char* name : {"java.version", "java.vendor", "java.specification.version",
                             "java.vm.name", "java.vm.specification.vendor", "java.runtime.version",
                             "java.class.version", "java.home", "os.arch", "os.name"}) {
        EXPECT_TRUE(isFileDependentProperty(name)) << name;
    }
    for (const char* name : {"user.dir", "file.encoding", "os.version", "java.vm.", "java.vm",
                             "java.versions", "user.name", "java.io.tmpdir", ""}) {
        EXPECT_FALSE(isFileDependentProperty(name)) << name;
    }
}

TEST_F(VerifiedJVMsTest, AnswersOnlyWhatWasStoredForThatVeryJvm) {
    const SString identity = "/jdk/bin/java\n1,2:3:4:5.000000006:7.000000008\n-\n-";
    SString output;
    EXPECT_FALSE(VerifiedJVMs::lookup(identity, names({"java.version"}), output));

    VerifiedJVMs::store(identity, names({"java.version", "user.dir", "java.vendor"}),
                        "noise\n1739021872\n17.0.9\n/home/me\r\nStand-in\n");
    ASSERT_TRUE(VerifiedJVMs::lookup(identity, names({"java.vendor", "java.version"}), output));
    EXPECT_EQ(output, "1739021872\nStand-in\n17.0.9\n");
    // Never asked, or outside the list: the JVM must answer itself.
    EXPECT_FALSE(VerifiedJVMs::lookup(identity, names({"java.version", "os.arch"}), output));
    EXPECT_FALSE(VerifiedJVMs::lookup(identity, names({"java.version", "user.dir"}), output));
    EXPECT_FALSE(VerifiedJVMs::lookup(identity, names({}), output));
    // Another identity (the same path, a new file) knows nothing.
    EXPECT_FALSE(VerifiedJVMs::lookup("/jdk/bin/java\n1,2:9:4:5.000000006:7.000000008\n-\n-",
                                      names({"java.version"}), output));

    // Later answers add to the entry.
    VerifiedJVMs::store(identity, names({"os.arch"}), "1739021872\namd64\n");
    ASSERT_TRUE(VerifiedJVMs::lookup(identity, names({"os.arch", "java.version"}), output));
    EXPECT_EQ(output, "1739021872\namd64\n17.0.9\n");
}

TEST_F(VerifiedJVMsTest, OutputWithoutMagicOrCutShortIsNotKept) {
    const SString identity = "/jdk/bin/java\nid\n-\n-";
    SString output;
    VerifiedJVMs::store(identity, names({"java.version"}), "17.0.9\n");
    VerifiedJVMs::store(identity, names({"java.version", "java.vendor"}), "1739021872\n17.0.9\n");
    EXPECT_FALSE(VerifiedJVMs::lookup(identity, names({"java.version"}), output));
}
