#pragma once
// Shared by the fuzz targets: a quiet launcher state that is reset after every input, and
// temporary files kept in one scratch directory.

#include <cstddef>
#include <cstdint>

#include "base/SString.h"

// Silences the launcher and points its temporary directory at a scratch directory.
void fuzzSetUp();
// Removes what the input left behind and resets all process-wide state.
void fuzzTearDown();
// The scratch directory (exists after fuzzSetUp).
const SString& fuzzScratch();
