#pragma once
// The one place that turns a system error number into message text.

#include "base/SString.h"

// "context" followed by the system's text for `errorNumber`.
SString systemErrorText(const SString& context, int errorNumber);
