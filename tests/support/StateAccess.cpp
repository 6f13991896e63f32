#include "support/StateAccess.h"

#include "base/RunState.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"
#include "platform/log/Log.h"

namespace testkit {

void StateAccess::resetAll() {
    RunStatePiece::resetAll();
}

void StateAccess::setLauncherFile(const SString& path) {
    Launcher::setLauncherFiles(path, Launcher::m_origLauncherFileName);
}

void StateAccess::setOriginalLauncherFile(const SString& path) {
    Launcher::setLauncherFiles(Launcher::m_launcherFileName, path);
}

void StateAccess::setUserJavaHome(const SString& home) {
    Launcher::m_userJavaHome = home;
}

LauncherInputFiles& StateAccess::inputFiles() {
    return *Launcher::m_inputFiles;
}

bool StateAccess::logFileInitialized() {
    return ::logFileInitialized();
}

const std::array<SString, 10>& StateAccess::stringVariables() {
    return Launcher::m_stringVariables;
}

const std::array<long, 5>& StateAccess::numericVariables() {
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
