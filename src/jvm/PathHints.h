#pragma once
// The candidate homes that one PATH_HINT value names, in the order to try them. A hint is
//   - a plain path, tried below each search partition ("/" on a real machine);
//   - a path with environment references (#JAVA_HOME#, #HOME#/.jdks/*): absolute, and
//     skipped when a variable it names is unset or empty;
//   - "%JAVA_ON_PATH%": the home of the `java` found on PATH, every link resolved.
// A "*" that is a whole path component matches each directory there, newest first by the
// versions in their names. Nothing passes through a shell.

#include <vector>

#include "base/SString.h"
#include "base/StringDeque.h"

// The hint naming the JVM behind the `java` command on PATH.
constexpr const char* kJavaOnPathHint = "%JAVA_ON_PATH%";
// The hint naming the JVM of the JAVA_HOME variable, whose refusal the user is told about.
constexpr const char* kJavaHomeHint = "#JAVA_HOME#";

// Whether `hint` holds a whole "*" component.
bool isPathPattern(const SString& hint);

std::vector<SString> expandPathHint(const SString& hint, const StringDeque& partitions);

// `path` with each whole "*" component replaced by the directories there, newest first.
// A path without a pattern is returned as it is, whether it exists or not.
std::vector<SString> expandPathPattern(const SString& path);
