#include "jvm/JVMFile.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/LauncherException.h"
#include "inputfiles/TagFile.h"
#include "launcher/Launcher.h"
#include "support/TestKit.h"

namespace {

TEST(JVMFileMacros, DescriptorMacrosExpandToFirstTagValues) {
    TagFile descriptor;
    descriptor.setTagValue("JVM_HOME", "C:\\jdk\\\\");
    descriptor.appendTagValue("JVM_HOME", "second");
    descriptor.setTagValue("OTHER", "x\\");
    descriptor.setTagValue("JVM_EXE", "@BIN@/java");
    descriptor.setTagValue("BIN", "bin");
    const JVMFile jvm(descriptor);
    const std::pair<const char*, const char*> cases[] = {
        // Only one trailing backslash goes, and only from JVM_HOME.
        {"@JVM_HOME@", "C:\\jdk\\"},
        {"@OTHER@", "x\\"},
        {"[@MISSING@]", "[]"},
        {"[@jvm_exe@]", "[]"},
        {"@JVM_EXE@", "bin/java"},
        {"a@@b", "a@b"},
        {"@@", "@"},
        {"mail@host", "mail@host"},
        {"@BIN@@BIN@", "binbin"},
    };
    for (const auto& c : cases) EXPECT_EQ(jvm.resolve(c.first), c.second) << c.first;

    descriptor.setTagValue("JVM_HOME", "/opt/jdk/");
    EXPECT_EQ(jvm.resolve("@JVM_HOME@bin"), "/opt/jdk/bin");
}

TEST(JVMFileMacros, TagThatRefersToItselfEndsWithAnError) {
    TagFile descriptor;
    descriptor.setTagValue("A", "x@B@");
    descriptor.setTagValue("B", "y@A@");
    const JVMFile jvm(descriptor);
    EXPECT_THROW(jvm.resolve("@A@"), LauncherException);
}

struct OutputCase {
    SString output;
    std::vector<SString> expected;
    bool matches;
};

bool verify(const SString& output, const std::vector<SString>& values) {
    StringPairPtrDeque expected;
    for (const SString& value : values)
        expected.push_back(std::make_unique<StringPair>("p", value));
    return JVMFile::verifyJVMOutput(output, expected);
}

TEST(JVMFileOutput, VerifierOutputIsComparedLineByLineAfterTheMagicLine) {
    testkit::LauncherState state;
    const OutputCase cases[] = {
        {"junk\n1739021872\n1.8.0_45\nSun\n", {"1.8...", "Sun"}, true},
        {"junk\n1739021872\n1.8.0_45\nSun\n", {"1.8", "Sun"}, false},
        {"1739021872", {"a", "b"}, true},
        {"1739021872\n", {"a"}, true},
        {"  1739021872 \t\r\nx\r\n", {"x"}, true},
        {"1739021872\n1.\n", {"1.8..."}, false},
        {"1739021872\nanything\n", {"..."}, true},
        {"1739021872\nSUN\n", {"Sun"}, false},
        {"1739021872\nA\nB\nC\n", {"A", "X"}, false},
        {"1739021872\nA\nB\nC\n", {"X", "..."}, false},
        {"1739021872\nA\nB\nC\n", {"A"}, true},
        {"1739021872\n\nA\n", {"A"}, false},
        {"1739021872\n  A  \n", {"A"}, true},
        {"x1739021872\n", {}, false},
        {"1739021872x\n", {}, false},
        {"", {}, false},
        {"1739021872\n21.0.2\nLinux\n", {"17+", "Linux"}, true},
        {"1739021872\n1.8.0_392\n", {"8..11"}, true},
        {"1739021872\n11.0.2\nLinux\n", {"17+", "Linux"}, false},
    };
    for (const OutputCase& c : cases) {
        EXPECT_EQ(verify(c.output, c.expected), c.matches) << c.output;
    }
}

TEST(JVMFileOutput, MissingMagicLineLogsTheLastLineRead) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    Launcher::setLogFileName(dir.file("log"));
    EXPECT_FALSE(verify("foo\n bar \r\n", {}));
    EXPECT_FALSE(verify("", {}));
    EXPECT_TRUE(verify("1739021872\n", {}));
    EXPECT_EQ(testkit::readFile(dir.file("log")),
              "------------------\n"
              "ERROR: Invalid magic value: bar\n\n"
              "ERROR: Invalid magic value: \n\n");
}

TEST(JVMFileOutput, RefusedPropertyIsLoggedWithItsReason) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    Launcher::setLogFileName(dir.file("log"));
    StringPairPtrDeque expected;
    expected.push_back(std::make_unique<StringPair>("os.name", "Linux"));
    expected.push_back(std::make_unique<StringPair>("java.version", "17+"));
    EXPECT_FALSE(JVMFile::verifyJVMOutput("1739021872\nLinux\n11.0.2\n", expected));
    EXPECT_TRUE(JVMFile::verifyJVMOutput("1739021872\nLinux\n25-ea\n", expected));
    EXPECT_EQ(testkit::readFile(dir.file("log")),
              "------------------\n"
              "JVM refused: java.version is 11.0.2, needs 17+\n");
}

}  // namespace
