#include "launch/ClassDataJob.h"

#include <signal.h>
#include <sys/wait.h>

#include "base/Numbers.h"
#include "launch/ClassDataEntry.h"
#include "platform/PlatformImpl.h"
#include "platform/cache/UserCache.h"
#include "platform/os/BackgroundJob.h"
#include "platform/os/CacheHold.h"
#include "platform/os/HeldDirectory.h"
#include "platform/os/UnnamedFile.h"

namespace {

// A class list larger than this is no list of one application's classes.
constexpr size_t kMaxClassList = 64u << 20;

// Whether `list` names at least one class (its comment lines aside).
bool namesClasses(const SString& list) {
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find('\n', start);
        if (end == SString::npos) end = list.size();
        if (end > start && list[start] != '#' && list[start] != '@') return true;
        start = end + 1;
    }
    return false;
}

// Whether `archive` begins with the magic number of a static archive, which the JVM
// writes with the header once the rest is in place.
bool hasStaticArchiveMagic(const UnnamedFile& archive) {
    SString start;
    return archive.readStart(4, start) && start == SString("\xa2\xab\x0b\xf0", 4);
}

}  // namespace

bool machineIsBusy() {
    double load = 0;
    return machineLoadAverage(load) && load > onlineProcessors();
}

std::vector<SString> ClassDataJob::dumpCommand(const SString& classListPath,
                                               const SString& archivePath) const {
    std::vector<SString> words = jvmWords;
    for (const SString& option :
         {SString("-Xshare:dump"), "-XX:SharedClassListFile=" + classListPath,
          "-XX:SharedArchiveFile=" + archivePath, SString("-Xlog:disable"),
          // A crash leaves no report file anywhere.
          SString("-XX:ErrorFile=/dev/null")}) {
        words.push_back(option);
    }
    // Classes loaded and linked ahead: the best warm runs where the JVM offers it.
    if (release >= 24) words.push_back("-XX:+AOTClassLinking");
    words.push_back("-cp");
    words.push_back(classPath);
    return words;
}

int ClassDataJob::run(const UnnamedFile& classList) const {
    if (machineIsBusy()) return 0;
    const ClassDataEntry entry(entryDirectory, keyDigest);
    const UniqueFd lock = entry.lockForJob();
    if (!lock) return 0;
    // Held, the entry is not evicted under the job by another run's upkeep.
    const HeldDirectory held = HeldDirectory::open(entryDirectory);
    if (!held || !holdCacheEntry(held)) return 1;
    if (entry.archiveReady() || entry.givenUp()) return 0;
    SString list;
    if (classList.size() <= 0 || classList.size() > static_cast<long long>(kMaxClassList) ||
        !classList.readStart(kMaxClassList, list) || !namesClasses(list)) {
        return 0;
    }
    const UnnamedFile archive = UnnamedFile::create(entryDirectory);
    if (!archive.valid()) return 1;
    ChildLimits limits;
    limits.inheritedFds = {classList.fd(), archive.fd()};
    limits.fileSizeLimit = archiveBound;
    limits.timeLimitSeconds = timeLimitSeconds;
    ChildOutcome outcome = CHILD_ENDED;
    const int status =
        PlatformImpl::executeArguments(dumpCommand(classList.procPath(), archive.procPath()), "/",
                                       true, nullptr, nullptr, limits, &outcome);
    // Out of time (a busy machine) or stopped from outside: tried again by a later run.
    if (outcome != CHILD_ENDED) return 1;
    const long long size = archive.size();
    if ((WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) ||
        size > static_cast<long long>(archiveBound)) {
        entry.recordFailure(
            "larger than " + convertToString(static_cast<long>(archiveBound >> 20)) + " MiB",
            false);
        return 1;
    }
    if (WIFSIGNALED(status)) return 1;
    if (WEXITSTATUS(status) != 0 || size <= 0 || !hasStaticArchiveMagic(archive)) {
        entry.recordFailure("the JVM could not make it (exit status " +
                                convertToString(static_cast<long>(WEXITSTATUS(status))) + ")",
                            false);
        return 1;
    }
    if (!entry.commitArchive(archive)) return 1;
    UserCache::noteWritten(static_cast<uint64_t>(size));
    UserCache::upkeep();
    return 0;
}
