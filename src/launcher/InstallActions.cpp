// The INSTALL_JVM instruction: the runtime the bundle carries, installed by the launcher
// itself, or else the bundle's hand-written installer, run in a new directory. Either way
// the JVM handed on runs only when it passes the trust rule of found JVMs.

#include "base/LauncherException.h"
#include "base/Paths.h"
#include "inputfiles/Bundle.h"
#include "inputfiles/FileIndexEntry.h"
#include "inputfiles/TagFile.h"
#include "jvm/BundledRuntime.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"
#include "platform/os/FileIdentity.h"
#include "platform/os/InstallDestination.h"
#include "platform/os/TrustedPath.h"

namespace {

const FileIndexEntry* firstOfType(const LauncherInputFiles& files, long type) {
    for (long i = 0; i < files.getFileCount(); ++i) {
        const FileIndexEntry* entry = files.getFileAt(i);
        if (entry->m_type == type) return entry;
    }
    return nullptr;
}

void reportFailure(const SString& message, bool show) {
    Launcher::logMessage(message, LOG_ERROR);
    if (show) PlatformImpl::showUIMessage(message);
}

// Installs the bundle's runtime `entry` into `destination`, or for the run when it is
// empty: the path of the descriptor handed on, or empty after reporting why not.
SString installRuntime(const FileIndexEntry& entry, const SString& destination, bool show) {
    try {
        const BundledRuntime runtime(*Launcher::inputFiles().bundle(), entry);
        return destination.empty() ? runtime.install() : runtime.installAt(destination);
    } catch (const LauncherException& e) {
        reportFailure("The bundled runtime could not be installed. " + e.getMessage(), show);
        return SString();
    }
}

// Runs the hand-written `installer` in `destination` and fills in the descriptor "jvm" it
// leaves there: the descriptor's path, or empty when it left none (logged).
SString runInstaller(const FileIndexEntry& installer, const SString& destination) {
    const SString program = Launcher::inputFiles().bundle()->extract(installer, destination);
    const SString extracted = fileIdentity(program, false);
    // Installers run as the program they are, whatever their path holds; their output is
    // read and dropped.
    PlatformImpl::executeArguments({program}, destination, true, nullptr, nullptr);
    // The installer's file goes unless something else has taken its place meanwhile.
    if (fileIdentity(program, false) == extracted) PlatformImpl::deleteFile(program);

    SString descriptorPath = destination;
    appendPathSeparator(descriptorPath);
    descriptorPath += "jvm";
    if (!PlatformImpl::fileExists(descriptorPath)) {
        Launcher::logMessage("Invalid bundled JVM. Missing 'jvm' file.", LOG_ERROR);
        return SString();
    }
    TagFile descriptor(descriptorPath);
    descriptor.setDynamicJVMTags(destination, descriptorPath, true);
    descriptor.write(descriptorPath);
    return descriptorPath;
}

// Why the JVM that the descriptor at `descriptorPath` names may not run: the trust rule of
// found JVMs applied to its executable; empty when it may.
SString untrustedInstalledJVM(const SString& descriptorPath) {
    const TagFile descriptor(descriptorPath);
    const SString exe =
        joinPath(descriptor.getTagValue("JVM_HOME", 0), descriptor.getTagValue("JVM_EXE", 0));
    const SString reason = untrustedPathReason(exe);
    if (reason.empty()) return reason;
    return "Not running the installed JVM at " + showLineBreaks(exe) + ": " + reason + ".";
}

}  // namespace

void Launcher::installJVM(InstallJVMOption option) {
    setLongVariable(1, 0);
    setStringVariable(1, "");
    const bool show = option != INSTALL_TEMP_SILENT;
    if (show) {
        PlatformImpl::showUI();
        PlatformImpl::setUIStatus(PreparingJVM);
    } else {
        PlatformImpl::hideUI();
    }
    const FileIndexEntry* runtime = firstOfType(*m_inputFiles, FILE_TYPE_RUNTIME);
    const FileIndexEntry* installer =
        runtime ? nullptr : firstOfType(*m_inputFiles, FILE_TYPE_JVM_INSTALLER);
    if (!runtime && !installer) {
        throw LauncherException(PlatformImpl::getMessageText(MSG_NO_JVM_INSTALLER));
    }
    SString destination;
    if (option == INSTALL_PROMPT) {
        // Only a new or empty directory: nothing of the user's is overwritten or removed.
        SString problem;
        destination =
            prepareInstallDestination(PlatformImpl::promptJVMDestinationDirectory(), problem);
        if (!problem.empty()) reportFailure(problem, true);
        if (destination.empty()) return;
    } else if (!runtime) {
        destination = PlatformImpl::createTempSubDirectory();
    }

    const SString descriptorPath = runtime ? installRuntime(*runtime, destination, show)
                                           : runInstaller(*installer, destination);
    if (descriptorPath.empty()) return;
    const SString untrusted = untrustedInstalledJVM(descriptorPath);
    if (!untrusted.empty()) {
        reportFailure(untrusted, true);
        return;
    }
    setLongVariable(1, 1);
    setStringVariable(1, descriptorPath);
}
