#pragma once
// What the JVM says about a class-data archive, kept off the terminal and read back: the
// options that silence its archive messages and log them to a file instead, and the
// reading of that file and of the JVM's end for a refused or unusable archive.

#include "base/SString.h"

// The options, first on the command, that keep the JVM's archive messages (tags cds,
// cds+dynamic, class+path, and aot from release 25 on) off the terminal and, when
// `logPath` is not empty, log them at info level to that file, rewritten, never rotated.
// No "*" in them, so the command needs no shell. Other warnings still reach the terminal.
SString archiveLogOptions(int release, const SString& logPath);

// Whether the JVM's log `text` holds a refusal of the archive it was given (another JVM's,
// damaged, cut short, made for other jars or options).
bool logShowsRefusal(const SString& text);
// Whether the log shows the archive opened and nothing refused: the archive works.
bool logShowsArchiveInUse(const SString& text);
// Whether a JVM that ended with the raw wait status `status` crashed, as a damaged
// archive makes it: exit status 134, or death by SIGSEGV, SIGBUS or SIGABRT.
bool endedByCrash(int status);
