#pragma once
// File type and permission bits of a path, asked in a way that older C libraries also offer.

#include <sys/types.h>

// The mode of `path` (following symbolic links when `followLinks`); false when it cannot
// be examined, with errno set.
bool fileMode(const char* path, bool followLinks, mode_t& mode);
