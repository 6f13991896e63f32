#pragma once
// The interpreter's error: a message and the number of the instruction line.

#include "base/SString.h"

class InstructionsException {
public:
    InstructionsException(const SString& message, long lineNumber)
        : m_message(message), m_lineNumber(lineNumber) {}
    virtual ~InstructionsException() = default;

    const SString& getMessage() const { return m_message; }
    long getLineNumber() const { return m_lineNumber; }

private:
    SString m_message;
    long m_lineNumber;
};
