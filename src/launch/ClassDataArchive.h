#pragma once
// The class-data archive of an application: a launch script with CLASS_DATA: 1 starts a
// HotSpot JVM of release 13 or later with a static archive of the application's classes
// kept in the user's cache, keyed by the JVM's identity, the command's words and the full
// identity of every jar on its class path. A run without one records the classes it loads
// (a class list, nearly free) and leaves a background job that makes the archive once the
// application has ended; the runs after it map the archive. What the JVM says about the
// archive never reaches the terminal; an archive it refuses or crashes on is made again,
// twice at most for one key.

#include <vector>

#include "base/SString.h"
#include "base/UniqueFd.h"
#include "launch/ClassDataJob.h"
#include "platform/os/UnnamedFile.h"

class ClassDataEntry;
struct JavaCommand;

class ClassDataArchive {
public:
    ClassDataArchive() = default;
    ClassDataArchive(const ClassDataArchive&) = delete;
    ClassDataArchive& operator=(const ClassDataArchive&) = delete;
    // Removes the log of a run that could not start.
    ~ClassDataArchive();

    // `command` (a resolved launch command) with the class-data options after its program,
    // or as it is when nothing applies: no cache, a command that does not start the JVM of
    // `jvmHome` directly, names an archive of its own or uses files of the run's temporary
    // directory, a JVM that is no HotSpot JVM of release 13 or later, a busy machine, or a
    // key given up. `handOver`: the launcher would hand its process to the JVM, so what the
    // JVM says is judged by a later run.
    SString apply(const SString& jvmHome, const SString& jvmExe, const SString& command,
                  bool handOver);
    // Whether the launcher may still hand its process over: not with an archive no run
    // has used yet, whose run is watched for a crash.
    bool allowsHandOver() const { return m_handOver; }
    // The descriptors the JVM opens as /proc/self/fd/N.
    std::vector<int> inheritedFds() const;
    // Just before the JVM starts: leaves the background job that makes the archive.
    void startJob();
    // After the JVM ended with the raw wait status `status`: judges what it said about the
    // archive.
    void finish(int status);

private:
    // The options of a run that maps the archive of `entry`, with the JVM's log of it in a
    // file of the entry (named when the launcher hands over and a later run judges it).
    SString useArchive(const ClassDataEntry& entry, int release, bool handOver, bool proven);
    // The options of a run that records its classes for the job; empty when the cache's
    // file system cannot hold an unnamed file.
    SString recordClasses(const ClassDataEntry& entry, const JavaCommand& java, const SString& jvm,
                          int release);

    enum Mode { None, Record, Use };
    Mode m_mode = None;
    bool m_handOver = false;
    SString m_entryDirectory;
    SString m_keyDigest;
    // Record: the class list the JVM writes and the job reads.
    UnnamedFile m_classList;
    ClassDataJob m_job;
    // Use: the JVM's archive log, unnamed, or named for a later run when handed over.
    UnnamedFile m_log;
    UniqueFd m_namedLog;
    SString m_namedLogPath;
};

// The feature release of the JVM in `jvmHome` when its release file names a HotSpot JVM;
// 0 otherwise.
int hotSpotRelease(const SString& jvmHome);

// The end of the first shell word of `command` and, in `word`, that word without its quotes;
// npos when the command starts with something else than a plain word.
size_t firstShellWord(const SString& command, SString& word);
