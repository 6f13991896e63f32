#pragma once
// What the layers below the launcher know of the running launcher: its bundle, the runtime
// files beside it, its application archive and its paths. The launcher owns each part and
// hands this down explicitly to the objects that need it; nothing below calls back up.

#include "base/Paths.h"
#include "base/SString.h"

class ApplicationArchive;
class Bundle;
class ClassPathArchives;
class RuntimeFiles;

struct BundleContext {
    // The loaded bundle; null when none was loaded.
    const Bundle* bundle = nullptr;
    // The runtime files beside the launcher the user started; null: none are read.
    const RuntimeFiles* runtimeFiles = nullptr;
    // The run's application archive; null: there is none.
    ApplicationArchive* applicationArchive = nullptr;
    // The run's class-path archives; null: there are none.
    ClassPathArchives* classPathArchives = nullptr;
    // What the launch script will use of them, extracted while a verification runs.
    bool classPathAhead = false;
    bool applicationArchiveAhead = false;
    // The running launcher, and the one the user started (they differ for a launcher that
    // another one started).
    SString launcherFile;
    SString originalLauncherFile;

    // The running launcher's directory, where launches and verifications run unless told
    // otherwise; empty when its path has none.
    SString launcherDirectory() const { return dirName(launcherFile); }
    // The started launcher's directory; empty when its path has none.
    SString originalLauncherDirectory() const { return dirName(originalLauncherFile); }
};
