#pragma once
// The platform layer: every system call, the process environment, the temporary files
// and the terminal output of the launcher go through these static operations.

#include <cstdio>
#include <functional>
#include <vector>

#include "base/Paths.h"
#include "base/RunState.h"
#include "base/SString.h"
#include "base/StdioFile.h"
#include "base/StringDeque.h"
#include "base/UniqueFd.h"

class FileFindListener;
namespace testkit {
class StateAccess;
}

// Receives the output of a captured child as it arrives.
class CaptureSink {
public:
    virtual ~CaptureSink() = default;
    // Bytes from standard output (`stream` 1) or standard error (2). False stops the child:
    // its process group is killed and nothing more is read.
    virtual bool received(int stream, const char* data, size_t size) = 0;
};

// What a captured child run may use, beyond the defaults.
struct ChildLimits {
    // Takes the output instead of the two strings (null: the strings get it).
    CaptureSink* sink = nullptr;
    // Seconds the child may run, 0 for no limit; past it its process group is killed.
    int timeLimitSeconds = 0;
    // NAME=value entries set in the child's environment only, the launcher's staying as
    // it is.
    std::vector<SString> environment;
    // Descriptors the child inherits at their numbers (their close-on-exec flag is cleared
    // in the child alone), for files it is given as /proc/self/fd/N.
    std::vector<int> inheritedFds;
    // Bytes any file the child writes may grow to (RLIMIT_FSIZE), 0 for no bound; past it
    // the write fails or the child gets SIGXFSZ.
    unsigned long long fileSizeLimit = 0;
    // Called once, as soon as the child has started and before it is waited for: work of
    // the launcher that overlaps the child's run. What it throws kills the child's process
    // group, which is then waited for, and passes on.
    std::function<void()> whileRunning;
};

// How a child run ended.
enum ChildOutcome { CHILD_ENDED = 0, CHILD_TIMED_OUT = 1, CHILD_STOPPED_BY_SINK = 2 };

enum UIStatus {
    Initializing = 0,
    SearchingForJVM = 1,
    JVMNotFound = 2,
    Running = 3,
    PreparingJVM = 4
};
enum UISubStatus : int { None = 0, Searching = 1, ScanningDisks = 2, Verifying = 3 };

// Catalogue messages that other modules look up by identifier.
enum MessageIdentifier {
    MSG_COULD_NOT_LOAD_INPUT_FILE = 0,
    MSG_ERROR_LOADING_INSTRUCTIONS = 1,
    MSG_ERROR_LOADING_LAUNCH_SCRIPT = 2,
    MSG_ERROR_LOADING_JVM_FILE = 3,
    MSG_INVALID_JVM_FILE_ID = 4,
    MSG_INVALID_ACTION = 5,
    MSG_LOG_FILE_NAME_MISSING = 6,
    MSG_UNABLE_TO_EXTRACT = 7,
    MSG_UNABLE_TO_LOAD_INDEX = 8,
    MSG_NO_JVM_INSTALLER = 9,
    MSG_JVM_NOT_VALID = 10,
    MSG_INPUT_FILE_NAME_MISSING = 11,
    MSG_NO_MATCHING_JVM = 12,
    MSG_UNABLE_TO_SEARCH_ALL = 13,
    MSG_UNABLE_TO_OPEN_INPUT_FILE = 14,
    MSG_ERROR_WRITING_FILE = 15,
    MSG_NOT_ENOUGH_SPACE = 16,
    MSG_CANCELED = 17,
};

class PlatformImpl {
public:
    // The running launcher's file, which the launcher names once at its start: its name
    // prefixes the lines of showErrorLine, and deleteLauncher removes it.
    static void setLauncherFile(const SString& path) { m_launcherFile = path; }

    // --- files and walking ---
    static const char* getPathSeparator() { return kPathSeparator; }
    // The current directory, however long; empty when it cannot be determined.
    static SString currentDirectory();
    // The path of the running executable, from the kernel; empty when unknown.
    static SString ownExecutablePath();
    // The roots below which relative path hints and the disk scan look: "/".
    static void getJVMSearchPartitions(StringDeque& partitions);
    static void findFiles(const StringDeque& names, FileFindListener& listener);
    static bool fileExists(const SString& path);
    // Opens a C stream with fopen's `mode`; an empty handle when it cannot be opened.
    static StdioFile openFile(const SString& path, const char* mode);
    // `path` opened for writing from its start, created when missing (mode 0666 less the
    // umask), and not emptied: a file emptied by opening it is flushed to the disk when it
    // is closed (ext4 does so, to keep a renamed-over file), which costs a short-lived
    // temporary file a tenth of a millisecond. The writer ends the file with endFileHere.
    // An empty handle (errno set) when it cannot be opened.
    static StdioFile openForRewriting(const SString& path);
    // Flushes `file` and cuts it at the current position, where a rewrite ended; false
    // (errno set) when either fails.
    static bool endFileHere(FILE* file);
    // `path` opened for appending, created when missing, without ever waiting: a named
    // pipe with no reader gives an empty handle.
    static StdioFile openForAppending(const SString& path);
    // Opens a text input (tag file, input file, runtime file) for reading: a regular file or
    // a stream such as a pipe; an empty handle for a directory or what cannot be opened.
    static StdioFile openInputFile(const SString& path);
    // `path` opened for reading when it is a plain file, without ever waiting (a named pipe
    // is refused, not opened for a writer that never comes); an empty handle otherwise, with
    // `problem` saying why ("it is not a plain file", or the system's reason).
    static StdioFile openPlainFile(const SString& path, SString& problem);
    // The same as a descriptor.
    static UniqueFd openPlainDescriptor(const SString& path, SString& problem);
    // Whether anything stands at `path`; a symbolic link counts whether or not it leads
    // anywhere.
    static bool entryExists(const SString& path);
    // A stream that reads the bytes of `text`, which must outlive it; an empty handle for an
    // empty text or when it cannot be made.
    static StdioFile openTextStream(const SString& text);
    // `path` opened for reading as a descriptor, as openInputFile opens it: an empty one
    // (errno set) for a directory or what cannot be opened.
    static UniqueFd openForReading(const SString& path);
    // `path` opened for writing as a descriptor, created (mode 0666 less the umask) or
    // emptied; an empty one (errno set) on failure.
    static UniqueFd openForWriting(const SString& path);
    // Makes the directory `path` (mode 0777 less the umask); true also when an entry of that
    // name exists already; otherwise errno tells why.
    static bool makeDirectory(const SString& path);
    // A new directory, mode 0700, named after `nameTemplate` with its final "XXXXXX" made
    // unique; empty (errno set) when it cannot be made. Not recorded for clean-up.
    static SString createUniqueDirectory(const SString& nameTemplate);
    // The names of the entries in `path` but "." and "..", in directory order; false (errno
    // set) when it cannot be read.
    static bool listDirectory(const SString& path, std::vector<SString>& names);
    // Deletes a file, or a directory with everything below it; failures are only logged.
    static void deleteFile(const SString& path);
    // The size of the file at `path` (links followed); -1 when it cannot be examined.
    static long long fileSize(const SString& path);
    // Whether `a` and `b` name one file (links followed); false when either is missing.
    static bool sameFile(const SString& a, const SString& b);
    // Whether the file can be opened for reading; otherwise errno tells why.
    static bool isReadable(const SString& path);
    static SString getPlatformHint(const SString& key);
    // Names of the directories (or links to directories) in `path`, in directory order;
    // none when it cannot be read.
    static StringDeque listSubdirectories(const SString& path);
    static bool isDirectoryPath(const SString& path);
    // `path` with every link resolved; empty when it does not exist.
    static SString resolvePath(const SString& path);
    // The first executable regular file `name` in an absolute PATH directory, or empty.
    static SString findProgramOnPath(const SString& name);
    // Big-endian signed decoders of the appended data.
    static long convertToLong(const char* bytes);
    static short convertToShort(const char* bytes);

    // --- temporary files, clean-up and free space ---
    static void setSystemTempDir(const SString& dir);
    static SString getSystemTempDirectory();
    // A new empty directory, recorded for clean-up. Throws LauncherException on failure.
    static SString createTempSubDirectory();
    // A new empty file, recorded for clean-up. Throws LauncherException on failure.
    static SString createTempFile();
    static void addFileToCleanupList(const SString& path);
    static void removeFileFromCleanupList(const SString& path);
    static void removeDirFromCleanupList(const SString& path);
    static void addDirToCleanupList(const SString& path);
    static void cleanup();
    // Whether `text` names a temporary file or directory of this run (or something below
    // one): what names one needs the run to stay until it is done with it.
    static bool mentionsTemporaryEntry(const SString& text);
    // The clean-up of a run that is about to be replaced by a program living in `keptEntry`
    // (a directory of this run taken off the lists): everything else it made is removed,
    // and the mark that keeps `keptEntry` from being swept goes on to the program.
    static void cleanupBeforeReplacement(const SString& keptEntry);
    static void setFileExecutable(const SString& path);
    // Whether `size` bytes fit on the partition of `path`. Throws when it cannot be examined.
    static bool checkFreeSpace(const SString& path, long size);
    static void deleteLauncher();

    // Whether the launcher deletes its own file at clean-up.
    static void setDeleteLauncher(bool deleteLauncher) { m_deleteLauncher = deleteLauncher; }
    // Whether the user canceled the running search or extraction.
    static bool isCanceled() { return m_canceled; }

    // --- processes and environment ---
    // Runs `command` as a child and waits for it: directly when its words are all the shell
    // would make of it (see splitForDirectStart), otherwise through /bin/sh. Arguments the
    // system refuses as too long (E2BIG, which limits a shell command to 128 KiB) raise
    // LauncherException saying so. With `capture`, the child's output is appended to the
    // strings (either may be null: that stream is read and dropped) or handed to
    // `limits.sink`; the time and output limits apply to captured children only. Returns
    // the child's raw wait status; `outcome`, when given, tells how it ended.
    static int executeProcess(const SString& command, const SString& workingDir, bool console,
                              bool capture, SString* stdOut, SString* errOut,
                              const ChildLimits& limits = ChildLimits(),
                              ChildOutcome* outcome = nullptr);
    // Runs the program `arguments[0]` (looked up in PATH when it holds no "/") with exactly
    // these arguments, without a shell, as a child in `workingDir` and waits for it; the
    // rest as for executeProcess. A program that cannot be started reports so on its
    // standard error; arguments too long for the system raise LauncherException.
    static int executeArguments(const std::vector<SString>& arguments, const SString& workingDir,
                                bool capture, SString* stdOut, SString* errOut,
                                const ChildLimits& limits = ChildLimits(),
                                ChildOutcome* outcome = nullptr);
    // Replaces the launcher by the program `arguments[0]` (a path, not looked up in PATH)
    // with exactly these arguments, without a shell. The run's temporary files are removed
    // first, all but `keptEntry` (see cleanupBeforeReplacement), once the program is known
    // to be executable. Returns only on failure, with the error number; nothing is removed
    // when the program cannot be executed at all.
    static int replaceProcess(const std::vector<SString>& arguments, const SString& keptEntry);
    // Hands the process over to `command`, started as executeProcess would start it
    // (directly, or through /bin/sh) in `workingDir` (empty: the current one), with
    // `inheritedFds` left open: its exit status and the signals sent to it are then the
    // run's own. The run's temporary files are removed first, once the program is known to
    // be executable, and an interruption signal that arrived before returns EINTR instead.
    // Returns only on failure, with the error number; the run can then go on as before,
    // but without its temporary files when they were removed already.
    static int handOver(const SString& command, const SString& workingDir,
                        const std::vector<int>& inheritedFds);
    // Ends the run (TerminationRequest) when an interruption signal has arrived; called
    // between steps of long work.
    static void checkInterrupted();
    static SString getEnvironmentVariable(const SString& name);
    static void setEnvironmentVariable(const SString& name, const SString& value);

    // --- status display and messages ---
    static int get_locale();
    // Row `row` of the chosen language with `argument` in place of its "%s".
    static SString get_msg(int row, const char* argument);
    static SString getMessageText(MessageIdentifier id);
    // "Error writing file = " and the error number (none for 0), then the advice on
    // temporary disk space: the text of every failed extraction or copy.
    static SString writeErrorText(int errorNumber);
    static void setUIStatus(UIStatus status);
    static void setUISubStatus(UISubStatus subStatus, const SString& text);
    static void advanceUIProgress(long count);
    static void setUIProgress(long value);
    static void showUI();
    static void hideUI(short delay = 0);
    static void setSilent(bool silent);
    // Quiet: no status output on standard output; messages and the prompt go to standard
    // error, each line prefixed with the launcher's name (see showErrorLine).
    static void setQuiet(bool quiet);
    static bool isQuiet();
    static bool isUIVisible();
    static void showUIMessage(const SString& text);
    // Prints "NAME: text" on standard error, NAME being the launcher's file name, unless
    // silent: for failures that must not mix with an application's standard output.
    static void showErrorLine(const SString& text);
    static void setUITitle(const SString& title);
    static SString wideToMultiByte(const wchar_t* text);
    static SString promptJVMDestinationDirectory();

    static bool isSilent() { return m_silent; }
    // The sub-status shown last and its text.
    static UISubStatus getUISubStatus() { return m_subStatus; }
    static const SString& getUISubStatusText() { return m_subStatusData; }

private:
    // Runs `words` as they are, or the shell `command` when `words` is empty or cannot be
    // started; without `command` only `words`, looked up in PATH. Returns the wait status.
    static int runChild(std::vector<SString> words, const SString* command,
                        const SString& workingDir, bool capture, SString* stdOut, SString* errOut,
                        const ChildLimits& limits, ChildOutcome* outcome);

    static RunState<SString> m_launcherFile;
    static RunState<bool> m_deleteLauncher;
    static RunState<bool> m_canceled;
    static RunState<bool> m_silent;
    static RunState<bool> m_quiet;
    static RunState<UISubStatus> m_subStatus;
    static RunState<SString> m_subStatusData;
    static RunState<SString> m_tempDir;
    static RunState<StringDeque> m_sdqCreatedFiles;
    static RunState<StringDeque> m_sdqCreatedDrs;

    // The display state kept in the status display's own file.
    static SString& uiTitle();
    static long& uiProgress();

    friend class testkit::StateAccess;
};

// Restores the sub-status it found when it goes out of scope.
class SubStatusWrapper {
public:
    SubStatusWrapper();
    ~SubStatusWrapper();
    SubStatusWrapper(const SubStatusWrapper&) = delete;
    SubStatusWrapper& operator=(const SubStatusWrapper&) = delete;

private:
    SString m_subStatusData;
    UISubStatus m_subStatus;
};

// Reads `stream` to its end in reads of up to 4096 bytes, appending what it reads to `text`
// (may be null) and advancing the progress by 1 per read; returns the byte count of the last
// read, 0 when the stream was already at its end.
int readFromFile(FILE* stream, SString* text);
