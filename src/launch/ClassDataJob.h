#pragma once
// The background job that makes a static class-data archive after the application has
// ended: from the class list its first run recorded, with -Xshare:dump (no application
// run), single-flight per entry, bounded in time and size, checked before it is named.

#include <vector>

#include "base/SString.h"

class UnnamedFile;

struct ClassDataJob {
    // The cache entry the archive goes to, and the digest of its key.
    SString entryDirectory;
    SString keyDigest;
    // The JVM's program and the application's options that shape an archive.
    std::vector<SString> jvmWords;
    // The application's class path, which the archive records and the JVM checks.
    SString classPath;
    int release = 0;
    // Bytes the archive may take; a larger one is discarded.
    unsigned long long archiveBound = 0;
    // Seconds the dump may take; past them it is killed.
    int timeLimitSeconds = 0;

    // The command that makes the archive at `archivePath` from the class list at
    // `classListPath` (both as the JVM opens them).
    std::vector<SString> dumpCommand(const SString& classListPath,
                                     const SString& archivePath) const;
    // The job's work, in the background process once the launcher has ended: unless
    // another job is at work, the archive is there or the key was given up, makes the
    // archive from `classList`, checks it and commits it to the entry. The process's exit
    // status: 0 when it made one or had nothing to do.
    int run(const UnnamedFile& classList) const;
};

// Whether the machine is too busy for background work: its one-minute load average is
// above the number of processors online.
bool machineIsBusy();
