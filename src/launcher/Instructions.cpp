#include "launcher/Instructions.h"

#include "base/ArgumentParsing.h"
#include "base/InstructionsException.h"
#include "base/LauncherException.h"
#include "base/TextLines.h"
#include "inputfiles/TagFile.h"
#include "launcher/Launcher.h"
#include "launcher/VariableRef.h"
#include "platform/PlatformImpl.h"

const char* const Instructions::g_instructionsTag = "INSTRUCTIONS";

const SString& Instructions::lineAt(long index) const {
    const StringDeque* lines = m_instructions.getValue(g_instructionsTag);
    return lines ? lines->at(index) : StringDeque::emptyString;
}

void Instructions::throwException(const SString& message) const {
    throw InstructionsException(message, m_cursor + 1);
}

void Instructions::execute() {
    m_checkOnly = false;
    const long count = m_instructions.getTagValueCount(g_instructionsTag);
    m_finished = false;
    m_running = true;
    try {
        for (m_cursor = 0; m_cursor < count && !m_finished; ++m_cursor) {
            PlatformImpl::checkInterrupted();
            m_actions.step(m_cursor);
            executeLine(lineAt(m_cursor));
        }
    } catch (...) {
        m_running = false;
        throw;
    }
    m_running = false;
}

std::vector<InstructionsException> Instructions::check() {
    std::vector<InstructionsException> problems;
    m_checkOnly = true;
    const long count = m_instructions.getTagValueCount(g_instructionsTag);
    for (m_cursor = 0; m_cursor < count; ++m_cursor) {
        try {
            executeLine(lineAt(m_cursor));
        } catch (const InstructionsException& e) {
            problems.push_back(e);
        } catch (const LauncherException& e) {
            problems.emplace_back(e.getMessage(), m_cursor + 1);
        }
    }
    m_checkOnly = false;
    m_cursor = 0;
    return problems;
}

bool Instructions::literal(const SString& argument) const {
    return !m_checkOnly || argument.find('@') == SString::npos;
}

SString Instructions::nextArgument(const SString& line, size_t& pos, const char* missingMessage) {
    bool noToken = false;
    SString token = getTokenFromString(line, pos, noToken);
    if (noToken) throwException(missingMessage);
    return token;
}

namespace {

const char* const kFindJvm1 =
    "The first argument to FIND_JVM should be a 1 if the UI should be displayed or a 0 if the "
    "UI should be suppressed.";
const char* const kFindJvm2 =
    "The second argument to FIND_JVM should be a 1 if a find failure message should be "
    "displayed in a UI or 0 if no message should be displayed.";
const char* const kGoto = "The GOTO command requires a label as its only argument.";
const char* const kIlaunch1 =
    "The first argument to ILAUNCH should be the file index number of the jvm file.";
const char* const kIlaunch2 =
    "The second argument to ILAUNCH should be the number of seconds to display the UI during "
    "the launch.";
const char* const kInstallJvm = "The first argument to INSTALL_JVM should be a 0, 1 or 2.";
const char* const kJmp0 = "JMP0 requires a jump label as its second argument.";
const char* const kLaunchPath = "Invalid jvm file name specified in LAUNCH.";
const char* const kLaunch2 =
    "The second argument to LAUNCH should be the number of seconds to display the UI during "
    "the launch.";
const char* const kVerify1 =
    "The first argument to VERIFY should be a 1 if the UI should be displayed or a 0 if the UI "
    "should be suppressed.";
const char* const kVerify2 =
    "The second argument to VERIFY should be a 1 if a find failure message should be displayed "
    "in a UI or 0 if no message should be displayed.";
const char* const kVerify3 =
    "The third argument to VERIFY should be the file index number of the jvm file.";
const char* const kExit =
    "The EXIT command requires the exit status, a number from 0 to 255, as its only argument.";
const char* const kSetValue = "Invalid value specified for SET command";
const char* const kExecuteLauncher =
    "The first argument to EXECUTE_LAUNCHER should be the index of the embedded launcher in the "
    "file index.";

}  // namespace

namespace {

using Kind = Instructions::ArgumentKind;

constexpr Instructions::ArgumentRule argument(Kind kind, const char* message) {
    return {kind, message, 0, 0};
}
constexpr Instructions::ArgumentRule numberIn(long minimum, long maximum, const char* message) {
    return {Kind::Range, message, minimum, maximum};
}

}  // namespace

// Each command: its name, its arguments in order, and what it does once they are read. A
// check reads and evaluates the arguments as a run would and only leaves out the action.
const Instructions::CommandRule Instructions::kCommands[] = {
    {"FIND_JVM",
     {argument(Kind::Bool, kFindJvm1), argument(Kind::Bool, kFindJvm2)},
     [](Instructions& in, const Arguments& a) {
         in.m_actions.findJVM(a[0].number != 0, a[1].number != 0);
     }},
    {"GOTO",
     {argument(Kind::Label, kGoto)},
     [](Instructions& in, const Arguments& a) { in.m_cursor = in.gotoLabel(a[0].text); }},
    {"ILAUNCH",
     {argument(Kind::Long, kIlaunch1), argument(Kind::Short, kIlaunch2)},
     [](Instructions& in, const Arguments& a) {
         in.m_actions.ilaunch(a[0].number, static_cast<short>(a[1].number));
     }},
    {"INITIALIZE_UI", {}, [](Instructions& in, const Arguments&) { in.m_actions.initializeUI(); }},
    {"INSTALL_JVM",
     {numberIn(0, 2, kInstallJvm)},
     [](Instructions& in, const Arguments& a) { in.m_actions.installJVM(a[0].number); }},
    {"JMP0",
     {argument(Kind::Condition, nullptr), argument(Kind::Label, kJmp0)},
     [](Instructions& in, const Arguments& a) {
         if (a[0].number == 0) in.m_cursor = in.gotoLabel(a[1].text);
     }},
    {"LAUNCH",
     {argument(Kind::Path, kLaunchPath), argument(Kind::Short, kLaunch2)},
     [](Instructions& in, const Arguments& a) {
         in.m_actions.launch(a[0].text, static_cast<short>(a[1].number));
     }},
    {"SET",
     {argument(Kind::Assignment, nullptr)},
     [](Instructions&, const Arguments& a) { a[0].variable.setValue(a[0].text, kSetValue); }},
    {"VERIFY",
     {argument(Kind::Bool, kVerify1), argument(Kind::Bool, kVerify2),
      argument(Kind::Long, kVerify3)},
     [](Instructions& in, const Arguments& a) {
         in.m_actions.verifyJVM(a[0].number != 0, a[1].number != 0, a[2].number);
     }},
    {"EXIT",
     {numberIn(0, 255, kExit)},
     [](Instructions& in, const Arguments& a) {
         in.m_actions.exit(a[0].number);
         in.m_finished = true;
     }},
    {"EXECUTE_LAUNCHER",
     {argument(Kind::Long, kExecuteLauncher)},
     [](Instructions& in, const Arguments& a) {
         in.m_actions.executeEmbeddedLauncher(a[0].number);
     }},
};

void Instructions::executeLine(const SString& line) {
    size_t pos = 0;
    bool noToken = false;
    const SString command = getTokenFromString(line, pos, noToken);
    if (noToken) throwException("No command specified.");
    if (command[0] == ':' || command == "//") return;

    const CommandRule* rule = nullptr;
    for (const CommandRule& candidate : kCommands) {
        if (command == candidate.name) rule = &candidate;
    }
    if (!rule) throwException("Invalid command (" + command + "). ");
    Arguments arguments;
    for (size_t i = 0; i < kMaxArguments && rule->arguments[i].kind != Kind::None; ++i) {
        readArgument(line, pos, rule->arguments[i], arguments[i]);
    }
    if (!m_checkOnly) rule->action(*this, arguments);
}

void Instructions::readArgument(const SString& line, size_t& pos, const ArgumentRule& rule,
                                Argument& out) {
    // In a check, an argument holding a variable reference is only required to be present.
    switch (rule.kind) {
        case Kind::None:
            break;
        case Kind::Bool:
        case Kind::Long:
        case Kind::Short:
        case Kind::Range:
            out.text = nextArgument(line, pos, rule.message);
            if (!literal(out.text)) break;
            if (rule.kind == Kind::Bool) {
                out.number = evalBoolExpr(out.text, "");
            } else if (rule.kind == Kind::Short) {
                out.number = evalShortExpr(out.text, "");
            } else {
                out.number = evalLongExpr(out.text, "");
            }
            if (rule.kind == Kind::Range &&
                (out.number < rule.minimum || out.number > rule.maximum))
                throwException(rule.message);
            break;
        case Kind::Condition: {
            bool noCondition = false;
            out.text = getTokenFromString(line, pos, noCondition);
            if (literal(out.text)) out.number = evalLongExpr(out.text, "");
            break;
        }
        case Kind::Label:
            out.text = nextArgument(line, pos, rule.message);
            // A run looks the label up when it jumps; a check makes sure it is there.
            if (m_checkOnly && literal(out.text)) gotoLabel(out.text);
            break;
        case Kind::Path:
            scanStringArgument(line, pos, out.text, rule.message);
            if (literal(out.text)) evalStringExpr(out.text, rule.message);
            break;
        case Kind::Assignment:
            readAssignment(line, pos, out);
            break;
    }
}

void Instructions::readAssignment(const SString& line, size_t pos, Argument& out) {
    if (pos >= line.size()) throwException("Malformed SET statement.");
    SString rest = line.substr(pos);
    trim(rest, whitespaceChars);
    size_t eq = rest.find('=');
    if (eq == SString::npos) throwException("SET statement is missing =.");
    try {
        SString left = rest.substr(0, eq);
        trim(left, whitespaceChars);
        out.variable.init(left, "Invalid variable specified on left hand side of SET statement.");
        out.text = rest.substr(eq + 1);
        trim(out.text, whitespaceChars);
        if (literal(out.text)) {
            evalStringExpr(out.text, "Invalid expression specified for SET command");
            out.variable.checkValue(out.text, kSetValue);
        }
    } catch (const LauncherException& e) {
        throwException(e.getMessage());
    }
}

long Instructions::gotoLabel(const SString& label) {
    SString target = ":" + label;
    evalExpr(target, "Invalid label specified.");
    if (target == ":") {
        throwException("Label " + label + " resolved to a blank string. Labels cannot be blank.");
    }
    const long count = m_instructions.getTagValueCount(g_instructionsTag);
    for (long i = 1; i < count; ++i) {
        if (lineAt(i) == target) return i;
    }
    throwException("Label not found (" + label + ")");
}

bool Instructions::onlyJumpsFollow() {
    if (!m_running) return false;
    const long count = m_instructions.getTagValueCount(g_instructionsTag);
    const long saved = m_cursor;
    long cursor = m_cursor + 1;
    bool result = false;
    // Jumps alone that go round for ever are no end.
    try {
        for (long steps = 0; steps <= count && !result; ++steps) {
            if (cursor >= count) {
                result = true;
                break;
            }
            m_cursor = cursor;
            const SString& line = lineAt(cursor);
            size_t pos = 0;
            bool noToken = false;
            const SString command = getTokenFromString(line, pos, noToken);
            if (noToken) break;
            if (command[0] == ':' || command == "//") {
                ++cursor;
            } else if (command == "GOTO") {
                cursor = gotoLabel(nextArgument(line, pos, kGoto)) + 1;
            } else if (command == "JMP0") {
                bool noCondition = false;
                const SString condition = getTokenFromString(line, pos, noCondition);
                const bool jump = evalLongExpr(condition, "") == 0;
                const SString label = nextArgument(line, pos, kJmp0);
                cursor = jump ? gotoLabel(label) + 1 : cursor + 1;
            } else {
                break;
            }
        }
    } catch (const InstructionsException&) {
        result = false;
    } catch (const LauncherException&) {
        result = false;
    }
    m_cursor = saved;
    return result;
}
