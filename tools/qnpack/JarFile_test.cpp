#include "qnpack/JarFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "base/LauncherException.h"
#include "qnpack/JarSource.h"
#include "support/TestKit.h"
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

TEST(JarFile, SignaturesAndTheManifestAreFoundAsTheJvmFindsThem) {
    const JarFile plain("a.jar", ZipBuilder()
                                     .add("meta-inf/manifest.mf", "Main-Class: a.B\n")
                                     .add("META-INF/sub/X.SF", "not a signature")
                                     .bytes());
    EXPECT_EQ(readManifest(plain).at("main-class"), "a.B");
    EXPECT_FALSE(isSignedJar(plain));
    const JarFile signedJar("s.jar", ZipBuilder().add("META-INF/SIGNER.sf", "x").bytes());
    EXPECT_TRUE(isSignedJar(signedJar));
}

TEST(JarFile, OnlyRegularFilesWithinTheBundleLimitAreOpened) {
    testkit::ScopedTempDir dir;
    ZipBuilder().add("a.txt", "a").write(dir.file("ok.jar"));
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    testkit::makeDirs(dir.file("dir"));
    // A sparse file one byte past the limit costs no disk.
    testkit::writeFile(dir.file("huge.jar"), "");
    ASSERT_EQ(truncate(dir.file("huge.jar").c_str(), 0x80000000LL), 0);
    ASSERT_EQ(symlink("ok.jar", dir.file("link.jar").c_str()), 0);
    ASSERT_EQ(symlink("/proc/self/environ", dir.file("environ.jar").c_str()), 0);

    const struct {
        SString path;
        JarSourceOpening::Status status;
        SString why;
    } cases[] = {
        {dir.file("ok.jar"), JarSourceOpening::Open, ""},
        {dir.file("link.jar"), JarSourceOpening::Open, ""},
        {dir.file("none.jar"), JarSourceOpening::Missing,
         "cannot be read: No such file or directory"},
        {dir.file("ok.jar/x.jar"), JarSourceOpening::Missing, "cannot be read: Not a directory"},
        {dir.file("fifo"), JarSourceOpening::Refused, "is a FIFO, not a jar"},
        {dir.file("dir"), JarSourceOpening::Refused, "is a directory, not a jar"},
        {"/dev/null", JarSourceOpening::Refused, "is a character device, not a jar"},
        {dir.file("environ.jar"), JarSourceOpening::Refused,
         "is under /proc, where the kernel shows processes and devices, not a jar"},
        {"/sys/kernel/notes", JarSourceOpening::Refused,
         "is under /sys, where the kernel shows processes and devices, not a jar"},
        {dir.file("huge.jar"), JarSourceOpening::Refused,
         "is larger than 2 GiB, the limit of a bundle"},
    };
    for (const auto& c : cases) {
        JarSourceOpening opening = openJarSource(c.path);
        EXPECT_EQ(opening.status, c.status) << c.path;
        EXPECT_EQ(opening.why, c.why) << c.path;
        EXPECT_EQ(opening.source != nullptr, c.status == JarSourceOpening::Open) << c.path;
    }
    EXPECT_EQ(JarFile::open(dir.file("ok.jar")).entries().size(), 1u);
    try {
        JarFile::open(dir.file("fifo"));
        FAIL();
    } catch (const LauncherException& e) {
        EXPECT_EQ(e.getMessage(), dir.file("fifo") + ": is a FIFO, not a jar");
    }
}

TEST(JarFile, ClaimedSizesAreCheckedBeforeAnythingIsRead) {
    // A deflated entry whose recorded compressed size dwarfs its data.
    SString bytes = ZipBuilder().add("a.txt", "some text to deflate, some text").bytes();
    const size_t central = bytes.find("PK\x01\x02");
    bytes[central + 23] = '\x70';  // compressed size 0x70......
    const JarFile jar("bad.jar", bytes);
    EXPECT_THROW(jar.read(jar.entries()[0]), LauncherException);
}

}  // namespace
