#include "platform/shell/DirectCommand.h"

#include <cstring>

#include "platform/shell/ShellWords.h"

namespace {

// Names the shell takes as its own before it looks in PATH: reserved words and the built-in
// commands of POSIX shells (some of which also exist as programs that behave differently).
bool isShellName(const SString& name) {
    static const char* const kNames[] = {
        "!",       "{",        "}",      "[[",      "]]",     "case",     "do",       "done",
        "elif",    "else",     "esac",   "fi",      "for",    "function", "if",       "in",
        "select",  "then",     "time",   "until",   "while",  ".",        ":",        "[",
        "alias",   "bg",       "break",  "builtin", "cd",     "command",  "continue", "declare",
        "echo",    "eval",     "exec",   "exit",    "export", "false",    "fc",       "fg",
        "getopts", "hash",     "jobs",   "kill",    "let",    "local",    "printf",   "pwd",
        "read",    "readonly", "return", "set",     "shift",  "source",   "test",     "times",
        "trap",    "true",     "type",   "typeset", "ulimit", "umask",    "unalias",  "unset",
        "wait"};
    for (const char* shellName : kNames) {
        if (name == shellName) return true;
    }
    return false;
}

}  // namespace

bool splitForDirectStart(const SString& command, std::vector<SString>& words) {
    if (splitSimpleCommand(command, words)) return true;
    // The splitter takes only paths as programs: put one in front of the first word, so it
    // is split as the shell splits it (an "=" in it still means an assignment), and take it
    // away again.
    const size_t start = command.find_first_not_of(" \t");
    if (start == SString::npos) return false;
    SString asPath = command;
    asPath.insert(start, "./");
    if (!splitSimpleCommand(asPath, words)) return false;
    words[0].erase(0, 2);
    // `exec program ...` runs the program in the shell's place: the same as starting it.
    if (words[0] == "exec" && words.size() > 1 && words[1].compare(0, 1, "-") != 0) {
        words.erase(words.begin());
    }
    if (words[0].empty()) return false;
    if (words[0].find('/') == SString::npos && isShellName(words[0])) return false;
    return true;
}
