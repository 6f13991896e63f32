#include "launch/OutputToLog.h"

#include "base/Numbers.h"
#include "platform/log/Log.h"

namespace {

// Standard output is written in pieces of this size; standard error kept in memory when
// no spool file can be had stops at the bound.
constexpr size_t kOutputPiece = 64 * 1024;
constexpr size_t kErrorsInMemory = 1024 * 1024;

void append(const SString& text) {
    appendToLog(text.data(), text.size());
}

}  // namespace

OutputToLog::OutputToLog(bool active) : m_logging(active && appendToLog(nullptr, 0)) {}

OutputToLog::~OutputToLog() {
    finish();
}

void OutputToLog::startBlock() {
    if (m_started) return;
    m_started = true;
    append("Output from the launch script execution\nStdOut:\n");
}

void OutputToLog::flushOutput() {
    startBlock();
    append(m_pendingOutput);
    m_pendingOutput.clear();
}

bool OutputToLog::received(int stream, const char* data, size_t size) {
    if (!m_logging) return true;
    if (stream == 1) {
        m_pendingOutput.append(data, size);
        if (m_pendingOutput.size() >= kOutputPiece) flushOutput();
    } else if (m_droppedErrors == 0 && m_errorsInMemory.empty() && m_errors.write(data, size)) {
        // spooled
    } else if (m_errorsInMemory.size() + size <= kErrorsInMemory) {
        m_errorsInMemory.append(data, size);
    } else {
        m_droppedErrors += size;
    }
    return true;
}

void OutputToLog::finish() {
    if (m_finished || !m_logging) return;
    m_finished = true;
    flushOutput();
    append("\nErrOut:\n");
    m_errors.readBack([](const char* data, size_t size) { appendToLog(data, size); });
    append(m_errorsInMemory);
    if (m_droppedErrors > 0) {
        append("[" + convertToString(static_cast<long>(m_droppedErrors)) +
               " more bytes of standard error could not be kept]");
    }
    append("\n");
}
