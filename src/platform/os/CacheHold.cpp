#include "platform/os/CacheHold.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <vector>

#include "base/RunState.h"
#include "platform/os/FileLock.h"
#include "platform/os/HeldDirectory.h"

namespace {

// How long a hold waits for a removal in progress.
constexpr int kRemovalWaitSeconds = 10;

RunState<std::vector<UniqueFd>> g_holds;

}  // namespace

bool holdCacheEntry(const HeldDirectory& entry) {
    UniqueFd hold = entry.duplicate(false);
    if (!hold) return false;
    // A removal holds its lock for as long as it takes to rename the entry and delete it; a
    // lock held far longer is no removal of ours, and waiting on it would hang the run.
    if (!waitForFlock(hold.get(), LOCK_SH, kRemovalWaitSeconds)) return false;
    g_holds->push_back(std::move(hold));
    return true;
}

void releaseCacheHolds() {
    g_holds->clear();
}

bool lockForRemoval(const SString& path, UniqueFd& lock) {
    lock.reset(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!lock || flock(lock.get(), LOCK_EX | LOCK_NB) == 0) return true;
    const bool held = errno == EWOULDBLOCK;
    lock.reset(-1);
    return !held;
}
