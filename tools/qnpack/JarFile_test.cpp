#include "qnpack/JarFile.h"

#include <gtest/gtest.h>

#include "base/LauncherException.h"
#include "support/ZipBuilder.h"

using testkit::ZipBuilder;

namespace {

const SString kManifest =
    "Manifest-Version: 1.0\r\n"
    "main-class: app.Main\r\n"
    "Class-Path: lib/one.jar lib/t\r\n"
    " wo.jar my%20lib.jar\r\n"
    "\r\n"
    "Name: app/\r\n"
    "Main-Class: not.This\r\n";

TEST(JarFile, ReadsStoredAndDeflatedEntriesAndTheManifest) {
    const SString big(100000, 'x');
    JarFile jar("app.jar", ZipBuilder()
                               .add("META-INF/MANIFEST.MF", kManifest)
                               .add("stored.txt", "plain bytes", false)
                               .add("big.txt", big)
                               .add("empty", "")
                               .bytes());
    ASSERT_EQ(jar.entries().size(), 4u);
    EXPECT_EQ(jar.read(*jar.find("stored.txt")), "plain bytes");
    EXPECT_EQ(jar.read(*jar.find("big.txt")), big);
    EXPECT_EQ(jar.read(*jar.find("empty")), "");
    EXPECT_EQ(jar.find("missing"), nullptr);

    // Names are case-insensitive, continuation lines join, other sections do not count.
    const std::map<SString, SString> manifest = readManifest(jar);
    EXPECT_EQ(manifest.at("main-class"), "app.Main");
    EXPECT_EQ(splitClassPath(manifest.at("class-path")),
              (std::vector<SString>{"lib/one.jar", "lib/two.jar", "my lib.jar"}));
    EXPECT_EQ(parseManifest("Main-Class: a.B\nX: y").at("x"), "y");
}

TEST(JarFile, RefusesDamagedArchives) {
    const SString good = ZipBuilder().add("a.txt", "some text to deflate, some text").bytes();
    auto readAll = [](const SString& bytes) {
        JarFile jar("bad.jar", bytes);
        for (const JarEntry& entry : jar.entries()) jar.read(entry);
    };
    EXPECT_NO_THROW(readAll(good));
    EXPECT_THROW(readAll("PK"), LauncherException);
    EXPECT_THROW(readAll(good.substr(0, good.size() - 5)), LauncherException);
    // A flipped byte in the deflated data fails inflate or the CRC.
    SString corrupt = good;
    corrupt[35] ^= 0x55;
    EXPECT_THROW(readAll(corrupt), LauncherException);
    // A central directory that points past the data.
    SString shifted = good;
    shifted[shifted.size() - 6] = '\x7F';
    EXPECT_THROW(readAll(shifted), LauncherException);
    try {
        readAll("not a zip at all, just text");
        FAIL();
    } catch (const LauncherException& e) {
        EXPECT_EQ(e.getMessage(), "bad.jar: not a readable jar: no end of central directory");
    }
}

TEST(JarFile, ClassFileVersionGivesTheJavaRelease) {
    EXPECT_EQ(classFileJavaVersion(testkit::classFileHeader(52)), 8);
    EXPECT_EQ(classFileJavaVersion(testkit::classFileHeader(55)), 11);
    EXPECT_EQ(classFileJavaVersion(testkit::classFileHeader(61)), 17);
    EXPECT_EQ(classFileJavaVersion(testkit::classFileHeader(69)), 25);
    EXPECT_EQ(classFileJavaVersion("\xCA\xFE\xBA"), 0);
    EXPECT_EQ(classFileJavaVersion("PK\x03\x04 not a class"), 0);
}

}  // namespace
