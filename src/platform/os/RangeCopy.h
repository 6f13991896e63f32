#pragma once
// Copies a byte range from one descriptor to another: in the kernel where the two files
// allow it, through a buffer where not, with short writes and interrupted calls resumed.
// A pending interruption signal ends a long copy between steps.

#include <cstddef>
#include <functional>

#include "base/SString.h"

// What to copy, in which steps, and who hears of its progress.
struct RangeCopy {
    // Where the range starts in the source; -1 for the source's current position, read on
    // from there (a pipe or a terminal too).
    long long offset = -1;
    // The bytes wanted; -1 for everything up to the end of the source.
    long long length = -1;
    // The unit of progress and the size of the copy buffer.
    size_t chunkSize = 65536;
    // Chunks handed over in one step; more make fewer, larger copies.
    size_t chunksPerStep = 1;
    // Called after each step, once for every chunk the step carried (a last, partial chunk
    // included); a step that found the source at its end counts as one. May throw, which
    // ends the copy.
    std::function<void()> onChunk;
};

// How a copy ended.
struct RangeCopyResult {
    long long copied = 0;  // bytes written to the target
    int readError = 0;     // the error number of a failed read of the source, or 0
    int writeError = 0;    // the error number of a failed write of the target, or 0
    bool failed() const { return readError != 0 || writeError != 0; }
};

// Copies the range `how` names from `source` to `target` at the target's current
// position. Ends early at the end of the source or at the first failed read or write,
// which the result names; everything before it is written. Throws TerminationRequest when
// an interruption signal is pending, and whatever `how.onChunk` throws.
RangeCopyResult copyRange(int source, int target, const RangeCopy& how);

// Writes all `size` bytes, resuming after short writes and interruptions; false with
// errno set when a write fails.
bool writeFully(int fd, const char* data, size_t size);

// Reads `size` bytes at `offset` of `fd`, resuming after short reads and interruptions:
// the count read (fewer only at the end of the file), or -1 with errno set when a read fails.
long long readAt(int fd, long long offset, char* data, size_t size);
// The same into `out` (replacing what it held); false with errno set when a read fails.
bool readAt(int fd, long long offset, size_t size, SString& out);
