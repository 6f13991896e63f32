#include <gtest/gtest.h>

#include <vector>

#include "base/LauncherException.h"
#include "base/Numbers.h"
#include "inputfiles/TagFile.h"
#include "launcher/Instructions.h"
#include "launcher/Launcher.h"
#include "launcher/VariableRef.h"
#include "support/TestKit.h"

namespace {

struct Case {
    SString text;
    SString expected;  // the result, or "I: " / "L: " and the message of the exception
};

// Evaluations against one interpreter over an empty program, with a few variables set.
class Expressions : public ::testing::Test {
protected:
    Expressions() {
        Launcher::setStringVariable(1, "abc");
        Launcher::setLongVariable(1, 1);
        Launcher::setLongVariable(2, 7);
        Launcher::setLongVariable(5, -4);
        Launcher::setStringVariable(4, "x@N1@");
        Launcher::setStringVariable(5, "@N1@");
        Launcher::setStringVariable(6, "a@b");
    }

    template <typename F>
    static SString outcome(F evaluate) {
        try {
            return evaluate();
        } catch (const InstructionsException& e) {
            EXPECT_EQ(e.getLineNumber(), 1);
            return "I: " + e.getMessage();
        } catch (const LauncherException& e) {
            return "L: " + e.getMessage();
        }
    }

    template <typename F>
    static void expectAll(const std::vector<Case>& cases, F evaluate) {
        for (const Case& c : cases) {
            EXPECT_EQ(outcome([&] { return evaluate(c.text); }), c.expected) << c.text;
        }
    }

    testkit::LauncherState m_state;
    TagFile m_program;
    Instructions m_interpreter{m_program};
};

TEST_F(Expressions, SubstitutionFollowsItsPassAndResumeRules) {
    expectAll(
        {
            {"x@S1@y", "xabcy"},
            {"@N2@", "7"},
            {"@N5@", "-4"},
            {"@s1@", "abc"},
            {"no references", "no references"},
            // The search resumes at the inserted value's second character.
            {"@S4@", "x1"},
            {"@S5@", "I: P Invalid variable specification."},
            {"@S6@", "I: P Invalid variable specification."},
            // "@@" is a literal "@" only in a pass that replaced nothing.
            {"100@@", "100@"},
            {"a@@b@@c", "a@b@c"},
            {"@@@S1@", "I: P Invalid variable specification."},
            {"@S1@@@", "I: P Invalid variable specification."},
            {"x@S1", "I: P Invalid variable specification."},
            {"", "I: P Empty expression."},
            {"@X1@",
             "L: P Invalid variable reference (X1). Must use N or S as the variable type, e.g. N2 "
             "or S1."},
            {"@S11@", "L: P Variable number is invalid (11)"},
            {"@S0@", "L: P Variable number is invalid (0)"},
            {"@Sx@", "L: P Variable number is invalid (x)"},
            {"@N6@", "L: P Variable number is invalid (6)"},
            {"@S@", "L: P Variable references must be at least 2 characters (e.g. N1 and S10)."},
        },
        [&](SString text) {
            m_interpreter.evalExpr(text, "P");
            return text;
        });
}

TEST_F(Expressions, TypedEvaluationsUseTheirOwnMessageBlanks) {
    expectAll({{"@N2@0", "70"},
               {"12abc", "12"},
               {" -3", "-3"},
               {"-2147483648", "-2147483648"},
               {"abc", "I: PInvalid numeric expression (abc)"},
               {"@S1@", "I: PInvalid numeric expression (abc)"},
               {"2147483648", "I: PInvalid numeric expression (2147483648)"},
               {"", "I: P Empty expression."}},
              [&](const SString& text) {
                  return convertToString(m_interpreter.evalLongExpr(text, "P"));
              });
    expectAll({{"-5", "-5"},
               {"30", "30"},
               {"-32768", "-32768"},
               {"32768", "I: P Invalid numeric expression (32768)"},
               {"x", "I: P Invalid numeric expression (x)"}},
              [&](const SString& text) {
                  return convertToString(m_interpreter.evalShortExpr(text, "P"));
              });
    expectAll({{"0", "false"},
               {"1", "true"},
               {"01", "true"},
               {"@N1@", "true"},
               {"2", "I: P Invalid boolean value (2)"},
               {"@N2@", "I: P Invalid boolean value (@N2@)"},
               {"x", "I: PInvalid numeric expression (x)"}},
              [&](const SString& text) {
                  return SString(m_interpreter.evalBoolExpr(text, "P") ? "true" : "false");
              });
}

TEST_F(Expressions, StringValuesAreUnquotedOrCutToTheirFirstWord) {
    expectAll({{"\"a \"\"b\"\" c\"", "a \"b\" c"},
               {"\"x\" tail", "x"},
               {"a b", "a"},
               {"@S1@/bin more", "abc/bin"},
               {"\"@S1@ z\"", "abc z"},
               {"", ""},
               {"\"\"", "I: P Empty expression."},
               {"\"abc", "L: Expected double quote to end argument near 1"}},
              [&](SString text) {
                  m_interpreter.evalStringExpr(text, "P");
                  return text;
              });
}

TEST_F(Expressions, ScannedArgumentsEndAtTheirClosingQuoteOrBlank) {
    struct Scan {
        SString line;
        SString expected;
        size_t endPos;
    };
    const Scan scans[] = {
        {"LAUNCH \"a b\"\"c\" 5", "a b\"c", 15},
        {"LAUNCH   /p/x 5", "/p/x", 14},
        {"LAUNCH \"a\"", "a", 10},
        {"LAUNCH \"a\"\"\"", "a\"", 12},
        {"LAUNCH \"@S1@\"x", "abc", 13},
    };
    for (const Scan& scan : scans) {
        size_t pos = 7;
        SString out = "stale";
        m_interpreter.evalStringExpr(scan.line, pos, out, "P");
        EXPECT_EQ(out, scan.expected) << scan.line;
        EXPECT_EQ(pos, scan.endPos) << scan.line;
    }
    EXPECT_EQ(outcome([&] {
                  size_t pos = 7;
                  SString out;
                  m_interpreter.evalStringExpr("LAUNCH \"abc 5", pos, out, "P");
                  return out;
              }),
              "L: Expected ending quote in \"abc 5:  P");
}

TEST(ExpressionNumbers, ConversionsRejectTextAndOutOfRangeValues) {
    struct Row {
        SString text;
        bool ok;
        long value;
    };
    const Row longs[] = {{"12abc", true, 12},
                         {" -7", true, -7},
                         {"+3", true, 3},
                         {"2147483647", true, 2147483647L},
                         {"-2147483648", true, -2147483647L - 1},
                         {"2147483648", false, 99},
                         {"-2147483649", false, 99},
                         {"99999999999999999999", false, 99},
                         {"abc", false, 99},
                         {"", false, 99},
                         {"- 5", false, 99}};
    for (const Row& row : longs) {
        long value = 99;
        EXPECT_EQ(convertToLong(row.text, value), row.ok) << row.text;
        EXPECT_EQ(value, row.value) << row.text;
    }
    const Row shorts[] = {{"32767", true, 32767},   {"-32768", true, -32768}, {"12x", true, 12},
                          {"32768", false, 99},     {"-32769", false, 99},    {"70000", false, 99},
                          {"4294967296", false, 99}};
    for (const Row& row : shorts) {
        short value = 99;
        EXPECT_EQ(convertToShort(row.text, value), row.ok) << row.text;
        EXPECT_EQ(value, row.value) << row.text;
    }
}

TEST(ExpressionVariables, ReferencesParseStoreAndReadBack) {
    testkit::LauncherState state;
    VariableRef numeric;
    numeric.init("n3", "Q");
    EXPECT_EQ(numeric.m_type, 'N');
    EXPECT_EQ(numeric.m_number, 3);
    numeric.setValue("-42", "Q");
    EXPECT_EQ(Launcher::getLongVariable(3), -42);
    EXPECT_EQ(numeric.getStringValue(), "-42");
    try {
        numeric.setValue("x", "Q");
        FAIL() << "a non-number was stored";
    } catch (const LauncherException& e) {
        EXPECT_EQ(e.getMessage(), "Q Invalid numeric expression in x");
    }
    EXPECT_EQ(Launcher::getLongVariable(3), -42);

    VariableRef text;
    text.init("S10", "Q");
    text.setValue("a value", "Q");
    EXPECT_EQ(Launcher::getStringVariable(10), "a value");
    EXPECT_EQ(text.getStringValue(), "a value");
}

// A value that re-inserts its own reference would grow without end; the substitution stops
// with an interpreter error after bounded work instead.
TEST_F(Expressions, SelfReferringSubstitutionStopsQuickly) {
    const std::vector<std::pair<SString, SString>> loops = {
        {"x@S1@", ""},
        {"x@S1@" + SString(100, 'y'), ""},
        {"x@S1@" + SString(5000, 'y'), ""},
        {"x@S1@@S1@", ""},
        {"a@S2@", "b@S1@"},
    };
    for (const auto& loop : loops) {
        Launcher::setStringVariable(1, loop.first);
        Launcher::setStringVariable(2, loop.second);
        EXPECT_EQ(outcome([&] {
                      SString text = "@S1@";
                      m_interpreter.evalExpr(text, "P");
                      return text;
                  }),
                  "I: P Variable substitution does not end; a variable refers to itself.")
            << loop.first;
    }
}

}  // namespace
