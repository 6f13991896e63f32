#include "platform/shell/OptionWords.h"

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

// The bytes a backslash escapes inside double quotes.
bool escapedInDoubleQuotes(char c) {
    return c == '"' || c == '$' || c == '`' || c == '\\' || c == '\n';
}

}  // namespace

bool splitOptionWords(const SString& text, std::vector<SString>& words) {
    words.clear();
    SString word;
    bool inWord = false;
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const char c = text[i++];
        if (isBlank(c)) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else if (c == '\'') {
            const size_t close = text.find('\'', i);
            if (close == SString::npos) {
                words.clear();
                return false;
            }
            word.append(text, i, close - i);
            i = close + 1;
            inWord = true;
        } else if (c == '"') {
            bool closed = false;
            while (i < n) {
                const char d = text[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d == '\\' && i < n && escapedInDoubleQuotes(text[i])) {
                    if (text[i] != '\n') word += text[i];
                    ++i;
                } else {
                    word += d;
                }
            }
            if (!closed) {
                words.clear();
                return false;
            }
            inWord = true;
        } else if (c == '\\' && i < n) {
            // The byte after the backslash is taken as it is; a line feed there joins lines.
            if (text[i] != '\n') {
                word += text[i];
                inWord = true;
            }
            ++i;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return true;
}
