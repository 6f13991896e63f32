#pragma once
// The whole class path of an application, reached the way the JVM reaches it: from the
// main jar's Class-Path (or --class-path), each jar's own Class-Path in turn, depth first,
// each jar once. Only regular files that are zip archives are taken; what is missing is
// left out with a warning, as the JVM leaves it out, and anything else is refused.

#include <functional>
#include <vector>

#include "base/SString.h"

class JarFile;

struct ClassPathJar {
    // The jar's path: the entry resolved as the JVM resolves it (relative to the directory
    // of the jar that names it, "." and ".." removed), never through links. A reference's
    // path is absolute.
    SString path;
    SString origin;                         // "Class-Path of /x/app.jar" or "--class-path"
    bool reference = false;                 // a system jar, named by path instead of embedded
    bool hasClassPath = false;              // its manifest has a Class-Path attribute
    bool isSigned = false;                  // it holds a signature (META-INF/*.SF)
    std::vector<SString> classPathEntries;  // its Class-Path, as the manifest writes it
};

struct ClassPathRequest {
    SString mainJar;
    SString mainClassPath;  // the main manifest's Class-Path value
    bool mainSigned = false;
    bool optionGiven = false;  // --class-path replaces the main manifest's list
    std::vector<SString> optionEntries;
    bool systemJars = false;  // jars under systemPrefix become references
    SString systemPrefix;     // empty: /usr/share/java
    // Called with each jar taken (the main jar aside) while it is open; may throw
    // LauncherException, which refuses that jar.
    std::function<void(const ClassPathJar&, const JarFile&)> onJar;
};

struct ClassPath {
    std::vector<ClassPathJar> jars;  // in class-path order, the main jar not included
    std::vector<SString> warnings;   // entries left out; signed jars that reach outside
    std::vector<SString> problems;   // entries refused: nothing may be written
};

// Follows the class path of `request`. Never throws for a jar of the class path: what is
// wrong with one becomes a problem naming the manifest (or the option), the entry and why.
ClassPath resolveClassPath(const ClassPathRequest& request);

// `path` with "." components, repeated slashes and NAME/.. pairs removed, as URL
// resolution removes them (links are not looked at). "." for an empty relative result.
SString normalizePath(const SString& path);
