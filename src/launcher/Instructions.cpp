#include "launcher/Instructions.h"

#include "inputfiles/TagFile.h"
#include "inputfiles/TextUtils.h"
#include "launcher/InstructionsException.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "launcher/VariableRef.h"

const char* const Instructions::g_instructionsTag = "INSTRUCTIONS";

namespace {

const char* const kCommands[] = {"FIND_JVM", "GOTO",  "ILAUNCH", "INITIALIZE_UI",
                                 "INSTALL_JVM", "JMP0", "LAUNCH", "SET",
                                 "VERIFY",   "EXECUTE_LAUNCHER", "//"};

}  // namespace

bool Instructions::isCommand(const SString& name) {
    for (const char* command : kCommands) {
        if (name == command) return true;
    }
    return false;
}

const SString& Instructions::lineAt(long index) const {
    const StringDeque* lines = m_instructions.getValue(g_instructionsTag);
    return lines ? lines->at(index) : StringDeque::emptyString;
}

void Instructions::throwException(const SString& message) const {
    throw InstructionsException(message, m_cursor + 1);
}

void Instructions::execute() {
    const long count = m_instructions.getTagValueCount(g_instructionsTag);
    for (m_cursor = 0; m_cursor < count; ++m_cursor) executeLine(lineAt(m_cursor));
}

SString Instructions::nextArgument(const SString& line, size_t& pos, const char* missingMessage) {
    bool noToken = false;
    SString token = getTokenFromString(line, pos, noToken);
    if (noToken) throwException(missingMessage);
    return token;
}

void Instructions::executeLine(const SString& line) {
    size_t pos = 0;
    bool noToken = false;
    const SString command = getTokenFromString(line, pos, noToken);
    if (noToken) throwException("No command specified.");
    if (command[0] == ':' || command == "//") return;

    if (command == "FIND_JVM") {
        bool show = evalBoolExpr(
            nextArgument(line, pos,
                         "The first argument to FIND_JVM should be a 1 if the UI should be "
                         "displayed or a 0 if the UI should be suppressed."),
            "");
        bool fail = evalBoolExpr(
            nextArgument(line, pos,
                         "The second argument to FIND_JVM should be a 1 if a find failure message "
                         "should be displayed in a UI or 0 if no message should be displayed."),
            "");
        Launcher::findJVM(show, fail);
    } else if (command == "GOTO") {
        SString label =
            nextArgument(line, pos, "The GOTO command requires a label as its only argument.");
        m_cursor = gotoLabel(label);
    } else if (command == "ILAUNCH") {
        long id = evalLongExpr(
            nextArgument(line, pos,
                         "The first argument to ILAUNCH should be the file index number of the "
                         "jvm file."),
            "");
        short seconds = evalShortExpr(
            nextArgument(line, pos,
                         "The second argument to ILAUNCH should be the number of seconds to "
                         "display the UI during the launch."),
            "");
        Launcher::ilaunch(id, seconds);
    } else if (command == "INITIALIZE_UI") {
        Launcher::initializeUI();
    } else if (command == "INSTALL_JVM") {
        const char* message = "The first argument to INSTALL_JVM should be a 0, 1 or 2.";
        long option = evalLongExpr(nextArgument(line, pos, message), "");
        if (option < 0 || option > 2) throwException(message);
        Launcher::installJVM(static_cast<InstallJVMOption>(option));
    } else if (command == "JMP0") {
        bool noCondition = false;
        SString condition = getTokenFromString(line, pos, noCondition);
        long value = evalLongExpr(condition, "");
        SString label =
            nextArgument(line, pos, "JMP0 requires a jump label as its second argument.");
        if (value == 0) m_cursor = gotoLabel(label);
    } else if (command == "LAUNCH") {
        SString path;
        evalStringExpr(line, pos, path, "Invalid jvm file name specified in LAUNCH.");
        short seconds = evalShortExpr(
            nextArgument(line, pos,
                         "The second argument to LAUNCH should be the number of seconds to "
                         "display the UI during the launch."),
            "");
        Launcher::launch(path, seconds);
    } else if (command == "SET") {
        executeSet(line, pos);
    } else if (command == "VERIFY") {
        bool show = evalBoolExpr(
            nextArgument(line, pos,
                         "The first argument to VERIFY should be a 1 if the UI should be "
                         "displayed or a 0 if the UI should be suppressed."),
            "");
        bool fail = evalBoolExpr(
            nextArgument(line, pos,
                         "The second argument to VERIFY should be a 1 if a find failure message "
                         "should be displayed in a UI or 0 if no message should be displayed."),
            "");
        long id = evalLongExpr(
            nextArgument(line, pos,
                         "The third argument to VERIFY should be the file index number of the jvm "
                         "file."),
            "");
        Launcher::verifyJVM(show, fail, id);
    } else if (command == "EXECUTE_LAUNCHER") {
        long position = evalLongExpr(
            nextArgument(line, pos,
                         "The first argument to EXECUTE_LAUNCHER should be the index of the "
                         "embedded launcher in the file index."),
            "");
        Launcher::executeEmbeddedLauncher(position);
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
        evalStringExpr(right, "Invalid expression specified for SET command");
        ref.setValue(right, "Invalid value specified for SET command");
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
