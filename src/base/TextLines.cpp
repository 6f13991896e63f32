#include "base/TextLines.h"

#include <cstring>

const char* whitespaceChars = " \t\n\r";

void trim(SString& text, const char* characters) {
    size_t last = text.find_last_not_of(characters);
    if (last == SString::npos) {
        text.clear();
        return;
    }
    text.erase(last + 1);
    text.erase(0, text.find_first_not_of(characters));
}

bool isWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool readLineFromStream(FILE* stream, SString& line) {
    int c = getc(stream);
    bool readAny = c != EOF;
    while (c != EOF && c != '\n') {
        if (c != '\r') line += static_cast<char>(c);
        c = getc(stream);
    }
    trim(line, whitespaceChars);
    return readAny;
}

void readLineFromString(const SString& text, size_t& position, SString& line) {
    if (position >= text.size()) return;
    size_t i = position;
    for (; i < text.size() && text[i] != '\n'; ++i) {
        if (text[i] != '\r') line += text[i];
    }
    position = i + 1;
    trim(line, whitespaceChars);
}

size_t stringEndsWith(const SString& text, const char* suffix) {
    size_t n = strlen(suffix);
    if (n > text.size()) return SString::npos;
    size_t at = text.size() - n;
    return text.compare(at, n, suffix) == 0 ? at : SString::npos;
}

void stripQuotes(SString& text) {
    if (text.empty()) return;
    if (text[0] == '"') text.erase(0, 1);
    if (!text.empty() && text.back() == '"') text.erase(text.size() - 1);
}
