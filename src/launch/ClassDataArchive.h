#pragma once
// The class-data archive of an application: a launch script with CLASS_DATA: 1 starts a
// HotSpot JVM that supports it with an archive of the application's classes in the user's
// cache, keyed by the JVM's identity and the command, so later runs start faster. JVMs 19
// and later create and refresh the archive themselves; 13 to 18 write it on the first run
// and map it on the later ones, and one they refuse is made again. The JVM's messages about
// the archive never reach the terminal.

#include "base/SString.h"

class ClassDataArchive {
public:
    ClassDataArchive() = default;
    // Removes what an interrupted run left.
    ~ClassDataArchive();
    ClassDataArchive(const ClassDataArchive&) = delete;
    ClassDataArchive& operator=(const ClassDataArchive&) = delete;

    // `command` (a resolved launch command) with the archive options after its program, or
    // as it is when nothing applies: no cache, a command that does not start the JVM of
    // `jvmHome` directly or names an archive of its own, a JVM that is no HotSpot JVM of
    // release 13 or later.
    SString apply(const SString& jvmHome, const SString& jvmExe, const SString& command);
    // After the application ended: keeps an archive the run wrote, drops one it refused.
    void finish();

private:
    enum Mode { None, Automatic, Create, Use };
    Mode m_mode = None;
    SString m_archive;
    SString m_newArchive;
    SString m_refusals;
    // The archive's identity before a JVM that keeps it itself ran.
    SString m_before;
};

// The feature release of the JVM in `jvmHome` when its release file names a HotSpot JVM;
// 0 otherwise.
int hotSpotRelease(const SString& jvmHome);

// The end of the first shell word of `command` and, in `word`, that word without its quotes;
// npos when the command starts with something else than a plain word.
size_t firstShellWord(const SString& command, SString& word);
