#include "base/Log.h"

namespace {
LogWriter g_logWriter = nullptr;
LogAppender g_logAppender = nullptr;
}  // namespace

void setLogAppender(LogAppender appender) {
    g_logAppender = appender;
}

bool appendToLog(const char* data, size_t size) {
    return g_logAppender && g_logAppender(data, size);
}

void setLogWriter(LogWriter writer) {
    g_logWriter = writer;
}

void logMessage(const char* message, LogMessageType type) {
    if (g_logWriter) g_logWriter(message, type);
}

void logMessage(const SString& message, LogMessageType type) {
    logMessage(message.c_str(), type);
}
