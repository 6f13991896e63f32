#pragma once
// Trimming and line reading: the launcher's white space, and lines out of streams and texts.

#include <cstdio>

#include "base/SString.h"

// Blank, tab, line feed and carriage return, the launcher's trimming set.
extern const char* whitespaceChars;

// Removes trailing then leading characters that occur in `characters`.
void trim(SString& text, const char* characters);
// True for blank, tab, line feed and carriage return only.
bool isWhitespace(char c);
// Appends the next line (up to a line feed, carriage returns dropped) and trims the result.
// Returns false when the stream was already at its end and nothing was read.
bool readLineFromStream(FILE* stream, SString& line);
// Same as readLineFromStream over `text` from `position`; advances `position` past the line.
void readLineFromString(const SString& text, size_t& position, SString& line);
// Position where `suffix` starts when `text` ends with it, else SString::npos.
size_t stringEndsWith(const SString& text, const char* suffix);
// Removes one leading and one trailing double quote, each end on its own.
void stripQuotes(SString& text);
