#include "platform/CmdLine.h"

#include "base/TextLines.h"

bool CmdLine::parse(const SString& command) {
    m_count = 0;
    size_t pos = command.find_first_not_of(whitespaceChars);
    while (pos != SString::npos && pos < command.size()) {
        SString out;
        getNextArg(command, pos, m_count == 0, out, pos);
        if (!out.empty()) {
            m_args.push_back(out);
            ++m_count;
        }
        pos =
            pos < command.size() ? command.find_first_not_of(whitespaceChars, pos) : SString::npos;
    }
    return true;
}

bool CmdLine::getNextArg(const SString& command, size_t start, bool literalBackslash, SString& out,
                         size_t& next) {
    out.clear();
    size_t i =
        start < command.size() ? command.find_first_not_of(whitespaceChars, start) : SString::npos;
    if (i == SString::npos) i = command.size();
    bool inQuotes = false;
    bool escapePending = false;
    bool done = false;
    if (i < command.size() && command[i] == '"') {
        inQuotes = true;
        ++i;
    }
    while (i != SString::npos && i < command.size() && !done) {
        char c = command[i];
        if (!literalBackslash && !escapePending && c == '\\') {
            escapePending = true;
        } else if (escapePending) {
            if (c != '"') out += '\\';
            out += c;
            escapePending = false;
        } else if (inQuotes) {
            if (c == '"') {
                ++i;
                done = true;
                break;
            }
            out += c;
        } else if (isWhitespace(c)) {
            done = true;
            break;
        } else if (c == '"') {
            SString piece;
            size_t after = i;
            getNextArg(command, i, literalBackslash, piece, after);
            i = after;
            if (i < command.size()) {
                --i;
            } else {
                done = true;
                i = SString::npos;
            }
            out += piece;
        } else {
            out += c;
        }
        if (!done) ++i;
    }
    next = i;
    return true;
}

const char* CmdLine::getOption(int i) const {
    if (i < 0 || i >= m_count) return nullptr;
    return m_args.at(i).c_str();
}
