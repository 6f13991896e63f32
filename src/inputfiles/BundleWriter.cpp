#include "inputfiles/BundleWriter.h"

#include <cerrno>
#include <vector>

#include "base/LauncherException.h"
#include "base/UniqueFd.h"
#include "inputfiles/FileIndexEntry.h"
#include "platform/FileMode.h"
#include "platform/PlatformImpl.h"
#include "platform/RangeCopy.h"
#include "platform/SystemError.h"

void BundleWriter::appendLong(SString& out, long value) {
    uint32_t v = static_cast<uint32_t>(value);
    out += static_cast<char>((v >> 24) & 0xFF);
    out += static_cast<char>((v >> 16) & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
    out += static_cast<char>(v & 0xFF);
}

void BundleWriter::appendShort(SString& out, long value) {
    out += static_cast<char>((value >> 8) & 0xFF);
    out += static_cast<char>(value & 0xFF);
}

namespace {

// Appends the whole of `path` to `out`; returns the number of bytes copied.
long long copyInto(const SString& path, int out, const SString& outputPath) {
    UniqueFd in = PlatformImpl::openForReading(path);
    if (!in) throw LauncherException(systemErrorText(path + ": cannot read: ", errno));
    const RangeCopyResult result = copyRange(in.get(), out, RangeCopy());
    if (result.writeError != 0) {
        throw LauncherException(
            systemErrorText(outputPath + ": cannot write: ", result.writeError));
    }
    if (result.readError != 0) {
        throw LauncherException(systemErrorText(path + ": cannot read: ", result.readError));
    }
    return result.copied;
}

void writeInto(int out, const SString& bytes, const SString& outputPath) {
    if (!writeFully(out, bytes.data(), bytes.size())) {
        throw LauncherException(systemErrorText(outputPath + ": cannot write: ", errno));
    }
}

// Removes a partly written output unless the write completed. Only a regular file is
// removed: an output that is a device or a pipe (`-o /dev/full`) is not the packer's to delete.
class OutputGuard {
public:
    OutputGuard(const SString& path, int fd) : m_path(path), m_regular(isRegularFile(fd)) {}
    ~OutputGuard() {
        if (!m_done && m_regular) PlatformImpl::deleteFile(m_path);
    }
    void done() { m_done = true; }

private:
    SString m_path;
    bool m_regular;
    bool m_done = false;
};

}  // namespace

void BundleWriter::write(const SString& stubPath, const std::vector<BundleFile>& files,
                         const SString& outputPath) {
    UniqueFd out = PlatformImpl::openForWriting(outputPath);
    if (!out) throw LauncherException(systemErrorText(outputPath + ": cannot create: ", errno));
    OutputGuard guard(outputPath, out.get());

    long long offset = copyInto(stubPath, out.get(), outputPath);
    SString index;
    appendLong(index, static_cast<long>(files.size()));
    for (const BundleFile& file : files) {
        if (static_cast<long>(file.name.size()) > kMaxNameLength) {
            throw LauncherException(file.sourcePath + ": the name is longer than 32767 bytes");
        }
        // Large files start on a page boundary, so that extraction copies whole pages.
        if (PlatformImpl::fileSize(file.sourcePath) >= kAlignFrom && offset % kAlignment != 0) {
            SString padding(static_cast<size_t>(kAlignment - offset % kAlignment), '\0');
            writeInto(out.get(), padding, outputPath);
            offset += static_cast<long long>(padding.size());
        }
        long long length = copyInto(file.sourcePath, out.get(), outputPath);
        if (offset > kMaxOffset || length > kMaxOffset) {
            throw LauncherException(file.sourcePath +
                                    ": the bundle passes 2 GiB, the limit of the file index");
        }
        index += static_cast<char>(file.type);
        appendLong(index, file.id);
        appendLong(index, static_cast<long>(length));
        appendLong(index, static_cast<long>(offset));
        appendShort(index, static_cast<long>(file.name.size()));
        index += file.name;
        offset += length;
    }
    if (offset > kMaxOffset) {
        throw LauncherException(outputPath +
                                ": the bundle passes 2 GiB, the limit of the file index");
    }
    appendLong(index, static_cast<long>(offset));
    appendLong(index, static_cast<long>(kLauncherIdentification));
    writeInto(out.get(), index, outputPath);
    if (!out.close()) {
        throw LauncherException(systemErrorText(outputPath + ": cannot write: ", errno));
    }
    PlatformImpl::setFileExecutable(outputPath);
    guard.done();
}
