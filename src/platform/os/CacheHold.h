#pragma once
// Holds on entries of the per-user cache that a run uses, such as an installed runtime: a
// run holds a shared lock on the entry, and the cache's upkeep removes an entry only under
// an exclusive lock, which it does not wait for. The kernel drops a hold however its holders
// end, so nothing is kept for a run that is gone.

#include "base/SString.h"
#include "base/UniqueFd.h"

class HeldDirectory;

// Holds `entry` for the rest of the run: the lock sits on a descriptor that the programs the
// run starts or is replaced by inherit, so the entry stays held while any of them lives.
// Waits while an upkeep is removing it, 10 seconds at most (callers check afterwards that
// it is still in place). False (errno set) when it cannot be locked.
bool holdCacheEntry(const HeldDirectory& entry);
// Drops every hold of this process (the programs it started keep theirs).
void releaseCacheHolds();

// Locks the cache entry `path` (a file or a directory, not followed when a link) for its
// removal: false when a live run holds it. True otherwise, with `lock` holding the lock
// until it is closed, or empty when the entry cannot be opened at all.
bool lockForRemoval(const SString& path, UniqueFd& lock);
