#include "inputfiles/BundleWriter.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "base/LauncherException.h"
#include "base/Sha256.h"
#include "base/UniqueFd.h"
#include "inputfiles/BundleLayout.h"
#include "platform/PlatformImpl.h"
#include "platform/os/FileIdentity.h"
#include "platform/os/RangeCopy.h"
#include "platform/os/ReplacementFile.h"
#include "platform/os/SystemError.h"

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

[[noreturn]] void cannotRead(const SString& path, int error) {
    throw LauncherException(systemErrorText(path + ": cannot read: ", error));
}

[[noreturn]] void cannotWrite(const SString& path, int error) {
    throw LauncherException(systemErrorText(path + ": cannot write: ", error));
}

// A file to embed: a plain file, opened without waiting (a pipe or a device named by
// mistake is refused, never waited on or read without end), with its size as it was then.
struct Source {
    UniqueFd fd;
    long long size = 0;
};

Source openSource(const SString& path) {
    Source source;
    SString problem;
    source.fd = PlatformImpl::openPlainDescriptor(path, problem);
    if (!source.fd) throw LauncherException(path + ": cannot read: " + problem);
    FileFacts facts;
    if (!fileFacts(source.fd.get(), facts)) cannotRead(path, errno);
    source.size = static_cast<long long>(facts.size);
    return source;
}

// The SHA-256 of the first `size` bytes of the open file `in`.
SString digestOf(int in, long long size, const SString& path) {
    Sha256 sha;
    SString block;
    for (long long offset = 0; offset < size; offset += static_cast<long long>(block.size())) {
        const long long wanted = std::min<long long>(1 << 20, size - offset);
        if (!readAt(in, offset, static_cast<size_t>(wanted), block)) cannotRead(path, errno);
        if (block.empty()) break;
        sha.update(block);
    }
    return sha.finish();
}

// Appends the first `size` bytes of the open file `in` to `out`; returns how many were
// copied (fewer only when the file shrank meanwhile).
long long copyInto(int in, long long size, const SString& path, int out,
                   const SString& outputPath) {
    RangeCopy how;
    how.offset = 0;
    how.length = size;
    const RangeCopyResult result = copyRange(in, out, how);
    if (result.writeError != 0) cannotWrite(outputPath, result.writeError);
    if (result.readError != 0) cannotRead(path, result.readError);
    return result.copied;
}

void writeInto(int out, const SString& bytes, const SString& outputPath) {
    if (!writeFully(out, bytes.data(), bytes.size())) cannotWrite(outputPath, errno);
}

// Stub, files, index, digests and trailer, written to `out`.
void writeBundle(const SString& stubPath, const std::vector<BundleFile>& files, int out,
                 const SString& outputPath) {
    Source stub = openSource(stubPath);
    long long offset = copyInto(stub.fd.get(), stub.size, stubPath, out, outputPath);
    SString index, digests;
    BundleWriter::appendLong(index, static_cast<long>(files.size()));
    digests += kDigestBlockMagic;
    BundleWriter::appendLong(digests, static_cast<long>(files.size()));
    for (const BundleFile& file : files) {
        if (static_cast<long>(file.name.size()) > BundleWriter::kMaxNameLength) {
            throw LauncherException(file.sourcePath + ": the name is longer than 32767 bytes");
        }
        Source in = openSource(file.sourcePath);
        // Large files start on a page boundary, so that extraction copies whole pages.
        if (in.size >= BundleWriter::kAlignFrom && offset % BundleWriter::kAlignment != 0) {
            SString padding(
                static_cast<size_t>(BundleWriter::kAlignment - offset % BundleWriter::kAlignment),
                '\0');
            writeInto(out, padding, outputPath);
            offset += static_cast<long long>(padding.size());
        }
        if (in.size > BundleWriter::kMaxOffset) {
            throw LauncherException(file.sourcePath +
                                    ": the bundle passes 2 GiB, the limit of the file index");
        }
        const long long length = copyInto(in.fd.get(), in.size, file.sourcePath, out, outputPath);
        digests += digestOf(in.fd.get(), length, file.sourcePath);
        if (offset > BundleWriter::kMaxOffset || length > BundleWriter::kMaxOffset) {
            throw LauncherException(file.sourcePath +
                                    ": the bundle passes 2 GiB, the limit of the file index");
        }
        index += static_cast<char>(file.type);
        BundleWriter::appendLong(index, file.id);
        BundleWriter::appendLong(index, static_cast<long>(length));
        BundleWriter::appendLong(index, static_cast<long>(offset));
        BundleWriter::appendShort(index, static_cast<long>(file.name.size()));
        index += file.name;
        offset += length;
    }
    if (offset > BundleWriter::kMaxOffset) {
        throw LauncherException(outputPath +
                                ": the bundle passes 2 GiB, the limit of the file index");
    }
    if (!files.empty()) index += digests;
    BundleWriter::appendLong(index, static_cast<long>(offset));
    BundleWriter::appendLong(index, static_cast<long>(kLauncherIdentification));
    writeInto(out, index, outputPath);
}

}  // namespace

void BundleWriter::write(const SString& stubPath, const std::vector<BundleFile>& files,
                         const SString& outputPath) {
    if (isSpecialOutput(outputPath)) {
        UniqueFd out = PlatformImpl::openForWriting(outputPath);
        if (!out) throw LauncherException(systemErrorText(outputPath + ": cannot create: ", errno));
        writeBundle(stubPath, files, out.get(), outputPath);
        if (!out.close()) cannotWrite(outputPath, errno);
        return;
    }
    // An output that is a link to a file replaces the file it leads to.
    const SString real = PlatformImpl::resolvePath(outputPath);
    ReplacementFile out(real.empty() ? outputPath : real);
    if (!out.valid()) {
        throw LauncherException(systemErrorText(outputPath + ": cannot create: ", errno));
    }
    writeBundle(stubPath, files, out.fd(), outputPath);
    if (!out.commit(0777)) cannotWrite(outputPath, errno);
}
