// The packer refuses what the launcher would fail on later, naming the file and line.

#include <gtest/gtest.h>

#include "e2e/E2eHelpers.h"

using namespace testkit;
using e2e::Workspace;

namespace {

struct Refusal {
    const char* what;
    std::vector<SString> options;      // {option, relative path} pairs
    std::map<SString, SString> files;  // relative path -> content
    SString expected;                  // part of the error output (%D = workspace)
};

SString expand(SString text, const SString& root) {
    for (size_t p = text.find("%D"); p != SString::npos; p = text.find("%D", p)) {
        text.replace(p, 2, root);
    }
    return text;
}

TEST(Packer, RefusesWhatTheLauncherWouldFailOn) {
    const std::vector<Refusal> refusals = {
        {"tag file without a colon",
         {"--jvm", "%D/bad.jvm"},
         {{"bad.jvm", "DESC: x\nno colon here\n"}},
         "%D/bad.jvm line 2: Missing colon at the end of the tag name."},
        {"unterminated block",
         {"--launch-script", "%D/l.tag"},
         {{"l.tag", "DESC: x\nCOMMAND:\n  a\n"}},
         "%D/l.tag line"},
        {"two entries with one name",
         {"--jvm", "%D/a/x.jvm", "--jvm", "%D/b/x.jvm"},
         {{"a/x.jvm", "DESC: a\n"}, {"b/x.jvm", "DESC: b\n"}},
         "another file is already embedded as \"x.jvm\""},
        {"an id used twice",
         {"--jvm", "3=%D/a.jvm", "--jvm", "3=%D/b.jvm"},
         {{"a.jvm", "DESC: a\n"}, {"b.jvm", "DESC: b\n"}},
         "id 3 is used twice"},
        {"a name that is no file name",
         {"--app-archive", "%D/.."},
         {},
         "\"..\" cannot be the name of an embedded file"},
        {"an input that is also the output",
         {"--app-archive", "%D/out.bin"},
         {{"out.bin", "old bundle"}},
         "%D/out.bin: is also the output"},
        {"an unknown instruction",
         {"--instructions", "%D/i.tag"},
         {{"i.tag", "INSTRUCTIONS:\n  // ok\n  FIND_JVN 1 1\n/:\n"}},
         "%D/i.tag line 2: Invalid command (FIND_JVN). "},
        {"a missing label",
         {"--instructions", "%D/i.tag"},
         {{"i.tag", "INSTRUCTIONS:\n  GOTO nowhere\n/:\n"}},
         "%D/i.tag line 1: Label not found (nowhere)"},
        {"an unknown launch-script function",
         {"--launch-script", "%D/l.tag"},
         {{"l.tag", "COMMAND: java %CLASSPATH%()\n"}},
         "%D/l.tag: Launch script error: Invalid function name (CLASSPATH)."},
        {"a wrong argument count",
         {"--launch-script", "%D/l.tag"},
         {{"l.tag", "COMMAND: java %SYSTEMPROP%(\"a\")\n"}},
         "%D/l.tag: Launch script error: SYSTEMPROP function requires 2 arguments."},
        {"no instructions",
         {"--jvm", "%D/j.jvm"},
         {{"j.jvm", "DESC: j\nJVM_PROPERTIES: java.version=17+\n"}},
         "qnpack: no instructions: the bundle would have nothing to run; add --instructions "
         "FILE, or let qnpack write them with --main-jar APP.jar\n"},
        {"LAUNCH without a launch script",
         {"--instructions", "%D/i.tag"},
         {{"i.tag", "INSTRUCTIONS:\n  LAUNCH @S2@ 0\n/:\n"}},
         "%D/i.tag line 2: LAUNCH needs a launch script, but none is embedded; add "
         "--launch-script FILE\n"},
        {"FIND_JVM without a descriptor",
         {"--instructions", "%D/i.tag", "--verify-archive", "%D/v.jar"},
         {{"i.tag", "INSTRUCTIONS:\n  FIND_JVM 0 1\n/:\n"}, {"v.jar", "x"}},
         "%D/i.tag line 2: FIND_JVM needs a JVM descriptor, but none is embedded"},
        {"FIND_JVM without a verifier",
         {"--instructions", "%D/i.tag", "--jvm", "%D/j.jvm"},
         {{"i.tag", "INSTRUCTIONS:\n  FIND_JVM 0 1\n/:\n"},
          {"j.jvm", "DESC: j\nJVM_PROPERTIES: java.version=17+\n"}},
         "%D/i.tag line 2: FIND_JVM verifies each JVM with the Verify class, but no verifier "
         "is embedded"},
        {"a descriptor without JVM_PROPERTIES",
         {"--jvm", "%D/j.jvm"},
         {{"j.jvm", "DESC: j\nJVM_EXE: bin/java\n"}},
         "%D/j.jvm line 1: the descriptor has no JVM_PROPERTIES"},
        {"text after a quoted value",
         {"--launch-script", "%D/l.tag"},
         {{"l.tag", "COMMAND: \"@JVM_HOME@/@JVM_EXE@\" %CP%() Main\n"}},
         "%D/l.tag line 1: COMMAND: the text after the closing quote ( %CP%() Main) would be "
         "dropped"},
        {"a malformed version constraint",
         {"--jvm", "%D/j.jvm"},
         {{"j.jvm", "DESC: j\nJVM_EXE: bin/java\nJVM_PROPERTIES: java.version=17++\n"}},
         "%D/j.jvm line 3: java.version=17++: not a version constraint"},
    };
    for (const Refusal& refusal : refusals) {
        Workspace ws;
        for (const auto& f : refusal.files) writeFile(ws.file(f.first), f.second);
        std::vector<SString> argv = {qnpackPath(), "create", "-o", ws.file("out.bin")};
        for (const SString& option : refusal.options) argv.push_back(expand(option, ws.root()));
        RunResult r = run(argv);
        EXPECT_EQ(r.status, 1) << refusal.what;
        EXPECT_NE(r.err.find(expand(refusal.expected, ws.root())), SString::npos)
            << refusal.what << "\n"
            << r.err;
        // Nothing is written: no output, or the old file left as it was.
        auto old = refusal.files.find("out.bin");
        if (old == refusal.files.end()) {
            EXPECT_FALSE(exists(ws.file("out.bin"))) << refusal.what;
        } else {
            EXPECT_EQ(readFile(ws.file("out.bin")), old->second) << refusal.what;
        }
    }
}

TEST(Packer, ACompleteHandWrittenBundlePacksNamingOnlyItsFiles) {
    Workspace ws;
    writeFile(ws.file("i.tag"),
              "INSTRUCTIONS:\n  FIND_JVM 0 1\n  JMP0 @N1@ no\n"
              "  LAUNCH @S2@ 0\n  :no\n  EXIT 1\n/:\n");
    writeFile(ws.file("l.tag"), "DESC: t\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%() Main\"\n");
    writeFile(ws.file("j.jvm"), "DESC: j\nJVM_EXE: bin/java\nJVM_PROPERTIES: java.version=17+\n");
    RunResult r = run({qnpackPath(), "create", "-o", ws.file("out"), "--instructions",
                       ws.file("i.tag"), "--launch-script", ws.file("l.tag"), "--jvm",
                       ws.file("j.jvm"), "--verify-archive", verifyJarPath()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "embedded i.tag from " + ws.file("i.tag") +
                         " (--instructions)\nembedded l.tag from " + ws.file("l.tag") +
                         " (--launch-script)\nembedded j.jvm from " + ws.file("j.jvm") +
                         " (--jvm)\nembedded verify.jar from " + verifyJarPath() +
                         " (--verify-archive)\n");
}

TEST(Packer, AMissingStubNamesTheOptionAndThePlacesSearched) {
    Workspace ws;
    makeDirs(ws.file("alone"));
    writeFile(ws.file("alone/qnpack"), readFile(qnpackPath()), 0755);
    writeFile(ws.file("i.tag"), "INSTRUCTIONS:\n  EXIT 3\n/:\n");
    RunResult r = run({ws.file("alone/qnpack"), "create", "-o", ws.file("out"), "--instructions",
                       ws.file("i.tag")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "qnpack: no launcher stub (qnlaunch) found; give one with --stub FILE "
              "(looked at " +
                  ws.file("alone/qnlaunch-stripped") + ", " + ws.file("alone/qnlaunch") + ")\n");
    // Beside a stub it packs.
    writeFile(ws.file("alone/qnlaunch"), readFile(hostStubPath()), 0755);
    r = run({ws.file("alone/qnpack"), "create", "-o", ws.file("out"), "--instructions",
             ws.file("i.tag")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(run({ws.file("out")}).status, 3);
}

TEST(Packer, TheDefaultStubIsStripped) {
    Workspace ws;
    writeFile(ws.file("i.tag"), "INSTRUCTIONS:\n  EXIT 0\n/:\n");
    RunResult r =
        run({qnpackPath(), "create", "-o", ws.file("out"), "--instructions", ws.file("i.tag")});
    ASSERT_EQ(r.status, 0) << r.err;
    const SString stripped = readFile(SString(QN_BIN_DIR) + "/qnlaunch-stripped");
    ASSERT_FALSE(stripped.empty());
    EXPECT_LT(stripped.size(), readFile(hostStubPath()).size());
    EXPECT_EQ(readFile(ws.file("out")).compare(0, stripped.size(), stripped), 0);
}

TEST(Packer, ListSaysWhenThereIsNoAppendedData) {
    Workspace ws;
    writeFile(ws.file("plain"), "just bytes");
    RunResult r = run({qnpackPath(), "list", ws.file("plain")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, ws.file("plain") + " carries no appended data\n");
}

TEST(Packer, UsageErrorsExitNonZeroWithOneLine) {
    RunResult noCommand = run({qnpackPath()});
    EXPECT_NE(noCommand.status, 0);
    RunResult noOutput = run({qnpackPath(), "create"});
    EXPECT_EQ(noOutput.status, 1);
    EXPECT_EQ(noOutput.err, "qnpack: create needs -o OUT\n");
    RunResult help = run({qnpackPath(), "create", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--embedded-launcher"), SString::npos);
}

// The architecture this test program (and so the packer beside it) was built for.
const SString kOwnArch =
#if defined(__aarch64__)
    "arm64";
#else
    "x86-64";
#endif

TEST(Packer, ArchPicksTheStubBesideThePackerAndRefusesAStubOfAnother) {
    Workspace ws;
    writeFile(ws.file("i.tag"), e2e::instructions({"// nothing"}));
    auto create = [&](const SString& out, const std::vector<SString>& options) {
        std::vector<SString> argv = {qnpackPath(), "create", "-o", ws.file(out)};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back("--instructions");
        argv.push_back(ws.file("i.tag"));
        return run(argv);
    };
    auto startsWith = [](const SString& bundle, const SString& stub) {
        SString bytes = readFile(bundle);
        return !stub.empty() && bytes.size() > stub.size() &&
               bytes.compare(0, stub.size(), stub) == 0;
    };
    const SString binDir = qnpackPath().substr(0, qnpackPath().rfind('/'));

    RunResult own = create("own.bin", {});
    ASSERT_EQ(own.status, 0) << own.err;
    // The default is the stripped copy of the stub.
    EXPECT_TRUE(startsWith(ws.file("own.bin"), readFile(binDir + "/qnlaunch-stripped")));

    const std::vector<std::pair<SString, SString>> names = {{"x86-64", "x86-64"},
                                                            {"x86_64", "x86-64"},
                                                            {"amd64", "x86-64"},
                                                            {"arm64", "arm64"},
                                                            {"aarch64", "arm64"}};
    for (const auto& name : names) {
        const SString dir = name.second == kOwnArch ? binDir : binDir + "/" + name.second;
        const SString stub = dir + "/qnlaunch-stripped";
        RunResult r = create(name.first + ".bin", {"--arch", name.first});
        if (exists(stub)) {
            EXPECT_EQ(r.status, 0) << name.first << ": " << r.err;
            EXPECT_TRUE(startsWith(ws.file(name.first + ".bin"), readFile(stub))) << name.first;
        } else {  // this build made no stub for that architecture
            EXPECT_EQ(r.status, 1) << name.first;
            // Another architecture's stub is also looked for where an installed tree keeps it.
            const SString installed =
                name.second == kOwnArch
                    ? SString()
                    : ", " + binDir + "/../lib/qnlaunch/" + name.second + "/qnlaunch";
            EXPECT_NE(r.err.find("give one with --stub FILE (looked at " + stub + ", " + dir +
                                 "/qnlaunch" + installed + ")\n"),
                      SString::npos)
                << r.err;
        }
    }

    // A named stub is taken as it is, unless it is for another architecture than --arch.
    const SString other = kOwnArch == "arm64" ? "x86-64" : "arm64";
    RunResult mismatch = create("mismatch.bin", {"--arch", other, "--stub", hostStubPath()});
    EXPECT_EQ(mismatch.status, 1);
    EXPECT_NE(
        mismatch.err.find(hostStubPath() + ": the stub is for " + kOwnArch + ", not " + other),
        SString::npos)
        << mismatch.err;
    EXPECT_FALSE(exists(ws.file("mismatch.bin")));
    writeFile(ws.file("not-elf"), "#!/bin/sh\n");
    EXPECT_EQ(create("script.bin", {"--arch", other, "--stub", ws.file("not-elf")}).status, 0);

    RunResult unknown = create("unknown.bin", {"--arch", "sparc"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err, "qnpack: unknown architecture sparc (arm64 or x86-64)\n");
}

}  // namespace
