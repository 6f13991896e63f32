#include "inputfiles/TextUtils.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "launcher/LauncherException.h"
#include "platform/PlatformImpl.h"

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

void appendPathSeparator(SString& path) {
    const char* separator = PlatformImpl::getPathSeparator();
    if (!path.empty() && stringEndsWith(path, separator) == SString::npos) path += separator;
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

bool isWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

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

SString convertToString(long value) {
    char buffer[32];
    snprintf(buffer, sizeof buffer, "%ld", value);
    return buffer;
}

static int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::unique_ptr<wchar_t[]> convertToUnicode(const SString& text) {
    std::unique_ptr<wchar_t[]> result(new wchar_t[text.size() + 1]());
    size_t out = 0;
    std::mbstate_t state{};
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '\\' && i + 5 < text.size() && (text[i + 1] == 'u' || text[i + 1] == 'U')) {
            // Leading hexadecimal digits of the four, at least one, as "%x" scans them.
            unsigned value = 0;
            int digits = 0;
            while (digits < 4 && hexValue(text[i + 2 + digits]) >= 0) {
                value = value * 16 + static_cast<unsigned>(hexValue(text[i + 2 + digits]));
                ++digits;
            }
            if (digits > 0) {
                result[out++] = static_cast<wchar_t>(value);
                i += 6;
                continue;
            }
        }
        unsigned char byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x80) {
            wchar_t wc = 0;
            size_t n = mbrtowc(&wc, text.data() + i, text.size() - i, &state);
            if (n != static_cast<size_t>(-1) && n != static_cast<size_t>(-2) && n > 0) {
                result[out++] = wc;
                i += n;
                continue;
            }
            state = std::mbstate_t{};
        }
        result[out++] = static_cast<wchar_t>(byte);
        ++i;
    }
    return result;
}

void stripQuotes(SString& text) {
    if (text.empty()) return;
    if (text[0] == '"') text.erase(0, 1);
    if (!text.empty() && text.back() == '"') text.erase(text.size() - 1);
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

SString systemErrorText(const SString& context, int errorNumber) {
    return context + strerror(errorNumber);
}
