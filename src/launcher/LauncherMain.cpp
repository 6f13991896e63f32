#include "launcher/LauncherMain.h"

#include <cerrno>
#include <cstdio>
#include <vector>

#include "base/Numbers.h"
#include "base/Paths.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"
#include "platform/os/ProcessControl.h"
#include "platform/os/SystemError.h"

// The absolute path of the running launcher: the program name when it is absolute,
// otherwise the current directory joined with it. A bare name that was found through
// PATH (no such file in the current directory) is taken from the kernel instead.
static bool launcherPath(const char* programName, SString& path) {
    SString name = programName ? programName : "";
    if (!name.empty() && name[0] == '/') {
        path = name;
        return true;
    }
    path = PlatformImpl::currentDirectory();
    if (path.empty()) return false;
    appendPathSeparator(path);
    path += name;
    if (name.find('/') == SString::npos && !PlatformImpl::fileExists(path)) {
        SString self = PlatformImpl::ownExecutablePath();
        if (!self.empty()) path = self;
    }
    return true;
}

int launcherMain(int argc, char** argv) {
    StringDeque args;
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    SString path;
    if (!launcherPath(argc > 0 ? argv[0] : nullptr, path)) {
        const SString message =
            systemErrorText("qnlaunch: cannot determine the current directory: ", errno);
        fprintf(stderr, "%s\n", message.c_str());
        return 1;
    }
    installSignalHandlers();
    int signal = 0;
    int status = 0;
    {
        Launcher launcher;  // cleans up when it goes
        try {
            status = Launcher::process(args, path);
        } catch (const TerminationRequest& request) {
            signal = request.signal();
        }
        if (signal == 0) signal = pendingSignal();
        if (signal != 0) {
            Launcher::logMessage("Ended by signal " + convertToString(signal) + ".", LOG_WARNING);
        }
    }
    // Interrupted: end the way the signal would have ended us, so callers can tell.
    if (signal != 0) dieBySignal(signal);
    return status;
}
