#pragma once
// Embedded archives extracted once into the user's cache and used from there by every later
// run of the same bundle. A group of entries (the class-path archives, the application
// archive, the verifier) shares one directory, keyed by the bundle file's identity (device,
// inode, size, modification time) and each entry's offset, length and name, so the
// archives of a rebuilt bundle land in a new directory and the old one ages out. Files are
// written under a temporary name, renamed into place and left read-only.

#include <vector>

#include "base/SString.h"

class FileIndexEntry;

class ExtractedArchives {
public:
    // Makes the directory of the group `entries` of the running bundle ready in the cache;
    // none when the cache cannot hold it.
    explicit ExtractedArchives(const std::vector<const FileIndexEntry*>& entries);

    bool available() const { return !m_directory.empty(); }
    // The cached copy of `entry` (one of the group), extracted now when it is missing, cut
    // short or not a plain file; empty when it cannot be written. Throws what extraction
    // throws for a cancellation or an unreadable launcher.
    SString path(const FileIndexEntry& entry) const;

    // The cached copy of `entry` when there can be one, else `entry` extracted into the
    // temporary directory `fallback`, which is made first when empty; the file's path.
    SString extract(const FileIndexEntry& entry, SString& fallback) const;

private:
    SString m_directory;
};
