#include "launch/ClassDataArchive.h"

#include <strings.h>

#include <algorithm>
#include <cstdlib>

#include "base/Digest.h"
#include "base/Numbers.h"
#include "base/Sha256.h"
#include "base/StdioFile.h"
#include "launch/ArchiveLog.h"
#include "launch/ClassDataEntry.h"
#include "launch/JavaCommand.h"
#include "platform/PlatformImpl.h"
#include "platform/cache/UserCache.h"
#include "platform/log/Log.h"
#include "platform/os/BackgroundJob.h"
#include "platform/os/FileIdentity.h"
#include "platform/os/RangeCopy.h"
#include "platform/shell/DirectCommand.h"
#include "platform/shell/ShellWords.h"

namespace {

constexpr const char* kKind = "classdata";
// Seconds the background job's JVM may take to make an archive.
constexpr int kJobTimeLimitSeconds = 180;
// Bytes of an archive log that are read; a refusal is said in its first lines.
constexpr size_t kMaxLogText = 1 << 20;

SString quoted(const SString& path) {
    return "\"" + escapeForShellQuotes(path) + "\"";
}

SString fileText(const SString& path) {
    SString text;
    StdioFile file = PlatformImpl::openFile(path, "rb");
    if (!file) return text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, n);
    return text;
}

// Whether the command already chooses what the JVM does with class data.
bool namesOwnArchive(const SString& command) {
    for (const char* option :
         {"SharedArchiveFile", "ArchiveClassesAtExit", "SharedClassListFile", "DumpLoadedClassList",
          "AutoCreateSharedArchive", "-Xshare", "AOTCache", "AOTMode", "AOTConfiguration"}) {
        if (command.find(option) != SString::npos) return true;
    }
    return false;
}

// Why the class path cannot be archived: the JVM archives classes of jars named by an
// absolute path only, and a jar of the run's temporary directory is gone after it.
SString classPathProblem(const std::vector<SString>& classPath) {
    for (const SString& entry : classPath) {
        if (entry.empty() || entry[0] != '/' || entry.back() == '*') {
            return "its class path entry \"" + entry + "\" is no absolute path of a jar";
        }
        if (PlatformImpl::isDirectoryPath(entry))
            return "its class path holds the directory " + entry;
        if (PlatformImpl::mentionsTemporaryEntry(entry)) {
            return "its class path holds " + entry + ", a temporary file of this run";
        }
    }
    return SString();
}

// The key of an archive: the JVM, the command's words, every jar's whole identity (the
// JVM itself checks only a jar's path, size and modification time), and the environment
// the JVM reads options from.
SString archiveKey(const SString& jvm, const JavaCommand& java) {
    SString key = "static archive\n" + jvm + "\n";
    for (const SString& word : java.words) key += word + '\0';
    for (const SString& entry : java.classPath) key += "\n" + fileIdentity(entry, true);
    for (const char* name : {"JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS", "_JAVA_OPTIONS"}) {
        key += SString("\n") + name + "=" + PlatformImpl::getEnvironmentVariable(name);
    }
    return key;
}

// Bytes an archive may take: half the cache's bound, as no larger one would stay.
unsigned long long archiveBound() {
    return std::min<unsigned long long>(cacheSizeBound() / 2, 4ull << 30);
}

void skip(const SString& why) {
    logMessage("No class-data archive: " + why + ".", LOG_INFO);
}

}  // namespace

ClassDataArchive::~ClassDataArchive() {
    if (!m_namedLogPath.empty()) UserCache::discardFile(m_namedLogPath);
}

int hotSpotRelease(const SString& jvmHome) {
    SString text = fileText(jvmHome + "/release");
    SString version, variant;
    size_t position = 0;
    while (position < text.size()) {
        size_t end = text.find('\n', position);
        if (end == SString::npos) end = text.size();
        SString line = text.substr(position, end - position);
        position = end + 1;
        size_t eq = line.find('=');
        if (eq == SString::npos) continue;
        SString value = line.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (line.compare(0, eq, "JAVA_VERSION") == 0 && eq == 12) version = value;
        if (line.compare(0, eq, "JVM_VARIANT") == 0 && eq == 11) variant = value;
    }
    if (!variant.empty() && strcasecmp(variant.c_str(), "hotspot") != 0) return 0;
    if (version.compare(0, 2, "1.") == 0) version.erase(0, 2);
    return atoi(version.c_str());
}

size_t firstShellWord(const SString& command, SString& word) {
    word.clear();
    size_t i = 0;
    while (i < command.size() && (command[i] == ' ' || command[i] == '\t')) ++i;
    char quote = 0;
    for (; i < command.size(); ++i) {
        const char c = command[i];
        if (quote == '\'') {
            if (c == '\'')
                quote = 0;
            else
                word += c;
        } else if (quote == '"') {
            if (c == '"') {
                quote = 0;
            } else if (c == '\\' && i + 1 < command.size() &&
                       SString("\"\\$`").find(command[i + 1]) != SString::npos) {
                word += command[++i];
            } else if (c == '$' || c == '`') {
                return SString::npos;
            } else {
                word += c;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ' ' || c == '\t') {
            break;
        } else if (c == '\\' && i + 1 < command.size()) {
            word += command[++i];
        } else if (SString("$`;&|<>(){}*?[]~=\n").find(c) != SString::npos) {
            return SString::npos;
        } else {
            word += c;
        }
    }
    return quote || word.empty() ? SString::npos : i;
}

SString ClassDataArchive::apply(const SString& jvmHome, const SString& jvmExe,
                                const SString& command, bool handOver) {
    m_mode = None;
    m_handOver = handOver;
    if (!UserCache::available() || jvmHome.empty() || namesOwnArchive(command)) return command;
    std::vector<SString> words;
    SString program;
    const size_t programEnd = firstShellWord(command, program);
    if (!splitForDirectStart(command, words) || programEnd == SString::npos) {
        skip("the command needs the shell");
        return command;
    }
    SString exePath = jvmHome;
    appendPathSeparator(exePath);
    exePath += jvmExe;
    const SString jvm = PlatformImpl::resolvePath(exePath);
    if (jvm.empty() || (words[0] != exePath && PlatformImpl::resolvePath(words[0]) != jvm)) {
        skip("the command does not start " + exePath);
        return command;
    }
    const int release = hotSpotRelease(jvmHome);
    if (release < 13) {
        skip("the JVM at " + jvmHome + " is no HotSpot JVM of release 13 or later");
        return command;
    }
    JavaCommand java;
    SString problem;
    if (!java.read(words, problem) || !(problem = classPathProblem(java.classPath)).empty()) {
        skip("the command cannot be archived: " + problem);
        return command;
    }
    const SString key = archiveKey(jvmIdentityOfResolved(jvmHome, jvm), java);
    m_entryDirectory = UserCache::entryDirectory(kKind, digestName(key));
    if (m_entryDirectory.empty()) return command;
    m_keyDigest = hexText(Sha256::of(key));
    const ClassDataEntry entry(m_entryDirectory, m_keyDigest);
    entry.readLogsOfEndedRuns();
    if (entry.givenUp()) {
        skip("the archive for this command and JVM was given up (see the file failures in " +
             m_entryDirectory + ")");
        return command;
    }
    bool proven = false;
    SString options;
    if (entry.archiveReady(&proven)) {
        options = useArchive(entry, release, handOver, proven);
    } else if (entry.jobAtWork()) {
        skip("another run's job is making it now");
        return command;
    } else if (machineIsBusy()) {
        skip("the machine is busy (its load average is above the number of processors)");
        return command;
    } else {
        options = recordClasses(entry, java, jvm, release);
        if (options.empty()) return command;
    }
    return command.substr(0, programEnd) + " " + options + command.substr(programEnd);
}

SString ClassDataArchive::useArchive(const ClassDataEntry& entry, int release, bool handOver,
                                     bool proven) {
    m_mode = Use;
    // The first run with a new archive waits for the JVM, so a crash is seen.
    m_handOver = handOver && proven;
    SString logPath;
    if (m_handOver) {
        m_namedLog = entry.createRunLog(m_namedLogPath);
        if (m_namedLog)
            logPath = "/proc/self/fd/" + convertToString(static_cast<long>(m_namedLog.get()));
    } else {
        m_log = UnnamedFile::create(m_entryDirectory);
        if (m_log.valid()) logPath = m_log.procPath();
    }
    logMessage("Using the class-data archive " + entry.archivePath(), LOG_INFO);
    return archiveLogOptions(release, logPath) +
           " -XX:SharedArchiveFile=" + quoted(entry.archivePath());
}

SString ClassDataArchive::recordClasses(const ClassDataEntry& entry, const JavaCommand& java,
                                        const SString& jvm, int release) {
    m_classList = UnnamedFile::create(m_entryDirectory);
    if (!m_classList.valid()) {
        skip("the file system of the cache cannot make unnamed files (O_TMPFILE)");
        return SString();
    }
    m_mode = Record;
    m_job.entryDirectory = m_entryDirectory;
    m_job.keyDigest = m_keyDigest;
    m_job.jvmWords = {jvm};
    for (const SString& option : java.dumpOptions()) m_job.jvmWords.push_back(option);
    m_job.classPath = java.joinedClassPath();
    m_job.release = release;
    m_job.archiveBound = archiveBound();
    m_job.timeLimitSeconds = kJobTimeLimitSeconds;
    logMessage("Recording the classes of the application for the class-data archive " +
                   entry.archivePath() + ", made in the background after it ends",
               LOG_INFO);
    return archiveLogOptions(release, SString()) +
           " -XX:DumpLoadedClassList=" + m_classList.procPath();
}

std::vector<int> ClassDataArchive::inheritedFds() const {
    std::vector<int> fds;
    if (m_classList.valid()) fds.push_back(m_classList.fd());
    if (m_log.valid()) fds.push_back(m_log.fd());
    if (m_namedLog) fds.push_back(m_namedLog.get());
    return fds;
}

void ClassDataArchive::startJob() {
    if (m_mode != Record) return;
    const ClassDataJob& job = m_job;
    const UnnamedFile& classList = m_classList;
    if (!startBackgroundJob({classList.fd()}, [&job, &classList] {
            // The job says nothing, not even in the run's log, which is another run's now.
            setLogFileName(SString());
            return job.run(classList);
        })) {
        logMessage("The class-data job could not be started.", LOG_INFO);
    }
}

void ClassDataArchive::finish(int status) {
    if (m_mode == Use) {
        SString text;
        if (m_log.valid()) {
            m_log.readStart(kMaxLogText, text);
        } else if (m_namedLog) {
            readAt(m_namedLog.get(), 0, kMaxLogText, text);
        }
        ClassDataEntry(m_entryDirectory, m_keyDigest).judgeRun(text, status);
    }
    m_mode = None;
}
