#pragma once
// The one way tests reach the static state of the launcher and the platform layer: they
// set what a run would have set and read what it left, and put everything back at the end.

#include <array>

#include "base/SString.h"
#include "platform/PlatformImpl.h"

class LauncherInputFiles;

namespace testkit {

class StateAccess {
public:
    // Every piece of the run's state back to its start value, a received interruption
    // signal included (RunStatePiece::resetAll()).
    static void resetAll();

    // --- launcher ---
    // The launcher's own path, and the path it was started as.
    static void setLauncherFile(const SString& path);
    static void setOriginalLauncherFile(const SString& path);
    static void setUserJavaHome(const SString& home);
    static LauncherInputFiles& inputFiles();
    static bool logFileInitialized();
    // The stored variables as they are, without the number checks of the accessors.
    static const std::array<SString, 10>& stringVariables();
    static const std::array<long, 5>& numericVariables();

    // --- platform layer ---
    static void setCanceled(bool canceled);
    static void setDeleteLauncher(bool deleteLauncher);
    static UISubStatus subStatus();
    static const SString& subStatusData();
    // The title as stored, and the progress count, without the display side effects.
    static const SString& title();
    static void setTitle(const SString& title);
    static long progress();
    static void setProgress(long progress);
};

}  // namespace testkit
