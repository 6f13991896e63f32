#include "qnpack/Companions.h"

#include "base/Paths.h"
#include "platform/PlatformImpl.h"

namespace {

Companion firstReadable(const std::vector<SString>& places) {
    Companion companion;
    companion.searched = places;
    for (const SString& place : places) {
        if (PlatformImpl::isReadable(place)) {
            companion.path = place;
            break;
        }
    }
    return companion;
}

}  // namespace

SString packerDirectory(const char* argv0) {
    SString path = PlatformImpl::ownExecutablePath();
    if (path.empty()) path = argv0 ? argv0 : "";
    const SString directory = dirName(path);
    return directory.empty() ? SString(".") : directory;
}

Companion findStub(const SString& packerDir, const SString& arch) {
    if (arch.empty()) {
        return firstReadable({packerDir + "/qnlaunch-stripped", packerDir + "/qnlaunch"});
    }
    // A build tree keeps the other architecture's stub beside qnpack, an installed tree in
    // lib/qnlaunch.
    const SString dir = packerDir + "/" + arch;
    return firstReadable({dir + "/qnlaunch-stripped", dir + "/qnlaunch",
                          packerDir + "/../lib/qnlaunch/" + arch + "/qnlaunch"});
}

Companion findVerifier(const SString& packerDir) {
    return firstReadable({packerDir + "/../share/qnlaunch/verify.jar",
                          packerDir + "/../java/verify.jar", packerDir + "/verify.jar"});
}

Companion findDescriptor(const SString& packerDir, const SString& name) {
    return firstReadable({packerDir + "/../share/qnlaunch/descriptors/" + name});
}

SString missingCompanionMessage(const char* option, const char* what, const Companion& companion) {
    SString message =
        SString("no ") + what + " found; give one with " + option + " FILE (looked at ";
    for (size_t i = 0; i < companion.searched.size(); ++i) {
        message += (i ? ", " : "") + companion.searched[i];
    }
    return message + ")";
}
