#pragma once
// The controller: the launcher's process-wide state, its log, the numbered variables,
// command-line handling and the actions that the instructions call.

#include "base/SString.h"
#include "base/StdioFile.h"
#include "base/StringDeque.h"
#include "launcher/LauncherInputFiles.h"

#include "platform/Log.h"

class TagFile;
namespace testkit {
class StateAccess;
}
enum InstallJVMOption { INSTALL_TEMP_SILENT = 0, INSTALL_TEMP = 1, INSTALL_PROMPT = 2 };

// The controller's state lives in RunState members, which RunStatePiece::resetAll() puts
// back to their start values between launches in one process (tests).
class Launcher {
public:
    Launcher() = default;
    // Runs the clean-up of temporary files and directories, then the cache's upkeep.
    ~Launcher();
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    // --- entry and command line ---
    // Records the arguments and runs the command line. Returns the run's exit status: the
    // application's when one was launched, the EXIT instruction's, 1 when a failure was
    // shown and logged, else 0.
    static int process(const StringDeque& args, const SString& launcherPath);
    static int processCmdLine(const StringDeque& args);
    // Runs the loaded instructions, naming the instruction line in any interpreter error.
    static void run();

    // --- log (the run's log, platform/Log.h) ---
    static void logMessage(const char* message, LogMessageType type);
    static void logMessage(const SString& message, LogMessageType type);
    static void setLogFileName(const SString& name);

    // --- state ---
    static SString getLauncherFileName() { return m_launcherFileName; }
    static SString getOriginalLauncherFileName() { return m_origLauncherFileName; }
    static const SString& getUserJavaHome() { return m_userJavaHome; }
    static const StringDeque& getPassThroughArgs() { return m_passThroughArgs; }
    static bool showsJavaConsole() { return m_showJavaConsole; }
    // The input files of the run: the bundle and the loaded tag files.
    static LauncherInputFiles& inputFiles() { return *m_inputFiles; }

    static bool isValidStringVariable(long n) { return n >= 1 && n <= 10; }
    static bool isValidLongVariable(long n) { return n >= 1 && n <= 5; }
    static void setExitStatus(int status) { m_exitStatus = status; }

    static SString getStringVariable(long n);
    static void setStringVariable(long n, const SString& value);
    static long getLongVariable(long n);
    static void setLongVariable(long n, long value);

    // --- application archive ---
    // The archive extracted from the launcher, prepared once per run.
    static const SString& getApplicationArchive();
    // A copy of the archive `name` beside the original launcher; empty when it is missing.
    static SString getApplicationArchive(const SString& name);

    // --- actions ---
    static void findJVM(bool showUI, bool showFailMsg);
    static void search(bool showUI, bool showFailMsg);
    static void searchAll(bool showUI, bool showFailMsg);
    static void verifyJVM(bool showUI, bool showFailMsg, long fileId);
    static void verifyJVM(bool showUI, bool showFailMsg, TagFile& descriptor,
                          const SString& javaHome);
    static void verifyJVM(bool showUI, bool showFailMsg, const SString& descriptorPath,
                          const SString& javaHome);
    // INSTALL_JVM. With a runtime entry in the bundle, installs the first one (see
    // BundledRuntime): into the cache or a private directory of the run, or with
    // INSTALL_PROMPT into the directory the user names. Otherwise runs the first
    // hand-written installer in a new temporary directory, or the one the user names.
    // On success N1 = 1 and S1 = the path of the installed JVM's descriptor with JVM_HOME,
    // JVM_FILE and JVM_TEMP filled in: a new temporary file of the run for a runtime, the
    // installer's "jvm" for an installer. On failure N1 = 0 and S1 is empty, with the reason
    // logged: a refused destination, a runtime that cannot be installed (shown unless
    // INSTALL_TEMP_SILENT), an installer that left no "jvm", and a JVM whose executable
    // fails the trust rule of found JVMs (shown). Throws LauncherException when the bundle
    // carries neither, and what a failing installer throws.
    static void installJVM(InstallJVMOption option);
    static void installJVM(bool showUI, bool showFailMsg, const SString& installer,
                           const SString& destination);
    static void initializeUI();
    static void launch(const SString& descriptorPath, short seconds);
    static void ilaunch(long fileId, short seconds);
    static void executeEmbeddedLauncher(long position);

private:
    friend class testkit::StateAccess;

    // Handles one -qn:in input file; returns whether the instructions should run after all.
    static bool processInputFile(const SString& value);

    // The launcher's own file and the one the user started, for every layer that needs them.
    static void setLauncherFiles(const SString& launcherFile, const SString& originalFile);

    static RunState<SString> m_launcherFileName;
    static RunState<SString> m_origLauncherFileName;
    static RunState<StringDeque> m_args;
    static RunState<StringDeque> m_passThroughArgs;
    static RunState<SString> m_userJavaHome;
    static RunState<bool> m_showJavaConsole;
    static ClearedRunState<LauncherInputFiles> m_inputFiles;
    static RunState<std::array<SString, 10>> m_stringVariables;
    static RunState<std::array<long, 5>> m_numericVariables;
    static RunState<int> m_exitStatus;
};
