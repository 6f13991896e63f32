#include <gtest/gtest.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <clocale>
#include <functional>

#include "platform/PlatformImpl.h"
#include "platform/display/Console.h"
#include "platform/display/MessageCatalogue.h"
#include "support/StateAccess.h"
#include "support/TestKit.h"

namespace {

// Status output visible and in English; captures stdout while it lives.
struct Display {
    testkit::LauncherState state{SString(), false};
    testkit::ScopedEnv lang{"LANG", nullptr};
};

SString captured(const std::function<void()>& action) {
    testkit::StdoutCapture out;
    action();
    return out.finish();
}

// Feeds `text` to standard input while it lives.
class ScopedStdin {
public:
    explicit ScopedStdin(const SString& text) {
        int fds[2];
        if (pipe(fds) != 0) return;
        ssize_t written = ::write(fds[1], text.data(), text.size());
        (void)written;
        close(fds[1]);
        m_saved = dup(0);
        dup2(fds[0], 0);
        close(fds[0]);
        clearerr(stdin);
    }
    ~ScopedStdin() {
        __fpurge(stdin);
        dup2(m_saved, 0);
        close(m_saved);
        clearerr(stdin);
    }

private:
    int m_saved = -1;
};

// Switches the character type locale for the test and back to "C" afterwards.
class ScopedCtype {
public:
    explicit ScopedCtype(const char* name) : m_ok(setlocale(LC_CTYPE, name) != nullptr) {}
    ~ScopedCtype() { setlocale(LC_CTYPE, "C"); }
    bool ok() const { return m_ok; }

private:
    bool m_ok;
};

}  // namespace

TEST(StatusDisplay, LanguageComesFromLang) {
    const std::pair<const char*, const char*> cases[] = {
        {"de", "de"},
        {"de_AT", "de"},
        {"de_DE.ISO8859-1", "de"},
        {"pt_BR", "pt_BR"},
        {"pt_BR.UTF-8", "pt_BR"},
        {"pt_PT", "pt"},
        {"zh_TW.BIG5", "zh_TW"},
        {"zh_CN.GB2312", "zh"},
        {"C", "en"},
        {"POSIX", "en"},
        {"", "en"},
        {nullptr, "en"},
        {"english", "en"},
        {"ja", "ja"},
        {"ja_JP.eucJP", "ja"},
        {"no_NO", "no"},
        {"xx_YY", "en"},
        {"C.UTF-8", "en"},
    };
    for (const auto& [lang, code] : cases) {
        testkit::ScopedEnv env("LANG", lang);
        EXPECT_STREQ(code, msg_locale_table[PlatformImpl::get_locale()][0])
            << (lang ? lang : "(unset)");
    }
}

TEST(StatusDisplay, GetMsgFormatsTheRowOrNamesABadOne) {
    testkit::ScopedEnv lang("LANG", nullptr);
    EXPECT_EQ("Error displaying message: id(39)", PlatformImpl::get_msg(39, nullptr));
    EXPECT_EQ("Error displaying message: id(-1)", PlatformImpl::get_msg(-1, nullptr));
    EXPECT_EQ("100% could not be launched.", PlatformImpl::get_msg(5, "100%"));
    EXPECT_EQ(".", PlatformImpl::get_msg(18, nullptr));
    EXPECT_EQ("Canceled by the user.", PlatformImpl::get_msg(38, nullptr));
}

TEST(StatusDisplay, MessageIdentifiersSelectTheirRows) {
    testkit::ScopedEnv lang("LANG", nullptr);
    const char* const texts[] = {
        "Could not load the input file.",
        "Error loading instructions file.",
        "Error loading launch script.",
        "Error loading JVM file.",
        "Invalid JVM file id.",
        "Invalid action in input file: ",
        "A log file name must be specified after the -log option on the command line.",
        "Unable to extract embedded files from the launcher. ",
        "Unable to load the launcher file index. ",
        "No JVM installer was included in the launcher.",
        "The JVM is not valid.",
        "An input file name must follow the '-in' command line option.",
        "No matching JVM was found.",
        "Unable to search for all JVMs.",
        "Unable to open input file specified on the command line after the -in option.",
        "Error writing file = ",
        " There may not be enough temporary disk space. Try using -qn:tempdir to use a temporary "
        "directory on a partition with more disk space.",
        "Canceled by the user.",
    };
    for (int id = 0; id < 18; ++id) {
        EXPECT_EQ(texts[id], PlatformImpl::getMessageText(static_cast<MessageIdentifier>(id)))
            << id;
    }
    for (int id : {-1, 18, 19, 100}) {
        EXPECT_EQ("", PlatformImpl::getMessageText(static_cast<MessageIdentifier>(id))) << id;
    }
}

TEST(StatusDisplay, StatusLines) {
    Display d;
    testkit::StateAccess::setTitle("App");
    const std::pair<int, const char*> cases[] = {
        {Initializing, "\nInitializing App...\n"},
        {SearchingForJVM, "\nSearching for Java(tm) Virtual Machine...\n"},
        {JVMNotFound, "\nNo Java(tm) Virtual Machine was found.App could not be launched.\n"},
        {Running, "\nRunning App...\n"},
        {PreparingJVM, "\nPreparing Java(tm) Virtual Machine...\n"},
        {5, ""},
        {-1, ""},
    };
    for (const auto& [status, text] : cases) {
        EXPECT_EQ(text,
                  captured([s = status] { PlatformImpl::setUIStatus(static_cast<UIStatus>(s)); }));
    }
}

TEST(StatusDisplay, SubStatusLinesAreShownAndRecorded) {
    Display d;
    struct Case {
        int subStatus;
        const char* text;
        const char* shown;
        UISubStatus recorded;
        const char* recordedText;
    };
    const Case cases[] = {
        {Searching, "JDK 17", "\nSearching for JDK 17\n", Searching, "JDK 17"},
        {ScanningDisks, "x", "\nScanning disk(s) for a Java(tm) Virtual Machine...\n",
         ScanningDisks, "x"},
        {Verifying, "JRE", "\nVerifying JRE\n", Verifying, "JRE"},
        {None, "ignored", "", None, ""},
        {7, "ignored", "", None, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.shown, captured([&] {
                      PlatformImpl::setUISubStatus(static_cast<UISubStatus>(c.subStatus), c.text);
                  }));
        EXPECT_EQ(c.recorded, testkit::StateAccess::subStatus());
        EXPECT_EQ(c.recordedText, testkit::StateAccess::subStatusData());
    }
}

TEST(StatusDisplay, SubStatusWrapperRestoresTheOuterSubStatus) {
    Display d;
    captured([] { PlatformImpl::setUISubStatus(Searching, "outer"); });
    SString inner = captured([] {
        SubStatusWrapper wrapper;
        PlatformImpl::setUISubStatus(Verifying, "inner");
    });
    EXPECT_EQ("\nVerifying inner\n\nSearching for outer\n", inner);
    EXPECT_EQ(Searching, testkit::StateAccess::subStatus());
    EXPECT_EQ("outer", testkit::StateAccess::subStatusData());

    PlatformImpl::setUISubStatus(None, "");
    EXPECT_EQ("\nVerifying inner\n", captured([] {
                  SubStatusWrapper wrapper;
                  PlatformImpl::setUISubStatus(Verifying, "inner");
              }));
    EXPECT_EQ(None, testkit::StateAccess::subStatus());
}

TEST(StatusDisplay, ProgressDotsEndTheirRowEverySeventyUnits) {
    Display d;
    EXPECT_EQ("...", captured([] { PlatformImpl::advanceUIProgress(3); }));
    EXPECT_EQ(3, testkit::StateAccess::progress());
    EXPECT_EQ(SString(66, '.'), captured([] { PlatformImpl::advanceUIProgress(66); }));
    EXPECT_EQ(".\n", captured([] { PlatformImpl::advanceUIProgress(1); }));
    EXPECT_EQ(SString(70, '.') + "\n", captured([] { PlatformImpl::advanceUIProgress(70); }));
    EXPECT_EQ(140, testkit::StateAccess::progress());
}

TEST(StatusDisplay, SettingProgressBackDoesNotRepeatLineEnds) {
    Display d;
    EXPECT_EQ("\n", captured([] {
                  PlatformImpl::setUIProgress(0);
                  PlatformImpl::setUIProgress(100);
              }));
    PlatformImpl::setUIProgress(0);
    EXPECT_EQ(SString(139, '.'), captured([] { PlatformImpl::advanceUIProgress(139); }));
    EXPECT_EQ(".\n", captured([] { PlatformImpl::advanceUIProgress(1); }));
}

TEST(StatusDisplay, HiddenProgressCountsWithoutDotsOrLineEnds) {
    Display d;
    PlatformImpl::hideUI(5);
    EXPECT_FALSE(PlatformImpl::isUIVisible());
    EXPECT_EQ("", captured([] { PlatformImpl::advanceUIProgress(70); }));
    EXPECT_EQ(70, testkit::StateAccess::progress());
    PlatformImpl::showUI();
    EXPECT_EQ(".\n", captured([] { PlatformImpl::advanceUIProgress(1); }));
}

TEST(StatusDisplay, SilentModeSuppressesEverything) {
    Display d;
    ScopedStdin input("answer\n");
    PlatformImpl::setSilent(true);
    SString prompt = "unset";
    EXPECT_EQ("", captured([&] {
                  PlatformImpl::setUITitle("Title");
                  PlatformImpl::setUIStatus(Initializing);
                  PlatformImpl::setUIStatus(JVMNotFound);
                  PlatformImpl::setUISubStatus(Verifying, "x");
                  PlatformImpl::advanceUIProgress(80);
                  PlatformImpl::setUIProgress(200);
                  PlatformImpl::showUIMessage("message");
                  prompt = PlatformImpl::promptJVMDestinationDirectory();
              }));
    EXPECT_EQ("", prompt);
    EXPECT_EQ(0, testkit::StateAccess::progress());
    EXPECT_EQ("answer", getLine());  // the prompt read nothing
    PlatformImpl::showUI();
    EXPECT_FALSE(PlatformImpl::isUIVisible());
}

TEST(StatusDisplay, HiddenDisplayStillShowsMessagesAndReadsTheAnswer) {
    Display d;
    ScopedStdin input("/opt/jvm rest\n");
    PlatformImpl::hideUI();
    SString answer;
    EXPECT_EQ("error text\n", captured([&] {
                  PlatformImpl::setUIStatus(Running);
                  PlatformImpl::setUISubStatus(Searching, "x");
                  PlatformImpl::setUITitle("Hidden");
                  PlatformImpl::showUIMessage("error text");
                  answer = PlatformImpl::promptJVMDestinationDirectory();
              }));
    EXPECT_EQ("/opt/jvm rest", answer);
    EXPECT_EQ("Hidden", testkit::StateAccess::title());
}

TEST(StatusDisplay, PromptShowsItsRowAndReadsTheWholeLine) {
    Display d;
    ScopedStdin input("  /opt/my jvm \t\r\n\n" + SString(5000, 'x') + "\nlast");
    SString answer;
    EXPECT_EQ("Supply the destination directory for the Java Virtual Machine:\n",
              captured([&] { answer = PlatformImpl::promptJVMDestinationDirectory(); }));
    EXPECT_EQ("/opt/my jvm", answer);
    EXPECT_EQ("", getLine());  // a blank line
    // An overlong line is kept too long to name a path, and the next line is read whole.
    EXPECT_EQ(SString(4097, 'x'), getLine());
    EXPECT_EQ("last", getLine());
    EXPECT_EQ("", getLine());  // end of input
}

TEST(StatusDisplay, OutputIsConvertedToTheCodesetLangNames) {
    Display d;
    const std::pair<const char*, SString> cases[] = {
        {"de_DE.UTF-8",
         "\nApp wird \xc3\xbc"
         "berpr\xc3\xbc"
         "ft\n"},
        {"de_DE",
         "\nApp wird \xfc"
         "berpr\xfc"
         "ft\n"},
        {"de_DE.ISO8859-1",
         "\nApp wird \xfc"
         "berpr\xfc"
         "ft\n"},
        {"de_DE@euro",
         "\nApp wird \xfc"
         "berpr\xfc"
         "ft\n"},
        {"de_DE.NO-SUCH-CODESET",
         "\nApp wird \xc3\xbc"
         "berpr\xc3\xbc"
         "ft\n"},
    };
    for (const auto& [lang, expected] : cases) {
        testkit::ScopedEnv env("LANG", lang);
        EXPECT_EQ(expected, captured([] { PlatformImpl::setUISubStatus(Verifying, "App"); }))
            << lang;
    }
    testkit::ScopedEnv env("LANG", "ru_RU");
    EXPECT_EQ("\n\xf0\xcf\xc9\xd3\xcb x\n",
              captured([] { PlatformImpl::setUISubStatus(Searching, "x"); }));
    // A message is made of catalogue texts already converted and values in the user's set.
    EXPECT_EQ("\xf0\xcf\xc9\xd3\xcb\n",
              captured([] { PlatformImpl::showUIMessage("\xf0\xcf\xc9\xd3\xcb"); }));
}

// A value (a title, a path) comes in the user's character set: the row around it is
// converted, the value is not, so the line is in one character set.
TEST(StatusDisplay, ArgumentsKeepTheirBytesInsideAConvertedRow) {
    Display d;
    {
        testkit::ScopedEnv env("LANG", "de_DE.ISO-8859-1");
        EXPECT_EQ(
            "\nCaf\xe9 wird \xfc"
            "berpr\xfc"
            "ft\n",
            captured([] { PlatformImpl::setUISubStatus(Verifying, "Caf\xe9"); }));
    }
    testkit::ScopedEnv env("LANG", "ja_JP.EUC-JP");
    const SString shown = captured([] { PlatformImpl::setUISubStatus(Verifying, "\xa4\xa2"); });
    EXPECT_NE(shown.find("\xa4\xa2"), SString::npos);
    EXPECT_EQ(shown.find("\xe3"), SString::npos) << "no UTF-8 lead byte of the row is left";
}

TEST(StatusDisplay, LongMessagesAreShownWhole) {
    Display d;
    const SString title(5000, 'T'), text(5000, 'd');
    EXPECT_EQ(title + "\n", captured([&] { PlatformImpl::setUITitle(title); }));
    EXPECT_EQ("\nInitializing " + title + "...\n",
              captured([] { PlatformImpl::setUIStatus(Initializing); }));
    EXPECT_EQ("\nVerifying " + text + "\n",
              captured([&] { PlatformImpl::setUISubStatus(Verifying, text); }));
    EXPECT_EQ(text + "\n", captured([&] { PlatformImpl::showUIMessage(text); }));
}

TEST(StatusDisplay, TitleTheLocaleCannotRepresentKeepsThePreviousOne) {
    Display d;
    EXPECT_EQ("First\n", captured([] { PlatformImpl::setUITitle("Fir\\u0073t"); }));
    for (const char* title : {"Caf\xc3\xa9", "Caf\\u00e9", "\xff"}) {
        EXPECT_EQ("First\n", captured([&] { PlatformImpl::setUITitle(title); })) << title;
        EXPECT_EQ("First", testkit::StateAccess::title());
    }
    EXPECT_EQ("\nRunning First...\n", captured([] { PlatformImpl::setUIStatus(Running); }));
}

TEST(StatusDisplay, TitleIsConvertedInTheCurrentLocale) {
    Display d;
    ScopedCtype ctype("C.UTF-8");
    if (!ctype.ok()) GTEST_SKIP() << "no C.UTF-8 locale";
    PlatformImpl::hideUI();
    for (const char* title : {"Caf\xc3\xa9", "Caf\\u00e9", "Caf\\u00E9"}) {
        testkit::StateAccess::setTitle("");
        PlatformImpl::setUITitle(title);
        EXPECT_EQ("Caf\xc3\xa9", testkit::StateAccess::title()) << title;
    }
}
