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
    for (m_cursor = 0; m_cursor < count && !m_finished; ++m_cursor) {
        PlatformImpl::checkInterrupted();
        m_actions.step(m_cursor);
        executeLine(lineAt(m_cursor));
    }
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
const char* const kExecuteLauncher =
    "The first argument to EXECUTE_LAUNCHER should be the index of the embedded launcher in the "
    "file index.";

}  // namespace

void Instructions::executeLine(const SString& line) {
    size_t pos = 0;
    bool noToken = false;
    const SString command = getTokenFromString(line, pos, noToken);
    if (noToken) throwException("No command specified.");
    if (command[0] == ':' || command == "//") return;

    // Each argument is read in turn; in a check, one holding a variable reference is only
    // required to be present.
    auto boolArg = [&](const char* missing) {
        SString token = nextArgument(line, pos, missing);
        return literal(token) ? evalBoolExpr(token, "") : false;
    };
    auto longArg = [&](const char* missing) {
        SString token = nextArgument(line, pos, missing);
        return literal(token) ? evalLongExpr(token, "") : 0L;
    };
    auto shortArg = [&](const char* missing) {
        SString token = nextArgument(line, pos, missing);
        return literal(token) ? evalShortExpr(token, "") : short{0};
    };

    if (command == "FIND_JVM") {
        bool show = boolArg(kFindJvm1);
        bool fail = boolArg(kFindJvm2);
        if (!m_checkOnly) m_actions.findJVM(show, fail);
    } else if (command == "GOTO") {
        SString label = nextArgument(line, pos, kGoto);
        if (!m_checkOnly) {
            m_cursor = gotoLabel(label);
        } else if (literal(label)) {
            gotoLabel(label);
        }
    } else if (command == "ILAUNCH") {
        long id = longArg(kIlaunch1);
        short seconds = shortArg(kIlaunch2);
        if (!m_checkOnly) m_actions.ilaunch(id, seconds);
    } else if (command == "INITIALIZE_UI") {
        if (!m_checkOnly) m_actions.initializeUI();
    } else if (command == "INSTALL_JVM") {
        SString token = nextArgument(line, pos, kInstallJvm);
        if (literal(token)) {
            long option = evalLongExpr(token, "");
            if (option < 0 || option > 2) throwException(kInstallJvm);
            if (!m_checkOnly) m_actions.installJVM(option);
        }
    } else if (command == "JMP0") {
        bool noCondition = false;
        SString condition = getTokenFromString(line, pos, noCondition);
        long value = literal(condition) ? evalLongExpr(condition, "") : 0;
        SString label = nextArgument(line, pos, kJmp0);
        if (!m_checkOnly) {
            if (value == 0) m_cursor = gotoLabel(label);
        } else if (literal(label)) {
            gotoLabel(label);
        }
    } else if (command == "LAUNCH") {
        SString path;
        scanStringArgument(line, pos, path, kLaunchPath);
        if (literal(path)) evalStringExpr(path, kLaunchPath);
        short seconds = shortArg(kLaunch2);
        if (!m_checkOnly) m_actions.launch(path, seconds);
    } else if (command == "SET") {
        executeSet(line, pos);
    } else if (command == "VERIFY") {
        bool show = boolArg(kVerify1);
        bool fail = boolArg(kVerify2);
        long id = longArg(kVerify3);
        if (!m_checkOnly) m_actions.verifyJVM(show, fail, id);
    } else if (command == "EXIT") {
        SString token = nextArgument(line, pos, kExit);
        if (literal(token)) {
            long status = evalLongExpr(token, "");
            if (status < 0 || status > 255) throwException(kExit);
            if (!m_checkOnly) {
                m_actions.exit(status);
                m_finished = true;
            }
        }
    } else if (command == "EXECUTE_LAUNCHER") {
        long position = longArg(kExecuteLauncher);
        if (!m_checkOnly) m_actions.executeEmbeddedLauncher(position);
    } else {
        throwException("Invalid command (" + command + "). ");
    }
}

void Instructions::executeSet(const SString& line, size_t pos) {
    if (pos >= line.size()) throwException("Malformed SET statement.");
    SString rest = line.substr(pos);
    trim(rest, whitespaceChars);
    size_t eq = rest.find('=');
    if (eq == SString::npos) throwException("SET statement is missing =.");
    try {
        SString left = rest.substr(0, eq);
        trim(left, whitespaceChars);
        VariableRef ref;
        ref.init(left, "Invalid variable specified on left hand side of SET statement.");
        SString right = rest.substr(eq + 1);
        trim(right, whitespaceChars);
        if (literal(right)) {
            evalStringExpr(right, "Invalid expression specified for SET command");
            // A check validates the value the same way but leaves the variable as it was.
            const SString before = ref.getStringValue();
            ref.setValue(right, "Invalid value specified for SET command");
            if (m_checkOnly) ref.setValue(before, SString());
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
