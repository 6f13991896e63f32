#pragma once
// The cache entry of one class-data archive (classdata/KEY): the archive; its stamp, the
// identity it had when it was made (a copy changed since, even in place, is never handed
// to a JVM, which a damaged archive crashes) and whether a run has used it since; the
// count of refusals and failed makings in a row, at two of which the key is given up; the
// lock of the one job that makes the archive; and the logs of runs whose JVM took their
// process over, read by a later run once that JVM has ended.

#include "base/SString.h"
#include "base/UniqueFd.h"

class UnnamedFile;

class ClassDataEntry {
public:
    // Refusals or failed makings in a row after which the key is given up.
    static constexpr int kGiveUpAfter = 2;

    // The entry at `directory` for the key whose digest is `keyDigest`: an archive stamped
    // for another key (the directory's short name is no proof) is not this one's.
    ClassDataEntry(const SString& directory, const SString& keyDigest)
        : m_directory(directory), m_keyDigest(keyDigest) {}
    const SString& directory() const { return m_directory; }
    SString archivePath() const;

    // Whether the archive is there as it was made; `proven` (may be null) then tells
    // whether a run has used it without a refusal or a crash.
    bool archiveReady(bool* proven = nullptr) const;
    // Refusals and failed makings in a row.
    int failures() const;
    bool givenUp() const { return failures() >= kGiveUpAfter; }

    // Whether a job is making the archive now.
    bool jobAtWork() const;
    // The job's lock, held while the descriptor lives; empty when another holds it.
    UniqueFd lockForJob() const;
    // Names `archive` (whole, checked by the caller) as the entry's archive and stamps it;
    // false when it cannot be written.
    bool commitArchive(const UnnamedFile& archive) const;
    // Counts a refusal or a failed making (`why` goes to the log); removes the archive
    // when `dropArchive`.
    void recordFailure(const SString& why, bool dropArchive) const;

    // What a run's JVM said in its archive log and how it ended (`status`, a raw wait
    // status, or -1 when unknown): a refusal or a crash removes the archive and counts;
    // an archive in use clears the count and is marked as proven.
    void judgeRun(const SString& logText, int status) const;
    // The archive log for a run whose JVM takes its process over: a new file, locked as
    // long as the returned descriptor (which the JVM inherits) lives; empty when it
    // cannot be made. `path` gets its name.
    UniqueFd createRunLog(SString& path) const;
    // Judges and removes the logs of such runs whose JVM has ended.
    void readLogsOfEndedRuns() const;

private:
    SString pathOf(const char* name) const;
    // Replaces the small file `name` by `text`, never leaving a part of it.
    bool writeFile(const char* name, const SString& text) const;

    // The stamp of the archive as it stands: its identity, then the key's digest.
    SString stampText() const;

    SString m_directory;
    SString m_keyDigest;
};
