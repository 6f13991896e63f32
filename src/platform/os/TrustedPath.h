#pragma once
// The secure-path rule for programs the launcher runs and directories it writes below: a
// path is trusted when no one but root and the running user can change what it leads to.

#include "base/SString.h"

// Why `path` is not trusted; empty when it is. Every entry on the path, the symbolic links
// met on the way and the entries they lead to included, must be owned by root or by the
// running user. No directory on it may be writable by others than its owner unless it is
// sticky (a sticky directory such as /tmp keeps others from replacing what they do not own);
// a final entry that is no directory may not be writable by others at all. A relative path
// is taken from the current directory, which is checked too.
SString untrustedPathReason(const SString& path);

// Whether `text` holds a line feed or a carriage return, which no path the launcher writes
// into a descriptor or prints as a result line may hold.
bool holdsLineBreak(const SString& text);

// `text` with line feeds, carriage returns and NULs shown as \n, \r and \0, for one-line
// messages.
SString showLineBreaks(const SString& text);
