#pragma once
// The running launcher as the layers below it see it: its own file, the original
// launcher's file (for a launcher started by another one), the Java home the user chose
// and the application archive. The launcher installs the answers at start-up; until then
// every answer is empty.

#include "base/SString.h"

class LauncherContext {
public:
    struct Hooks {
        SString (*launcherFileName)() = nullptr;
        SString (*originalLauncherFileName)() = nullptr;
        SString (*userJavaHome)() = nullptr;
        // The application archive, prepared once per run; with a name, the archive of that
        // name beside the original launcher.
        SString (*applicationArchive)(const SString* name) = nullptr;
    };

    static void install(const Hooks& hooks);

    static SString launcherFileName();
    static SString originalLauncherFileName();
    // The original launcher's directory, empty when its name has none.
    static SString originalLauncherDir();
    static SString userJavaHome();
    static SString applicationArchive(const SString* name);

private:
    static Hooks s_hooks;
};
