#include "launcher/VariableRef.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "base/LauncherException.h"
#include "base/Numbers.h"
#include "launcher/Launcher.h"

// Parses like sscanf's "%ld" but refuses values outside [minimum, maximum].
static bool parseBounded(const SString& text, long minimum, long maximum, long& value) {
    const char* start = text.c_str();
    char* end = nullptr;
    errno = 0;
    long long parsed = strtoll(start, &end, 10);
    if (end == start) return false;
    if (errno == ERANGE || parsed < minimum || parsed > maximum) return false;
    value = static_cast<long>(parsed);
    return true;
}

bool convertToLong(const SString& text, long& value) {
    return parseBounded(text, INT32_MIN, INT32_MAX, value);
}

bool convertToShort(const SString& text, short& value) {
    long parsed = 0;
    if (!parseBounded(text, SHRT_MIN, SHRT_MAX, parsed)) return false;
    value = static_cast<short>(parsed);
    return true;
}

void VariableRef::init(const SString& text, const SString& prefix) {
    const SString m = prefix + " ";
    if (text.size() < 2) {
        throw LauncherException(
            m + "Variable references must be at least 2 characters (e.g. N1 and S10).");
    }
    m_type = static_cast<char>(toupper(static_cast<unsigned char>(text[0])));
    if (m_type != 'N' && m_type != 'S') {
        throw LauncherException(m + "Invalid variable reference (" + text +
                                "). Must use N or S as the variable type, e.g. N2 or S1.");
    }
    const SString digits = text.substr(1);
    long number = 0;
    bool valid =
        convertToLong(digits, number) && (m_type == 'N' ? Launcher::isValidLongVariable(number)
                                                        : Launcher::isValidStringVariable(number));
    if (!valid) throw LauncherException(m + "Variable number is invalid (" + digits + ")");
    m_number = number;
}

void VariableRef::setValue(const SString& value, const SString& prefix) const {
    checkValue(value, prefix);
    if (m_type == 'N') {
        long number = -1;
        convertToLong(value, number);
        Launcher::setLongVariable(m_number, number);
    } else {
        Launcher::setStringVariable(m_number, value);
    }
}

void VariableRef::checkValue(const SString& value, const SString& prefix) const {
    long number = -1;
    if (m_type == 'N' && !convertToLong(value, number)) {
        throw LauncherException(prefix + " " + "Invalid numeric expression in " + value);
    }
}

SString VariableRef::getStringValue() const {
    return m_type == 'N' ? convertToString(Launcher::getLongVariable(m_number))
                         : Launcher::getStringVariable(m_number);
}
