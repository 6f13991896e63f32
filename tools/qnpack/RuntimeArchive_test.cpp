#include "qnpack/RuntimeArchive.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <vector>

#include "base/LauncherException.h"
#include "base/UniqueFd.h"
#include "inputfiles/UstarReader.h"
#include "support/TestKit.h"
#include "support/UstarBuilder.h"

namespace {

unsigned long field(const char* header, size_t offset, size_t width) {
    return strtoul(SString(header + offset, width).c_str(), nullptr, 8);
}

TEST(RuntimeArchive, TarHeadersSplitLongNamesAndCarryAValidChecksum) {
    char header[512];
    ASSERT_TRUE(tarHeader("bin/java", '0', 0755, 12345, 1700000000, header));
    EXPECT_STREQ(header, "bin/java");
    EXPECT_EQ(field(header, 100, 8), 0755u);
    EXPECT_EQ(field(header, 124, 12), 12345u);
    EXPECT_EQ(SString(header + 257, 5), "ustar");
    unsigned sum = 0;
    for (int i = 0; i < 512; ++i)
        sum += i >= 148 && i < 156 ? ' ' : static_cast<unsigned char>(header[i]);
    EXPECT_EQ(field(header, 148, 7), sum);

    const SString dir(120, 'd');
    ASSERT_TRUE(tarHeader(dir + "/file.txt", '0', 0644, 0, 0, header));
    EXPECT_STREQ(header, "file.txt");
    EXPECT_EQ(SString(header + 345), dir);
    EXPECT_FALSE(tarHeader(SString(120, 'x'), '0', 0644, 0, 0, header));
    EXPECT_FALSE(tarHeader("big", '0', 0644, 1ull << 33, 0, header));
}

TEST(RuntimeArchive, ReleaseFileAndRefusedDirectories) {
    EXPECT_EQ(releaseValue("IMPLEMENTOR=\"X\"\nJAVA_VERSION=\"17.0.15\"\n", "JAVA_VERSION"),
              "17.0.15");
    EXPECT_EQ(releaseValue("JAVA_VERSION_DATE=\"2025\"\n", "JAVA_VERSION"), "");
    testkit::ScopedTempDir dir;
    EXPECT_THROW(writeRuntimeArchive(dir.path(), dir.file("out")), LauncherException);
    testkit::writeFile(dir.file("bin/java"), "#!/bin/sh\n", 0755);
    testkit::writeFile(dir.file("release"), "JAVA_VERSION=\"17'; rm -rf /\"\n");
    try {
        writeRuntimeArchive(dir.path(), dir.file("out"));
        FAIL();
    } catch (const LauncherException& e) {
        EXPECT_NE(e.getMessage().find("names no JAVA_VERSION"), SString::npos);
    }
}

// A small runtime tree at `rt`: bin/java, release, lib/a.txt, a link to it, a dangling
// link and a link to a directory.
void makeRuntimeTree(const SString& rt) {
    testkit::writeFile(rt + "/bin/java", "#!/bin/sh\n", 0755);
    testkit::writeFile(rt + "/release", "JAVA_VERSION=\"17.0.2\"\n", 0644);
    testkit::writeFile(rt + "/lib/a.txt", "abc", 0640);
    ASSERT_EQ(symlink("a.txt", (rt + "/lib/link.txt").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (rt + "/lib/dangling").c_str()), 0);
    ASSERT_EQ(symlink("../bin", (rt + "/lib/dirlink").c_str()), 0);
}

// The archive the launcher installs, read back by the launcher's own reader.
TEST(RuntimeArchive, TheLaunchersArchiveIsPlainUstarOfTheTreeWhateverItsTimes) {
    testkit::ScopedTempDir dir;
    const SString rt = dir.file("rt");
    makeRuntimeTree(rt);
    EXPECT_EQ(writeRuntimeArchive(rt, dir.file("rt.tar")), "17.0.2");
    const SString bytes = testkit::readFile(dir.file("rt.tar"));

    UniqueFd fd(open(dir.file("rt.tar").c_str(), O_RDONLY | O_CLOEXEC));
    UstarReader reader(fd.get(), 0, static_cast<long long>(bytes.size()));
    UstarEntry entry;
    std::vector<SString> names;
    std::map<SString, std::pair<unsigned, SString>> files;
    while (reader.next(entry)) {
        names.push_back(entry.name + (entry.isDirectory ? "/" : ""));
        files[entry.name] = {entry.mode, bytes.substr(static_cast<size_t>(entry.offset),
                                                      static_cast<size_t>(entry.size))};
    }
    EXPECT_EQ(names,
              (std::vector<SString>{"bin/", "bin/java", "jvm", "lib/", "lib/a.txt", "lib/dirlink/",
                                    "lib/dirlink/java", "lib/link.txt", "release"}));
    EXPECT_EQ(files["bin/java"], std::make_pair(0755u, SString("#!/bin/sh\n")));
    // The descriptor the launcher hands on, for exactly this runtime's version.
    EXPECT_EQ(files["jvm"], std::make_pair(0644u, runtimeDescriptor("17.0.2")));
    EXPECT_EQ(runtimeDescriptor("17.0.2"),
              "DESC: Bundled Java 17.0.2\nJVM_EXE: bin/java\nCLASSPATH: \"-cp \"\n"
              "CLASSPATH_SEPARATOR: :\nSYSTEM: -D\nSYSTEM_SEPARATOR: =\n"
              "JVM_PROPERTIES: java.version=17.0.2\n");
    EXPECT_EQ(files["lib/link.txt"], std::make_pair(0640u, SString("abc")));
    EXPECT_EQ(files["lib/dirlink/java"], files["bin/java"]);

    // Other times, the same bytes.
    struct timespec times[2] = {{1000000, 0}, {1000000, 0}};
    for (const char* name : {"", "/bin", "/bin/java", "/lib/a.txt"}) {
        ASSERT_EQ(utimensat(AT_FDCWD, (rt + name).c_str(), times, 0), 0);
    }
    writeRuntimeArchive(rt, dir.file("again.tar"));
    EXPECT_TRUE(testkit::readFile(dir.file("again.tar")) == bytes);
}

TEST(RuntimeArchive, ALoopOrAFailedWriteLeavesNoArchive) {
    testkit::ScopedTempDir dir;
    const SString rt = dir.file("rt");
    makeRuntimeTree(rt);
    ASSERT_EQ(symlink("..", (rt + "/lib/loop").c_str()), 0);
    try {
        writeRuntimeArchive(rt, dir.file("rt.tar"));
        ADD_FAILURE() << "archived";
    } catch (const LauncherException& e) {
        EXPECT_EQ(e.getMessage(), rt + "/lib/loop: a link that leads back to a directory above "
                                       "it; the runtime cannot be archived");
    }
    EXPECT_FALSE(testkit::exists(dir.file("rt.tar")));

    unlink((rt + "/lib/loop").c_str());
    testkit::writeFile(rt + "/lib/big", SString(100000, 'b'));
    {
        testkit::ScopedFileSizeLimit limit(8192);
        EXPECT_THROW(writeRuntimeArchive(rt, dir.file("rt.tar")), LauncherException);
    }
    EXPECT_FALSE(testkit::exists(dir.file("rt.tar")));
    unlink((rt + "/lib/big").c_str());

    // The root's "jvm" is the archive's descriptor; a tree with one of its own is refused.
    testkit::writeFile(rt + "/jvm", "DESC: mine\n");
    try {
        writeRuntimeArchive(rt, dir.file("rt.tar"));
        ADD_FAILURE() << "archived";
    } catch (const LauncherException& e) {
        EXPECT_EQ(e.getMessage(), rt + ": it holds an entry named jvm, the name of the "
                                       "descriptor the archive carries");
    }
    EXPECT_FALSE(testkit::exists(dir.file("rt.tar")));
}

// What the packer says about an archive given by hand, which the launcher would refuse or
// could not hand on.
TEST(RuntimeArchive, AHandWrittenArchiveIsCheckedAsTheLauncherWouldInstallIt) {
    testkit::ScopedTempDir dir;
    const SString good = "DESC: Mine\nJVM_EXE: bin/java\nJVM_PROPERTIES: java.version=17+\n";
    struct Case {
        const char* name;
        SString bytes;
        std::vector<SString> problems;  // after "PATH: " / "PATH:jvm"
    };
    const SString java = "#!/bin/sh\n";
    const std::vector<Case> cases = {
        {"good",
         testkit::UstarBuilder().file("bin/java", java, 0755).file("jvm", good).bytes(),
         {}},
        {"no-java",
         testkit::UstarBuilder().file("jvm", good).bytes(),
         {": the runtime archive holds no bin/java"}},
        {"no-jvm",
         testkit::UstarBuilder().file("bin/java", java).file("lib/jvm", good).bytes(),
         {": the runtime archive holds no descriptor \"jvm\" at its root"}},
        {"jvm-dir",
         testkit::UstarBuilder().file("bin/java", java).directory("jvm").bytes(),
         {": the runtime archive holds no descriptor \"jvm\" at its root"}},
        {"no-exe",
         testkit::UstarBuilder().file("bin/java", java).file("jvm", "DESC: x\n").bytes(),
         {":jvm: the descriptor names no JVM_EXE"}},
        {"bad-tags",
         testkit::UstarBuilder().file("bin/java", java).file("jvm", "DESC x\n").bytes(),
         {":jvm line 1: Missing colon at the end of the tag name."}},
        {"bad-version",
         testkit::UstarBuilder()
             .file("bin/java", java)
             .file("jvm", "JVM_EXE: bin/java\nJVM_PROPERTIES: java.version=17++\n")
             .bytes(),
         {":jvm: java.version=17++: not a version constraint; write N+ (N or newer) or "
          "N..M (N up to M), e.g. 17+ or 11..17"}},
        {"link", testkit::UstarBuilder().member("bin/java", '2', 0777, "").bytes(), {}},
        {"cut", testkit::UstarBuilder().file("bin/java", java).file("jvm", good).bytes(false), {}},
    };
    for (const Case& c : cases) {
        const SString path = dir.file(c.name);
        testkit::writeFile(path, c.bytes);
        std::vector<SString> problems;
        checkRuntimeArchive(path, problems);
        if (SString(c.name) == "link" || SString(c.name) == "cut") {
            // The reader's own refusal, named with the file.
            ASSERT_EQ(problems.size(), 1u) << c.name;
            EXPECT_EQ(problems[0].compare(0, path.size() + 2, path + ": "), 0) << problems[0];
            continue;
        }
        std::vector<SString> expected;
        for (const SString& p : c.problems) expected.push_back(path + p);
        EXPECT_EQ(problems, expected) << c.name;
    }
    std::vector<SString> problems;
    checkRuntimeArchive(dir.file("missing"), problems);
    EXPECT_EQ(problems.size(), 1u);
}

}  // namespace
