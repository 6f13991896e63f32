#include "base/ArgumentParsing.h"

#include "base/LauncherException.h"
#include "base/Numbers.h"
#include "base/TextLines.h"

SString parseStringArgument(const SString& text, size_t& position, bool quoted) {
    SString result;
    if (!quoted) {
        size_t end =
            position < text.size() ? text.find_first_of(whitespaceChars, position) : SString::npos;
        if (end == SString::npos) {
            if (position < text.size()) result = text.substr(position);
            position = SString::npos;
        } else {
            result = text.substr(position, end - position);
            position = end;
        }
        return result;
    }
    for (;;) {
        size_t quote = position < text.size() ? text.find('"', position) : SString::npos;
        if (quote == SString::npos) break;
        if (quote + 1 == text.size() || text[quote + 1] != '"') {
            result.append(text, position, quote - position);
            position = quote + 1;
            if (position >= text.size()) position = SString::npos;
            return result;
        }
        if (quote + 2 == text.size()) {
            position = SString::npos;
            break;
        }
        result.append(text, position, quote + 1 - position);
        position = quote + 2;
    }
    throw LauncherException("Expected double quote to end argument near " +
                            convertToString(static_cast<long>(position)));
}

static bool isCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

SString getTokenFromString(const SString& text, size_t& position, bool& noToken) {
    while (position < text.size() && isCSpace(text[position])) ++position;
    if (position >= text.size()) {
        position = text.size();
        noToken = true;
        return SString();
    }
    size_t start = position;
    while (position < text.size() && !isCSpace(text[position])) ++position;
    SString token = text.substr(start, position - start);
    ++position;  // one past the character that ended the token (or past the end)
    noToken = false;
    return token;
}
