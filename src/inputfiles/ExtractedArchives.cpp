#include "inputfiles/ExtractedArchives.h"

#include "base/Digest.h"
#include "base/Numbers.h"
#include "base/Paths.h"
#include "base/Sha256.h"
#include "inputfiles/Bundle.h"
#include "inputfiles/FileIndexEntry.h"
#include "platform/PlatformImpl.h"
#include "platform/cache/UserCache.h"
#include "platform/log/Log.h"
#include "platform/os/FileIdentity.h"
#include "platform/os/FileLock.h"

namespace {

constexpr const char* kKind = "archives";
// Below a group's directory: the copies, and what each was when it was written.
constexpr const char* kFiles = "files";
constexpr const char* kStamps = "stamps";
// Held by the run that writes a copy, so concurrent first runs share one copy (and one
// identity, which keys what later runs keep about the application, like its class data).
constexpr const char* kLock = "lock";
// Seconds a run waits for another's copy before it extracts its own for itself.
constexpr int kLockWaitSeconds = 30;

// The group's key: the content of each entry, or the bundle file itself when it records
// no digests; empty when that file cannot be examined.
SString groupKey(const Bundle& bundle, const std::vector<const FileIndexEntry*>& entries) {
    bool digests = true;
    for (const FileIndexEntry* entry : entries) digests = digests && !entry->m_digest.empty();
    const SString identity = digests ? SString() : bundle.identity();
    if (identity == "-") return SString();
    SString key = digests ? SString("content") : "bundle\n" + identity;
    for (const FileIndexEntry* entry : entries) {
        key += "\n" + convertToString(entry->m_type) + ":";
        key += digests ? hexText(entry->m_digest)
                       : convertToString(entry->m_offset) + ":" + convertToString(entry->m_length);
        key += ":" + entry->m_name;
    }
    return key;
}

// Whether `path` is the copy of `entry` as it was written: a plain file of the entry's
// length that belongs to this user, with the identity recorded in `stamp`.
bool isIntact(const SString& path, const SString& stamp, const FileIndexEntry& entry) {
    if (!UserCache::isOwnFile(path, entry.m_length)) return false;
    SString recorded;
    return UserCache::readFile(stamp, recorded) && recorded == fileIdentity(path, true);
}

}  // namespace

ExtractedArchives::ExtractedArchives(const Bundle& bundle,
                                     const std::vector<const FileIndexEntry*>& entries)
    : m_bundle(bundle) {
    if (entries.empty() || !UserCache::available()) return;
    // A path on a Java class path cannot hold the separator: with a colon in the cache's
    // path, the archives are extracted for the run into its temporary directory instead.
    if (UserCache::directory().find(':') != SString::npos) {
        logMessage("The archives are not kept in the cache: its path " + UserCache::directory() +
                       " holds a colon, which a class path cannot carry.",
                   LOG_INFO);
        return;
    }
    const SString key = groupKey(bundle, entries);
    if (key.empty()) return;
    const SString directory = UserCache::entryDirectory(kKind, digestName(key));
    if (directory.empty() || !UserCache::makeDirectory(joinPath(directory, kFiles)) ||
        !UserCache::makeDirectory(joinPath(directory, kStamps))) {
        return;
    }
    m_directory = directory;
}

SString ExtractedArchives::path(const FileIndexEntry& entry) const {
    if (m_directory.empty()) return SString();
    entry.checkExtractable();
    const SString files = joinPath(m_directory, kFiles);
    const SString stamps = joinPath(m_directory, kStamps);
    const SString target = joinPath(files, entry.m_name);
    const SString stamp = joinPath(stamps, entry.m_name);
    if (isIntact(target, stamp, entry)) return target;
    const UniqueFd lock = waitForLockFile(joinPath(m_directory, kLock), kLockWaitSeconds);
    if (!lock) {
        logMessage("Another run holds the cached copy of " + entry.m_name +
                       "; it is extracted for this run.",
                   LOG_INFO);
        return SString();
    }
    // Written by the run this one waited for.
    if (isIntact(target, stamp, entry)) return target;
    CacheFile file(files);
    if (!file.valid()) return SString();
    if (m_bundle.copyTo(entry, file.fd()) != 0 ||
        !UserCache::isOwnFile(file.temporaryPath(), entry.m_length) ||
        !file.commit(entry.m_name, 0400)) {
        logMessage(
            "Could not keep " + entry.m_name + " in the cache; it is extracted for this run.",
            LOG_INFO);
        return SString();
    }
    // What the copy is now, for the check of later runs; a copy without it is written again.
    CacheFile record(stamps);
    if (record.write(fileIdentity(target, true))) record.commit(entry.m_name, 0600);
    UserCache::noteWritten(static_cast<uint64_t>(entry.m_length));
    return target;
}

SString ExtractedArchives::extract(const FileIndexEntry& entry, SString& fallback) const {
    SString cached = path(entry);
    if (!cached.empty()) return cached;
    if (fallback.empty()) fallback = PlatformImpl::createTempSubDirectory();
    return m_bundle.extract(entry, fallback);
}
