#pragma once
// The run's log: the one writer of log lines that every layer calls. Messages go to the
// file named by setLogFileName (opened for appending and closed for every message, with a
// separator line once per run); without a name they go nowhere. A file that cannot be
// opened is said once per name on standard error, and its messages are dropped.

#include <cstddef>

#include "base/SString.h"

enum LogMessageType { LOG_INFO = 0, LOG_WARNING = 1, LOG_ERROR = 2 };

// Writes `message` as one line, prefixed "WARNING: " or "ERROR: " by type.
void logMessage(const char* message, LogMessageType type);
void logMessage(const SString& message, LogMessageType type);
// Appends `size` bytes of `data` with no prefix and no line end; false when nothing is
// logged at all, which appendToLog(nullptr, 0) asks without writing.
bool appendToLog(const char* data, size_t size);

// Names the log file; empty: no log.
void setLogFileName(const SString& name);
const SString& logFileName();
// Whether this run's separator line has been written.
bool logFileInitialized();
