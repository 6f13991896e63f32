// The upkeep of the per-user cache: expiry of entries unused for 30 days, the size bound
// with least-recently-used eviction, and the removal of what interrupted runs left.

#include <algorithm>
#include <ctime>
#include <vector>

#include "platform/cache/UserCache.h"
#include "platform/os/DeleteFullDir.h"
#include "platform/os/FileIdentity.h"
#include "platform/os/PrivateFiles.h"

namespace {

constexpr time_t kDay = 24 * 60 * 60;
constexpr time_t kExpiry = 30 * kDay;

struct Entry {
    SString path;
    time_t used;
    uint64_t size;
};

// Bytes taken by `path`: a file's size, or the sizes of everything below a directory.
uint64_t treeSize(const SString& path, const FileFacts& info) {
    if (!info.isDirectory) return info.size;
    uint64_t total = 0;
    forEachEntry(path, [&](const SString&, const SString& child, const FileFacts& childInfo) {
        total += treeSize(child, childInfo);
    });
    return total;
}

bool upkeepDue(const SString& stamp, bool wrote, time_t now) {
    FileFacts info;
    if (!wrote && fileFacts(stamp, true, info) && now - info.mtime < kDay) return false;
    touchFile(stamp);
    return true;
}

}  // namespace

void UserCache::upkeep() {
    if (!s_opened || s_directory->empty()) return;
    const time_t now = time(nullptr);
    if (!upkeepDue(s_directory.get() + "/.upkeep", s_written > 0, now)) return;

    std::vector<Entry> entries;
    uint64_t total = 0;
    forEachEntry(s_directory.get(),
                 [&](const SString& kind, const SString& kindPath, const FileFacts& kindInfo) {
                     if (kind[0] == '.' || !kindInfo.isDirectory) return;
                     forEachEntry(kindPath, [&](const SString& name, const SString& path,
                                                const FileFacts& info) {
                         if (name[0] == '.') {
                             // Left by a run that ended before it could rename or remove it.
                             if (now - info.mtime > kDay) DeleteFullDir().process(path);
                         } else if (now - info.mtime <= kExpiry || !removeEntry(path)) {
                             // In use, or expired but held by a live run.
                             entries.push_back(Entry{path, info.mtime, treeSize(path, info)});
                             total += entries.back().size;
                         }
                     });
                 });
    const uint64_t bound = cacheSizeBound();
    if (total <= bound) return;
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.used < b.used; });
    for (const Entry& entry : entries) {
        if (total <= bound) break;
        // What this run uses stays, even when it alone is larger than the bound; so does
        // what a live run holds.
        if (entry.used >= s_runStart) continue;
        if (removeEntry(entry.path)) total -= entry.size;
    }
}
