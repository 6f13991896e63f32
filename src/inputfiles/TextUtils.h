#pragma once
// Free text helpers shared by every part of the launcher: trimming, line reading,
// argument and token parsing, number formatting and title escapes.

#include <cstdio>
#include <memory>

#include "inputfiles/SString.h"

// Blank, tab, line feed and carriage return, the launcher's trimming set.
extern const char* whitespaceChars;

// Removes trailing then leading characters that occur in `characters`.
void trim(SString& text, const char* characters);
// Appends "/" unless `path` is empty or already ends with it.
void appendPathSeparator(SString& path);
// Appends the next line (up to a line feed, carriage returns dropped) and trims the result.
// Returns false when the stream was already at its end and nothing was read.
bool readLineFromStream(FILE* stream, SString& line);
// Same as readLineFromStream over `text` from `position`; advances `position` past the line.
void readLineFromString(const SString& text, size_t& position, SString& line);
// Position where `suffix` starts when `text` ends with it, else SString::npos.
size_t stringEndsWith(const SString& text, const char* suffix);
// True for blank, tab, line feed and carriage return only.
bool isWhitespace(char c);
// Parses a quoted string (position just after the opening quote; "" stands for ") or an
// unquoted word. Advances `position` (npos at the end). Throws LauncherException on a
// missing closing quote.
SString parseStringArgument(const SString& text, size_t& position, bool quoted);
// The next word separated by C-locale white space; sets `noToken` when none is left.
SString getTokenFromString(const SString& text, size_t& position, bool& noToken);
// Decimal text of `value`, as "%ld" writes it.
SString convertToString(long value);
// Wide-character copy of `text` with \uXXXX escapes resolved; other bytes are decoded in
// the current locale (falling back to the byte value).
std::unique_ptr<wchar_t[]> convertToUnicode(const SString& text);
// Removes one leading and one trailing double quote, each end on its own.
void stripQuotes(SString& text);
// `text` with a backslash before each double quote, dollar sign, backquote and backslash,
// so it keeps its bytes inside a double-quoted shell word.
SString escapeForShellQuotes(const SString& text);
// "context" followed by the system's text for `errorNumber`.
SString systemErrorText(const SString& context, int errorNumber);
