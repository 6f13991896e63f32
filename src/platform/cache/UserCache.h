#pragma once
// The per-user cache: one private directory that keeps what later runs can reuse (answers
// of verified JVMs, archives extracted from bundles, class-data archives). It is used only
// when it is safe: owned by the user, closed to group and others, and reached through
// nothing that someone else controls. Every write goes to a temporary name and is renamed
// into place, so concurrent runs see whole entries or none. Nothing about the cache ever
// fails a run: when it cannot be used or written, the run goes on without it.
//
// Entries live in kinds (sub-directories); an entry is a file or a directory whose
// modification time records its last use, which the upkeep uses for expiry and eviction.

#include <cstdint>

#include "base/RunState.h"
#include "base/SString.h"
#include "base/UniqueFd.h"
#include "platform/os/PrivateFiles.h"

class UserCache {
public:
    // The cache directory for this run, opened and checked on first use; empty when the
    // cache is off or not usable (the reason is logged once, as a warning when unsafe).
    static const SString& directory();
    static bool available() { return !directory().empty(); }

    // The text of the file entry `kind`/`name`; false when it is missing or unreadable.
    // A read marks the entry as used.
    static bool readEntry(const char* kind, const SString& name, SString& content);
    // Replaces the file entry `kind`/`name` by `content` as a whole; false when it could
    // not be written (the cache stays as it was).
    static bool writeEntry(const char* kind, const SString& name, const SString& content);
    // The directory entry `kind`/`name`, made when missing and marked as used; empty when
    // the cache is unavailable or it cannot be made.
    static SString entryDirectory(const char* kind, const SString& name);
    // The text of the plain file `path` in the cache (not through a link, at most 1 MiB);
    // false when it is missing or unreadable.
    static bool readFile(const SString& path, SString& content);
    // Makes the directory `path` in the cache (mode 0700) unless it is there; false when
    // it cannot be made or something else stands there.
    static bool makeDirectory(const SString& path);
    // Marks `path` (an entry) as used now.
    static void markUsed(const SString& path);
    // Removes the entry at `path` (a file, or a directory with its files): renamed away
    // first, so other runs never see it half removed. False, and nothing removed, when a
    // live run holds it (see CacheHold.h) or it cannot be renamed.
    static bool removeEntry(const SString& path);
    // Whether `path` is a plain file of `size` bytes that belongs to this user (not a link).
    static bool isOwnFile(const SString& path, long size);
    // A name for this run's own temporary files: `prefix` followed by the process id.
    static SString runName(const SString& prefix);
    // Renames `from` to `to`, replacing it; false when that fails.
    static bool moveFile(const SString& from, const SString& to);
    // Removes the file `path` when it is there; nothing is logged.
    static void discardFile(const SString& path);

    // Records that `bytes` were added, for the size bound that upkeep enforces.
    static void noteWritten(uint64_t bytes) { s_written = s_written + bytes; }
    // At the end of a run: removes entries unused for 30 days and, while the cache is larger
    // than its bound (QNLAUNCH_CACHE_SIZE, 1 GiB by default), the least recently used ones;
    // entries that a live run holds stay. Runs when this run wrote to the cache, or when the
    // last upkeep is a day old.
    static void upkeep();

private:
    static RunState<bool> s_opened;
    static RunState<SString> s_directory;
    static RunState<uint64_t> s_written;
    // When this run opened the cache; what it used since then is not evicted.
    static RunState<long> s_runStart;
};

// The bound of the cache in bytes: QNLAUNCH_CACHE_SIZE (a number with an optional K, M or
// G suffix), else 1 GiB.
uint64_t cacheSizeBound();
