// The controller's actions: find, verify and install a JVM, launch the application and
// hand over to an embedded launcher. Results go to the numbered variables and, for the
// input-file forms, to standard output.

#include <sys/wait.h>

#include <cstdio>
#include <memory>

#include "base/InstructionsException.h"
#include "base/LauncherException.h"
#include "base/Numbers.h"
#include "base/Paths.h"
#include "inputfiles/FileIndexEntry.h"
#include "inputfiles/TagFile.h"
#include "jvm/JVMFile.h"
#include "jvm/JVMFiles.h"
#include "jvm/JVMMatch.h"
#include "launch/LaunchScript.h"
#include "launcher/Instructions.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"
#include "platform/cache/UserCache.h"
#include "platform/os/FileIdentity.h"
#include "platform/os/InstallDestination.h"
#include "platform/os/ProcessControl.h"
#include "platform/os/SystemError.h"

namespace {

void showOrHide(bool showUI, UIStatus status) {
    if (showUI) {
        PlatformImpl::setUIStatus(status);
        PlatformImpl::showUI();
    } else {
        PlatformImpl::hideUI();
    }
}

// Results for the program that started the launcher: one value per line.
void printResult(const SString& value) {
    fwrite(value.data(), 1, value.size(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

void printResult(long value) {
    printResult(convertToString(value));
}

}  // namespace

void Launcher::run() {
    if (!m_inputFiles->m_instructions) return;
    try {
        m_inputFiles->m_instructions->execute();
    } catch (const InstructionsException& e) {
        throw LauncherException("Error in instructions. " + e.getMessage() + " Line number (" +
                                convertToString(e.getLineNumber()) + ")");
    }
}

void Launcher::findJVM(bool showUI, bool showFailMsg) {
    logMessage("Finding a JVM", LOG_INFO);
    showOrHide(showUI, SearchingForJVM);
    setStringVariable(1, "");
    setStringVariable(2, "");
    setLongVariable(1, 0);
    JVMMatchPtrDeque matches;
    try {
        m_inputFiles->m_jvmFiles.search(matches, m_userJavaHome);
    } catch (const LauncherException& e) {
        SString m = PlatformImpl::getMessageText(MSG_NO_MATCHING_JVM) + " " + e.getMessage();
        logMessage(m, LOG_ERROR);
        if (showFailMsg) PlatformImpl::showUIMessage(m);
        throw;
    }
    JVMMatch* match = matches.at(0);
    if (!match) {
        SString m = PlatformImpl::getMessageText(MSG_NO_MATCHING_JVM);
        logMessage(m, LOG_INFO);
        if (showFailMsg && !PlatformImpl::isCanceled()) {
            PlatformImpl::showUIMessage(m);
            const JVMFiles& files = m_inputFiles->m_jvmFiles;
            for (const SString& line : files.record().reportLines(files)) {
                PlatformImpl::showErrorLine(line);
            }
        }
        return;
    }
    // A descriptor that cannot be written whole ends the run here, with N1 still 0: the
    // next instruction never reads a half-written one.
    const SString file = match->writeNewJVMFile();
    const SString home = match->m_jvmHome;
    // The matching descriptor shows the match, as the written one does.
    match->m_descriptorFile.setDynamicJVMTags(home, file, false);
    logMessage("Matching JVM home is " + home, LOG_INFO);
    logMessage("Matching JVM file is " + file, LOG_INFO);
    setStringVariable(1, home);
    setStringVariable(2, file);
    setLongVariable(1, 1);
}

void Launcher::search(bool showUI, bool showFailMsg) {
    findJVM(showUI, showFailMsg);
    long found = getLongVariable(1);
    printResult(found);
    if (found != 0) {
        printResult(getStringVariable(1));
        printResult(getStringVariable(2));
        PlatformImpl::removeFileFromCleanupList(getStringVariable(2));
    }
}

void Launcher::searchAll(bool showUI, bool showFailMsg) {
    logMessage("Finding all matching JVMs", LOG_INFO);
    showOrHide(showUI, SearchingForJVM);
    try {
        JVMMatchPtrDeque matches;
        m_inputFiles->m_jvmFiles.searchAll(matches, false);
        printResult(matches.size());
        for (long i = 0; i < matches.size(); ++i) {
            JVMMatch* match = matches.at(i);
            SString file = match->writeNewJVMFile();
            PlatformImpl::removeFileFromCleanupList(file);
            printResult(match->m_jvmHome);
            printResult(file);
        }
    } catch (const LauncherException& e) {
        SString m = PlatformImpl::getMessageText(MSG_UNABLE_TO_SEARCH_ALL) + e.getMessage();
        logMessage(m, LOG_ERROR);
        if (showFailMsg) PlatformImpl::showUIMessage(m);
        printResult(0);
    }
}

void Launcher::verifyJVM(bool showUI, bool showFailMsg, long fileId) {
    showOrHide(showUI, SearchingForJVM);
    const FileIndexEntry* entry = m_inputFiles->getFile(fileId);
    const SString id = convertToString(fileId);
    if (!entry) {
        throw LauncherException("Cannot verify jvm file at index " + id +
                                " because it does not exist.");
    }
    if (entry->m_type != FILE_TYPE_JVM) {
        throw LauncherException(
            "To verify a JVM, use an index of a jvm file. The index passed in was " + id +
            " which corresponds to the file named " + entry->m_name);
    }
    if (!entry->m_tagFile) {
        throw LauncherException("The jvm file with file id " + id + " could not be read.");
    }
    verifyJVM(showUI, showFailMsg, *entry->m_tagFile, m_userJavaHome);
}

void Launcher::verifyJVM(bool showUI, bool showFailMsg, TagFile& descriptor,
                         const SString& javaHome) {
    setLongVariable(1, 0);
    if (showUI) PlatformImpl::setUISubStatus(Verifying, descriptor.getTagValue("DESC", 0));
    JVMFile jvmFile(descriptor);
    jvmFile.setVerificationContext(&m_inputFiles->m_jvmFiles.verificationContext());
    SString classPath, className;
    if (!UserCache::available()) m_inputFiles->m_jvmFiles.writeVerifyJar(classPath, className);
    std::unique_ptr<JVMMatch> match(javaHome.empty()
                                        ? jvmFile.verify(classPath, className)
                                        : jvmFile.verify(javaHome, classPath, className));
    if (match) {
        // The descriptor now names the verified home, for ILAUNCH and the lines that follow.
        const SString home = match->m_jvmHome;
        descriptor.setTagValue("JVM_HOME", home);
        setLongVariable(1, 1);
        setStringVariable(1, home);
        logMessage("After VERIFY, the jvm home is " + home, LOG_INFO);
    } else {
        if (showFailMsg)
            PlatformImpl::showUIMessage(PlatformImpl::getMessageText(MSG_JVM_NOT_VALID));
        logMessage("In VERIFY, the jvm is invalid.", LOG_INFO);
    }
}

void Launcher::verifyJVM(bool showUI, bool showFailMsg, const SString& descriptorPath,
                         const SString& javaHome) {
    TagFile descriptor(descriptorPath);
    verifyJVM(showUI, showFailMsg, descriptor, javaHome);
    printResult(getLongVariable(1));
}

void Launcher::installJVM(bool, bool, const SString& installer, const SString& destination) {
    PlatformImpl::executeArguments({installer}, destination, false, nullptr, nullptr);
    SString descriptorPath = destination;
    appendPathSeparator(descriptorPath);
    descriptorPath += "jvm";
    TagFile descriptor(descriptorPath);
    descriptor.setDynamicJVMTags(destination, descriptorPath, false);
    descriptor.write(descriptorPath);
    printResult(descriptorPath);
}

void Launcher::initializeUI() {
    PlatformImpl::setUIStatus(Initializing);
    PlatformImpl::setUISubStatus(None, SString());
    PlatformImpl::showUI();
}

// Whether nothing is left for the launcher once the application has ended: no display
// kept up for it, no log to write, and only jumps after this instruction.
static bool nothingFollowsTheLaunch(short seconds) {
    Instructions* instructions = Launcher::inputFiles().m_instructions.get();
    return seconds <= 0 && logFileName().empty() && instructions && instructions->onlyJumpsFollow();
}

// Starts the application through the launch script against `descriptor`. Its exit status
// becomes the run's; an application ended by a signal ends the run by the same signal.
static void launchWith(TagFile& descriptor, short seconds) {
    JVMFile jvmFile(descriptor);
    if (seconds > 0) {
        PlatformImpl::setUIStatus(Running);
        PlatformImpl::setUISubStatus(None, SString());
    }
    PlatformImpl::hideUI(seconds);
    const int status = Launcher::inputFiles().m_launchScript->execute(
        jvmFile, &Launcher::getPassThroughArgs(), Launcher::showsJavaConsole(),
        nothingFollowsTheLaunch(seconds));
    if (WIFSIGNALED(status)) throw TerminationRequest(WTERMSIG(status));
    Launcher::setExitStatus(WIFEXITED(status) ? WEXITSTATUS(status) : 1);
}

static void requireLaunchScript() {
    if (!Launcher::inputFiles().m_launchScript) {
        throw LauncherException(
            "The application cannot be started: the launcher carries no launch script (pack "
            "it with --launch-script).");
    }
}

void Launcher::launch(const SString& descriptorPath, short seconds) {
    requireLaunchScript();
    TagFile descriptor(descriptorPath);
    launchWith(descriptor, seconds);
}

void Launcher::ilaunch(long fileId, short seconds) {
    requireLaunchScript();
    const FileIndexEntry* entry = m_inputFiles->getFile(fileId);
    if (!entry || entry->m_type != FILE_TYPE_JVM || !entry->m_tagFile) {
        logMessage(
            "Unable to launch the internal launch script with the internal JVM file. Either the "
            "launch script or the JVM file is missing from the launcher.",
            LOG_ERROR);
        return;
    }
    launchWith(*entry->m_tagFile, seconds);
}

void Launcher::executeEmbeddedLauncher(long position) {
    const FileIndexEntry* entry = m_inputFiles->getFileAt(position);
    if (!entry || entry->m_type != FILE_TYPE_EMBEDDED_LAUNCHER) {
        logMessage("Unable to execute the embedded launcher.", LOG_ERROR);
        return;
    }
    SString directory = PlatformImpl::createTempSubDirectory();
    PlatformImpl::removeDirFromCleanupList(directory);
    SString program = m_inputFiles->bundle()->extract(*entry, directory);
    // The embedded launcher gets its arguments as a vector, byte for byte. "-qn:orig" names
    // the launcher the user started (also when this one is itself an embedded copy), so that
    // files beside it are found and the copy removes itself at its end.
    std::vector<SString> arguments = {program, "-qn:orig", m_origLauncherFileName};
    for (const SString& arg : m_args.get()) arguments.push_back(arg);
    const int error = PlatformImpl::replaceProcess(arguments, directory);
    // Still here: the program could not be started; its copy goes at the run's end.
    PlatformImpl::addDirToCleanupList(directory);
    logMessage(systemErrorText("Unable to execute the embedded launcher " + program + ": ", error),
               LOG_ERROR);
}
