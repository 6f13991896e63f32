#include "qnpack/ClassPath.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/TestKit.h"
#include "support/ZipBuilder.h"

using testkit::ScopedTempDir;
using testkit::ZipBuilder;

namespace {

// A jar at `path` whose manifest has `classPath` (none when empty).
void writeJar(const SString& path, const SString& classPath, bool isSigned = false) {
    testkit::makeDirs(path.substr(0, path.rfind('/')));
    ZipBuilder zip;
    zip.add("META-INF/MANIFEST.MF",
            "Manifest-Version: 1.0\r\n" +
                (classPath.empty() ? SString() : "Class-Path: " + classPath + "\r\n") + "\r\n");
    if (isSigned) zip.add("META-INF/SIGNER.SF", "Signature-Version: 1.0\r\n");
    zip.add("id.txt", path).write(path);
}

std::vector<SString> paths(const ClassPath& classPath) {
    std::vector<SString> result;
    for (const ClassPathJar& jar : classPath.jars) result.push_back(jar.path);
    return result;
}

ClassPath resolveFrom(const SString& mainJar, const SString& classPath) {
    ClassPathRequest request;
    request.mainJar = mainJar;
    request.mainClassPath = classPath;
    return resolveClassPath(request);
}

TEST(ClassPath, JarsComeDepthFirstOnceEachAsTheJvmOpensThem) {
    ScopedTempDir dir;
    const SString d = dir.path();
    // app -> lib/a (-> ../deep/b -> absolute far/c, and back to a), d, missing; c -> a again.
    writeJar(d + "/app/app.jar", "");
    writeJar(d + "/app/lib/a.jar", "../../deep/b.jar");
    writeJar(d + "/deep/b.jar", d + "/far/c.jar ../app/lib/a.jar");
    writeJar(d + "/far/c.jar", "file:" + d + "/app/lib/./a.jar");
    writeJar(d + "/other dir/d.jar", "");
    // The same jar through a link is the same jar.
    ASSERT_EQ(symlink((d + "/other dir/d.jar").c_str(), (d + "/app/d-link.jar").c_str()), 0);
    const ClassPath result = resolveFrom(d + "/app/app.jar", "lib/a.jar file:" + d +
                                                                 "/other%20dir/d.jar missing.jar "
                                                                 "d-link.jar app.jar");
    EXPECT_EQ(paths(result), (std::vector<SString>{d + "/app/lib/a.jar", d + "/deep/b.jar",
                                                   d + "/far/c.jar", d + "/other dir/d.jar"}));
    EXPECT_EQ(result.jars[0].origin, "Class-Path of " + d + "/app/app.jar");
    EXPECT_EQ(result.jars[1].origin, "Class-Path of " + d + "/app/lib/a.jar");
    EXPECT_EQ(result.jars[2].origin, "Class-Path of " + d + "/deep/b.jar");
    EXPECT_TRUE(result.jars[0].hasClassPath);
    EXPECT_FALSE(result.jars[3].hasClassPath);
    EXPECT_TRUE(result.problems.empty()) << result.problems[0];
    EXPECT_EQ(
        result.warnings,
        (std::vector<SString>{d + "/app/app.jar: Class-Path entry missing.jar is not at " + d +
                              "/app/missing.jar; it is left out, as java -jar would do"}));
}

TEST(ClassPath, TheOptionReplacesTheMainListAndItsJarsStillBringTheirs) {
    ScopedTempDir dir;
    const SString d = dir.path();
    writeJar(d + "/app.jar", "");
    writeJar(d + "/x/one.jar", "two.jar");
    writeJar(d + "/x/two.jar", "");
    writeJar(d + "/ignored.jar", "");
    ClassPathRequest request;
    request.mainJar = d + "/app.jar";
    request.mainClassPath = "ignored.jar";
    request.optionGiven = true;
    request.optionEntries = {d + "/x/one.jar", d + "/none.jar"};
    const ClassPath result = resolveClassPath(request);
    EXPECT_EQ(paths(result), (std::vector<SString>{d + "/x/one.jar", d + "/x/two.jar"}));
    EXPECT_EQ(result.jars[0].origin, "--class-path");
    EXPECT_EQ(result.warnings,
              (std::vector<SString>{"--class-path entry " + d + "/none.jar is not at " + d +
                                    "/none.jar; it is left out, as java -jar would do"}));
}

TEST(ClassPath, OnlyRegularZipFilesAreTakenAndEveryRefusalSaysWhereAndWhy) {
    ScopedTempDir dir;
    const SString d = dir.path();
    writeJar(d + "/app.jar", "");
    testkit::writeFile(d + "/notes.txt",
                       "just text, long enough to be looked at for a zip end record");
    ASSERT_EQ(mkfifo((d + "/fifo").c_str(), 0600), 0);
    testkit::makeDirs(d + "/dir.jar");
    // Nothing of these may be read, and the FIFO must not be waited on.
    const ClassPath result =
        resolveFrom(d + "/app.jar",
                    "/proc/self/environ /dev/zero fifo notes.txt dir.jar classes/ "
                    "http://example.org/x.jar file://host/x.jar ../../../../etc/passwd");
    const SString entry = d + "/app.jar: Class-Path entry ";
    EXPECT_TRUE(result.jars.empty());
    EXPECT_EQ(result.problems,
              (std::vector<SString>{
                  entry + "/proc/self/environ: /proc/self/environ is under /proc, where the "
                          "kernel shows processes and devices, not a jar",
                  entry + "/dev/zero: /dev/zero is a character device, not a jar",
                  entry + "fifo: " + d + "/fifo is a FIFO, not a jar",
                  entry + "notes.txt: " + d +
                      "/notes.txt: not a readable jar: no end of central "
                      "directory",
                  entry + "dir.jar: " + d + "/dir.jar is a directory, not a jar",
                  entry + "classes/ is a directory, which cannot be embedded; pack it into a jar "
                          "and give the class path with --class-path JAR...",
                  entry + "http://example.org/x.jar is not a local file; give the class path with "
                          "--class-path JAR...",
                  entry + "file://host/x.jar is not a local file; give the class path with "
                          "--class-path JAR...",
                  entry + "../../../../etc/passwd: /etc/passwd: not a readable jar: no end of "
                          "central directory",
              }));
}

TEST(ClassPath, SystemJarsAreReferencedByTheirPathUnderThePrefixWithTheirClosure) {
    ScopedTempDir dir;
    const SString d = dir.path();
    writeJar(d + "/app.jar", "");
    writeJar(d + "/share/java/lib-1.2.jar", "dep.jar ../../own/o.jar");
    // A versioned jar behind an unversioned link, as distributions install them.
    ASSERT_EQ(symlink("lib-1.2.jar", (d + "/share/java/lib.jar").c_str()), 0);
    writeJar(d + "/share/java/dep.jar", "");
    writeJar(d + "/own/o.jar", "");
    ClassPathRequest request;
    request.mainJar = d + "/app.jar";
    request.mainClassPath = "share/java/lib.jar";
    request.systemJars = true;
    request.systemPrefix = d + "/share/./java/";
    const ClassPath result = resolveClassPath(request);
    ASSERT_EQ(paths(result), (std::vector<SString>{d + "/share/java/lib.jar",
                                                   d + "/share/java/dep.jar", d + "/own/o.jar"}));
    EXPECT_TRUE(result.jars[0].reference);
    EXPECT_TRUE(result.jars[1].reference);
    EXPECT_FALSE(result.jars[2].reference);
    // Without --system-jars the same jars are embedded.
    request.systemJars = false;
    for (const ClassPathJar& jar : resolveClassPath(request).jars) EXPECT_FALSE(jar.reference);
}

TEST(ClassPath, SignedJarsThatReachOutsideTheCopiesAreWarnedAbout) {
    ScopedTempDir dir;
    const SString d = dir.path();
    writeJar(d + "/app.jar", "");
    writeJar(d + "/lib/signed.jar", "near.jar sub/far.jar /abs/x.jar", true);
    writeJar(d + "/lib/near.jar", "");
    const ClassPath result = resolveFrom(d + "/app.jar", "lib/signed.jar");
    ASSERT_EQ(paths(result), (std::vector<SString>{d + "/lib/signed.jar", d + "/lib/near.jar"}));
    EXPECT_TRUE(result.jars[0].isSigned);
    ASSERT_EQ(result.warnings.size(), 3u);  // two entries missing, then the signature
    EXPECT_EQ(result.warnings[2],
              d + "/lib/signed.jar is signed, so it is embedded as it is (its signature covers "
                  "the manifest): at run time the JVM also looks for its Class-Path entries "
                  "sub/far.jar, /abs/x.jar outside the bundle's copies");
}

TEST(ClassPath, PathsAreNormalizedAsUrlsAre) {
    const std::pair<const char*, const char*> cases[] = {
        {"/a/./b//c.jar", "/a/b/c.jar"},
        {"/a/b/../c.jar", "/a/c.jar"},
        {"/../x.jar", "/x.jar"},
        {"a/../../x.jar", "../x.jar"},
        {"./x.jar", "x.jar"},
        {"a/..", "."},
        {"/", "/"},
    };
    for (const auto& c : cases) EXPECT_EQ(normalizePath(c.first), c.second) << c.first;
}

}  // namespace
