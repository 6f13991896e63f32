#include "platform/os/SystemError.h"

#include <cstring>

SString systemErrorText(const SString& context, int errorNumber) {
    return context + strerror(errorNumber);
}
