#pragma once
// Embedded archives extracted once into the user's cache and used from there by every later
// run that embeds the same bytes. A group of entries (the class-path archives, the
// application archive, the verifier) shares one directory, keyed by the entries' content
// digests and names as the bundle records them, so a rebuilt or replaced bundle never runs
// an old copy; a bundle that records no digests keys its copies by its file's whole
// identity, change time included. Each copy's own identity (inode, size, change time) is
// recorded when it is written, and a copy changed since is written again. Files are written
// under a temporary name, renamed into place and left read-only. A cache whose path holds a
// colon keeps no archives: a Java class path could not name them.

#include <vector>

#include "base/SString.h"

class Bundle;
class FileIndexEntry;

class ExtractedArchives {
public:
    // Makes the directory of the group `entries` of `bundle` ready in the cache; none when
    // the cache cannot hold it. `bundle` must outlive the object.
    ExtractedArchives(const Bundle& bundle, const std::vector<const FileIndexEntry*>& entries);

    bool available() const { return !m_directory.empty(); }
    // The cached copy of `entry` (one of the group), extracted now when it is missing, cut
    // short, changed since it was written or not a plain file; empty when it cannot be
    // written. Throws what extraction throws for a cancellation or an unreadable launcher.
    SString path(const FileIndexEntry& entry) const;

    // The cached copy of `entry` when there can be one, else `entry` extracted into the
    // temporary directory `fallback`, which is made first when empty; the file's path.
    SString extract(const FileIndexEntry& entry, SString& fallback) const;

private:
    const Bundle& m_bundle;
    SString m_directory;
};
