#include "inputfiles/ExtractedArchives.h"

#include "base/Digest.h"
#include "base/LauncherContext.h"
#include "base/Log.h"
#include "base/Numbers.h"
#include "inputfiles/FileIndexEntry.h"
#include "platform/FileIdentity.h"
#include "platform/PlatformImpl.h"
#include "platform/UserCache.h"

namespace {

constexpr const char* kKind = "archives";

// Whether `path` is the whole extracted copy of `entry`: a plain file of its length that
// belongs to this user.
bool isComplete(const SString& path, const FileIndexEntry& entry) {
    return UserCache::isOwnFile(path, entry.m_length);
}

}  // namespace

ExtractedArchives::ExtractedArchives(const std::vector<const FileIndexEntry*>& entries) {
    if (entries.empty() || !UserCache::available()) return;
    const SString bundle = LauncherContext::launcherFileName();
    const SString identity = fileIdentity(bundle, false);
    if (identity == "-") return;
    SString key = PlatformImpl::resolvePath(bundle) + "\n" + identity;
    for (const FileIndexEntry* entry : entries) {
        key += "\n" + convertToString(entry->m_type) + ":" + convertToString(entry->m_offset) +
               ":" + convertToString(entry->m_length) + ":" + entry->m_name;
    }
    m_directory = UserCache::entryDirectory(kKind, digestName(key));
}

SString ExtractedArchives::path(const FileIndexEntry& entry) const {
    if (m_directory.empty()) return SString();
    entry.checkExtractable();
    const SString target = m_directory + "/" + entry.m_name;
    if (isComplete(target, entry)) return target;
    CacheFile file(m_directory);
    if (!file.valid()) return SString();
    if (entry.copyTo(file.fd()) != 0 || !isComplete(file.temporaryPath(), entry) ||
        !file.commit(entry.m_name, 0400)) {
        logMessage(
            "Could not keep " + entry.m_name + " in the cache; it is extracted for this run.",
            LOG_INFO);
        return SString();
    }
    UserCache::noteWritten(static_cast<uint64_t>(entry.m_length));
    return target;
}

SString ExtractedArchives::extract(const FileIndexEntry& entry, SString& fallback) const {
    SString cached = path(entry);
    if (!cached.empty()) return cached;
    if (fallback.empty()) fallback = PlatformImpl::createTempSubDirectory();
    return entry.extract(fallback);
}
