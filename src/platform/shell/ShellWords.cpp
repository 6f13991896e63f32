#include "platform/shell/ShellWords.h"

#include <cstring>

namespace {

// Characters that stand for themselves outside quotes; any other means shell syntax.
bool isPlain(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           strchr("_-./,:+@%^=", c) != nullptr;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

bool splitSimpleCommand(const SString& command, std::vector<SString>& words) {
    words.clear();
    const size_t n = command.size();
    size_t i = 0;
    while (i < n) {
        while (i < n && isBlank(command[i])) ++i;
        if (i >= n) break;
        SString word;
        while (i < n && !isBlank(command[i])) {
            const char c = command[i];
            if (c == '"') {
                // Inside double quotes only \" \$ \` \\ are escapes; $ and ` expand.
                for (++i; i < n && command[i] != '"'; ++i) {
                    char d = command[i];
                    if (d == '$' || d == '`') return false;
                    if (d == '\\' && i + 1 < n && strchr("\"$`\\\n", command[i + 1])) {
                        d = command[++i];
                        if (d == '\n') return false;
                    }
                    word += d;
                }
                if (i >= n) return false;
                ++i;
            } else if (c == '\'') {
                size_t close = command.find('\'', i + 1);
                if (close == SString::npos) return false;
                word.append(command, i + 1, close - i - 1);
                i = close + 1;
            } else if (c == '\\') {
                // Outside quotes a backslash keeps the next character as it is, which is how
                // a single quote joins single-quoted text ('it'\''s'); a line continuation or
                // a backslash at the end is left to the shell.
                if (i + 1 >= n || command[i + 1] == '\n') return false;
                word += command[i + 1];
                i += 2;
            } else if (isPlain(c) && !(c == '=' && words.empty())) {
                // An "=" in the first word would make an assignment.
                word += c;
                ++i;
            } else {
                return false;
            }
        }
        words.push_back(word);
    }
    // A bare program name could be a shell builtin or keyword; a path is neither.
    return !words.empty() && words[0].find('/') != SString::npos;
}

SString escapeForShellQuotes(const SString& text) {
    SString result;
    result.reserve(text.size());
    for (char c : text) {
        if (c == '"' || c == '$' || c == '`' || c == '\\') result += '\\';
        result += c;
    }
    return result;
}
