#include "launch/ClassDataEntry.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "base/Numbers.h"
#include "base/Paths.h"
#include "base/RunState.h"
#include "launch/ArchiveLog.h"
#include "platform/PlatformImpl.h"
#include "platform/cache/UserCache.h"
#include "platform/log/Log.h"
#include "platform/os/FileIdentity.h"
#include "platform/os/FileLock.h"
#include "platform/os/PrivateFiles.h"
#include "platform/os/RangeCopy.h"
#include "platform/os/UnnamedFile.h"

namespace {

constexpr const char* kArchive = "app.jsa";
constexpr const char* kStamp = "app.jsa.id";
constexpr const char* kFailures = "failures";
constexpr const char* kLock = "lock";
constexpr const char* kLogPrefix = ".log-";
constexpr const char* kProven = "\nproven";
// Bytes of an archive log that are read; a refusal is said in its first lines.
constexpr size_t kMaxLogText = 1 << 20;

// Run logs this process made, for names of their own.
RunState<long> g_runLogs;

}  // namespace

SString ClassDataEntry::pathOf(const char* name) const {
    return joinPath(m_directory, name);
}

SString ClassDataEntry::archivePath() const {
    return pathOf(kArchive);
}

SString ClassDataEntry::stampText() const {
    return fileIdentity(archivePath(), true) + "\n" + m_keyDigest;
}

bool ClassDataEntry::archiveReady(bool* proven) const {
    SString stamp;
    if (!UserCache::readFile(pathOf(kStamp), stamp)) return false;
    const SString expected = stampText();
    if (stamp.compare(0, expected.size(), expected) != 0) return false;
    const SString rest = stamp.substr(expected.size());
    if (!rest.empty() && rest != kProven) return false;
    if (proven) *proven = !rest.empty();
    return true;
}

int ClassDataEntry::failures() const {
    SString text;
    return UserCache::readFile(pathOf(kFailures), text) ? atoi(text.c_str()) : 0;
}

bool ClassDataEntry::jobAtWork() const {
    const UniqueFd lock = lockFile(pathOf(kLock), LockOpen::Create);
    return !lock && errno == EWOULDBLOCK;
}

UniqueFd ClassDataEntry::lockForJob() const {
    return lockFile(pathOf(kLock), LockOpen::Create);
}

bool ClassDataEntry::writeFile(const char* name, const SString& text) const {
    const UnnamedFile file = UnnamedFile::create(m_directory);
    if (file.valid()) return file.write(text) && file.publish(m_directory, name, 0600);
    CacheFile named(m_directory);
    return named.write(text) && named.commit(name, 0600);
}

bool ClassDataEntry::commitArchive(const UnnamedFile& archive) const {
    if (!archive.publish(m_directory, kArchive, 0600)) return false;
    // The stamp is the identity the archive has under its name, change time included.
    return writeFile(kStamp, stampText());
}

void ClassDataEntry::recordFailure(const SString& why, bool dropArchive) const {
    if (dropArchive) {
        UserCache::discardFile(pathOf(kStamp));
        UserCache::discardFile(archivePath());
    }
    const int count = failures() + 1;
    writeFile(kFailures, convertToString(static_cast<long>(count)));
    logMessage("Class-data archive " + archivePath() + ": " + why +
                   (count >= kGiveUpAfter ? SString("; given up for this command and JVM.")
                                          : SString("; it is made again.")),
               LOG_INFO);
}

void ClassDataEntry::judgeRun(const SString& logText, int status) const {
    if (!archiveReady()) return;
    if (logShowsRefusal(logText)) {
        recordFailure("the JVM refused it", true);
    } else if (status != -1 && endedByCrash(status)) {
        recordFailure("the JVM crashed with it", true);
    } else if (logShowsArchiveInUse(logText)) {
        bool proven = false;
        archiveReady(&proven);
        if (failures() > 0) UserCache::discardFile(pathOf(kFailures));
        if (!proven) writeFile(kStamp, stampText() + kProven);
    }
}

UniqueFd ClassDataEntry::createRunLog(SString& path) const {
    path = pathOf(kLogPrefix) + convertToString(currentProcessId()) + "-" +
           convertToString(++g_runLogs);
    UniqueFd fd = lockFile(path, LockOpen::New);
    if (!fd) path.clear();
    return fd;
}

void ClassDataEntry::readLogsOfEndedRuns() const {
    std::vector<SString> names;
    if (!PlatformImpl::listDirectory(m_directory, names)) return;
    for (const SString& name : names) {
        if (name.compare(0, 5, kLogPrefix) != 0) continue;
        const SString path = joinPath(m_directory, name);
        // Locked: its JVM still runs (and may still be writing it).
        const UniqueFd log = lockFile(path, LockOpen::Existing);
        if (!log) continue;
        SString text;
        readAt(log.get(), 0, kMaxLogText, text);
        judgeRun(text, -1);
        UserCache::discardFile(path);
    }
}
