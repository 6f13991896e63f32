#pragma once
// The arithmetic of the free-space check, apart from the file system that supplies the figures.

#include <cstdint>

// Whether `size` bytes fit into `available` free units of `fragmentSize` bytes: a file needs
// size + one unit, the whole units it covers and one more for the file system's own records. A
// fragment size of 0 falls back to `blockSize`; with both 0 the space cannot be judged and the
// answer is true. A size of 0 or less always fits.
bool freeSpaceSuffices(uint64_t fragmentSize, uint64_t blockSize, uint64_t available, long size);
