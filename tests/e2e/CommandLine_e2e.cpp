// The launcher's command line as a user or a calling program sees it.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "e2e/E2eHelpers.h"
#include "inputfiles/FileIndexEntry.h"
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
    // The C library converts with modules it loads at run time; the cross packages an
    // emulated stub runs with carry none for the other machine.
    if (stubIsEmulated()) GTEST_SKIP() << "no character-set modules for the emulated stub";
    RunResult r = run({qnlaunchPath(), "-qn:in", "/nonexistent/x"}, "", {{"LANG", "de_DE"}});
    EXPECT_NE(r.out.find("ge\xF6"
                         "ffnet"),
              SString::npos)
        << r.out;
}

// Under a legacy locale the title (written with a Unicode escape) and the German rows around
// it come out in that locale's one character set. The locale is generated for the test.
TEST(CommandLine, TitleAndRowsShareTheCharacterSetOfALegacyLocale) {
    if (stubIsEmulated()) GTEST_SKIP() << "no character-set modules for the emulated stub";
    ScopedTempDir dir;
    const SString locales = dir.file("locales");
    makeDirs(locales);
    // localedef may warn with status 1 and still write the locale.
    RunResult made = run({"/bin/sh", "-c", "localedef -i de_DE -f ISO-8859-1 \"$0\"",
                          locales + "/de_DE.ISO-8859-1"});
    if (!exists(locales + "/de_DE.ISO-8859-1/LC_CTYPE")) {
        GTEST_SKIP() << "localedef cannot make the locale: " << made.err;
    }
    StandInJvm::create(dir.file("jdk"), e2e::kStandInProperties);  // its DESC is in Latin-1
    const SString bundle =
        BundleBuilder(dir.path())
            .add(FILE_TYPE_INSTRUCTIONS, "instructions.tag",
                 e2e::instructions({"INITIALIZE_UI", "FIND_JVM 1 1", "LAUNCH @S2@ 0"}))
            .add(FILE_TYPE_JVM, "standin.jvm",
                 e2e::descriptor("Caf\xe9 JVM", e2e::kStandInExpected, {dir.file("jdk")}))
            .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag",
                 "DESC: Caf\\u00e9\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" Main\"\n")
            .add(FILE_TYPE_VERIFY_ARCHIVE, "verify.jar", "stand-in verifier")
            .write(dir.file("app"));
    RunResult r = run({bundle, "-qn:tempdir", dir.path()}, "",
                      {{"LANG", "de_DE.ISO-8859-1"}, {"LOCPATH", locales}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Caf\xe9\n", 0), 0u) << r.out;
    // "Verifying Café JVM": the row holds umlauts of its own.
    EXPECT_NE(r.out.find("Caf\xe9 JVM wird \xfc"
                         "berpr\xfc"
                         "ft\n"),
              SString::npos)
        << r.out;
    EXPECT_EQ(r.out.find('\xc3'), SString::npos) << "a UTF-8 byte in " << r.out;
}

TEST(CommandLine, LogOptionWithoutValueEndsTheRunWithItsMessage) {
    RunResult r = run({qnlaunchPath(), "-qn:version", "-qn:log"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "2.1\n");
    EXPECT_EQ(r.err,
              "qnlaunch: A log file name must be specified after the -log option on the command "
              "line.\n");
}

size_t occurrences(const SString& text, const SString& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != SString::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// A log that cannot be opened (a path through a regular file, a pipe no one reads) is said
// once on standard error however many messages the run logs, and the run neither blocks nor
// fails because of it.
TEST(CommandLine, UnwritableLogIsReportedOnceAndNeverBlocks) {
    e2e::Workspace ws;
    writeFile(ws.file("plain"), "not a directory");
    ASSERT_EQ(mkfifo(ws.file("fifo").c_str(), 0600), 0);
    // A search that finds nothing logs a good many lines.
    SString bundle =
        BundleBuilder(ws.root())
            .add(FILE_TYPE_INSTRUCTIONS, "i.tag",
                 e2e::instructions(
                     {"FIND_JVM 0 0", "JMP0 @N1@ none", ":none", "NO_SUCH_1", "NO_SUCH_2"}))
            .add(FILE_TYPE_JVM, "s.jvm", e2e::descriptor("S", {}, {ws.file("nothing")}))
            .write(ws.file("app.bin"));
    const struct {
        SString log;
        SString reason;
    } cases[] = {{ws.file("plain/app.log"), "Not a directory"},
                 {ws.file("fifo"), "No such device or address"}};
    for (const auto& c : cases) {
        RunResult r = ws.run(bundle, {"-qn:log", c.log});
        EXPECT_EQ(r.err.find("[test kit: killed after timeout]"), SString::npos) << c.log;
        const SString warning =
            "app.bin: The log file " + c.log + " cannot be written: " + c.reason + "\n";
        EXPECT_EQ(occurrences(r.err, warning), 1u) << r.err;
        EXPECT_EQ(occurrences(r.err, "cannot be written"), 1u) << r.err;
    }
}

}  // namespace
