#include "jvm/JVMFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "base/LauncherException.h"
#include "inputfiles/TagFile.h"
#include "jvm/JVMFile.h"
#include "jvm/JVMMatch.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"
#include "platform/os/FindFiles.h"
#include "support/Bundles.h"
#include "support/StateAccess.h"
#include "support/TestKit.h"

using namespace testkit;

namespace {

const std::map<SString, SString> kJava17 = {{"java.version", "17.0.9"}};
const std::map<SString, SString> kJava11 = {{"java.version", "11.0.2"}};

// A disk scan that finds the given paths, in order.
class ListScanner : public DiskScanner {
public:
    explicit ListScanner(std::vector<SString> paths) : m_paths(std::move(paths)) {}
    void scan(const StringDeque&, FileFindListener& listener) override {
        for (const SString& path : m_paths) {
            if (listener.foundFile(path)) return;
        }
    }

private:
    std::vector<SString> m_paths;
};

// A disk scan that walks one tree, as the real one walks "/".
class TreeScanner : public DiskScanner {
public:
    explicit TreeScanner(const SString& root) : m_root(root) {}
    void scan(const StringDeque& names, FileFindListener& listener) override {
        FindFiles finder(names, listener);
        finder.process(m_root);
    }

private:
    SString m_root;
};

// Descriptors and stand-in homes in one temporary tree.
class SearchTest : public ::testing::Test {
protected:
    SearchTest() { m_files.setVerifyClass("\"" + m_dir.file("verify.jar") + "\"", "\"Verify\""); }

    // Adds a descriptor expecting Java `version` with the given hints and extra lines.
    JVMFile* addDescriptor(const SString& desc, const SString& version,
                           const std::vector<SString>& hints, const SString& extra = SString()) {
        SString text = "DESC: " + desc +
                       "\nJVM_EXE: bin/java\nJVM_PROPERTIES: java.version=" + version + "...\n" +
                       extra;
        if (!hints.empty()) {
            text += "PATH_HINT:\n";
            for (const SString& hint : hints) text += "  " + hint + "\n";
            text += "/:\n";
        }
        SString path = m_dir.file(desc + ".jvm");
        writeFile(path, text);
        m_tagFiles.emplace_back(new TagFile(path));
        auto jvmFile = std::make_unique<JVMFile>(*m_tagFiles.back());
        JVMFile* result = jvmFile.get();
        m_files.addJVMFile(std::move(jvmFile));
        return result;
    }

    StandInJvm home(const SString& name, const std::map<SString, SString>& properties) {
        return StandInJvm::create(m_dir.file(name), properties);
    }

    LauncherState m_state;
    ScopedTempDir m_dir;
    std::vector<std::unique_ptr<TagFile>> m_tagFiles;
    JVMFiles m_files;  // declared after the tag files it refers to, so destroyed first
};

TEST_F(SearchTest, UserJavaHomeIsTriedWithEveryDescriptorBeforeAnyHintAndRunOnce) {
    StandInJvm user = home("user", kJava17);
    StandInJvm hinted = home("hinted", kJava11);
    addDescriptor("J11", "11", {hinted.home});
    addDescriptor("J17", "17", {hinted.home});
    JVMMatchPtrDeque matches;
    m_files.search(matches, user.home);
    ASSERT_EQ(matches.size(), 1);
    EXPECT_EQ(matches.at(0)->m_jvmHome, user.home);
    EXPECT_EQ(matches.at(0)->m_descriptorFile.getTagValue("DESC", 0), "J17");
    EXPECT_EQ(user.callCount(), 1);  // the second descriptor asks the same question
    EXPECT_EQ(hinted.callCount(), 0);
}

TEST_F(SearchTest, HintsAreTriedPerDescriptorInOrderAndTheFirstMatchWins) {
    StandInJvm first = home("first", kJava11);
    StandInJvm second = home("second", kJava17);
    StandInJvm third = home("third", kJava17);
    addDescriptor("J17", "17", {m_dir.file("missing"), first.home, second.home, third.home});

    JVMMatchPtrDeque matches;
    m_files.search(matches);
    ASSERT_EQ(matches.size(), 1);
    EXPECT_EQ(matches.at(0)->m_jvmHome, second.home);
    EXPECT_EQ(first.callCount(), 1);
    EXPECT_EQ(third.callCount(), 0);
}

TEST_F(SearchTest, SearchAllEndsTheHintStageAfterItsOwnDescriptor) {
    StandInJvm a = home("a", kJava11);
    StandInJvm b = home("b", kJava11);
    StandInJvm c = home("c", kJava17);
    addDescriptor("A", "17", {a.home});
    addDescriptor("B", "17", {b.home}, "SEARCH_ALL: 1\n");
    addDescriptor("C", "17", {c.home});
    // The disk scan that follows ends at once when the search is cancelled.
    testkit::StateAccess::setCanceled(true);

    JVMMatchPtrDeque matches;
    m_files.search(matches);
    EXPECT_EQ(matches.size(), 0);
    EXPECT_EQ(a.callCount(), 1);
    EXPECT_EQ(b.callCount(), 1);
    EXPECT_EQ(c.callCount(), 0);
}

TEST_F(SearchTest, DescriptorWithoutPropertiesIsNeverVerifiedThroughHints) {
    StandInJvm a = home("a", kJava17);
    SString path = m_dir.file("bare.jvm");
    writeFile(path, "DESC: bare\nJVM_EXE: bin/java\nPATH_HINT: " + a.home + "\n");
    m_tagFiles.emplace_back(new TagFile(path));
    m_files.addJVMFile(std::make_unique<JVMFile>(*m_tagFiles.back()));
    JVMMatchPtrDeque matches;
    m_files.search(matches);
    EXPECT_EQ(matches.size(), 0);
    EXPECT_EQ(a.callCount(), 0);
}

// The scan hands every home to each descriptor whose JVM_EXE it ends with, once each, and
// every match is verified in the order found.
TEST_F(SearchTest, ScanVerifiesEachFoundHomeOncePerDescriptorInOrder) {
    StandInJvm x = home("x", kJava17);
    StandInJvm y = home("y", kJava11);
    addDescriptor("J17", "17", {});
    addDescriptor("J11", "11", {});
    ListScanner scanner({x.home + "/bin/java", x.home + "/bin/java", y.home + "/bin/java",
                         m_dir.file("z/bin/javac")});
    m_files.setDiskScanner(&scanner);
    JVMMatchPtrDeque matches;
    m_files.searchAll(matches, false);
    ASSERT_EQ(matches.size(), 2);
    EXPECT_EQ(matches.at(0)->m_jvmHome, x.home);
    EXPECT_EQ(matches.at(0)->m_descriptorFile.getTagValue("DESC", 0), "J17");
    EXPECT_EQ(matches.at(1)->m_jvmHome, y.home);
    EXPECT_EQ(matches.at(1)->m_descriptorFile.getTagValue("DESC", 0), "J11");
    // The second descriptor asks the same question: each JVM runs once.
    EXPECT_EQ(x.callCount(), 1);
    EXPECT_EQ(y.callCount(), 1);
}

// With stop-at-first, a find for the first descriptor is verified at once and ends the
// scan when it matches; a find it refuses waits as a candidate of the others.
TEST_F(SearchTest, StopAtFirstVerifiesTheFirstDescriptorsFindsAtOnce) {
    StandInJvm wrong = home("tree/wrong", kJava11);
    StandInJvm right = home("tree/right", kJava17);
    StandInJvm later = home("tree/later", kJava17);
    addDescriptor("J17", "17", {});
    addDescriptor("J11", "11", {});
    ListScanner scanner(
        {wrong.home + "/bin/java", right.home + "/bin/java", later.home + "/bin/java"});
    m_files.setDiskScanner(&scanner);
    JVMMatchPtrDeque matches;
    m_files.searchAll(matches, true);
    ASSERT_EQ(matches.size(), 1);
    EXPECT_EQ(matches.at(0)->m_jvmHome, right.home);
    EXPECT_EQ(wrong.callCount(), 1);
    EXPECT_EQ(later.callCount(), 0);
}

TEST_F(SearchTest, WalkOverAGeneratedTreeFindsAndVerifiesEveryMatch) {
    StandInJvm one = home("tree/opt/jdk-a", kJava17);
    StandInJvm two = home("tree/usr/jdk-b", kJava17);
    StandInJvm old = home("tree/usr/jdk-c", kJava11);
    writeFile(m_dir.file("tree/usr/share/doc/java"), "not a JVM");
    addDescriptor("J17", "17", {});
    TreeScanner scanner(m_dir.file("tree"));
    m_files.setDiskScanner(&scanner);
    JVMMatchPtrDeque matches;
    m_files.searchAll(matches, false);

    std::vector<SString> homes;
    for (long i = 0; i < matches.size(); ++i) homes.push_back(matches.at(i)->m_jvmHome);
    std::sort(homes.begin(), homes.end());
    EXPECT_EQ(homes, (std::vector<SString>{one.home, two.home}));
    EXPECT_EQ(old.callCount(), 1);
}

// Stopping at the first find still hands that match to the caller (it once stayed behind,
// unreported and leaked).
TEST_F(SearchTest, SearchAllReturnsTheMatchItStoppedAt) {
    StandInJvm first = home("root/opt/jdk-a", kJava17);
    addDescriptor("J17", "17", {});
    TreeScanner scanner(m_dir.file("root"));
    m_files.setDiskScanner(&scanner);
    JVMMatchPtrDeque stopped;
    m_files.searchAll(stopped, true);
    ASSERT_EQ(stopped.size(), 1);
    EXPECT_EQ(stopped.at(0)->m_jvmHome, first.home);

    StandInJvm second = home("root/usr/jdk-b", kJava17);
    JVMMatchPtrDeque all;
    m_files.searchAll(all, false);
    EXPECT_EQ(all.size(), 2);
}

TEST_F(SearchTest, WrittenDescriptorCarriesTheMatchAndStaysOnTheCleanupList) {
    StandInJvm jdk = home("jdk", kJava17);
    addDescriptor("J17", "17", {jdk.home});
    PlatformImpl::setSystemTempDir(m_dir.path());
    JVMMatchPtrDeque matches;
    m_files.search(matches);
    ASSERT_EQ(matches.size(), 1);
    SString path = matches.at(0)->writeNewJVMFile();
    EXPECT_EQ(path.find(m_dir.path() + "/qnj"), 0u);
    TagFile written(path);
    EXPECT_EQ(written.getTagValue("JVM_HOME", 0), jdk.home);
    EXPECT_EQ(written.getTagValue("JVM_FILE", 0), path);
    EXPECT_EQ(written.getTagValue("JVM_TEMP", 0), "0");
    EXPECT_EQ(written.getTagValue("DESC", 0), "J17");
    PlatformImpl::cleanup();
    EXPECT_FALSE(exists(path));
}

TEST_F(SearchTest, HomeWithCommandSubstitutionIsNeverExecuted) {
    SString marker = m_dir.file("pwned");
    StandInJvm odd = home("odd$(touch " + marker + ")", kJava17);
    addDescriptor("J17", "17", {odd.home});
    JVMMatchPtrDeque matches;
    m_files.search(matches);
    ASSERT_EQ(matches.size(), 1);
    EXPECT_EQ(matches.at(0)->m_jvmHome, odd.home);
    EXPECT_FALSE(exists(marker));
}

// The verifier gets its arguments as they are, with no shell in between: a home, a class
// path and a verifier archive full of shell syntax change nothing and run nothing.
TEST_F(SearchTest, VerifierRunsWithoutAShellOnExactArguments) {
    const SString odd = "a $(touch p1) `touch p2`;touch p3 \"q'u\\v";
    StandInJvm jdk = home(odd + "/jdk", kJava17);
    const SString jar = m_dir.file(odd + "/verify.jar");
    m_files.setVerifyClass("\"" + jar + "\"", "\"Verify\"");
    Launcher::setLogFileName(m_dir.file("log"));
    addDescriptor(
        "J17", "17", {jdk.home},
        "CLASSPATH: \"-cp \"\nCLASSPATH_SEPARATOR: :\nJVM_CLASSPATH: @JVM_HOME@/lib.jar\n");
    JVMMatchPtrDeque matches;
    m_files.search(matches);
    ASSERT_EQ(matches.size(), 1) << readFile(m_dir.file("log"));
    EXPECT_EQ(jdk.args(1), (std::vector<SString>{"-cp", jdk.home + "/lib.jar:" + jar, "Verify",
                                                 "java.version"}));
    EXPECT_EQ(jdk.env(1, "JAVA_HOME"), jdk.home);
    for (const char* planted : {"p1", "p2", "p3"}) {
        EXPECT_FALSE(exists(m_dir.file(planted)));
        EXPECT_FALSE(exists(m_dir.file(odd + "/" + planted)));
    }
    const SString log = readFile(m_dir.file("log"));
    EXPECT_NE(log.find("Executing launch script command: \"" + m_dir.path() + "/a \\$(touch"),
              SString::npos)
        << log;
    EXPECT_NE(log.find("Output from the launch script execution\nStdOut:\n1739021872\n"),
              SString::npos)
        << log;
}

// Another user, or anyone who can write on the way, could have planted a JVM that a hint or
// the scan finds; it is never run. A home the user names is run whoever owns it.
TEST_F(SearchTest, FoundJvmsOthersCouldHavePlantedAreNeverRun) {
    Launcher::setLogFileName(m_dir.file("log"));
    StandInJvm theirs = home("theirs", kJava17);
    chownTo(theirs.home + "/bin/java", 12345);
    StandInJvm open = home("open/jdk", kJava17);
    chmod(m_dir.file("open").c_str(), 0777);
    StandInJvm sticky = home("sticky/jdk", kJava17);
    chmod(m_dir.file("sticky").c_str(), 01777);
    chownTo(sticky.home, 12345);
    addDescriptor("J17", "17", {theirs.home, open.home, sticky.home});

    JVMMatchPtrDeque matches;
    m_files.search(matches);
    EXPECT_EQ(matches.size(), 0);
    ListScanner scanner(
        {theirs.home + "/bin/java", open.home + "/bin/java", sticky.home + "/bin/java"});
    m_files.setDiskScanner(&scanner);
    m_files.searchAll(matches, false);
    EXPECT_EQ(matches.size(), 0);
    for (const StandInJvm* jdk : {&theirs, &open, &sticky}) EXPECT_EQ(jdk->callCount(), 0);
    const SString log = readFile(m_dir.file("log"));
    for (const SString& reason :
         {theirs.home + "/bin/java: " + theirs.home + "/bin/java is owned by user 12345.",
          open.home + "/bin/java: " + m_dir.file("open") + " is writable by others and not sticky.",
          sticky.home + "/bin/java: " + sticky.home + " is owned by user 12345."}) {
        EXPECT_NE(log.find("WARNING: Not running the JVM at " + reason), SString::npos) << log;
    }

    m_files.search(matches, theirs.home);
    ASSERT_EQ(matches.size(), 1);
    EXPECT_EQ(theirs.callCount(), 1);
}

// Homes that a hint's environment reference, "*" pattern or the java on PATH leads to are
// found, not named: one that others could have planted is not run, and an environment value
// holding shell syntax reaches the verifier as a path, running nothing.
TEST_F(SearchTest, HintExpandedHomesMustBeTrustedAndRunNothing) {
    Launcher::setLogFileName(m_dir.file("log"));
    const SString odd = "b $(touch p1) `touch p2`;touch p3 \"q'u\\v";
    StandInJvm planted = home(odd + "/jdks/jdk-21", kJava17);
    chownTo(planted.home, 12345);
    StandInJvm own = home(odd + "/jdks/jdk-17", kJava17);
    StandInJvm onPath = home("path/jdk", kJava17);
    chownTo(onPath.home + "/bin", 12345);
    const char* oldPath = getenv("PATH");
    ScopedEnv path("PATH", (onPath.home + "/bin:" + (oldPath ? oldPath : "/bin")).c_str());
    ScopedEnv base("QN_HINT_BASE", m_dir.file(odd).c_str());
    addDescriptor("J17", "17", {"%JAVA_ON_PATH%", "#QN_HINT_BASE#/jdks/*"});

    JVMMatchPtrDeque matches;
    m_files.search(matches);
    ASSERT_EQ(matches.size(), 1) << readFile(m_dir.file("log"));
    EXPECT_EQ(matches.at(0)->m_jvmHome, own.home);
    EXPECT_EQ(planted.callCount() + onPath.callCount(), 0);
    EXPECT_EQ(own.callCount(), 1);
    EXPECT_EQ(own.env(1, "JAVA_HOME"), own.home);
    for (const char* marker : {"p1", "p2", "p3"}) {
        EXPECT_FALSE(exists(m_dir.file(marker)));
        EXPECT_FALSE(exists(m_dir.file(odd + "/" + marker)));
    }
    const SString log = readFile(m_dir.file("log"));
    for (const SString& reason :
         {planted.home + "/bin/java: " + planted.home + " is owned by user 12345.",
          onPath.home + "/bin/java: " + onPath.home + "/bin is owned by user 12345."}) {
        EXPECT_NE(log.find("WARNING: Not running the JVM at " + reason), SString::npos) << log;
    }
}

// A line break in a home would add lines of its own to the descriptor written for it and
// to the result lines that name it.
TEST_F(SearchTest, HomesHoldingLineBreaksAreRefused) {
    Launcher::setLogFileName(m_dir.file("log"));
    StandInJvm named = home("named\nJVM_EXE: ../evil.sh", kJava17);
    StandInJvm found = home("found\r", kJava17);
    addDescriptor("J17", "17", {found.home});
    JVMMatchPtrDeque matches;
    m_files.search(matches, named.home);
    ListScanner scanner({found.home + "/bin/java"});
    m_files.setDiskScanner(&scanner);
    m_files.searchAll(matches, false);
    EXPECT_EQ(matches.size(), 0);
    EXPECT_EQ(named.callCount() + found.callCount(), 0);
    const SString log = readFile(m_dir.file("log"));
    EXPECT_NE(
        log.find("WARNING: Cannot verify the JVM at " + m_dir.file("named\\nJVM_EXE: ../evil.sh") +
                 " because its path holds a line break.\n"),
        SString::npos)
        << log;
    EXPECT_NE(log.find("WARNING: Cannot verify the JVM at " + m_dir.file("found\\r") + " because"),
              SString::npos);
}

TEST(JVMFilesIndex, OutOfRangeDescriptorIsInvalidJvmFileId) {
    LauncherState state;
    JVMFiles files;
    try {
        files.getJVMFile(0);
        FAIL() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_EQ(e.getMessage(), "Invalid JVM file id.");
    }
}

}  // namespace
