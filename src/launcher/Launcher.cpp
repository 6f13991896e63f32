#include "launcher/Launcher.h"

#include "base/LauncherException.h"
#include "base/Numbers.h"
#include "platform/PlatformImpl.h"
#include "platform/cache/UserCache.h"

RunState<SString> Launcher::m_launcherFileName;
RunState<SString> Launcher::m_origLauncherFileName;
RunState<StringDeque> Launcher::m_args;
RunState<StringDeque> Launcher::m_passThroughArgs;
RunState<SString> Launcher::m_userJavaHome;
RunState<bool> Launcher::m_showJavaConsole;
ClearedRunState<LauncherInputFiles> Launcher::m_inputFiles;
RunState<std::array<SString, 10>> Launcher::m_stringVariables;
RunState<std::array<long, 5>> Launcher::m_numericVariables;
RunState<int> Launcher::m_exitStatus;

Launcher::~Launcher() {
    PlatformImpl::cleanup();
    UserCache::upkeep();
}

void Launcher::setLauncherFiles(const SString& launcherFile, const SString& originalFile) {
    m_launcherFileName = launcherFile;
    m_origLauncherFileName = originalFile;
    PlatformImpl::setLauncherFile(launcherFile);
    m_inputFiles->setLauncherFiles(launcherFile, originalFile);
}

void Launcher::logMessage(const char* message, LogMessageType type) {
    ::logMessage(message, type);
}

void Launcher::logMessage(const SString& message, LogMessageType type) {
    ::logMessage(message, type);
}

void Launcher::setLogFileName(const SString& name) {
    ::setLogFileName(name);
}

SString Launcher::getStringVariable(long n) {
    if (!isValidStringVariable(n)) {
        throw LauncherException("Invalid string variable number: " + convertToString(n));
    }
    return m_stringVariables->at(static_cast<size_t>(n - 1));
}

void Launcher::setStringVariable(long n, const SString& value) {
    if (!isValidStringVariable(n)) {
        throw LauncherException("Invalid string variable number: " + convertToString(n));
    }
    m_stringVariables->at(static_cast<size_t>(n - 1)) = value;
}

long Launcher::getLongVariable(long n) {
    if (!isValidLongVariable(n)) {
        throw LauncherException("Invalid numeric variable number: " + convertToString(n));
    }
    return m_numericVariables->at(static_cast<size_t>(n - 1));
}

void Launcher::setLongVariable(long n, long value) {
    if (!isValidLongVariable(n)) {
        throw LauncherException("Invalid numeric variable number: " + convertToString(n));
    }
    m_numericVariables->at(static_cast<size_t>(n - 1)) = value;
}

const SString& Launcher::getApplicationArchive() {
    return m_inputFiles->applicationArchive().embedded();
}

SString Launcher::getApplicationArchive(const SString& name) {
    return m_inputFiles->applicationArchive().besideLauncher(name);
}
