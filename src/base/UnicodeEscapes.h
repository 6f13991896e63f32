#pragma once
// Titles and descriptions may carry \uXXXX escapes; this resolves them for display.

#include <memory>

#include "base/SString.h"

// Wide-character copy of `text` with \uXXXX escapes resolved; other bytes are decoded in
// the current locale (falling back to the byte value).
std::unique_ptr<wchar_t[]> convertToUnicode(const SString& text);
