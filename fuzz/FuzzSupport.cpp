#include "fuzz/FuzzSupport.h"

#include <stdlib.h>
#include <unistd.h>

#include "base/RunState.h"
#include "platform/PlatformImpl.h"

namespace {

SString g_scratch;

// Removes the scratch directory and what an input left in it when the fuzzer ends.
void removeScratch() {
    if (!g_scratch.empty()) PlatformImpl::deleteFile(g_scratch);
}

}  // namespace

const SString& fuzzScratch() {
    if (g_scratch.empty()) {
        char name[] = "/tmp/qnfuzzXXXXXX";
        if (mkdtemp(name)) {
            g_scratch = name;
            atexit(removeScratch);
        }
    }
    return g_scratch;
}

void fuzzSetUp() {
    PlatformImpl::setSilent(true);
    PlatformImpl::setSystemTempDir(fuzzScratch());
    setenv("TMPDIR", fuzzScratch().c_str(), 1);
}

void fuzzTearDown() {
    PlatformImpl::cleanup();
    RunStatePiece::resetAll();
}
