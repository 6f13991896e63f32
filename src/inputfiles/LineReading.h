#pragma once
// The line reader of tag files and of the runtime files beside the launcher.

#include <cstdio>

#include "base/SString.h"

// Appends the next line of `stream` to `line`, without its line feed and carriage returns
// and trimmed of white space; false when the stream was already at its end. A read error
// throws LauncherException "Unable to read tag file." instead of looking like more input.
bool readInputLine(FILE* stream, SString& line);
