#pragma once
// Splits one command string into an argument vector, honouring double quotes and, after
// the program name, backslash escapes.

#include "base/SString.h"
#include "base/StringDeque.h"

class CmdLine {
public:
    bool parse(const SString& command);
    bool getNextArg(const SString& command, size_t start, bool literalBackslash, SString& out,
                    size_t& next);
    int getOptionCount() const { return m_count; }
    // The argument at `i`, or null when out of range.
    const char* getOption(int i) const;

private:
    int m_count = 0;
    StringDeque m_args;
};
