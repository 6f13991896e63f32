#pragma once
// The one log writer every layer calls. The launcher installs the writer at start-up;
// until then, and without a log file, messages go nowhere.

#include "base/SString.h"

enum LogMessageType { LOG_INFO = 0, LOG_WARNING = 1, LOG_ERROR = 2 };

using LogWriter = void (*)(const char* message, LogMessageType type);

// Installs the writer that logMessage hands every message to (null: messages are dropped).
void setLogWriter(LogWriter writer);
void logMessage(const char* message, LogMessageType type);
void logMessage(const SString& message, LogMessageType type);

// Writes raw bytes to the log, as they are; false (nothing written) without a log file.
using LogAppender = bool (*)(const char* data, size_t size);
void setLogAppender(LogAppender appender);
// Appends `size` bytes of `data` with no prefix and no line end; false when nothing is
// logged at all, which appendToLog(nullptr, 0) asks without writing.
bool appendToLog(const char* data, size_t size);
