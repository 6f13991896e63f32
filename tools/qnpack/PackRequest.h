#pragma once
// A request to write a bundle, and every check the packer runs on one before it writes:
// the embedded files' names, ids and contents, what the instructions need, and the stub.

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
