#include "launcher/Instructions.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "base/LauncherException.h"
#include "base/Numbers.h"
#include "inputfiles/TagFile.h"
#include "launcher/Launcher.h"
#include "launcher/VariableRef.h"
#include "support/StateAccess.h"
#include "support/TestKit.h"

namespace {

const char* const kFindJvm1 =
    "The first argument to FIND_JVM should be a 1 if the UI should be displayed or a 0 if the UI "
    "should be suppressed.";
const char* const kFindJvm2 =
    "The second argument to FIND_JVM should be a 1 if a find failure message should be displayed "
    "in a UI or 0 if no message should be displayed.";
const char* const kInstallJvm = "The first argument to INSTALL_JVM should be a 0, 1 or 2.";
const char* const kLaunch2 =
    "The second argument to LAUNCH should be the number of seconds to display the UI during the "
    "launch.";

SString flag(bool value) {
    return value ? "1" : "0";
}

// Records every action instead of running it; FIND_JVM leaves `m_found` in N1 as the real
// action leaves its success flag.
class RecordingActions : public InstructionActions {
public:
    void findJVM(bool ui, bool fail) override {
        calls.push_back("findJVM " + flag(ui) + " " + flag(fail));
        Launcher::setLongVariable(1, m_found);
    }
    void ilaunch(long id, short seconds) override {
        calls.push_back("ilaunch " + convertToString(id) + " " + convertToString(seconds));
    }
    void initializeUI() override {
        calls.push_back("initializeUI");
        if (m_failInit) throw LauncherException("action failed");
    }
    void installJVM(long option) override {
        calls.push_back("installJVM " + convertToString(option));
    }
    void launch(const SString& path, short seconds) override {
        calls.push_back("launch [" + path + "] " + convertToString(seconds));
    }
    void verifyJVM(bool ui, bool fail, long id) override {
        calls.push_back("verifyJVM " + flag(ui) + " " + flag(fail) + " " + convertToString(id));
    }
    void executeEmbeddedLauncher(long position) override {
        calls.push_back("executeEmbeddedLauncher " + convertToString(position));
    }

    std::vector<SString> calls;
    long m_found = 1;
    bool m_failInit = false;
};

// An instructions tag file with one value per line, run against recorded actions.
struct Program {
    explicit Program(std::initializer_list<SString> lines) {
        for (const SString& line : lines)
            tags.appendTagValue(Instructions::g_instructionsTag, line);
    }
    // "" when the program ends normally, else "line N: message" for an interpreter error or
    // "launcher: message" for a LauncherException that passed through.
    SString run() {
        try {
            interpreter.execute();
        } catch (const InstructionsException& e) {
            return "line " + convertToString(e.getLineNumber()) + ": " + e.getMessage();
        } catch (const LauncherException& e) {
            return "launcher: " + e.getMessage();
        }
        return "";
    }

    TagFile tags;
    RecordingActions actions;
    Instructions interpreter{tags, actions};
};

struct Case {
    const char* line;
    SString expected;
};

void expectOneLineOutcomes(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        Program program{c.line};
        EXPECT_EQ(program.run(), c.expected) << c.line;
    }
}

TEST(Instructions, CommandsEvaluateTheirArgumentsAndCallTheActions) {
    testkit::LauncherState state;
    Program program{"SET N2 = 7",
                    "SET S4 = \"/tmp/my jvm\"",
                    "// FIND_JVM 9 9 is only a comment",
                    "FIND_JVM 1 0 extra tokens are ignored",
                    "VERIFY 0 1 @N2@",
                    "ILAUNCH @N2@0 -5",
                    "INSTALL_JVM 2",
                    "LAUNCH \"@S4@/x \"\"q\"\"\" 30",
                    "LAUNCH   /plain/path 1",
                    "INITIALIZE_UI",
                    "EXECUTE_LAUNCHER 3"};
    EXPECT_EQ(program.run(), "");
    EXPECT_EQ(
        program.actions.calls,
        (std::vector<SString>{"findJVM 1 0", "verifyJVM 0 1 7", "ilaunch 70 -5", "installJVM 2",
                              "launch [/tmp/my jvm/x \"q\"] 30", "launch [/plain/path] 1",
                              "initializeUI", "executeEmbeddedLauncher 3"}));
}

TEST(Instructions, MissingArgumentsAndBadCommandsReportExactMessages) {
    testkit::LauncherState state;
    expectOneLineOutcomes({
        {"FIND_JVM", SString("line 1: ") + kFindJvm1},
        {"FIND_JVM 1", SString("line 1: ") + kFindJvm2},
        {"GOTO", "line 1: The GOTO command requires a label as its only argument."},
        {"ILAUNCH",
         "line 1: The first argument to ILAUNCH should be the file index number of the jvm file."},
        {"ILAUNCH 1",
         "line 1: The second argument to ILAUNCH should be the number of seconds to display the "
         "UI during the launch."},
        {"INSTALL_JVM", SString("line 1: ") + kInstallJvm},
        {"INSTALL_JVM 3", SString("line 1: ") + kInstallJvm},
        {"INSTALL_JVM -1", SString("line 1: ") + kInstallJvm},
        {"JMP0 0", "line 1: JMP0 requires a jump label as its second argument."},
        {"LAUNCH /p", SString("line 1: ") + kLaunch2},
        // The closing quote is the last character: the path is complete, the seconds missing.
        {"LAUNCH \"/a b\"", SString("line 1: ") + kLaunch2},
        {"VERIFY",
         "line 1: The first argument to VERIFY should be a 1 if the UI should be displayed or a 0 "
         "if the UI should be suppressed."},
        {"VERIFY 1",
         "line 1: The second argument to VERIFY should be a 1 if a find failure message should be "
         "displayed in a UI or 0 if no message should be displayed."},
        {"VERIFY 1 1",
         "line 1: The third argument to VERIFY should be the file index number of the jvm file."},
        {"EXECUTE_LAUNCHER",
         "line 1: The first argument to EXECUTE_LAUNCHER should be the index of the embedded "
         "launcher in the file index."},
        {"", "line 1: No command specified."},
        {" \t ", "line 1: No command specified."},
        {"FOO", "line 1: Invalid command (FOO). "},
        {"find_jvm 1 1", "line 1: Invalid command (find_jvm). "},
        {"//x", "line 1: Invalid command (//x). "},
    });
}

TEST(Instructions, ArgumentErrorsKeepTheEvaluatorsPrefixAndBlanks) {
    testkit::LauncherState state;
    expectOneLineOutcomes({
        {"FIND_JVM 1 2", "line 1:  Invalid boolean value (2)"},
        {"ILAUNCH x 1", "line 1: Invalid numeric expression (x)"},
        {"ILAUNCH 1 x", "line 1:  Invalid numeric expression (x)"},
        {"ILAUNCH 1 40000", "line 1:  Invalid numeric expression (40000)"},
        {"JMP0 x label", "line 1: Invalid numeric expression (x)"},
        {"GOTO a@", "line 1: Invalid label specified. Invalid variable specification."},
        {"LAUNCH \"\" 5", "line 1: Invalid jvm file name specified in LAUNCH. Empty expression."},
        // Outside SET a bad reference or quote is the controller's error, without a line.
        {"VERIFY 1 1 @X1@",
         "launcher:  Invalid variable reference (X1). Must use N or S as the variable type, e.g. "
         "N2 or S1."},
        {"LAUNCH \"/a b 5",
         "launcher: Expected ending quote in \"/a b 5:  Invalid jvm file name specified in "
         "LAUNCH."},
    });
}

TEST(Instructions, LabelOnFirstLineCannotBeJumpedTo) {
    testkit::LauncherState state;
    Program program{":start", "GOTO start"};
    EXPECT_EQ(program.run(), "line 2: Label not found (start)");
}

TEST(Instructions, LabelLineMustEqualTheWholeTarget) {
    testkit::LauncherState state;
    Program extraWords{"INITIALIZE_UI", ":found extra words", "GOTO found"};
    EXPECT_EQ(extraWords.run(), "line 3: Label not found (found)");
    Program otherCase{"INITIALIZE_UI", ":Found", "GOTO found"};
    EXPECT_EQ(otherCase.run(), "line 3: Label not found (found)");
}

TEST(Instructions, GotoGoesToTheFirstOfTwoEqualLabels) {
    testkit::LauncherState state;
    Program program{"GOTO twice",         ":twice", "INITIALIZE_UI", "GOTO end", ":twice",
                    "EXECUTE_LAUNCHER 9", ":end"};
    EXPECT_EQ(program.run(), "");
    EXPECT_EQ(program.actions.calls, std::vector<SString>{"initializeUI"});
}

TEST(Instructions, LabelsAreComputedFromVariables) {
    testkit::LauncherState state;
    Program computed{"SET S3 = there", "GOTO @S3@", "EXECUTE_LAUNCHER 1", ":there",
                     "INITIALIZE_UI"};
    EXPECT_EQ(computed.run(), "");
    EXPECT_EQ(computed.actions.calls, std::vector<SString>{"initializeUI"});

    // "@@" in a label stands for one "@" of the label line.
    Program literalAt{"GOTO a@@b", "EXECUTE_LAUNCHER 1", ":a@b"};
    EXPECT_EQ(literalAt.run(), "");
    EXPECT_TRUE(literalAt.actions.calls.empty());

    Program blank{"GOTO @S5@"};
    EXPECT_EQ(blank.run(),
              "line 1: Label @S5@ resolved to a blank string. Labels cannot be blank.");
}

TEST(Instructions, Jmp0JumpsOnlyOnZeroAndLooksUpTheLabelOnlyThen) {
    testkit::LauncherState state;
    Program notTaken{"JMP0 1 nowhere", "INITIALIZE_UI"};
    EXPECT_EQ(notTaken.run(), "");
    EXPECT_EQ(notTaken.actions.calls, std::vector<SString>{"initializeUI"});

    Program taken{"JMP0 0 nowhere"};
    EXPECT_EQ(taken.run(), "line 1: Label not found (nowhere)");

    for (long found : {1L, 0L}) {
        Program afterFind{"FIND_JVM 0 0", "JMP0 @N1@ failed", "INITIALIZE_UI", ":failed"};
        afterFind.actions.m_found = found;
        EXPECT_EQ(afterFind.run(), "");
        EXPECT_EQ(afterFind.actions.calls.size(), found ? 2u : 1u);
    }
}

TEST(Instructions, BackwardJumpsLoopUntilAVariableChanges) {
    testkit::LauncherState state;
    Program program{"SET N1 = 0",      ":top",      "INITIALIZE_UI",
                    "JMP0 @N1@ again", "GOTO done", ":again",
                    "SET N1 = 1",      "GOTO top",  ":done"};
    EXPECT_EQ(program.run(), "");
    EXPECT_EQ(program.actions.calls.size(), 2u);
}

TEST(Instructions, SetStoresQuotedFirstWordAndEmptyValues) {
    testkit::LauncherState state;
    struct Row {
        const char* line;
        const char* variable;
        SString expected;
    };
    const Row rows[] = {
        {"SET S1 = \"a b\"", "S1", "a b"},
        {"SET S1 = a b", "S1", "a"},
        {"SET S1 =", "S1", ""},
        {"SET s2=x@@y", "S2", "x@y"},
        {"SET S3 = \"<@S9@>\"", "S3", "<old>"},
        {"SET N2 = -12abc", "N2", "-12"},
        {"SET n5 = 2147483647", "N5", "2147483647"},
    };
    for (const Row& row : rows) {
        Program program{"SET S1 = old", "SET S9 = old", row.line};
        EXPECT_EQ(program.run(), "") << row.line;
        VariableRef ref;
        ref.init(row.variable, "");
        EXPECT_EQ(ref.getStringValue(), row.expected) << row.line;
    }
}

TEST(Instructions, SetErrorsNameTheLineAndTheirPrefix) {
    testkit::LauncherState state;
    const SString left = "line 1: Invalid variable specified on left hand side of SET statement. ";
    const SString right = "line 1: Invalid expression specified for SET command ";
    expectOneLineOutcomes({
        {"SET", "line 1: Malformed SET statement."},
        {"SET S1 x", "line 1: SET statement is missing =."},
        {"SET N2 = x",
         "line 1: Invalid value specified for SET command Invalid numeric expression in x"},
        {"SET N2 = 2147483648",
         "line 1: Invalid value specified for SET command Invalid numeric expression in "
         "2147483648"},
        {"SET X1 = 1", left + "Invalid variable reference (X1). Must use N or S as the variable "
                              "type, e.g. N2 or S1."},
        {"SET = 1", left + "Variable references must be at least 2 characters (e.g. N1 and S10)."},
        {"SET N6 = 1", left + "Variable number is invalid (6)"},
        {"SET S1 = @S11@", right + "Variable number is invalid (11)"},
        {"SET S1 = x@", right + "Invalid variable specification."},
        {"SET S1 = \"\"", right + "Empty expression."},
        {"SET S1 = \"abc", "line 1: Expected double quote to end argument near 1"},
    });
}

TEST(Instructions, LineNumbersCountInstructionValuesNotFileLines) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    const SString path = dir.file("instructions.tag");
    testkit::writeFile(path,
                       "DESC: program\n"
                       "INSTRUCTIONS:\n"
                       "SET N1 = 1\n"
                       "\n"
                       "// a comment line\n"
                       "\"   INITIALIZE_UI\"\n"
                       "\n"
                       "INITIALIZE_UI\n"
                       "BOGUS\n"
                       "/:\n");
    TagFile tags(path);
    RecordingActions actions;
    Instructions interpreter(tags, actions);
    try {
        interpreter.execute();
        FAIL() << "BOGUS was accepted";
    } catch (const InstructionsException& e) {
        EXPECT_EQ(e.getMessage(), "Invalid command (BOGUS). ");
        EXPECT_EQ(e.getLineNumber(), 5);
    }
    EXPECT_EQ(actions.calls.size(), 2u);
}

SString runMessage() {
    try {
        Launcher::run();
    } catch (const LauncherException& e) {
        return e.getMessage();
    }
    return "";
}

TEST(Instructions, RunNamesTheInstructionLineInItsError) {
    testkit::LauncherState state;
    EXPECT_EQ(runMessage(), "");  // no instructions loaded: nothing happens

    Program bad{"INITIALIZE_UI", "FOO"};
    testkit::StateAccess::inputFiles().m_instructions.reset(
        new Instructions(bad.tags, bad.actions));
    EXPECT_EQ(runMessage(), "Error in instructions. Invalid command (FOO).  Line number (2)");

    Program selfReferring{"SET S1 = x@@S1@@", "JMP0 @S1@ x"};
    testkit::StateAccess::inputFiles().m_instructions.reset(
        new Instructions(selfReferring.tags, selfReferring.actions));
    EXPECT_EQ(runMessage(),
              "Error in instructions.  Variable substitution does not end; a variable refers to "
              "itself. Line number (2)");

    Program failingAction{"INITIALIZE_UI"};
    failingAction.actions.m_failInit = true;
    testkit::StateAccess::inputFiles().m_instructions.reset(
        new Instructions(failingAction.tags, failingAction.actions));
    EXPECT_EQ(runMessage(), "action failed");
    testkit::StateAccess::inputFiles().m_instructions.reset();
}

TEST(Instructions, CheckReportsEachFaultyLineWithoutRunningAnything) {
    testkit::LauncherState state;
    Program program{":start",        "FIND_JVM @N1@ @N2@", "FIND_JVM 1 2",   "GOTO start",
                    "GOTO @S3@",     "JMP0 @N1@ done",     "INSTALL_JVM 5",  "frobnicate",
                    "SET N1 = x",    "SET S2 = \"a b\"",   "SET N3 = @S1@",  "LAUNCH \"@S2@\" @N2@",
                    "LAUNCH \"/x 5", "VERIFY 1 1",         "JMP0 1 nowhere", ":done"};
    std::vector<SString> problems;
    for (const InstructionsException& e : program.interpreter.check()) {
        problems.push_back(convertToString(e.getLineNumber()) + ": " + e.getMessage());
    }
    EXPECT_EQ(problems,
              (std::vector<SString>{
                  "3:  Invalid boolean value (2)", "4: Label not found (start)",
                  "7: " + SString(kInstallJvm), "8: Invalid command (frobnicate). ",
                  "9: Invalid value specified for SET command Invalid numeric expression in x",
                  "13: Expected ending quote in \"/x 5:  Invalid jvm file name specified in "
                  "LAUNCH.",
                  "14: The third argument to VERIFY should be the file index number of the jvm "
                  "file.",
                  "15: Label not found (nowhere)"}));
    EXPECT_TRUE(program.actions.calls.empty());
    EXPECT_EQ(Launcher::getStringVariable(2), "");

    Program good{"FIND_JVM 0 1", "JMP0 @N1@ found", "INSTALL_JVM 0", ":found", "LAUNCH @S2@ 0"};
    EXPECT_TRUE(good.interpreter.check().empty());
}

}  // namespace

namespace {

// Asks, at each LAUNCH, whether only jumps follow it.
class LastLaunchActions : public RecordingActions {
public:
    // A launch of "stop" ends the program, as a hand-over would.
    void launch(const SString& path, short) override {
        answers.push_back(instructions->onlyJumpsFollow() ? "last" : "more");
        if (path == "stop") throw LauncherException("stopped");
    }
    Instructions* instructions = nullptr;
    std::vector<SString> answers;
};

}  // namespace

TEST(Instructions, ALaunchIsTheLastWordWhenOnlyJumpsFollowIt) {
    testkit::LauncherState state;
    struct Case {
        std::vector<SString> lines;
        std::vector<SString> answers;
    };
    const Case cases[] = {
        {{"LAUNCH a 0"}, {"last"}},
        // qnpack's program, found and not found.
        {{"SET N1 = 1", "JMP0 @N1@ nojvm", "LAUNCH a 0", "GOTO done", ":nojvm", "EXIT 1", ":done"},
         {"last"}},
        {{"LAUNCH a 0", "// the end", ":end"}, {"last"}},
        // A condition that holds goes on to the next line.
        {{"SET N2 = 1", "LAUNCH a 0", "JMP0 @N2@ end", "FIND_JVM 0 0", ":end"}, {"more"}},
        {{"SET N2 = 0", "LAUNCH a 0", "JMP0 @N2@ end", "FIND_JVM 0 0", ":end"}, {"last"}},
        {{"LAUNCH a 0", "EXIT 3"}, {"more"}},
        {{"LAUNCH a 0", "LAUNCH b 0"}, {"more", "last"}},
        // Jumps round for ever, to a label that is not there, or on a blank line.
        {{"LAUNCH stop 0", ":again", "GOTO again"}, {"more"}},
        {{"LAUNCH a 0", "GOTO nowhere"}, {"more"}},
    };
    for (const Case& c : cases) {
        TagFile tags;
        for (const SString& line : c.lines) {
            tags.appendTagValue(Instructions::g_instructionsTag, line);
        }
        LastLaunchActions actions;
        Instructions interpreter(tags, actions);
        actions.instructions = &interpreter;
        try {
            interpreter.execute();
        } catch (...) {
        }
        EXPECT_EQ(actions.answers, c.answers) << c.lines[0] << " ... " << c.lines.back();
    }
    // Outside a run nothing is known to follow.
    TagFile tags;
    tags.appendTagValue(Instructions::g_instructionsTag, "LAUNCH a 0");
    EXPECT_FALSE(Instructions(tags).onlyJumpsFollow());
}
