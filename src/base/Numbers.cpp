#include "base/Numbers.h"

#include <cstdio>

SString convertToString(long value) {
    char buffer[32];
    snprintf(buffer, sizeof buffer, "%ld", value);
    return buffer;
}
