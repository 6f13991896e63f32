#pragma once
// The controller: the launcher's process-wide state, its log, the numbered variables,
// command-line handling and the actions that the instructions call.

#include "base/SString.h"
#include "base/StdioFile.h"
#include "base/StringDeque.h"
#include "launcher/LauncherInputFiles.h"

#include "base/Log.h"

class TagFile;
namespace testkit {
class StateAccess;
}
enum InstallJVMOption { INSTALL_TEMP_SILENT = 0, INSTALL_TEMP = 1, INSTALL_PROMPT = 2 };

class Launcher {
public:
    Launcher() = default;
    // Runs the clean-up of temporary files and directories.
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

    // --- log ---
    static void logMessage(const char* message, LogMessageType type);
    static void logMessage(const SString& message, LogMessageType type);
    static void setLogFileName(const SString& name);
    // Appends `size` bytes to the log as they are; false when there is no log file.
    static bool appendRawToLog(const char* data, size_t size);

    // --- state ---
    static SString getLauncherFileName() { return m_launcherFileName; }
    // Points the launcher at `path` as its own file (the packer reads bundles this way).
    static void setLauncherFileName(const SString& path) { m_launcherFileName = path; }
    static SString getOriginalLauncherFileName() { return m_origLauncherFileName; }
    static SString getOriginalLauncherDir();
    static const SString& getUserJavaHome() { return m_userJavaHome; }
    static const StringDeque& getPassThroughArgs() { return m_passThroughArgs; }
    static bool showsJavaConsole() { return m_showJavaConsole; }
    // The input files of the run: the bundle's index and the loaded tag files.
    static LauncherInputFiles& inputFiles() { return m_inputFiles; }

    static bool isValidStringVariable(long n) { return n >= 1 && n <= 10; }
    static bool isValidLongVariable(long n) { return n >= 1 && n <= 5; }
    static int getExitStatus() { return m_exitStatus; }
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
    static void installJVM(InstallJVMOption option);
    static void installJVM(bool showUI, bool showFailMsg, const SString& installer,
                           const SString& destination);
    static void initializeUI();
    static void launch(const SString& descriptorPath, short seconds);
    static void ilaunch(long fileId, short seconds);
    static void executeEmbeddedLauncher(long position);

    // Puts every static member back to its start value (tests run many launches in one process).
    static void resetState();

private:
    friend class testkit::StateAccess;

    // The log file opened for appending, with the line that starts each run's part written
    // first; an empty handle without a log file. A log file that cannot be opened is said
    // once on standard error (once per name), and its messages are dropped.
    static StdioFile openLog();
    // Handles one -qn:in input file; returns whether the instructions should run after all.
    static bool processInputFile(const SString& value);

    static SString m_logFileName;
    static bool m_logFileInitialized;
    // Log file names already reported as unwritable.
    static StringDeque m_unwritableLogNames;
    static SString m_launcherFileName;
    static SString m_origLauncherFileName;
    static StringDeque m_args;
    static StringDeque m_passThroughArgs;
    static SString m_userJavaHome;
    static bool m_showJavaConsole;
    static SString m_applicationArchive;
    static LauncherInputFiles m_inputFiles;
    static SString m_stringVariables[10];
    static long m_numericVariables[5];
    static int m_exitStatus;
};
