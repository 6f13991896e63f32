#pragma once
// Reading arguments out of instruction and macro texts: quoted strings with doubled
// quotes, plain words, and white-space separated tokens.

#include "base/SString.h"

// Parses a quoted string (position just after the opening quote; "" stands for ") or an
// unquoted word. Advances `position` (npos at the end). Throws LauncherException on a
// missing closing quote.
SString parseStringArgument(const SString& text, size_t& position, bool quoted);
// The next word separated by C-locale white space; sets `noToken` when none is left.
SString getTokenFromString(const SString& text, size_t& position, bool& noToken);
