#pragma once
// Number formatting as the launcher writes numbers into texts.

#include "base/SString.h"

// Decimal text of `value`, as "%ld" writes it.
SString convertToString(long value);
