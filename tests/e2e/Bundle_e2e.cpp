// Bundles as packagers make them and users run them: packing, listing, extraction, and
// a run that leaves nothing behind.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e/E2eHelpers.h"
#include "inputfiles/BundleLayout.h"
#include "inputfiles/FileIndexEntry.h"

using namespace testkit;
using e2e::Workspace;

namespace {

SString pattern(size_t size) {
    SString bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

TEST(Bundle, PackListAndExtractGiveBackEveryFileAndAReplayingInputTag) {
    Workspace ws;
    writeFile(ws.file("src/instr.tag"), e2e::instructions({"// nothing"}));
    writeFile(ws.file("src/a.jvm"), e2e::descriptor("A", {"java.version=..."}, {}));
    writeFile(ws.file("src/b.jvm"), e2e::descriptor("B", {"java.version=..."}, {}));
    writeFile(ws.file("src/launch.tag"), "COMMAND: java -version\n");
    writeFile(ws.file("src/app.jar"), pattern(5000));
    SString bundle = ws.file("app.bin");
    RunResult packed =
        run({qnpackPath(), "create", "-o", bundle, "--stub", qnlaunchPath(), "--instructions",
             ws.file("src/instr.tag"), "--jvm", ws.file("src/a.jvm"), "--jvm",
             "7=" + ws.file("src/b.jvm"), "--launch-script", ws.file("src/launch.tag"),
             "--app-archive", ws.file("src/app.jar")});
    ASSERT_EQ(packed.status, 0) << packed.err;
    struct stat st;
    ASSERT_EQ(stat(bundle.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);

    RunResult listed = run({qnpackPath(), "list", bundle});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_NE(listed.out.find("instructions"), SString::npos);
    // Default ids skip the id taken explicitly: 1, 2, 7, 3, 4.
    for (const char* row : {" 1 ", " 2 ", " 7 ", " 3 ", " 4 "}) {
        EXPECT_NE(listed.out.find(row), SString::npos) << row << "\n" << listed.out;
    }
    EXPECT_NE(listed.out.find("  app.jar\n"), SString::npos) << listed.out;

    SString out = ws.file("out");
    makeDirs(out);
    RunResult extracted = ws.run(bundle, {"-qn:extract"}, {}, out);
    EXPECT_EQ(extracted.status, 0);
    for (const char* name : {"instr.tag", "a.jvm", "b.jvm", "launch.tag", "app.jar"}) {
        EXPECT_EQ(readFile(out + "/" + name), readFile(ws.file(SString("src/") + name))) << name;
    }
    EXPECT_EQ(readFile(out + "/input.tag"),
              "ACTION:  RUN_INSTRUCTIONS\n"
              "INSTRUCTIONS:  instr.tag\n"
              "JVM:\n  a.jvm\n  b.jvm\n/:\n"
              "LAUNCHSCRIPT:  launch.tag\n");
    EXPECT_TRUE(ws.leftovers().empty());
}

TEST(Bundle, ExtractionCopiesInChunksWithOneDotEach) {
    Workspace ws;
    SString content = pattern(2 * 61439 + 1);
    writeFile(ws.file("big.bin"), content);
    SString bundle = BundleBuilder(ws.root())
                         .addFile(FILE_TYPE_CLASSPATH_ARCHIVE, ws.file("big.bin"))
                         .write(ws.file("b.bin"));
    SString out = ws.file("out");
    makeDirs(out);
    RunResult r = ws.run(bundle, {"-qn:extract"}, {}, out);
    EXPECT_EQ(r.out, "...\n");
    EXPECT_EQ(readFile(out + "/big.bin"), content);
}

TEST(Bundle, ExtractionFailureIsReportedWithItsContext) {
    Workspace ws;
    SString bundle = BundleBuilder(ws.root())
                         .add(FILE_TYPE_CLASSPATH_ARCHIVE, "lib.jar", "abc")
                         .write(ws.file("b.bin"));
    SString out = ws.file("out");
    makeDirs(out + "/lib.jar");  // a directory where the file should go
    RunResult r = ws.run(bundle, {"-qn:extract"}, {}, out);
    EXPECT_EQ(r.status, 1);  // a failure message ends the run with 1
    const SString expected =
        "Unable to extract embedded files from the launcher. lib.jar exists already; nothing was "
        "extracted.";
    EXPECT_NE(r.out.find(expected + "\n"), SString::npos) << r.out;
    EXPECT_NE(ws.logText().find("ERROR: " + expected + "\n"), SString::npos);
    EXPECT_EQ(listDir(out), std::vector<SString>{"lib.jar"});
}

TEST(Bundle, BrokenIndexIsReportedWhenExtracting) {
    Workspace ws;
    // The stub with a trailer that points past the end of the file.
    SString broken = readFile(qnlaunchPath());
    BundleWriter::appendLong(broken, static_cast<long>(broken.size()) + 1000);
    BundleWriter::appendLong(broken, static_cast<long>(kLauncherIdentification));
    writeFile(ws.file("broken.bin"), broken, 0755);
    RunResult r = ws.run(ws.file("broken.bin"), {"-qn:extract"});
    EXPECT_EQ(r.out, "Unable to load the launcher file index. Unable to read the file count.\n");
}

TEST(Bundle, DefaultRunLeavesNothingInTheTemporaryDirectory) {
    Workspace ws;
    SString bundle = BundleBuilder(ws.root())
                         .add(FILE_TYPE_INSTRUCTIONS, "i.tag", e2e::instructions({"FIND_JVM 0 0"}))
                         .add(FILE_TYPE_JVM, "j.jvm",
                              e2e::descriptor("J", {"java.version=..."}, {ws.file("nojvm")}))
                         .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "not really a jar")
                         .write(ws.file("b.bin"));
    RunResult r = ws.run(bundle);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(ws.logText().find("No matching JVM was found."), SString::npos);
    EXPECT_TRUE(ws.leftovers().empty());
}

}  // namespace

// The launcher reads its own file through one descriptor: a cold run of the demo (nothing
// in the cache yet, so the verifier and the archives are extracted) opens it once.
TEST(Bundle, AColdRunOfTheDemoOpensItsOwnFileOnce) {
    const SString demo = demoBundlePath();
    if (!exists(demo)) GTEST_SKIP() << "the demo bundle was not built";
    if (access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "needs strace";
    if (stubIsEmulated()) GTEST_SKIP() << "strace would trace the emulator";
    Workspace ws;
    const SString bundle = ws.file("hello");
    writeFile(bundle, readFile(demo), 0755);
    const SString trace = ws.file("trace");
    RunResult r = run(
        {"/usr/bin/strace", "-f", "-e", "trace=open,openat,openat2", "-o", trace, bundle, "one"},
        ws.root(), {{"QNLAUNCH_CACHE", ws.file("cache")}, e2e::kNoLeakCheckUnderTrace});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Hello from a qnlaunch bundle!"), SString::npos) << r.out << r.err;
    int opens = 0;
    for (const SString& line : splitLines(readFile(trace))) {
        if (line.find("open") != SString::npos &&
            line.find("\"" + bundle + "\"") != SString::npos) {
            ++opens;
        }
    }
    EXPECT_EQ(opens, 1) << readFile(trace);
    EXPECT_FALSE(listDir(ws.file("cache/archives")).empty());
}
