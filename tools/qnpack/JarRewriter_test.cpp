#include "qnpack/JarRewriter.h"

#include <gtest/gtest.h>

#include "base/LauncherException.h"
#include "qnpack/JarFile.h"
#include "support/TestKit.h"
#include "support/ZipBuilder.h"

using testkit::ZipBuilder;

namespace {

TEST(JarRewriter, OnlyTheMainSectionsClassPathGoes) {
    const std::pair<SString, SString> cases[] = {
        {"Manifest-Version: 1.0\r\nClass-Path: a.jar b\r\n .jar\r\nMain-Class: M\r\n\r\n",
         "Manifest-Version: 1.0\r\nMain-Class: M\r\n\r\n"},
        {"class-path: x.jar\nMain-Class: M\n", "Main-Class: M\n"},
        {"Main-Class: M\nCLASS-PATH: x.jar\n", "Main-Class: M\n"},
        // Not an attribute as the manifest reader reads one, and per-entry sections stay.
        {"Class-Path:x.jar\nMain-Class: M\n\nName: a/\nClass-Path: y.jar\n",
         "Class-Path:x.jar\nMain-Class: M\n\nName: a/\nClass-Path: y.jar\n"},
        {"Main-Class: M\rClass-Path: x.jar\r", "Main-Class: M\r"},
        // A lone CR, the dropped line, then the blank line: the section still ends there.
        {"Main-Class: M\rClass-Path: x.jar\r\n\nName: a: b\n", "Main-Class: M\r\r\nName: a: b\n"},
        {"Main-Class: M", "Main-Class: M"},
        {"", ""},
    };
    for (const auto& c : cases) {
        const SString copy = manifestWithoutClassPath(c.first);
        EXPECT_EQ(copy, c.second) << c.first;
        std::map<SString, SString> expected = parseManifest(c.first);
        expected.erase("class-path");
        EXPECT_EQ(parseManifest(copy), expected) << c.first;
    }
}

SString copyOf(const JarFile& jar) {
    SString copy;
    copyJarWithoutClassPath(jar, [&](const char* data, size_t size) { copy.append(data, size); });
    return copy;
}

TEST(JarRewriter, TheCopyKeepsEveryOtherEntryAndIsTheSameEveryTime) {
    const SString big = testkit::patternBytes(200000);
    const SString original = ZipBuilder()
                                 .add("META-INF/", "", false)
                                 .add("META-INF/MANIFEST.MF",
                                      "Manifest-Version: 1.0\r\nClass-Path: lib/a.jar\r\n"
                                      "Main-Class: app.Main\r\n\r\n",
                                      true, ZipBuilder::InDescriptor)
                                 .add("app/Main.class", testkit::classFileHeader(61), true,
                                      ZipBuilder::InDescriptorWithoutSignature)
                                 .add("data.bin", big, false)
                                 .add("deflated.bin", big, true, ZipBuilder::InDescriptor)
                                 .comment("made by a test")
                                 .bytes();
    const JarFile jar("app.jar", original);
    const SString copy = copyOf(jar);
    EXPECT_EQ(copy, copyOf(JarFile("again.jar", original)));

    const JarFile copied("copy.jar", copy);
    ASSERT_EQ(copied.entries().size(), jar.entries().size());
    for (size_t i = 0; i < jar.entries().size(); ++i) {
        const JarEntry& before = jar.entries()[i];
        const JarEntry& after = copied.entries()[i];
        EXPECT_EQ(after.name, before.name);
        if (before.name == "META-INF/MANIFEST.MF") {
            EXPECT_EQ(copied.read(after), "Manifest-Version: 1.0\r\nMain-Class: app.Main\r\n\r\n");
            EXPECT_EQ(after.method, 0);
        } else {
            EXPECT_EQ(copied.read(after), jar.read(before)) << before.name;
            EXPECT_EQ(after.method, before.method);
            EXPECT_EQ(after.flags, before.flags);
        }
    }
    EXPECT_EQ(readManifest(copied).count("class-path"), 0u);
    EXPECT_EQ(readManifest(copied).at("main-class"), "app.Main");
    EXPECT_EQ(copied.endRecord().substr(22), "made by a test");
    // Every entry's bytes are those of the original (the manifest's aside): the data is
    // copied, not compressed again.
    EXPECT_NE(copy.find(original.substr(original.find("deflated.bin") + 12, 1000)), SString::npos);
}

TEST(JarRewriter, DamagedEntriesStopTheCopy) {
    SString bytes = ZipBuilder()
                        .add("META-INF/MANIFEST.MF", "Class-Path: x.jar\n")
                        .add("a.txt", "some text")
                        .bytes();
    // The second local header's signature is broken.
    const size_t second = bytes.find("PK\x03\x04", 4);
    bytes[second + 2] = 'X';
    const JarFile jar("bad.jar", bytes);
    try {
        copyOf(jar);
        FAIL();
    } catch (const LauncherException& e) {
        EXPECT_EQ(e.getMessage(), "bad.jar: not a readable jar: a.txt: broken local header");
    }
}

TEST(JarRewriter, AFailedWriteLeavesNoFile) {
    testkit::ScopedTempDir dir;
    const JarFile jar("app.jar", ZipBuilder()
                                     .add("META-INF/MANIFEST.MF", "Class-Path: x.jar\n")
                                     .add("big.bin", testkit::patternBytes(300000), false)
                                     .bytes());
    {
        testkit::ScopedFileSizeLimit limit(100000);
        EXPECT_THROW(writeJarWithoutClassPath(jar, dir.file("copy.jar")), LauncherException);
    }
    EXPECT_FALSE(testkit::exists(dir.file("copy.jar")));
    writeJarWithoutClassPath(jar, dir.file("copy.jar"));
    EXPECT_EQ(testkit::readFile(dir.file("copy.jar")), copyOf(jar));
}

}  // namespace
