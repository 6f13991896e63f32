#pragma once
// A strict reader of the ustar archives in which bundles carry a Java runtime, read in
// place from a byte range of an open file. Only regular files and directories whose names
// stay below the archive's root are taken; anything else (links, devices, extended headers,
// a damaged or cut-short archive) is refused rather than skipped, so that what is installed
// is exactly what the archive holds.

#include "base/SString.h"

// One member of the archive.
struct UstarEntry {
    SString name;  // a relative path: components joined by "/", no trailing "/"
    bool isDirectory = false;
    unsigned mode = 0;     // the permission bits as archived (07777)
    long long offset = 0;  // where a file's bytes start in the open file
    long long size = 0;    // a file's length; 0 for a directory
};

class UstarReader {
public:
    // The archive of `length` bytes at `offset` of the open file `fd`, which stays the
    // caller's. Throws LauncherException for a range that cannot be one.
    UstarReader(int fd, long long offset, long long length);

    // The next member in `entry`; false at the archive's end (two zero blocks), and on every
    // call after it; what follows the end is not read. Throws
    // LauncherException naming the member, or the byte of the archive where its header
    // starts, and why when the archive cannot be read, is damaged or cut short, or holds a
    // member that is refused; `entry` is unspecified then and nothing more is read.
    bool next(UstarEntry& entry);

private:
    // Reads the 512-byte block at `position`; throws when it is not all there.
    void readBlock(long long position, char* block) const;

    int m_fd;
    long long m_offset;
    long long m_length;
    long long m_position = 0;  // of the next header, from the archive's start
    bool m_failed = false;
    bool m_ended = false;
};

// Why `name` may not be a member's path: absolute, with an empty, "." or ".." component, or
// holding a NUL; empty when it may.
SString ustarNameProblem(const SString& name);

// The bytes of the first file member `name` of the archive (see UstarReader) in `content`;
// false when no member before the archive's end is that file. Throws what
// UstarReader::next throws, and LauncherException when the member is larger than `limit`
// bytes or cannot be read whole.
bool readUstarMember(int fd, long long offset, long long length, const SString& name, size_t limit,
                     SString& content);
