#include "jvm/EmbeddedRuntime.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <utility>
#include <vector>

#include "base/LauncherException.h"
#include "base/Numbers.h"
#include "base/Sha256.h"
#include "inputfiles/FileIndexEntry.h"
#include "inputfiles/UstarReader.h"
#include "platform/PlatformImpl.h"
#include "platform/cache/UserCache.h"
#include "platform/log/Log.h"
#include "platform/os/CacheHold.h"
#include "platform/os/HeldDirectory.h"
#include "platform/os/RangeCopy.h"
#include "platform/os/SecureDir.h"
#include "platform/os/SystemError.h"
#include "platform/os/TrustedPath.h"

namespace {

constexpr const char* kRuntimes = "runtimes";
// Modes of what is installed: open to reading, writable by the user alone; files keep the
// execute bits they have in the archive.
constexpr unsigned kDirectoryMode = 0755;
constexpr unsigned kFileMode = 0644;
constexpr unsigned kExecuteBits = 0111;
// Private names tried before giving up, and rounds of finding and installing.
constexpr int kNameAttempts = 100;
constexpr int kRounds = 3;

std::vector<SString> components(const SString& name) {
    std::vector<SString> parts;
    size_t start = 0;
    for (size_t slash; (slash = name.find('/', start)) != SString::npos; start = slash + 1) {
        parts.push_back(name.substr(start, slash - start));
    }
    parts.push_back(name.substr(start));
    return parts;
}

// Unpacks the archive into a directory held by descriptor, keeping open only the
// directories on the way to the current entry.
class Unpacker {
public:
    Unpacker(int bundleFd, const HeldDirectory& root) : m_bundleFd(bundleFd), m_root(root) {}

    // Unpacks every member: 0, or the error number of the step that failed. Throws
    // LauncherException when the archive is refused or holds no bin/java.
    int unpack(UstarReader& archive) {
        UstarEntry entry;
        while (archive.next(entry)) {
            PlatformImpl::checkInterrupted();
            const std::vector<SString> parts = components(entry.name);
            const int error = place(entry, parts);
            if (error == EEXIST || error == ENOTDIR || error == ELOOP) {
                throw LauncherException("The runtime archive holds \"" +
                                        showLineBreaks(entry.name) +
                                        "\" twice, or below a file of that name.");
            }
            if (error != 0) return error;
        }
        const HeldDirectory bin = m_root.openChild("bin");
        if (!bin || !bin.holdsRegularFile("java")) {
            throw LauncherException("The runtime archive holds no bin/java.");
        }
        return 0;
    }

private:
    int place(const UstarEntry& entry, const std::vector<SString>& parts) {
        const int error = enter(parts, parts.size() - 1);
        if (error != 0) return error;
        const HeldDirectory& parent = m_open.empty() ? m_root : m_open.back().second;
        if (entry.isDirectory) {
            if (parent.makeChild(parts.back(), kDirectoryMode)) return 0;
            // Named before as the parent of a file, or twice: a directory all the same.
            return errno == EEXIST && parent.openChild(parts.back()) ? 0 : errno;
        }
        UniqueFd file = parent.createFile(parts.back(), kFileMode | (entry.mode & kExecuteBits));
        if (!file) return errno;
        RangeCopy how;
        how.offset = entry.offset;
        how.length = entry.size;
        how.chunksPerStep = 16;
        how.onChunk = [] { PlatformImpl::advanceUIProgress(1); };
        const RangeCopyResult copied = copyRange(m_bundleFd, file.get(), how);
        if (copied.readError != 0) {
            throw LauncherException(
                systemErrorText("The runtime archive cannot be read: ", copied.readError));
        }
        if (copied.writeError != 0) return copied.writeError;
        if (copied.copied != entry.size) {
            throw LauncherException("The runtime archive is cut short in \"" +
                                    showLineBreaks(entry.name) + "\".");
        }
        return file.close() ? 0 : errno;
    }

    // Opens the first `depth` directories of `parts`, making those that are missing.
    int enter(const std::vector<SString>& parts, size_t depth) {
        size_t kept = 0;
        while (kept < m_open.size() && kept < depth && m_open[kept].first == parts[kept]) ++kept;
        m_open.erase(m_open.begin() + static_cast<long>(kept), m_open.end());
        for (size_t i = kept; i < depth; ++i) {
            const HeldDirectory& from = m_open.empty() ? m_root : m_open.back().second;
            HeldDirectory next = from.openChild(parts[i]);
            if (!next && errno == ENOENT) next = from.makeChild(parts[i], kDirectoryMode);
            if (!next) return errno;
            m_open.emplace_back(parts[i], std::move(next));
        }
        return 0;
    }

    int m_bundleFd;
    const HeldDirectory& m_root;
    std::vector<std::pair<SString, HeldDirectory>> m_open;
};

// Why a directory could not be entered, from the error number.
SString openProblem(int error) {
    return error == ELOOP || error == ENOTDIR
               ? SString("it is no directory (a symbolic link is not followed)")
               : systemErrorText("it cannot be opened: ", error);
}

// The cache's runtimes directory, made when missing; empty when the cache is off, or when
// it or the runtimes directory is not the user's alone (logged).
HeldDirectory runtimesDirectory() {
    const SString cachePath = UserCache::directory();
    if (cachePath.empty()) return HeldDirectory();
    const HeldDirectory cache = HeldDirectory::open(cachePath);
    SString problem = cache ? cache.privacyProblem() : systemErrorText("", errno);
    HeldDirectory runtimes;
    if (problem.empty()) {
        runtimes = cache.openChild(kRuntimes);
        if (!runtimes && errno == ENOENT) runtimes = cache.makeChild(kRuntimes, 0700);
        if (!runtimes && errno == EEXIST) runtimes = cache.openChild(kRuntimes);
        problem = runtimes ? runtimes.privacyProblem() : openProblem(errno);
    }
    if (problem.empty()) return runtimes;
    logMessage("The cache directory " + showLineBreaks(cache.pathOf(kRuntimes)) +
                   " is not used: " + problem + ".",
               LOG_WARNING);
    return HeldDirectory();
}

// Why the runtime at `home` may not run: the trust rule of found JVMs; empty when it may.
SString untrustedHomeReason(const SString& home) {
    return untrustedPathReason(home + "/bin/java");
}

enum class Found { Absent, Usable, Unusable };

// Looks for the copy `id` in `runtimes`; when usable, holds it and marks it as used.
Found useInstalled(const HeldDirectory& runtimes, const SString& id) {
    const HeldDirectory home = runtimes.openChild(id);
    if (!home && errno == ENOENT) return Found::Absent;
    SString problem = home ? home.privacyProblem() : openProblem(errno);
    if (problem.empty() && !holdCacheEntry(home)) {
        problem = systemErrorText("it cannot be held: ", errno);
    }
    // An upkeep may have taken it away before it was held.
    if (problem.empty() && !runtimes.holdsEntry(id, home)) return Found::Absent;
    const HeldDirectory bin = problem.empty() ? home.openChild("bin") : HeldDirectory();
    if (problem.empty() && !(bin && bin.holdsRegularFile("java"))) problem = "it holds no bin/java";
    if (problem.empty()) problem = untrustedHomeReason(home.path());
    if (!problem.empty()) {
        logMessage(
            "The runtime " + showLineBreaks(runtimes.pathOf(id)) + " is not used: " + problem + ".",
            LOG_WARNING);
        return Found::Unusable;
    }
    // A mark that fails only makes the copy look older to the upkeep; the hold keeps it
    // for this run all the same.
    home.touch();
    logMessage("Using the runtime " + runtimes.pathOf(id) + ", held for this run.", LOG_INFO);
    return Found::Usable;
}

// Removes a private directory of an install that did not complete, through its descriptor;
// its name goes only while it is still that directory.
class PrivateInstall {
public:
    PrivateInstall(const HeldDirectory& runtimes, SString name, HeldDirectory directory)
        : m_runtimes(runtimes), m_name(std::move(name)), m_directory(std::move(directory)) {}
    ~PrivateInstall() {
        if (m_done) return;
        m_directory.removeContents();
        if (m_runtimes.holdsEntry(m_name, m_directory)) m_runtimes.removeTree(m_name);
    }
    PrivateInstall(const PrivateInstall&) = delete;
    PrivateInstall& operator=(const PrivateInstall&) = delete;
    const HeldDirectory& directory() const { return m_directory; }
    void keep() { m_done = true; }

private:
    const HeldDirectory& m_runtimes;
    SString m_name;
    HeldDirectory m_directory;
    bool m_done = false;
};

void logNotKept(const SString& reason, LogMessageType type) {
    logMessage(
        "Could not keep the runtime in the cache (" + reason + "); it is installed for this run.",
        type);
}

}  // namespace

void RuntimeInstallSteps::beforeRename(const SString&) {}

EmbeddedRuntime::EmbeddedRuntime(int bundleFd, long long offset, long long length,
                                 const SString& id, RuntimeInstallSteps* steps)
    : m_bundleFd(bundleFd), m_offset(offset), m_length(length), m_id(id), m_steps(steps) {
    if (id.empty() || id[0] == '.' || !isSafeFileName(id)) {
        throw LauncherException("\"" + showLineBreaks(id) + "\" cannot name a bundled runtime.");
    }
}

SString EmbeddedRuntime::findInCache() const {
    const HeldDirectory runtimes = runtimesDirectory();
    if (!runtimes || useInstalled(runtimes, m_id) != Found::Usable) return SString();
    return runtimes.pathOf(m_id);
}

SString EmbeddedRuntime::installInCache() const {
    const HeldDirectory runtimes = runtimesDirectory();
    if (!runtimes) return SString();
    RuntimeInstallSteps noSteps;
    RuntimeInstallSteps& steps = m_steps ? *m_steps : noSteps;
    for (int round = 0; round < kRounds; ++round) {
        const Found found = useInstalled(runtimes, m_id);
        if (found == Found::Usable) return runtimes.pathOf(m_id);
        if (found == Found::Unusable) return SString();

        if (round == 0) checkDigest();
        HeldDirectory made;
        SString name;
        for (int attempt = 0; attempt < kNameAttempts && !made; ++attempt) {
            name = UserCache::runName("." + m_id + ".") + "-" + convertToString(attempt);
            made = runtimes.makeChild(name, 0700);
            if (!made && errno != EEXIST) break;
        }
        if (!made) {
            logNotKept(systemErrorText("", errno), LOG_INFO);
            return SString();
        }
        PrivateInstall install(runtimes, name, std::move(made));
        UstarReader archive(m_bundleFd, m_offset, m_length);
        const int error = Unpacker(m_bundleFd, install.directory()).unpack(archive);
        if (error != 0 || !install.directory().setMode(kDirectoryMode) ||
            !holdCacheEntry(install.directory())) {
            logNotKept(systemErrorText("", error != 0 ? error : errno), LOG_INFO);
            return SString();
        }
        steps.beforeRename(runtimes.pathOf(name));
        const int renamed = runtimes.renameNoReplace(name, m_id);
        if (renamed == EEXIST || renamed == ENOTEMPTY) continue;  // another run's copy is there
        if (renamed != 0) {
            logNotKept(systemErrorText("", renamed), LOG_INFO);
            return SString();
        }
        if (!runtimes.holdsEntry(m_id, install.directory())) {
            // What went into place is not what was filled: it is not ours to run.
            runtimes.removeTree(m_id);
            logNotKept(runtimes.pathOf(name) + " was replaced while it was being filled",
                       LOG_WARNING);
            return SString();
        }
        install.keep();
        UserCache::noteWritten(static_cast<uint64_t>(m_length));
        const SString home = runtimes.pathOf(m_id);
        const SString problem = untrustedHomeReason(home);
        if (problem.empty()) {
            logMessage("Installed the runtime into " + home + ", held for this run.", LOG_INFO);
            return home;
        }
        logMessage("The runtime " + showLineBreaks(home) + " is not used: " + problem + ".",
                   LOG_WARNING);
        return SString();
    }
    logNotKept("other runs kept taking its place away", LOG_WARNING);
    return SString();
}

SString EmbeddedRuntime::installInto(const SString& privateDirectory) const {
    const HeldDirectory home = heldPrivateDirectory(privateDirectory);
    if (!home) {
        throw LauncherException(privateDirectory + " is not a private directory of this run.");
    }
    installIn(home, privateDirectory);
    logMessage("Installed the runtime into " + privateDirectory + " for this run.", LOG_INFO);
    return privateDirectory;
}

SString EmbeddedRuntime::installAt(const SString& destination) const {
    const HeldDirectory home = HeldDirectory::open(destination);
    if (!home) {
        throw LauncherException(
            systemErrorText("The directory " + destination + " cannot be opened: ", errno));
    }
    installIn(home, destination);
    logMessage("Installed the runtime into " + destination + ".", LOG_INFO);
    return destination;
}

void EmbeddedRuntime::checkDigest() const {
    if (m_digest.empty()) return;
    Sha256 sha;
    std::vector<char> buffer(1 << 16);
    for (long long done = 0; done < m_length;) {
        PlatformImpl::checkInterrupted();
        const size_t wanted =
            static_cast<size_t>(std::min(static_cast<long long>(buffer.size()), m_length - done));
        const long long read = readAt(m_bundleFd, m_offset + done, buffer.data(), wanted);
        if (read < 0) {
            throw LauncherException(systemErrorText("The runtime archive cannot be read: ", errno));
        }
        if (read == 0) throw LauncherException("The runtime archive is cut short.");
        sha.update(buffer.data(), static_cast<size_t>(read));
        done += read;
    }
    if (sha.finish() != m_digest) {
        throw LauncherException(
            "The runtime archive does not have the digest the bundle records: the bundle is "
            "damaged.");
    }
}

void EmbeddedRuntime::installIn(const HeldDirectory& home, const SString& path) const {
    try {
        UstarReader archive(m_bundleFd, m_offset, m_length);
        const int error = Unpacker(m_bundleFd, home).unpack(archive);
        if (error != 0) throw LauncherException(PlatformImpl::writeErrorText(error));
        const SString problem = untrustedHomeReason(path);
        if (!problem.empty()) {
            throw LauncherException("The runtime " + showLineBreaks(path) +
                                    " is not used: " + problem + ".");
        }
    } catch (...) {
        home.removeContents();
        throw;
    }
}
