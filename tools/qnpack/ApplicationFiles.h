#pragma once
// The files "create --main-jar" and "init" make for an application: the generated tag
// files, the copies of jars without their Class-Path, and the list of what the bundle
// embeds and references, each with where it came from.

#include <cstdio>
#include <functional>

#include "base/SString.h"
#include "qnpack/CommandLine.h"

// Where the generated files go.
struct Placement {
    // The path for the generated file `name` (its directory exists).
    std::function<SString(const SString& name)> file;
    // The path for the copy of the `index`th jar, named `name` (its directory exists);
    // empty when it cannot be made (a message has been printed).
    std::function<SString(const SString& name, size_t index)> jar;
    // Files already there are kept as they are, with a note (init); otherwise they are
    // written over.
    bool keepExisting = false;
};

// Generates the application's files where `placement` says and adds them with the jars
// and the verifier to `command.files`, ahead of the files given by hand (types given by
// hand are not generated), and the referenced jars to `command.references`. False after
// printing the problems to `err`; warnings go to `err` too.
bool addApplicationFiles(PackCommand& command, const char* argv0, const Placement& placement,
                         FILE* err);

// Writes `text` to `path`; false after printing why to `err`.
bool writeText(const SString& path, const SString& text, FILE* err);
