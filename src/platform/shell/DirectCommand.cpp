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

namespace {

// The first word of `command`, unquoted characters only; empty when it starts with a quote.
SString firstPlainWord(const SString& command) {
    const size_t start = command.find_first_not_of(" \t");
    if (start == SString::npos) return SString();
    const size_t end = command.find_first_of(" \t", start);
    return command.substr(start, end == SString::npos ? SString::npos : end - start);
}

// Whether `command` holds, outside quotes, a character that joins or groups commands.
bool holdsCommandSeparator(const SString& command) {
    char quote = 0;
    for (size_t i = 0; i < command.size(); ++i) {
        const char c = command[i];
        if (quote == '\'') {
            if (c == '\'') quote = 0;
        } else if (quote == '"') {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                quote = 0;
            } else if (c == '`' || (c == '$' && i + 1 < command.size() && command[i + 1] == '(')) {
                return true;  // a command inside the word
            }
        } else if (c == '\\') {
            ++i;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (SString(";&|\n\r(){}`").find(c) != SString::npos) {
            return true;
        }
    }
    return quote != 0;
}

}  // namespace

SString commandForShell(const SString& command) {
    const SString first = firstPlainWord(command);
    if (first.empty() || holdsCommandSeparator(command)) return command;
    const bool quotedProgram = first[0] == '"' || first[0] == '\'';
    if (!quotedProgram) {
        if (first.find('=') != SString::npos || isShellName(first)) return command;
    }
    return "exec " + command.substr(command.find_first_not_of(" \t"));
}
