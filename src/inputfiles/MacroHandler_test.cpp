#include "inputfiles/MacroHandler.h"

#include <gtest/gtest.h>

#include <map>

#include "base/LauncherException.h"

namespace {

using Table = std::map<SString, SString>;

// Replaces each macro by a value from a table and counts the calls; an unknown name
// is an error, as in the real subclasses.
class TableMacros : public MacroHandler {
public:
    explicit TableMacros(Table table) : m_table(std::move(table)) {}

    void processMacro(SString& text, char, size_t start, size_t& end) const override {
        ++calls;
        SString name = text.substr(start + 1, end - start - 1);
        auto found = m_table.find(name);
        if (found == m_table.end()) throw LauncherException("unknown macro " + name);
        text.replace(start, end - start + 1, found->second);
    }

    mutable long calls = 0;

private:
    Table m_table;
};

TEST(MacroHandler, InsertedValuesAreScannedAgain) {
    TableMacros macros(Table{{"A", "<$B$>"}, {"B", "$C$!"}, {"C", "c"}});
    EXPECT_EQ(macros.resolve("x $A$ y $C$", '$'), "x <c!> y c");
    EXPECT_EQ(macros.calls, 4);
}

TEST(MacroHandler, DoubledDelimitersBecomeSingle) {
    TableMacros macros(Table{{"A", "a"}});
    EXPECT_EQ(macros.resolve("50$$", '$'), "50$");
    EXPECT_EQ(macros.resolve("$$", '$'), "$");
    EXPECT_EQ(macros.resolve("a$$b", '$'), "a$b");
    EXPECT_EQ(macros.resolve("@@", '@'), "@");
    EXPECT_EQ(macros.calls, 0);
}

TEST(MacroHandler, ValuesHoldingDoubledDelimitersCollapseAtTheEnd) {
    TableMacros macros(Table{{"P", "$$x"}});
    EXPECT_EQ(macros.resolve("$P$", '$'), "$x");
}

TEST(MacroHandler, ShortTextsAndLoneDelimitersStayUnchanged) {
    TableMacros macros(Table{{"a", "A"}});
    for (const char* text : {"", "$", "$a", "x$a", "$a b", "plain"}) {
        EXPECT_EQ(macros.resolve(text, '$'), text);
    }
    EXPECT_EQ(macros.calls, 0);
    EXPECT_EQ(macros.resolve("$a$", '$'), "A");
}

TEST(MacroHandler, ErrorsOfTheSubclassPassUnchanged) {
    TableMacros macros(Table{});
    try {
        macros.resolve("x $nope$", '$');
        FAIL() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_EQ(e.getMessage(), "unknown macro nope");
    }
}

SString selfReferenceFailure(const Table& table, const SString& text) {
    TableMacros macros(table);
    SString message = "no exception";
    try {
        macros.resolve(text, '$');
    } catch (const LauncherException& e) {
        message = e.getMessage();
    }
    EXPECT_LE(macros.calls, MacroHandler::kMaxReplacements + 1);
    return message;
}

TEST(MacroHandler, SelfReferenceStopsWithAnErrorNamingTheMacro) {
    const Table same = {{"SELF", "$SELF$"}};
    const Table growing = {{"GROW", "x$GROW$"}};
    const Table doubling = {{"TWICE", "$TWICE$ $TWICE$"}};
    const Table cycle = {{"A", "a$B$"}, {"B", "b$A$"}};
    // A value that keeps a long tail behind itself makes every replacement copy more.
    const Table tail = {{"TAIL", "$TAIL$/lib/" + SString(160, 'x')}};
    EXPECT_NE(selfReferenceFailure(tail, "$TAIL$").find("$TAIL$"), SString::npos);
    EXPECT_NE(selfReferenceFailure(same, "$SELF$").find("$SELF$"), SString::npos);
    EXPECT_NE(selfReferenceFailure(growing, "$GROW$").find("$GROW$"), SString::npos);
    EXPECT_NE(selfReferenceFailure(doubling, "$TWICE$").find("$TWICE$"), SString::npos);
    SString message = selfReferenceFailure(cycle, "$A$");
    EXPECT_TRUE(message.find("$A$") != SString::npos || message.find("$B$") != SString::npos)
        << message;
}

TEST(MacroHandler, LongestCommandWithThousandsOfMacrosStaysWithinTheBounds) {
    // 128 KiB, the most one shell command may hold, with 4000 macros.
    TableMacros macros(Table{{"A", "value"}});
    const SString filler(29, '-');
    SString text, expected;
    for (int i = 0; i < 4000; ++i) {
        text += "$A$" + filler;
        expected += "value" + filler;
    }
    EXPECT_EQ(macros.resolve(text, '$'), expected);
    EXPECT_EQ(macros.calls, 4000);
}

TEST(MacroHandler, ValueLargerThanTheSizeBoundStops) {
    // Each expansion adds a megabyte: the size bound ends it long before the count bound.
    TableMacros macros(Table{{"BIG", SString(1 << 20, 'x') + "$BIG$"}});
    EXPECT_THROW(macros.resolve("$BIG$", '$'), LauncherException);
    EXPECT_LT(macros.calls, 100);
}

}  // namespace
