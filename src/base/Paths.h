#pragma once
// Path texts: the separator and joining.

#include "base/SString.h"

// The separator between path components.
constexpr const char* kPathSeparator = "/";

// Appends "/" unless `path` is empty or already ends with it.
void appendPathSeparator(SString& path);
