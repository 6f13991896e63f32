#include "platform/log/Log.h"

#include <cerrno>

#include "base/RunState.h"
#include "base/StdioFile.h"
#include "base/StringDeque.h"
#include "platform/PlatformImpl.h"
#include "platform/os/SystemError.h"

namespace {

RunState<SString> g_fileName;
RunState<bool> g_initialized;
// Log file names already reported as unwritable.
RunState<StringDeque> g_unwritableNames;

// Says once per name on standard error that the log file cannot be written.
void reportUnwritable(const SString& name, int error) {
    for (const SString& reported : g_unwritableNames.get()) {
        if (reported == name) return;
    }
    g_unwritableNames->push_back(name);
    PlatformImpl::showErrorLine(
        systemErrorText("The log file " + name + " cannot be written: ", error));
}

// The log file opened for appending, with the line that starts each run's part written
// first; an empty handle without a log file or when it cannot be opened.
StdioFile openLog() {
    const SString& name = g_fileName.get();
    if (name.empty()) return StdioFile();
    StdioFile file = PlatformImpl::openForAppending(name);
    if (!file) {
        reportUnwritable(name, errno);
        return file;
    }
    if (!g_initialized) {
        fputs("------------------\n", file.get());
        g_initialized = true;
    }
    return file;
}

// Closes the log after a write; a write or close that failed (a full disk) is reported.
void closeLog(StdioFile& file, bool written) {
    const int error = errno;
    const bool closed = file.close();
    if (!written || !closed) reportUnwritable(g_fileName.get(), written ? errno : error);
}

}  // namespace

void logMessage(const char* message, LogMessageType type) {
    StdioFile file = openLog();
    if (!file) return;
    const char* prefix = type == LOG_WARNING ? "WARNING: " : type == LOG_ERROR ? "ERROR: " : "";
    const bool written = fprintf(file.get(), "%s%s\n", prefix, message) >= 0;
    closeLog(file, written);
}

void logMessage(const SString& message, LogMessageType type) {
    logMessage(message.c_str(), type);
}

bool appendToLog(const char* data, size_t size) {
    StdioFile file = openLog();
    if (!file) return false;
    const bool written = size == 0 || fwrite(data, 1, size, file.get()) == size;
    closeLog(file, written);
    return true;
}

void setLogFileName(const SString& name) {
    g_fileName = name;
}

const SString& logFileName() {
    return g_fileName;
}

bool logFileInitialized() {
    return g_initialized;
}
