#pragma once
// The line reader of tag files and of the runtime files beside the launcher.

#include <cstdio>

#include "base/SString.h"

// The most a tag file, an input file or a runtime file may hold.
constexpr long long kMaxInputFileBytes = 64LL << 20;

// Appends the next line of `stream` to `line`, without its line feed and carriage returns
// and trimmed of white space; false when the stream was already at its end. `bytesRead`
// counts the bytes of the file read so far. Throws LauncherException "Unable to read tag
// file." at a read error, and "NAME is larger than 64 MiB, the limit for tag files." once
// the file goes past kMaxInputFileBytes; TerminationRequest once an interruption arrives.
bool readInputLine(FILE* stream, SString& line, long long& bytesRead, const SString& name);
