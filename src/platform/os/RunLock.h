#pragma once
// Marks the temporary entries of a run as its own while it lives, and removes what dead
// runs left behind. Each run holds a lock on a file of its own ("qnj" and six characters)
// in every temporary directory it uses, and its entries there carry that file's name
// followed by six more characters. The kernel drops the lock however the process ends, so
// a later run can tell a dead run's entries from a live one's even after SIGKILL or a
// power loss.

#include <ctime>

#include "base/SString.h"

// Seconds an unlocked entry must have been left alone before a sweep removes it: a run
// that is just starting holds its lock only a moment after making its file.
constexpr time_t kSweepMinimumAge = 300;

// The name prefix for this run's new entries in `dir` (a path without a trailing "/",
// "" for the root). On the first call for `dir` the directory is swept and the run's
// lock file made there; empty when no lock file can be had (entries then get plain names).
SString runEntryPrefix(const SString& dir);

// Removes from `dir` the entries that dead runs left: launcher names only, owned by the
// running user, directories and regular files only (never through a symbolic link),
// unchanged for `minimumAge` seconds and not marked by a live run's lock. Reads the
// directory once and looks closer only at launcher names. Returns the number removed.
int sweepDeadRuns(const SString& dir, time_t minimumAge = kSweepMinimumAge);

// Removes this run's lock files and drops the locks: the run's entries are gone.
void releaseRunLocks();
// Lets a program this process is replaced by hold the locks on (its entries stay marked).
void keepRunLocksAcrossExec();
// Before this process is replaced by a program that lives in `entryPath` (an entry of this
// run): the lock that marks that entry is handed on to the program, every other lock is
// dropped and its file removed (their entries are gone).
void handRunLockOver(const SString& entryPath);
// For a launcher that took over from the run that made `entryPath` (its own directory, just
// removed): removes that run's lock file when this process holds its lock, inherited.
void releaseInheritedRunLock(const SString& entryPath);
