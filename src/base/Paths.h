#pragma once
// Path texts: the separator, joining, and splitting a path into its directory and name.

#include "base/SString.h"

// The separator between path components.
constexpr const char* kPathSeparator = "/";

// Appends "/" unless `path` is empty or already ends with it.
void appendPathSeparator(SString& path);

// The name after the last "/" of `path`; the whole path when it holds no "/" ("hello"
// gives "hello"), empty when it ends with "/".
SString baseName(const SString& path);
// The directory before the last "/" of `path`: "/" for a name right below the root, and
// empty for a name that holds no "/" (it has no directory part; callers that mean the
// current directory say so).
SString dirName(const SString& path);
// `directory` and `name` joined by one "/"; `name` alone when `directory` is empty.
SString joinPath(const SString& directory, const SString& name);
