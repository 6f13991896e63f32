#pragma once
// The interpreter of the instruction language: one command per line, labels, jumps,
// assignments to the numbered variables, and commands that call the controller's actions.

#include <array>
#include <vector>

#include "base/ExpansionBounds.h"
#include "base/InstructionsException.h"
#include "base/SString.h"
#include "launcher/InstructionActions.h"
#include "launcher/VariableRef.h"

class TagFile;

class Instructions {
public:
    // Bounds of one substitution: a variable whose value re-inserts its own reference
    // stops with an error instead of growing without end. Each replacement rewrites the
    // text, so the bytes handled in total are bounded too: a self-referring value with a
    // long tail would otherwise take quadratic time below the other two bounds.
    static constexpr long kMaxSubstitutions = 100000 / kExpansionBoundDivisor;
    static constexpr size_t kMaxExpressionSize = (16u << 20) / kExpansionBoundDivisor;
    static constexpr size_t kMaxSubstitutionWork = (256u << 20) / kExpansionBoundDivisor;

    // The lines are the values of INSTRUCTIONS in `instructions`, which must outlive this;
    // commands call `actions` (by default the controller's).
    explicit Instructions(const TagFile& instructions,
                          InstructionActions& actions = InstructionActions::controller())
        : m_instructions(instructions), m_actions(actions) {}
    virtual ~Instructions() = default;

    // Runs the program from its first line. Lets InstructionsException and
    // LauncherException pass.
    void execute();
    // While a line runs: whether only labels, comments and jumps (GOTO, JMP0) would run
    // after it before the end, so the line's command is the program's last. False when
    // nothing runs or a jump cannot be followed.
    bool onlyJumpsFollow();
    // Checks every line without running anything: known commands, arguments that hold no
    // variable reference evaluate, and labels written out exist. One problem per line.
    std::vector<InstructionsException> check();
    // The index of the line holding ":" + label (evaluated), searched from the second line.
    long gotoLabel(const SString& label);
    [[noreturn]] void throwException(const SString& message) const;

    // Replaces @N1@/@S2@ references in place; "@@" is a literal "@".
    void evalExpr(SString& text, const SString& prefix);
    long evalLongExpr(const SString& text, const SString& prefix);
    short evalShortExpr(const SString& text, const SString& prefix);
    bool evalBoolExpr(const SString& text, const SString& prefix);
    // Unquotes (or cuts to its first word) and substitutes a string value in place.
    void evalStringExpr(SString& text, const SString& prefix);
    // Scans one string argument of `line` from `pos` and evaluates it into `out`.
    void evalStringExpr(const SString& line, size_t& pos, SString& out, const SString& prefix);
    // The scanning half of the form above: one argument, quotes kept, nothing substituted.
    // Throws LauncherException when a quoted argument has no closing quote.
    void scanStringArgument(const SString& line, size_t& pos, SString& out, const SString& prefix);

    static const char* const g_instructionsTag;

    // What one argument of a command is and how it is read.
    enum class ArgumentKind {
        None,        // no further argument
        Bool,        // a 0/1 expression
        Long,        // a number expression
        Short,       // a 16-bit number expression
        Range,       // a number expression between minimum and maximum
        Condition,   // a number expression that may be missing (read as 0)
        Label,       // a jump label
        Path,        // a string argument, quoted or a single word
        Assignment,  // the rest of the line: variable = value
    };
    struct ArgumentRule {
        ArgumentKind kind;
        const char* message;  // the error when the argument is missing or out of range
        long minimum;
        long maximum;
    };

private:
    static constexpr size_t kMaxArguments = 3;
    struct Argument {
        SString text;
        long number = 0;
        VariableRef variable;
    };
    using Arguments = std::array<Argument, kMaxArguments>;
    struct CommandRule {
        const char* name;
        ArgumentRule arguments[kMaxArguments];
        void (*action)(Instructions& instructions, const Arguments& arguments);
    };
    static const CommandRule kCommands[];

    void executeLine(const SString& line);
    // Reads and evaluates one argument as `rule` describes into `out`.
    void readArgument(const SString& line, size_t& pos, const ArgumentRule& rule, Argument& out);
    void readAssignment(const SString& line, size_t pos, Argument& out);
    // Reads the next argument token; a missing one is the error `missingMessage`.
    SString nextArgument(const SString& line, size_t& pos, const char* missingMessage);
    const SString& lineAt(long index) const;

    // In a check, evaluates `argument` only when it holds no variable reference.
    bool literal(const SString& argument) const;

    const TagFile& m_instructions;
    InstructionActions& m_actions;
    long m_cursor = 0;
    bool m_checkOnly = false;
    // Set by EXIT: the remaining instructions do not run.
    bool m_finished = false;
    // Whether execute() is running the program.
    bool m_running = false;
};
