// The packer's commands on the files they make: the scratch directory of a generated
// bundle goes with everything in it, directories that cannot be made say why, every
// embedded file is named with where it came from, and a second init keeps what is there.

#include "qnpack/Packer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "support/TestKit.h"
#include "support/ZipBuilder.h"

using testkit::ScopedTempDir;

namespace {

struct Outcome {
    int status;
    SString out, err;
};

SString contents(FILE* stream) {
    SString text;
    rewind(stream);
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, stream)) > 0) text.append(buffer, n);
    fclose(stream);
    return text;
}

Outcome qnpack(std::vector<SString> words) {
    words.insert(words.begin(), "qnpack");
    std::vector<char*> argv;
    for (SString& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    FILE* out = tmpfile();
    FILE* err = tmpfile();
    Outcome outcome;
    outcome.status = qnpackMain(static_cast<int>(words.size()), argv.data(), out, err);
    outcome.out = contents(out);
    outcome.err = contents(err);
    return outcome;
}

class PackerCommands : public ::testing::Test {
protected:
    void SetUp() override {
        testkit::ZipBuilder()
            .add("META-INF/MANIFEST.MF", "Main-Class: app.Main\n")
            .add("app/Main.class", testkit::classFileHeader(55))
            .write(dir.file("app.jar"));
        testkit::writeFile(dir.file("stub"), "#!/bin/sh\n", 0755);
        testkit::writeFile(dir.file("verify.jar"), "verifier");
        testkit::makeDirs(dir.file("tmp"));
    }

    // "list" loads the bundle as the launcher would, into the launcher's state.
    testkit::LauncherState state;
    ScopedTempDir dir;
    testkit::ScopedEnv tmp{"TMPDIR", dir.file("tmp").c_str()};
};

TEST_F(PackerCommands, ABundleFromAJarLeavesNoGeneratedFileBehind) {
    testkit::ZipBuilder()
        .add("META-INF/MANIFEST.MF", "Main-Class: app.Main\nClass-Path: lib/one.jar\n")
        .add("app/Main.class", testkit::classFileHeader(55))
        .write(dir.file("app.jar"));
    testkit::makeDirs(dir.file("lib"));
    testkit::ZipBuilder().add("one/One.class", "x").write(dir.file("lib/one.jar"));
    const Outcome created =
        qnpack({"create", "-o", dir.file("app.bin"), "--stub", dir.file("stub"), "--main-jar",
                dir.file("app.jar"), "--verify-archive", dir.file("verify.jar")});
    ASSERT_EQ(created.status, 0) << created.err;
    EXPECT_EQ(created.err, "");
    // One line per file, with where it came from.
    EXPECT_EQ(created.out,
              "embedded instructions.tag (generated)\n"
              "embedded launch.tag (generated)\n"
              "embedded java-11+.jvm (generated)\n"
              "embedded app.jar from " +
                  dir.file("app.jar") +
                  " (--main-jar, its copy without Class-Path)\n"
                  "embedded one.jar from " +
                  dir.file("lib/one.jar") + " (Class-Path of " + dir.file("app.jar") +
                  ")\n"
                  "embedded verify.jar from " +
                  dir.file("verify.jar") + " (--verify-archive)\n");
    EXPECT_TRUE(testkit::listDir(dir.file("tmp")).empty());
    const Outcome listed = qnpack({"list", dir.file("app.bin")});
    EXPECT_EQ(listed.status, 0) << listed.err;
    for (const char* name : {"instructions.tag", "launch.tag", "verify.jar", "app.jar"}) {
        EXPECT_NE(listed.out.find(name), SString::npos) << name << "\n" << listed.out;
    }
}

TEST_F(PackerCommands, DirectoriesBelowARegularFileCannotBeMade) {
    testkit::writeFile(dir.file("plain"), "a regular file");
    const Outcome init = qnpack({"init", dir.file("plain/sub"), "--main-jar", dir.file("app.jar")});
    EXPECT_EQ(init.status, 1);
    EXPECT_EQ(init.err, "qnpack: " + dir.file("plain/sub") + ": Not a directory\n");

    testkit::ScopedEnv badTmp("TMPDIR", dir.file("plain").c_str());
    const Outcome created = qnpack({"create", "-o", dir.file("app.bin"), "--stub", dir.file("stub"),
                                    "--main-jar", dir.file("app.jar")});
    EXPECT_EQ(created.status, 1);
    EXPECT_EQ(created.err, "qnpack: cannot create a temporary directory: Not a directory\n");
    EXPECT_FALSE(testkit::exists(dir.file("app.bin")));
}

TEST_F(PackerCommands, ListSaysWhyABundleCannotBeRead) {
    const Outcome missing = qnpack({"list", dir.file("missing.bin")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "qnpack: " + dir.file("missing.bin") + ": No such file or directory\n");
    const Outcome plain = qnpack({"list", dir.file("stub")});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out, dir.file("stub") + " carries no appended data\n");
}

TEST_F(PackerCommands, OptionsAreKnownOrSaidToBeUnknown) {
    const std::vector<std::pair<std::vector<SString>, SString>> cases = {
        {{"create", "--foo"}, "qnpack: unknown option --foo\n"},
        {{"create", "-o", "x", "--foo", "bar"}, "qnpack: unknown option --foo\n"},
        {{"create", "-o", "x", "--main-jar"}, "qnpack: --main-jar needs a value\n"},
        {{"init", "d", "-o", "x"}, "qnpack: init does not take -o\n"},
        {{"init", "d", "--jvm", "x"}, "qnpack: init does not take --jvm\n"},
        {{"create", "-o", "x", "--system-prefix", "/opt/java"},
         "qnpack: --system-prefix takes effect with --system-jars only; add --system-jars\n"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = qnpack(c.first);
        EXPECT_EQ(outcome.status, 1) << c.second;
        EXPECT_EQ(outcome.err, c.second);
    }
    const Outcome java = qnpack({"create", "-o", dir.file("x"), "--stub", dir.file("stub"),
                                 "--main-jar", dir.file("app.jar"), "--java", "17++"});
    EXPECT_EQ(java.err,
              "qnpack: --java 17++: not a version constraint; write N+ (N or newer) or N..M (N "
              "up to M), e.g. 17+ or 11..17\n");
}

TEST_F(PackerCommands, InitAgainKeepsTheFilesThereAndPrintsTheCommandForThem) {
    const Outcome first = qnpack({"init", dir.file("pack"), "--main-jar", dir.file("app.jar"),
                                  "--verify-archive", dir.file("verify.jar")});
    ASSERT_EQ(first.status, 0) << first.err;
    testkit::writeFile(dir.file("pack/launch.tag"), "DESC: edited\n");
    const Outcome again = qnpack({"init", dir.file("pack"), "--main-jar", dir.file("app.jar"),
                                  "--verify-archive", dir.file("verify.jar")});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, first.out);
    EXPECT_NE(again.err.find("qnpack: " + dir.file("pack/launch.tag") +
                             " exists; init keeps it as it is (remove it to have it made anew)\n"),
              SString::npos)
        << again.err;
    EXPECT_EQ(testkit::readFile(dir.file("pack/launch.tag")), "DESC: edited\n");
    EXPECT_NE(again.out.find("--launch-script " + dir.file("pack/launch.tag")), SString::npos);
}

// A runtime goes in as one archive, generated from --runtime or given by hand, and the
// generated instructions install it when no JVM fits; init writes the archive for the
// printed command, and nothing of it stays behind create.
TEST_F(PackerCommands, ARuntimeIsEmbeddedAsAnArchiveThatTheInstructionsInstall) {
    testkit::writeFile(dir.file("rt/bin/java"), "#!/bin/sh\n", 0755);
    testkit::writeFile(dir.file("rt/release"), "JAVA_VERSION=\"17.0.2\"\n");
    const Outcome created = qnpack({"create", "-o", dir.file("app.bin"), "--stub", dir.file("stub"),
                                    "--main-jar", dir.file("app.jar"), "--verify-archive",
                                    dir.file("verify.jar"), "--runtime", dir.file("rt")});
    ASSERT_EQ(created.status, 0) << created.err;
    EXPECT_NE(created.out.find("embedded runtime.tar (generated from --runtime " + dir.file("rt") +
                               ")\n"),
              SString::npos)
        << created.out;
    EXPECT_TRUE(testkit::listDir(dir.file("tmp")).empty());
    const Outcome listed = qnpack({"list", dir.file("app.bin")});
    EXPECT_NE(listed.out.find("runtime  "), SString::npos) << listed.out;
    EXPECT_EQ(listed.out.find("jvm-installer"), SString::npos) << listed.out;

    const Outcome init =
        qnpack({"init", dir.file("pack"), "--main-jar", dir.file("app.jar"), "--verify-archive",
                dir.file("verify.jar"), "--runtime", dir.file("rt")});
    ASSERT_EQ(init.status, 0) << init.err;
    EXPECT_NE(init.out.find("--runtime-archive " + dir.file("pack/runtime.tar")), SString::npos)
        << init.out;
    EXPECT_NE(testkit::readFile(dir.file("pack/instructions.tag")).find("INSTALL_JVM 0"),
              SString::npos);

    // The archive given by hand: the generated instructions install it too.
    const Outcome byHand =
        qnpack({"create", "-o", dir.file("hand.bin"), "--stub", dir.file("stub"), "--main-jar",
                dir.file("app.jar"), "--verify-archive", dir.file("verify.jar"),
                "--runtime-archive", dir.file("pack/runtime.tar")});
    ASSERT_EQ(byHand.status, 0) << byHand.err;
    EXPECT_NE(byHand.out.find("embedded runtime.tar from " + dir.file("pack/runtime.tar") +
                              " (--runtime-archive)\n"),
              SString::npos)
        << byHand.out;
    EXPECT_NE(testkit::readFile(dir.file("hand.bin")).find("INSTALL_JVM 0"), SString::npos);

    // A second archive would never be installed; a file that is no runtime archive is
    // refused before anything is written.
    testkit::writeFile(dir.file("notes.txt"), "not an archive");
    const Outcome refused =
        qnpack({"create", "-o", dir.file("bad.bin"), "--stub", dir.file("stub"), "--main-jar",
                dir.file("app.jar"), "--verify-archive", dir.file("verify.jar"), "--runtime",
                dir.file("rt"), "--runtime-archive", dir.file("notes.txt"), "--runtime-archive",
                dir.file("pack/runtime.tar")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("qnpack: " + dir.file("notes.txt") + ": The runtime archive"),
              SString::npos)
        << refused.err;
    EXPECT_NE(refused.err.find("qnpack: " + dir.file("pack/runtime.tar") +
                               ": a runtime is already embedded (" + dir.file("notes.txt") +
                               "); only the first would be installed\n"),
              SString::npos)
        << refused.err;
    EXPECT_FALSE(testkit::exists(dir.file("bad.bin")));
}

}  // namespace
