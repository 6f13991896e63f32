#include "base/Log.h"

namespace {
LogWriter g_logWriter = nullptr;
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
