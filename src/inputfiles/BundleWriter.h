#pragma once
// Writes a bundle: the launcher stub followed by the embedded files, the file index, the
// digest block and the trailer that the launcher reads back at start (see BundleLayout.h).

#include <vector>

#include "base/SString.h"

struct BundleFile {
    long type = 0;
    long id = 0;
    SString name;        // name in the index (the base name of the source)
    SString sourcePath;  // file whose bytes are embedded
};

class BundleWriter {
public:
    // The largest name and the largest offset or length the index can hold.
    static constexpr long kMaxNameLength = 32767;
    static constexpr long long kMaxOffset = 0x7FFFFFFF;
    // Files of at least kAlignFrom bytes are placed at a multiple of kAlignment.
    static constexpr long long kAlignment = 4096;
    static constexpr long long kAlignFrom = 65536;

    // Writes `stubPath` + files + index + digests + trailer to `outputPath`, executable.
    // A regular output (or a new one) is replaced whole at the end: on failure, or when the
    // packer is killed, it keeps what it held and no partial file is left. An output that is
    // a device or a pipe is written to as it is. Throws LauncherException naming the file at
    // fault.
    static void write(const SString& stubPath, const std::vector<BundleFile>& files,
                      const SString& outputPath);

    // Big-endian field encoders of the index.
    static void appendLong(SString& out, long value);
    static void appendShort(SString& out, long value);
};
