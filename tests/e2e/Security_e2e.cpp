// What a bundle does with what it does not control: the temporary directory and its
// neighbours, environment values, homes and directories with shell syntax or line breaks in
// their names, JVMs that others could have planted, installers and files in the way of
// -qn:extract.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e/E2eHelpers.h"
#include "inputfiles/FileIndexEntry.h"

using namespace testkit;
using e2e::Workspace;

namespace {

const SString kFindAndLaunch =
    e2e::instructions({"FIND_JVM 0 0", "JMP0 @N1@ none", "LAUNCH @S2@ 0", ":none"});
const SString kLaunchMain = "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%() Main\"\n";

// A bundle at `path` that finds a JVM through `hints` (or the user's home) and launches
// `launchScript` with a class-path archive.
SString bundleAt(const Workspace& ws, const SString& path, const SString& launchScript,
                 const std::vector<SString>& hints) {
    return BundleBuilder(ws.root())
        .add(FILE_TYPE_INSTRUCTIONS, "instructions.tag", kFindAndLaunch)
        .add(FILE_TYPE_JVM, "standin.jvm",
             e2e::descriptor("Stand-in", e2e::kStandInExpected, hints))
        .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", launchScript)
        .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "stand-in verifier")
        .add(FILE_TYPE_CLASSPATH_ARCHIVE, "lib.jar", "library")
        .write(path);
}

// The files named "pwned" and a number below `dir`: what the planted commands would make.
std::vector<SString> planted(const SString& dir) {
    std::vector<SString> found;
    for (const SString& name : listDir(dir)) {
        if (name.compare(0, 5, "pwned") == 0 &&
            name.find_first_not_of("0123456789", 5) == SString::npos) {
            found.push_back(name);
        }
        struct stat st;
        if (lstat((dir + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            for (const SString& below : planted(dir + "/" + name)) found.push_back(below);
        }
    }
    return found;
}

TEST(Security, ExtractNeverWritesThroughPlantedLinksNorOverExistingFiles) {
    Workspace ws;
    SString bundle = BundleBuilder(ws.root())
                         .add(FILE_TYPE_INSTRUCTIONS, "ins.tag", "INSTRUCTIONS: NOP\n")
                         .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", "COMMAND: x\n")
                         .write(ws.file("app.bin"));
    const SString out = ws.file("out");
    makeDirs(out);
    writeFile(ws.file("victim"), "precious");
    writeFile(ws.file("victim2"), "precious too");
    ASSERT_EQ(symlink(ws.file("victim").c_str(), (out + "/ins.tag").c_str()), 0);
    ASSERT_EQ(symlink(ws.file("victim2").c_str(), (out + "/input.tag").c_str()), 0);
    ASSERT_EQ(symlink(ws.file("nonexist").c_str(), (out + "/launch.tag").c_str()), 0);
    RunResult r = ws.run(bundle, {"-qn:extract"}, {}, out);
    EXPECT_NE(r.out.find("input.tag exists already; nothing was extracted."), SString::npos)
        << r.out;
    EXPECT_EQ(readFile(ws.file("victim")), "precious");
    EXPECT_EQ(readFile(ws.file("victim2")), "precious too");
    EXPECT_FALSE(exists(ws.file("nonexist")));

    // A plain file of one of the names stops the extraction before anything is written.
    for (const char* name : {"ins.tag", "input.tag", "launch.tag"})
        unlink((out + "/" + name).c_str());
    writeFile(out + "/launch.tag", "mine");
    r = ws.run(bundle, {"-qn:extract"}, {}, out);
    EXPECT_NE(r.out.find("launch.tag exists already; nothing was extracted."), SString::npos);
    EXPECT_EQ(listDir(out), std::vector<SString>{"launch.tag"});
    EXPECT_EQ(readFile(out + "/launch.tag"), "mine");
}

// Two entries of one name would have the second overwrite the first, or fail half way:
// nothing is written.
TEST(Security, ExtractRefusesTwoEntriesOfOneNameBeforeWritingAnything) {
    Workspace ws;
    const SString bundle = BundleBuilder(ws.root())
                               .add(FILE_TYPE_INSTRUCTIONS, "ins.tag", "INSTRUCTIONS: NOP\n")
                               .add(FILE_TYPE_CLASSPATH_ARCHIVE, "lib.jar", "first")
                               .add(FILE_TYPE_CLASSPATH_ARCHIVE, "lib.jar", "second")
                               .write(ws.file("app.bin"));
    const SString out = ws.file("out");
    makeDirs(out);
    RunResult r = ws.run(bundle, {"-qn:extract"}, {}, out);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("lib.jar exists already; nothing was extracted."), SString::npos) << r.out;
    EXPECT_TRUE(listDir(out).empty());
}

// Names that would be written shortened or would break the replaying input file stop the
// extraction before anything is written.
TEST(Security, ExtractRefusesNamesWithLineBreaksOrNulBeforeWritingAnything) {
    Workspace ws;
    for (const SString& bad : {SString("two\nlines.jar"), SString("cut\0short.jar", 14)}) {
        SString bundle = BundleBuilder(ws.root())
                             .add(FILE_TYPE_INSTRUCTIONS, "ins.tag", "INSTRUCTIONS: NOP\n")
                             .add(FILE_TYPE_APPLICATION_ARCHIVE, bad, "jar")
                             .write(ws.file("app.bin"));
        const SString out = ws.file("out");
        makeDirs(out);
        RunResult r = ws.run(bundle, {"-qn:extract"}, {}, out);
        EXPECT_NE(r.out.find("Invalid file name in file index: "), SString::npos) << r.out;
        EXPECT_NE(r.out.find("; nothing was extracted."), SString::npos) << r.out;
        EXPECT_EQ(listDir(out), std::vector<SString>{});
        removeTree(out);
    }
}

// Homes named by the user or found by a hint, environment values and the launcher's own
// directory hold shell syntax: the application starts with them as they are, and nothing
// else runs.
TEST(Security, HomesEnvironmentValuesAndDirectoriesWithShellSyntaxRunNothing) {
    Workspace ws;
    const SString script =
        "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" \"\"#QN_FOO#\"\" #QN_BAR# "
        "#QN_QUOTE# %SYSTEMPROP%(\"\"app.home\"\", \"\"%LAUNCHER_DIR%()\"\") "
        "%CP%() Main\"\n";
    const std::map<SString, SString> env = {{"QN_FOO", "$(touch pwned1)"},
                                            {"QN_BAR", "`touch pwned2`;touch pwned3"},
                                            {"QN_QUOTE", "a\"b"}};
    for (const SString& name :
         {SString("a$(touch ..${IFS}pwned4)b"), SString("`touch pwned5`"),
          SString("q\"uote;touch pwned6;\""), SString("My App (1)"), SString("it's")}) {
        for (bool named : {true, false}) {
            const SString dir = ws.file(name);
            StandInJvm jvm = StandInJvm::create(dir + "/jdk", e2e::kStandInProperties);
            SString bundle =
                bundleAt(ws, dir + "/app.bin", script,
                         named ? std::vector<SString>{} : std::vector<SString>{jvm.home});
            std::vector<SString> args;
            if (named) args = {"-qn:javahome", jvm.home};
            RunResult r = ws.run(bundle, args, env);
            ASSERT_EQ(jvm.callCount(), 2) << name << "\n" << ws.logText();
            std::vector<SString> received = jvm.args(2);
            ASSERT_EQ(received.size(), 9u) << name << "\n" << ws.logText();
            EXPECT_EQ(std::vector<SString>(received.begin(), received.begin() + 5),
                      (std::vector<SString>{"$(touch pwned1)", "`touch", "pwned2`;touch", "pwned3",
                                            "a\"b"}));
            EXPECT_EQ(received[5], "-Dapp.home=" + dir);
            EXPECT_EQ(received[8], "Main");
            EXPECT_EQ(planted(ws.root()), std::vector<SString>{}) << name;
            removeTree(dir);
        }
    }
}

TEST(Security, TemporaryDirectoryWithShellSyntaxAndBlanksWorksAndRunsNothing) {
    Workspace ws;
    StandInJvm jvm = StandInJvm::create(ws.file("jdk"), e2e::kStandInProperties);
    SString bundle = bundleAt(ws, ws.file("app.bin"), kLaunchMain, {jvm.home});
    const SString temp = ws.file("t $(touch pwned7) `touch pwned8`;touch pwned11 \"q'x");
    makeDirs(temp);
    RunResult r = ws.run(bundle, {"-qn:tempdir", temp}, {{"TMPDIR", temp}});
    ASSERT_EQ(jvm.callCount(), 2) << ws.logText();
    EXPECT_EQ(jvm.args(1).at(1).find(temp + "/qnj"), 0u);  // the verifier archive
    EXPECT_EQ(jvm.args(2).at(1).find(temp + "/qnj"), 0u);  // the class-path archive
    EXPECT_EQ(planted(ws.root()), std::vector<SString>{});
    EXPECT_TRUE(listDir(temp).empty());
}

// Another user's JVM, found by a hint, is not run, not even by root; a home with a line break
// that would add a JVM_EXE line of its own to the written descriptor is not run either.
TEST(Security, PlantedJvmsAndHomesWithLineBreaksAreNeverRun) {
    Workspace ws;
    StandInJvm theirs = StandInJvm::create(ws.file("evil"), e2e::kStandInProperties);
    chownTo(theirs.home + "/bin/java", 12345);
    StandInJvm broken =
        StandInJvm::create(ws.file("jhi\nJVM_EXE: ../evil.sh"), e2e::kStandInProperties);
    makeDirs(ws.file("jhi"));
    writeFile(ws.file("evil.sh"), "#!/bin/sh\ntouch " + ws.file("pwned9") + "\n", 0755);
    SString bundle = bundleAt(ws, ws.file("app.bin"), kLaunchMain, {theirs.home});
    ws.run(bundle, {"-qn:javahome", broken.home});
    EXPECT_EQ(theirs.callCount(), 0);
    EXPECT_EQ(broken.callCount(), 0);
    EXPECT_FALSE(exists(ws.file("pwned9")));
    const SString log = ws.logText();
    EXPECT_NE(log.find("Not running the JVM at " + theirs.home + "/bin/java: " + theirs.home +
                       "/bin/java is owned by user 12345."),
              SString::npos)
        << log;
    EXPECT_NE(log.find("because its path holds a line break."), SString::npos) << log;
    EXPECT_NE(log.find("No matching JVM was found."), SString::npos);
}

// An installer script whose path holds blanks, embedded under a name with a blank or named
// by an input file, runs as the program it is; a path that is shell syntax runs nothing.
TEST(Security, InstallersRunAsProgramsWhateverTheirPathsHold) {
    Workspace ws;
    const SString installer =
        "#!/bin/sh\nmkdir -p bin\nprintf '#!/bin/sh\\n' > bin/java\nchmod +x bin/java\n"
        "printf 'DESC: Installed\\nJVM_EXE: bin/java\\n' > jvm\n";
    SString bundle =
        BundleBuilder(ws.root())
            .add(FILE_TYPE_INSTRUCTIONS, "i.tag",
                 e2e::instructions({"INSTALL_JVM 0", "JMP0 @N1@ failed", "LAUNCH @S1@ 0",
                                    "GOTO end", ":failed", "INSTALL_FAILED", ":end"}))
            .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag",
                 "COMMAND: echo launched @JVM_HOME@\nDISPLAY_CONSOLE: 1\n")
            .add(FILE_TYPE_JVM_INSTALLER, "my install.sh", installer)
            .write(ws.file("app.bin"));
    const SString temp = ws.file("with blank");
    makeDirs(temp);
    RunResult r = ws.run(bundle, {"-qn:tempdir", temp}, {{"TMPDIR", temp}});
    EXPECT_NE(r.out.find("launched " + temp + "/qnj"), SString::npos) << r.out << ws.logText();

    writeFile(ws.file("my installer/install.sh"), installer, 0755);
    makeDirs(ws.file("dest"));
    for (const SString& exe : {ws.file("my installer/install.sh"), SString("$(touch pwned10)"),
                               SString("`touch pwned12`;touch \"pwned13\" 'x'")}) {
        writeFile(ws.file("i.tag"), "ACTION: INSTALL_JVM\nINSTALL_JVM_EXE: " + exe +
                                        "\nINSTALL_JVM_DEST: " + ws.file("dest") + "\n");
        r = ws.run(bundle, {"-qn:in", ws.file("i.tag")});
    }
    EXPECT_TRUE(exists(ws.file("dest/bin/java")));
    EXPECT_EQ(planted(ws.root()), std::vector<SString>{});
}

// The application, running under umask 000, finds its temporary files private to the user;
// it then swaps its class-path directory for a link to someone's private directory, which
// the clean-up leaves alone.
TEST(Security, TemporariesArePrivateAndASwappedDirectoryGetsNothingDeleted) {
    Workspace ws;
    for (const char* name : {"one", "two", "three"}) writeFile(ws.file("victim/") + name, "mine");
    chmod(ws.file("victim").c_str(), 0700);
    writeFile(ws.file("jdk/bin/java"),
              "#!/bin/sh\n"
              "for a; do [ \"$a\" = Verify ] && { echo 1739021872; echo 17.0.9; echo Stand-in; "
              "exit 0; }; done\n"
              "while [ \"$1\" != -cp ]; do shift; done\n"
              "jar=\"${2##*:}\"; dir=\"${jar%/*}\"\n"
              "stat -c %a \"$dir\" \"$jar\" > " +
                  ws.file("modes") +
                  "\n"
                  "mv \"$dir\" \"$dir.moved\" && ln -s " +
                  ws.file("victim") + " \"$dir\"\n",
              0755);
    SString bundle = bundleAt(ws, ws.file("app.bin"), kLaunchMain, {ws.file("jdk")});
    const mode_t saved = umask(0);
    ws.run(bundle);
    umask(saved);
    EXPECT_EQ(readFile(ws.file("modes")), "700\n600\n") << ws.logText();
    EXPECT_EQ(listDir(ws.file("victim")), (std::vector<SString>{"one", "three", "two"}));
    EXPECT_NE(
        ws.logText().find("is no longer the directory the launcher made; it is left as it is."),
        SString::npos)
        << ws.logText();
}

}  // namespace
