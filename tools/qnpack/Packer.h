#pragma once
// The packer's commands: "create" writes a bundle from a stub and files, "list" prints a
// bundle's file index.

#include <cstdio>
#include <vector>

#include "base/SString.h"
#include "inputfiles/BundleWriter.h"

struct PackRequest {
    SString output;
    SString stub;
    SString arch;  // the architecture the bundle is for (empty: whatever the stub's)
    std::vector<BundleFile> files;
};

// The problems that would make the launcher fail on this request (empty when it is sound).
std::vector<SString> checkRequest(const PackRequest& request);

// Runs the packer's command line; returns the exit status. Messages go to `out`/`err`.
int qnpackMain(int argc, char** argv, FILE* out, FILE* err);
