#include "launcher/Launcher.h"

#include <cerrno>

#include "base/LauncherContext.h"
#include "base/LauncherException.h"
#include "base/Numbers.h"
#include "base/StdioFile.h"
#include "jvm/CandidateReport.h"
#include "jvm/VerifiedHomes.h"
#include "platform/PlatformImpl.h"
#include "platform/SystemError.h"
#include "platform/UserCache.h"

SString Launcher::m_logFileName;
bool Launcher::m_logFileInitialized = false;
StringDeque Launcher::m_unwritableLogNames;
SString Launcher::m_launcherFileName;
SString Launcher::m_origLauncherFileName;
StringDeque Launcher::m_args;
StringDeque Launcher::m_passThroughArgs;
SString Launcher::m_userJavaHome;
bool Launcher::m_showJavaConsole = false;
SString Launcher::m_applicationArchive;
LauncherInputFiles Launcher::m_inputFiles;
SString Launcher::m_stringVariables[10];
long Launcher::m_numericVariables[5] = {0, 0, 0, 0, 0};
int Launcher::m_exitStatus = 0;

namespace {

SString applicationArchive(const SString* name) {
    return name ? Launcher::getApplicationArchive(*name) : Launcher::getApplicationArchive();
}

// Lower layers reach the log, the launcher's paths and its bundle through these seams,
// filled in before anything runs.
[[maybe_unused]] const bool g_contextInstalled = [] {
    setLogWriter(
        [](const char* message, LogMessageType type) { Launcher::logMessage(message, type); });
    setLogAppender(&Launcher::appendRawToLog);
    LauncherContext::Hooks hooks;
    hooks.launcherFileName = &Launcher::getLauncherFileName;
    hooks.originalLauncherFileName = &Launcher::getOriginalLauncherFileName;
    hooks.userJavaHome = [] { return Launcher::getUserJavaHome(); };
    hooks.applicationArchive = &applicationArchive;
    LauncherContext::install(hooks);
    FileIndex::setBundle(&Launcher::inputFiles().m_fileIndex);
    return true;
}();

}  // namespace

StdioFile Launcher::openLog() {
    if (m_logFileName.empty()) return StdioFile();
    StdioFile file = PlatformImpl::openForAppending(m_logFileName);
    if (!file) {
        const int error = errno;
        for (const SString& name : m_unwritableLogNames) {
            if (name == m_logFileName) return file;
        }
        m_unwritableLogNames.push_back(m_logFileName);
        PlatformImpl::showErrorLine(
            systemErrorText("The log file " + m_logFileName + " cannot be written: ", error));
        return file;
    }
    if (!m_logFileInitialized) {
        fputs("------------------\n", file.get());
        m_logFileInitialized = true;
    }
    return file;
}

bool Launcher::appendRawToLog(const char* data, size_t size) {
    StdioFile file = openLog();
    if (!file) return false;
    if (size > 0) fwrite(data, 1, size, file.get());
    return true;
}

Launcher::~Launcher() {
    PlatformImpl::cleanup();
    UserCache::upkeep();
}

void Launcher::resetState() {
    m_logFileName.clear();
    m_logFileInitialized = false;
    m_unwritableLogNames.clear();
    m_launcherFileName.clear();
    m_origLauncherFileName.clear();
    m_args.clear();
    m_passThroughArgs.clear();
    m_userJavaHome.clear();
    m_showJavaConsole = false;
    m_applicationArchive.clear();
    m_inputFiles.clear();
    for (SString& s : m_stringVariables) s.clear();
    for (long& n : m_numericVariables) n = 0;
    m_exitStatus = 0;
    CandidateReport::clear();
    VerifiedHomes::clear();
}

void Launcher::logMessage(const char* message, LogMessageType type) {
    StdioFile file = openLog();
    if (!file) return;
    const char* prefix = type == LOG_WARNING ? "WARNING: " : type == LOG_ERROR ? "ERROR: " : "";
    fprintf(file.get(), "%s%s\n", prefix, message);
}

void Launcher::logMessage(const SString& message, LogMessageType type) {
    logMessage(message.c_str(), type);
}

void Launcher::setLogFileName(const SString& name) {
    m_logFileName = name;
}

SString Launcher::getOriginalLauncherDir() {
    return LauncherContext::originalLauncherDir();
}

SString Launcher::getStringVariable(long n) {
    if (!isValidStringVariable(n)) {
        throw LauncherException("Invalid string variable number: " + convertToString(n));
    }
    return m_stringVariables[n - 1];
}

void Launcher::setStringVariable(long n, const SString& value) {
    if (!isValidStringVariable(n)) {
        throw LauncherException("Invalid string variable number: " + convertToString(n));
    }
    m_stringVariables[n - 1] = value;
}

long Launcher::getLongVariable(long n) {
    if (!isValidLongVariable(n)) {
        throw LauncherException("Invalid numeric variable number: " + convertToString(n));
    }
    return m_numericVariables[n - 1];
}

void Launcher::setLongVariable(long n, long value) {
    if (!isValidLongVariable(n)) {
        throw LauncherException("Invalid numeric variable number: " + convertToString(n));
    }
    m_numericVariables[n - 1] = value;
}
