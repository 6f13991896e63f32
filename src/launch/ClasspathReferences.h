#pragma once
// Jars of the machine that a launch script names by absolute path (CLASSPATH_REFERENCES)
// instead of embedding them, as a distribution's packages ship them. They are not the
// bundle's own bytes, so each is checked when the class path is built, before the
// application starts: a jar that is missing, unreadable, not a plain file, or that someone
// but root and the user could have changed ends the run with a message that names it.

#include "base/SString.h"

// Why the referenced jar `path` cannot go on a class path whose entries are separated by
// `separator`: the message that ends the run ("the application needs PATH, which is
// missing; ..."); empty when it can.
SString referencedJarProblem(const SString& path, const SString& separator);
