#pragma once
// Writes a captured application's output to the log while it runs, in the block the log
// always shows: a header, standard output whole, then standard error, which waits in a
// spool file meanwhile. The launcher's memory stays small whatever the child prints, and
// without a log file nothing is kept.

#include "base/SString.h"
#include "platform/PlatformImpl.h"
#include "platform/os/SpoolFile.h"

class OutputToLog : public CaptureSink {
public:
    // Inactive (writes nothing, keeps nothing) unless `active` and a log file is in use.
    explicit OutputToLog(bool active);
    // Finishes a started block when finish() was not called (the run was cut short).
    ~OutputToLog() override;
    OutputToLog(const OutputToLog&) = delete;
    OutputToLog& operator=(const OutputToLog&) = delete;

    bool received(int stream, const char* data, size_t size) override;
    // Writes the rest of standard output, then standard error; once.
    void finish();

private:
    void startBlock();
    void flushOutput();

    bool m_logging;
    bool m_started = false;
    bool m_finished = false;
    SString m_pendingOutput;
    SpoolFile m_errors;
    // Standard error that the spool file could not take, up to a bound.
    SString m_errorsInMemory;
    size_t m_droppedErrors = 0;
};
