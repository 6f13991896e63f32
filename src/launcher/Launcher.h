#pragma once
// The controller: the launcher's process-wide state, its log, the numbered variables,
// command-line handling and the actions that the instructions call.

#include "base/SString.h"
#include "base/StdioFile.h"
#include "base/StringDeque.h"
#include "launcher/LauncherInputFiles.h"

#include "platform/log/Log.h"

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
    // Each action's results go to the numbered variables; a failure that throws
    // (LauncherException) ends the run with its message and status 1, whatever they hold.

    // FIND_JVM. Found: N1 = 1, S1 = the JVM's home, S2 = a descriptor written for it to a
    // new temporary file. None found: N1 = 0, S1 and S2 empty (with `showFailMsg`, the report
    // of what was tried on standard error). A descriptor that cannot be written whole throws
    // "Error writing file = …" with N1 still 0.
    static void findJVM(bool showUI, bool showFailMsg);
    // The SEARCH input-file action: findJVM, then its results on standard output (N1, and
    // when found S1 and S2, whose file then stays after the run).
    static void search(bool showUI, bool showFailMsg);
    // The SEARCH_ALL input-file action: the number of matches, then each home and written
    // descriptor, on standard output; "0" after a failure. Sets no variable.
    static void searchAll(bool showUI, bool showFailMsg);
    // VERIFY: the embedded descriptor `fileId` at -qn:javahome (or its own JVM_HOME).
    // Verified: N1 = 1, S1 = the home, which the descriptor's JVM_HOME then names.
    // Refused: N1 = 0, S1 as it was. An id that names no readable descriptor throws.
    static void verifyJVM(bool showUI, bool showFailMsg, long fileId);
    static void verifyJVM(bool showUI, bool showFailMsg, TagFile& descriptor,
                          const SString& javaHome);
    // The VERIFY_JVM input-file action: as above for a descriptor file, then N1 on
    // standard output. A descriptor that cannot be loaded throws.
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
    // The INSTALL_JVM input-file action: runs `installer` in `destination` and prints the
    // descriptor's path on standard output. Sets no variable; a descriptor that cannot be
    // read or written throws.
    static void installJVM(bool showUI, bool showFailMsg, const SString& installer,
                           const SString& destination);
    static void initializeUI();
    // LAUNCH and ILAUNCH: run the application against the descriptor (a file, or the
    // embedded descriptor `fileId`) and make its exit status the run's. Set no variable; a
    // launch script or descriptor that cannot be read, or an application that cannot be
    // started, throws.
    static void launch(const SString& descriptorPath, short seconds);
    static void ilaunch(long fileId, short seconds);
    // EXECUTE_LAUNCHER: replaces the run by the embedded launcher at `position`; returns only
    // when it cannot be started (logged). Sets no variable.
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
