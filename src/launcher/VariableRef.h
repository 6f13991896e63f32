#pragma once
// A reference to one numbered variable (N1 to N5, S1 to S10) as written in instructions.

#include "base/SString.h"

// Reads a decimal number with optional blanks and sign; trailing text is ignored. False
// (value unchanged) when no number starts the text or it lies outside 32 bits.
bool convertToLong(const SString& text, long& value);
// The same for the 16-bit range.
bool convertToShort(const SString& text, short& value);

class VariableRef {
public:
    // Parses "N2", "s10" and the like. Throws LauncherException with `prefix` in front.
    void init(const SString& text, const SString& prefix);
    // Stores `value`, read as a number for a numeric variable. Throws LauncherException.
    void setValue(const SString& value, const SString& prefix) const;
    // Throws what setValue would for `value`, storing nothing.
    void checkValue(const SString& value, const SString& prefix) const;
    SString getStringValue() const;

    char m_type = 'S';
    long m_number = 0;
};
