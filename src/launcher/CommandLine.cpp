// The launcher's front door: options handled left to right, the input-file interface,
// and the outermost handler that shows and logs a failure.

#include <algorithm>

#include "base/LauncherException.h"
#include "base/Paths.h"
#include "base/StdioFile.h"
#include "base/TextLines.h"
#include "inputfiles/TagFile.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"

int Launcher::process(const StringDeque& args, const SString& launcherPath) {
    try {
        setLauncherFiles(launcherPath, launcherPath);
        for (const SString& arg : args) m_args->push_back(arg);
        if (processCmdLine(args) != 0) return 1;
        return m_exitStatus;
    } catch (const LauncherException& e) {
        PlatformImpl::showUIMessage(e.getMessage());
        logMessage(e.getMessage(), LOG_ERROR);
        return 1;
    }
}

// Loads the launcher's own index (and tag files), adding the index context to a failure.
static void loadAppendedFiles(bool loadTagFiles) {
    try {
        Launcher::inputFiles().load(loadTagFiles);
    } catch (const LauncherException& e) {
        throw LauncherException(PlatformImpl::getMessageText(MSG_UNABLE_TO_LOAD_INDEX) +
                                e.getMessage());
    }
}

// What a run of a file with nothing to run says, on standard error.
// `path` joined to the current directory unless it is absolute or empty.
static SString absolutePath(const SString& path) {
    if (path.empty() || path[0] == '/') return path;
    const SString cwd = PlatformImpl::currentDirectory();
    return cwd.empty() ? path : cwd + "/" + path;
}

static SString brokenBundleText(bool hasAppendedData) {
    if (hasAppendedData) {
        return "this bundle carries no instructions; it was probably packed without "
               "--instructions.";
    }
    if (baseName(Launcher::getLauncherFileName()) == "qnlaunch") {
        return "this is the launcher stub alone, with no application appended; make a bundle "
               "from it with qnpack create (see qnpack --help).";
    }
    return "this file carries no bundle data; it was probably stripped (strip removes the data "
           "appended to a bundle: leave bundles out of the strip step), or it was not made with "
           "qnpack.";
}

namespace {

// The launcher's options, and whether each takes the argument after it as its value.
struct LauncherOption {
    const char* name;
    bool takesValue;
};
const LauncherOption kLauncherOptions[] = {
    {"-qn:log", true},      {"-qn:orig", true},     {"-qn:tempdir", true},
    {"-qn:javahome", true}, {"-qn:in", true},       {"-qn:silent", false},
    {"-qn:extract", false}, {"-qn:version", false}, {"-qn:javaconsole", false},
};

const LauncherOption* launcherOption(const SString& arg) {
    for (const LauncherOption& option : kLauncherOptions) {
        if (arg == option.name) return &option;
    }
    return nullptr;
}

// Where the leading launcher options end: the index of the first argument that is neither
// an option nor an option's value.
long leadingOptionsEnd(const StringDeque& args) {
    long i = 0;
    while (i < args.size()) {
        const LauncherOption* option = launcherOption(args.at(i));
        if (!option) break;
        i += option->takesValue ? 2 : 1;
    }
    return std::min(i, args.size());
}

// Where the launcher's options end. They end at the application's first argument when the
// launch script says so; the bundle is read for that only when an option stands after it.
long optionsEnd(const StringDeque& args) {
    const long count = args.size();
    const long leading = leadingOptionsEnd(args);
    bool laterOption = false;
    for (long i = leading; i < count && !laterOption; ++i) {
        laterOption = launcherOption(args.at(i)) != nullptr;
    }
    return laterOption && Launcher::inputFiles().launcherOptionsFirst() ? leading : count;
}

// The variable that names a log file when the command line names none.
const char* const kLogVariable = "QNLAUNCH_LOG";

// QNLAUNCH_LOG stands in for -qn:log when the options before `end` name no log file.
void takeLogVariable(const StringDeque& args, long end) {
    for (long i = 0; i + 1 < end; ++i) {
        const LauncherOption* option = launcherOption(args.at(i));
        if (option && SString(option->name) == "-qn:log") return;
        if (option && option->takesValue) ++i;
    }
    const SString variableLog = PlatformImpl::getEnvironmentVariable(kLogVariable);
    if (!variableLog.empty()) Launcher::setLogFileName(variableLog);
}

}  // namespace

int Launcher::processCmdLine(const StringDeque& args) {
    bool runInstructions = true;
    PlatformImpl::setDeleteLauncher(false);
    PlatformImpl::setUIProgress(0);

    const long count = args.size();
    const long end = optionsEnd(args);
    takeLogVariable(args, end);

    for (long i = 0; i < count; ++i) {
        const SString arg = args.at(i);
        const bool hasValue = i + 1 < count;
        if (i >= end) {
            m_passThroughArgs->push_back(arg);
        } else if (arg == "-qn:log") {
            // A usage error: said on standard error, which a quiet tool keeps for failures.
            if (!hasValue) {
                const SString message = PlatformImpl::getMessageText(MSG_LOG_FILE_NAME_MISSING);
                PlatformImpl::showErrorLine(message);
                logMessage(message, LOG_ERROR);
                return 1;
            }
            setLogFileName(args.at(++i));
        } else if (arg == "-qn:orig") {
            if (hasValue) {
                setLauncherFiles(m_launcherFileName, args.at(++i));
                PlatformImpl::setDeleteLauncher(true);
            } else {
                PlatformImpl::showUIMessage("Missing original launcher file name.");
            }
        } else if (arg == "-qn:tempdir") {
            if (hasValue) {
                const SString dir = args.at(++i);
                if (!PlatformImpl::isDirectoryPath(dir)) {
                    PlatformImpl::showErrorLine("-qn:tempdir " + dir +
                                                " is not a directory; it is not used.");
                }
                PlatformImpl::setSystemTempDir(dir);
            }
        } else if (arg == "-qn:silent") {
            PlatformImpl::setSilent(true);
        } else if (arg == "-qn:javahome") {
            // Made absolute now: it is checked here but run from the launcher's directory.
            if (hasValue) m_userJavaHome = absolutePath(args.at(++i));
        } else if (arg == "-qn:extract") {
            loadAppendedFiles(false);
            try {
                m_inputFiles->extractAll();
            } catch (const LauncherException& e) {
                throw LauncherException(PlatformImpl::getMessageText(MSG_UNABLE_TO_EXTRACT) +
                                        e.getMessage());
            }
            PlatformImpl::setUIProgress(100);
            runInstructions = false;
        } else if (arg == "-qn:in") {
            if (hasValue) {
                runInstructions = processInputFile(args.at(++i));
            } else {
                PlatformImpl::showUIMessage(
                    PlatformImpl::getMessageText(MSG_INPUT_FILE_NAME_MISSING));
                runInstructions = false;
            }
        } else if (arg == "-qn:version") {
            PlatformImpl::showUIMessage("2.1");
            runInstructions = false;
        } else if (arg == "-qn:javaconsole") {
            m_showJavaConsole = true;
        } else {
            m_passThroughArgs->push_back(arg);
        }
    }

    if (runInstructions) {
        if (!m_inputFiles->isLoaded()) loadAppendedFiles(true);
        if (!m_inputFiles->hasAppendedData() || !m_inputFiles->m_instructions) {
            PlatformImpl::showErrorLine(brokenBundleText(m_inputFiles->hasAppendedData()));
            return 1;
        }
        run();
        PlatformImpl::setUIProgress(100);
    }
    return 0;
}

bool Launcher::processInputFile(const SString& value) {
    const SString couldNotLoad = PlatformImpl::getMessageText(MSG_COULD_NOT_LOAD_INPUT_FILE);
    const SString cannotOpen = PlatformImpl::getMessageText(MSG_UNABLE_TO_OPEN_INPUT_FILE);

    SString path = value;
    stripQuotes(path);
    StdioFile stream = value.empty() ? StdioFile() : PlatformImpl::openInputFile(path);
    if (!stream) {
        PlatformImpl::showUIMessage(couldNotLoad + cannotOpen);
        throw LauncherException(cannotOpen);
    }

    TagFile inputTagFile;
    try {
        logMessage("Loading input file " + value, LOG_INFO);
        inputTagFile.load(stream.get(), value, 0, -1);
        setLogFileName(inputTagFile.getTagValue("LOGFILE", 0));
        stream.close();
    } catch (const LauncherException& e) {
        PlatformImpl::showUIMessage(couldNotLoad + e.getMessage());
        throw;
    }

    // A caller that asked for no display reads the results from standard output; the
    // title that loading would show must not come before them.
    const bool showProgress = inputTagFile.getBoolTagValue("SHOW_PROGRESS", false);
    const bool showFailMsg = inputTagFile.getBoolTagValue("SHOW_FAIL_MSG", false);
    if (!showProgress && !showFailMsg) PlatformImpl::hideUI();

    try {
        m_inputFiles->load(inputTagFile);
    } catch (const LauncherException& e) {
        PlatformImpl::showUIMessage(e.getMessage());
        throw;
    }
    loadAppendedFiles(true);

    if (showProgress || showFailMsg) {
        PlatformImpl::showUI();
    } else {
        PlatformImpl::hideUI();
    }
    if (showProgress) PlatformImpl::setUIProgress(0);

    const SString action = inputTagFile.getTagValue("ACTION", 0);
    if (action == "RUN_INSTRUCTIONS") return true;
    if (action == "SEARCH") {
        search(showProgress, showFailMsg);
        PlatformImpl::setUIProgress(100);
    } else if (action == "SEARCH_ALL") {
        searchAll(showProgress, showFailMsg);
        PlatformImpl::setUIProgress(100);
    } else if (action == "VERIFY_JVM") {
        SString file = inputTagFile.getTagValue("VERIFY_JVM_FILE", 0);
        SString home = inputTagFile.getTagValue("VERIFY_JVM_HOME", 0);
        if (file.empty() || home.empty()) {
            logMessage(
                "TO execute the VERIFY_JVM action, you must also provide values in the input "
                "file for VERIFY_JVM_FILE and VERIFY_JVM_HOME.",
                LOG_ERROR);
        } else {
            verifyJVM(showProgress, showFailMsg, file, home);
            PlatformImpl::setUIProgress(100);
        }
    } else if (action == "INSTALL_JVM") {
        SString exe = inputTagFile.getTagValue("INSTALL_JVM_EXE", 0);
        SString dest = inputTagFile.getTagValue("INSTALL_JVM_DEST", 0);
        if (!exe.empty() && !dest.empty()) installJVM(showProgress, showFailMsg, exe, dest);
        PlatformImpl::setUIProgress(100);
    } else {
        SString message = PlatformImpl::getMessageText(MSG_INVALID_ACTION) + action;
        PlatformImpl::showUIMessage(message);
        throw LauncherException(message);
    }
    return false;
}
