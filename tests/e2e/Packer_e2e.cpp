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

}  // namespace
