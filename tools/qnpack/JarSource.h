#pragma once
// Opens the files the packer takes from outside (the main jar, the jars a Class-Path or
// --class-path names) so that none can make it read without end, fill its memory or
// wait: only a regular file is taken, never a device, FIFO, socket or directory, nothing
// under /proc or /sys, and nothing past the bundle's 2 GiB limit. Reads are positioned
// reads of bounded length.

#include <memory>

#include "base/SString.h"
#include "qnpack/JarFile.h"

// The largest file a bundle can embed: its index holds 31-bit offsets.
constexpr unsigned long long kMaxInputSize = 0x7FFFFFFF;

struct JarSourceOpening {
    enum Status { Open, Missing, Refused };
    Status status = Refused;
    std::unique_ptr<ByteSource> source;  // the open file, when Open
    // Why it is not open, to follow the path in a message: "is a FIFO, not a jar",
    // "cannot be read: Permission denied", "cannot be read: No such file or directory".
    SString why;
};

// Opens the file at `path` for bounded reads. Missing: nothing is there (no such file, or
// a component is no directory); Refused: something is there that is not taken, `why`
// says what.
JarSourceOpening openJarSource(const SString& path);
