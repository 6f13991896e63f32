#include "support/StateAccess.h"

#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"

namespace testkit {

void StateAccess::resetAll() {
    Launcher::resetState();
    PlatformImpl::resetState();
}

void StateAccess::setLauncherFile(const SString& path) {
    Launcher::m_launcherFileName = path;
}

void StateAccess::setOriginalLauncherFile(const SString& path) {
    Launcher::m_origLauncherFileName = path;
}

void StateAccess::setUserJavaHome(const SString& home) {
    Launcher::m_userJavaHome = home;
}

LauncherInputFiles& StateAccess::inputFiles() {
    return Launcher::m_inputFiles;
}

bool StateAccess::logFileInitialized() {
    return Launcher::m_logFileInitialized;
}

void StateAccess::setLogFileInitialized(bool initialized) {
    Launcher::m_logFileInitialized = initialized;
}

const SString (&StateAccess::stringVariables())[10] {
    return Launcher::m_stringVariables;
}

const long (&StateAccess::numericVariables())[5] {
    return Launcher::m_numericVariables;
}

void StateAccess::setCanceled(bool canceled) {
    PlatformImpl::m_canceled = canceled;
}

void StateAccess::setDeleteLauncher(bool deleteLauncher) {
    PlatformImpl::m_deleteLauncher = deleteLauncher;
}

UISubStatus StateAccess::subStatus() {
    return PlatformImpl::m_subStatus;
}

const SString& StateAccess::subStatusData() {
    return PlatformImpl::m_subStatusData;
}

const SString& StateAccess::title() {
    return PlatformImpl::uiTitle();
}

void StateAccess::setTitle(const SString& title) {
    PlatformImpl::uiTitle() = title;
}

long StateAccess::progress() {
    return PlatformImpl::uiProgress();
}

void StateAccess::setProgress(long progress) {
    PlatformImpl::uiProgress() = progress;
}

}  // namespace testkit
