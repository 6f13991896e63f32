#pragma once
// The directory a user names for a JVM to be installed into. Installation writes its files
// there and later removes the installer it put there, so it may only go where nothing of the
// user's can be overwritten or removed: a new directory or an empty one.

#include "base/SString.h"

// The absolute path of the directory `typed` names (relative to the current directory),
// ready for installation: an existing empty directory, or a new one made when its parent
// exists. Empty when it cannot be used, with `problem` saying why and which directory is
// meant: one that is not empty, not a directory, cannot be read or made, or a missing
// directory on the way to it.
SString prepareInstallDestination(const SString& typed, SString& problem);
