// The launcher's command line as a user or a calling program sees it.

#include <gtest/gtest.h>

#include "support/Bundles.h"
#include "support/TestKit.h"

using namespace testkit;

namespace {

const char* const kCannotOpen =
    "Unable to open input file specified on the command line after the -in option.";

TEST(CommandLine, VersionPrintsOnlyTheVersion) {
    RunResult r = run({qnlaunchPath(), "-qn:version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "2.1\n");
    EXPECT_EQ(r.err, "");
}

TEST(CommandLine, SilentBeforeVersionPrintsNothing) {
    RunResult r = run({qnlaunchPath(), "-qn:silent", "-qn:version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST(CommandLine, MissingInputFileIsShownTwiceAndLoggedAfterTheSeparator) {
    ScopedTempDir dir;
    SString log = dir.file("launcher.log");
    RunResult r = run({qnlaunchPath(), "-qn:log", log, "-qn:in", dir.file("missing.tag")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              SString("Could not load the input file.") + kCannotOpen + "\n" + kCannotOpen + "\n");
    EXPECT_EQ(readFile(log), SString("------------------\nERROR: ") + kCannotOpen + "\n");
}

TEST(CommandLine, SilentMissingInputFilePrintsNothingButLogs) {
    ScopedTempDir dir;
    SString log = dir.file("launcher.log");
    RunResult r = run({qnlaunchPath(), "-qn:log", log, "-qn:silent", "-qn:in", dir.file("x")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(readFile(log).find(kCannotOpen), SString::npos);
}

TEST(CommandLine, GermanTextIsValidUtf8OnAUtf8Terminal) {
    RunResult r = run({qnlaunchPath(), "-qn:in", "/nonexistent/x"}, "", {{"LANG", "de_DE.UTF-8"}});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Die Eingabedatei konnte nicht geladen werden."), SString::npos) << r.out;
    EXPECT_NE(r.out.find("ge\xC3\xB6"
                         "ffnet"),
              SString::npos)
        << r.out;  // "geöffnet" in UTF-8
}

TEST(CommandLine, GermanTextIsLatin1WhenLangNamesNoCodeset) {
    RunResult r = run({qnlaunchPath(), "-qn:in", "/nonexistent/x"}, "", {{"LANG", "de_DE"}});
    EXPECT_NE(r.out.find("ge\xF6"
                         "ffnet"),
              SString::npos)
        << r.out;
}

TEST(CommandLine, LogOptionWithoutValueShowsItsMessageAndGoesOn) {
    RunResult r = run({qnlaunchPath(), "-qn:version", "-qn:log"});
    EXPECT_EQ(r.out,
              "2.1\nA log file name must be specified after the -log option on the command "
              "line.\n");
}

}  // namespace
