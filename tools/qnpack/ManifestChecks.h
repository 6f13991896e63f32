#pragma once
// Checks of the manifest values (and their options) that become words of the launch
// command: each must be what the JVM takes, so no value can turn into another option, a
// broken launch script or a shell error at run time.

#include <vector>

#include "base/SString.h"

// Why `name` is not a class name javac accepts: Java identifiers (Unicode letters
// allowed, no reserved word) separated by "." (or "/", which java -jar also takes); empty
// when it is one.
SString classNameProblem(const SString& name);
// `name` with "/" as "." (call after classNameProblem found nothing).
SString dottedClassName(const SString& name);
// Why `value` is not blank-separated MODULE/PACKAGE pairs (Add-Opens, Add-Exports); empty
// when it is.
SString modulePackagesProblem(const SString& value);
// Why `value` is not a list of modules (ALL-UNNAMED or module names, separated by blanks
// or commas: Enable-Native-Access); empty when it is.
SString moduleListProblem(const SString& value);

// The words of a blank-separated value (no escapes are decoded).
std::vector<SString> blankSeparated(const SString& value);
// The module names of a list checked by moduleListProblem.
std::vector<SString> moduleList(const SString& value);

// `text` for a one-line message: control characters and DEL as \n, \r, \t, \0 or \xNN.
SString shownValue(const SString& text);
