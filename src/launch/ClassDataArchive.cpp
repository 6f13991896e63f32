#include "launch/ClassDataArchive.h"

#include <strings.h>

#include <cstdlib>

#include "base/Digest.h"
#include "base/StdioFile.h"
#include "platform/PlatformImpl.h"
#include "platform/cache/UserCache.h"
#include "platform/log/Log.h"
#include "platform/os/FileIdentity.h"
#include "platform/shell/ShellWords.h"

namespace {

constexpr const char* kKind = "classdata";
constexpr const char* kArchiveName = "app.jsa";
// The identity of the archive a run of release 13 to 18 wrote, so one changed since (cut
// short, replaced) is never handed to a JVM that would fail on it.
constexpr const char* kStampName = "app.jsa.id";
// Messages of the JVM about the archive go to a file instead of the terminal.
constexpr const char* kQuietArchive = "-Xlog:cds*=off ";

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
    for (const char* option : {"SharedArchiveFile", "ArchiveClassesAtExit",
                               "AutoCreateSharedArchive", "-Xshare", "AOTCache"}) {
        if (command.find(option) != SString::npos) return true;
    }
    return false;
}

// Whether `path` begins like a whole dynamic archive: the JVM writes the header that holds
// the magic number last, so an archive cut short by an interrupted run has none.
bool hasArchiveMagic(const SString& path) {
    StdioFile file = PlatformImpl::openFile(path, "rb");
    unsigned char magic[4] = {0, 0, 0, 0};
    return file && fread(magic, 1, 4, file.get()) == 4 && magic[0] == 0xa8 && magic[1] == 0xab &&
           magic[2] == 0x0b && magic[3] == 0xf0;
}

}  // namespace

ClassDataArchive::~ClassDataArchive() {
    if (m_mode == Create) UserCache::discardFile(m_newArchive);
    if (m_mode == Use && !m_refusals.empty()) UserCache::discardFile(m_refusals);
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
                                const SString& command) {
    m_mode = None;
    if (!UserCache::available() || jvmHome.empty() || namesOwnArchive(command)) return command;
    SString exePath = jvmHome;
    appendPathSeparator(exePath);
    exePath += jvmExe;
    SString program;
    const size_t end = firstShellWord(command, program);
    const SString jvm = PlatformImpl::resolvePath(exePath);
    if (end == SString::npos || jvm.empty() || PlatformImpl::resolvePath(program) != jvm) {
        logMessage("No class-data archive: the command does not start " + exePath + ".", LOG_INFO);
        return command;
    }
    const int release = hotSpotRelease(jvmHome);
    if (release < 13) {
        logMessage("No class-data archive: the JVM at " + jvmHome +
                       " is no HotSpot JVM of release 13 or later.",
                   LOG_INFO);
        return command;
    }
    // A dynamic archive sits on top of the JVM's own base archive; a runtime image made
    // without one (jlink without --generate-cds-archive) refuses to start with the options.
    if (!PlatformImpl::fileExists(jvmHome + "/lib/server/classes.jsa") &&
        !PlatformImpl::fileExists(jvmHome + "/lib/server/classes_nocoops.jsa")) {
        logMessage("No class-data archive: the JVM at " + jvmHome + " has no base archive.",
                   LOG_INFO);
        return command;
    }
    const SString directory = UserCache::entryDirectory(
        kKind, digestName(jvmIdentity(jvmHome, exePath) + "\n" + command));
    if (directory.empty()) return command;
    m_archive = directory + "/" + kArchiveName;
    SString options = kQuietArchive;
    if (release >= 19) {
        m_mode = Automatic;
        m_before = fileIdentity(m_archive, false);
        options += "-XX:+AutoCreateSharedArchive -XX:SharedArchiveFile=" + quoted(m_archive);
    } else if (fileText(directory + "/" + kStampName) == fileIdentity(m_archive, false)) {
        m_mode = Use;
        // What the JVM says against the archive is kept in a file: a refused archive is made
        // again by the next run. A path the option syntax cannot hold goes without.
        m_refusals = UserCache::runName(directory + "/.refused-");
        if (m_refusals.find_first_of(" :,=\"'\\$`") == SString::npos) {
            options += "-Xlog:cds*=warning:file=" + m_refusals + " ";
        } else {
            m_refusals.clear();
        }
        options += "-XX:SharedArchiveFile=" + quoted(m_archive);
    } else {
        m_mode = Create;
        m_newArchive = UserCache::runName(directory + "/.new-") + ".jsa";
        UserCache::discardFile(m_newArchive);
        options += "-XX:ArchiveClassesAtExit=" + quoted(m_newArchive);
    }
    logMessage(
        (m_mode == Create ? "Creating the class-data archive " : "Using the class-data archive ") +
            m_archive,
        LOG_INFO);
    return command.substr(0, end) + " " + options + command.substr(end);
}

void ClassDataArchive::finish() {
    const SString directory = m_archive.substr(0, m_archive.rfind('/'));
    if (m_mode == Create) {
        if (hasArchiveMagic(m_newArchive) && UserCache::moveFile(m_newArchive, m_archive)) {
            const SString identity = fileIdentity(m_archive, false);
            CacheFile stamp(directory);
            if (stamp.write(identity)) stamp.commit(kStampName, 0600);
            UserCache::noteWritten(1);
        }
        UserCache::discardFile(m_newArchive);
    } else if (m_mode == Use && !m_refusals.empty()) {
        if (!fileText(m_refusals).empty()) {
            logMessage("The JVM refused the class-data archive " + m_archive +
                           "; the next run makes it again.",
                       LOG_INFO);
            UserCache::discardFile(m_archive);
        }
        UserCache::discardFile(m_refusals);
    } else if (m_mode == Automatic && fileIdentity(m_archive, false) != m_before) {
        UserCache::noteWritten(1);
    }
    m_mode = None;
}
