#include "platform/CmdLine.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<SString> split(const SString& command) {
    CmdLine cmdLine;
    cmdLine.parse(command);
    std::vector<SString> args;
    for (int i = 0; i < cmdLine.getOptionCount(); ++i) args.push_back(cmdLine.getOption(i));
    return args;
}

TEST(CmdLine, SplitsQuotedAndEscapedArgumentsAndDropsEmptyOnes) {
    EXPECT_EQ(split("  prog  a \"b c\"  d\\\"e \"\""),
              (std::vector<SString>{"prog", "a", "b c", "d\"e"}));
}

TEST(CmdLine, ProgramKeepsBackslashesLiterally) {
    EXPECT_EQ(split("C:\\dir\\prog x\\y"), (std::vector<SString>{"C:\\dir\\prog", "x\\y"}));
}

TEST(CmdLine, UnterminatedQuoteRunsToTheEnd) {
    EXPECT_EQ(split("a \"unterminated"), (std::vector<SString>{"a", "unterminated"}));
}

TEST(CmdLine, QuotedPieceJoinsItsNeighbours) {
    EXPECT_EQ(split("p ab\"c d\"e"), (std::vector<SString>{"p", "abc de"}));
}

TEST(CmdLine, TwoBackslashesStayTwo) {
    EXPECT_EQ(split("p a\\\\b"), (std::vector<SString>{"p", "a\\\\b"}));
}

TEST(CmdLine, OptionOutOfRangeIsNull) {
    CmdLine cmdLine;
    cmdLine.parse("one");
    EXPECT_STREQ(cmdLine.getOption(0), "one");
    EXPECT_EQ(cmdLine.getOption(1), nullptr);
    EXPECT_EQ(cmdLine.getOption(-1), nullptr);
}

}  // namespace
