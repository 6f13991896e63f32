#include "base/LauncherContext.h"

LauncherContext::Hooks LauncherContext::s_hooks;

void LauncherContext::install(const Hooks& hooks) {
    s_hooks = hooks;
}

SString LauncherContext::launcherFileName() {
    return s_hooks.launcherFileName ? s_hooks.launcherFileName() : SString();
}

SString LauncherContext::originalLauncherFileName() {
    return s_hooks.originalLauncherFileName ? s_hooks.originalLauncherFileName() : SString();
}

SString LauncherContext::originalLauncherDir() {
    SString name = originalLauncherFileName();
    size_t separator = name.find_last_of("/\\");
    return separator == SString::npos ? SString() : name.substr(0, separator);
}

SString LauncherContext::userJavaHome() {
    return s_hooks.userJavaHome ? s_hooks.userJavaHome() : SString();
}

SString LauncherContext::applicationArchive(const SString* name) {
    return s_hooks.applicationArchive ? s_hooks.applicationArchive(name) : SString();
}
