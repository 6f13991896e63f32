#include "platform/display/Console.h"

#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/RunState.h"
#include "platform/PlatformImpl.h"
#include "platform/display/MessageCatalogue.h"

namespace {
// The display's output is on unless switched off; a new run starts with it on.
RunState<bool> g_outputDisabled;
}  // namespace

bool displayOutputEnabled() {
    return !g_outputDisabled;
}

void setDisplayOutput(bool on) {
    g_outputDisabled = !on;
}

// The codeset LANG names (between "." and "@"), else the customary one of the language;
// empty when no conversion applies (no LANG, C, POSIX, or already UTF-8).
static SString displayCodeset() {
    const SString setting = PlatformImpl::getEnvironmentVariable("LANG");
    const char* lang = setting.empty() ? nullptr : setting.c_str();
    if (!lang || !*lang || strcmp(lang, "C") == 0 || strcmp(lang, "POSIX") == 0) return SString();
    SString value = lang;
    SString codeset;
    size_t dot = value.find('.');
    if (dot != SString::npos) {
        codeset = value.substr(dot + 1);
        codeset = codeset.substr(0, codeset.find('@'));
    }
    if (codeset.empty()) codeset = customaryCodeset(PlatformImpl::get_locale());
    SString folded;
    for (char c : codeset) {
        if (c != '-' && c != '_')
            folded += static_cast<char>(toupper(static_cast<unsigned char>(c)));
    }
    if (folded == "UTF8") return SString();
    return codeset;
}

static bool isAscii(const SString& text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

SString toDisplayCodeset(const SString& text) {
    if (isAscii(text)) return text;
    SString codeset = displayCodeset();
    if (codeset.empty()) return text;
    iconv_t cd = iconv_open(codeset.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return text;
    std::vector<char> out(text.size() * 4 + 16);
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    if (rc != static_cast<size_t>(-1)) rc = iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || inLeft != 0) return text;
    return SString(out.data(), static_cast<size_t>(outPtr - out.data()));
}

void printLine(const SString& text, bool convert) {
    SString shown = convert ? toDisplayCodeset(text) : text;
    shown += '\n';
    fwrite(shown.data(), 1, shown.size(), stdout);
    fflush(stdout);
}

void printErrorLine(const SString& text) {
    SString shown = text + '\n';
    fwrite(shown.data(), 1, shown.size(), stderr);
    fflush(stderr);
}

void writeLine(const SString& text) {
    if (!g_outputDisabled) printLine(text, false);
}

void writeLine(const char* text) {
    writeLine(SString(text));
}

void write(const char* text) {
    if (g_outputDisabled) return;
    fwrite(text, 1, strlen(text), stdout);
    fflush(stdout);
}

SString getLine() {
    // One typed line whole (a path may hold blanks), without its line end and the blanks
    // around it. Past kMaxLine bytes the rest of the line is read and dropped: such a line
    // cannot be a usable path, and what is kept stays too long to be taken for one.
    const size_t kMaxLine = 4097;
    SString line;
    int c;
    while ((c = getchar()) != EOF && c != '\n') {
        if (line.size() < kMaxLine) line += static_cast<char>(c);
    }
    PlatformImpl::checkInterrupted();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t first = line.find_first_not_of(" \t");
    if (first == SString::npos) return SString();
    return line.substr(first, line.find_last_not_of(" \t") - first + 1);
}
