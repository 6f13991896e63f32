#pragma once
// The command line of "create" and "init": the file options by type, the application's
// options, and the parsed command the subcommands work from.

#include <cstdio>
#include <utility>
#include <vector>

#include "base/SString.h"
#include "qnpack/AppBundle.h"

// A file option: its name, the type name "list" prints, and the file type it embeds.
struct TypeOption {
    const char* option;
    const char* name;
    long type;
};

// The file option of `type`; null for an unknown type.
const TypeOption* typeOptionFor(long type);
// The name "list" prints for `type`: "instructions", "jvm", ... or "unknown".
const char* typeName(long type);

// A file to embed, before ids are assigned.
struct PendingFile {
    long type = 0;
    bool hasId = false;
    long id = 0;
    SString path;    // the file whose bytes are embedded
    SString origin;  // where it came from: "--jvm", "Class-Path of /x/app.jar", "generated"
    SString source;  // the file it was made from, shown with the origin; empty: `path` itself
};

// The options of "create" and "init".
struct PackCommand {
    SString output;  // -o for create, DIR for init
    SString stub;
    SString arch;
    AppOptions app;
    std::vector<PendingFile> files;
    // The jars the bundle references instead of embedding: path and origin.
    std::vector<std::pair<SString, SString>> references;
    bool help = false;
};

// Parses argv[first...] into `command`; false after printing the problem to `err`.
bool parsePackCommand(int argc, char** argv, int first, bool init, PackCommand& command, FILE* err);

// Whether `files` holds one of `type`.
bool hasFileOfType(const std::vector<PendingFile>& files, long type);
