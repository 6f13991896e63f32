#pragma once
// Terminal output of the status display. Catalogue texts are stored as UTF-8 and converted
// to the character set the user's LANG names when a message is made from them; what is
// printed is already in that set (titles, paths and values come in it) and goes out as is.

#include "base/SString.h"

// Prints `text` and a line feed when display output is on.
void writeLine(const SString& text);
void writeLine(const char* text);
// Prints `text` without a line feed and flushes, when display output is on.
void write(const char* text);
// Reads one line from standard input, without its line end and the blanks (spaces, tabs)
// before and after; empty at the end of input or for a blank line.
SString getLine();

// `text` (UTF-8) in the character set of the user's LANG; unchanged when no conversion
// is needed or the text cannot be converted.
SString toDisplayCodeset(const SString& text);
// Prints `text` and a line feed whatever the display switch says (messages, titles);
// `convert` treats `text` as UTF-8 to be shown in the user's character set.
void printLine(const SString& text, bool convert);
// Prints `text` and a line feed on standard error.
void printErrorLine(const SString& text);

// Display output switch, on at start.
bool displayOutputEnabled();
void setDisplayOutput(bool on);
