#include "qnpack/JarRewriter.h"

#include <zlib.h>

#include <cctype>
#include <cerrno>

#include "base/LauncherException.h"
#include "base/UniqueFd.h"
#include "platform/PlatformImpl.h"
#include "platform/os/RangeCopy.h"
#include "platform/os/SystemError.h"
#include "qnpack/JarFile.h"
#include "qnpack/JarSource.h"

namespace {

const unsigned long kLocalSignature = 0x04034b50;
const unsigned long kDescriptorSignature = 0x08074b50;
const size_t kLocalSize = 30;
const size_t kCopyChunk = 65536;
const unsigned kHasDescriptor = 0x0008;
const unsigned kEncrypted = 0x0001;

void put16(SString& out, unsigned value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8 & 0xFF);
}

void put32(SString& out, unsigned long value) {
    put16(out, static_cast<unsigned>(value & 0xFFFF));
    put16(out, static_cast<unsigned>(value >> 16 & 0xFFFF));
}

void set16(SString& bytes, size_t at, unsigned value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8 & 0xFF);
}

void set32(SString& bytes, size_t at, unsigned long value) {
    set16(bytes, at, static_cast<unsigned>(value & 0xFFFF));
    set16(bytes, at + 2, static_cast<unsigned>(value >> 16 & 0xFFFF));
}

// Whether the manifest line `line` is a Class-Path attribute, as parseManifest reads one.
bool isClassPathLine(const SString& line) {
    const size_t colon = line.find(": ");
    if (colon != 10) return false;
    const char* name = "class-path";
    for (size_t i = 0; i < 10; ++i) {
        if (tolower(static_cast<unsigned char>(line[i])) != name[i]) return false;
    }
    return true;
}

// Counts what is written and refuses to pass the bundle's limit.
class Output {
public:
    Output(const JarFile& jar, const std::function<void(const char*, size_t)>& write)
        : m_jar(jar), m_write(write) {}
    void add(const SString& bytes) {
        if (bytes.size() > kMaxInputSize - m_written) {
            m_jar.fail("the copy without Class-Path would pass 2 GiB");
        }
        m_write(bytes.data(), bytes.size());
        m_written += bytes.size();
    }
    // Copies `length` bytes of the jar from `offset`, in bounded pieces.
    void copy(unsigned long long offset, unsigned long long length) {
        while (length > 0) {
            const size_t piece = static_cast<size_t>(length < kCopyChunk ? length : kCopyChunk);
            add(m_jar.readRaw(offset, piece));
            offset += piece;
            length -= piece;
        }
    }
    unsigned long long written() const { return m_written; }

private:
    const JarFile& m_jar;
    const std::function<void(const char*, size_t)>& m_write;
    unsigned long long m_written = 0;
};

// The length of the local header, data and data descriptor of `entry`.
unsigned long long storedLength(const JarFile& jar, const JarEntry& entry, SString& local) {
    local = jar.readRaw(entry.localHeaderOffset, kLocalSize);
    if (zipField32(local, 0) != kLocalSignature) jar.fail(entry.name + ": broken local header");
    const unsigned long long dataStart =
        entry.localHeaderOffset + kLocalSize + zipField16(local, 26) + zipField16(local, 28);
    unsigned long long end = dataStart + entry.compressedSize;
    if (entry.flags & kHasDescriptor) {
        // CRC and sizes follow the data, after a signature that writers may leave out.
        const SString signature = jar.readRaw(end, 4);
        end += zipField32(signature, 0) == kDescriptorSignature ? 16 : 12;
    }
    if (end > jar.size()) jar.fail(entry.name + ": data out of range");
    return end - entry.localHeaderOffset;
}

}  // namespace

SString manifestWithoutClassPath(const SString& manifest) {
    SString copy;
    bool dropping = false;
    size_t at = 0;
    while (at < manifest.size()) {
        size_t end = manifest.find_first_of("\r\n", at);
        if (end == SString::npos) end = manifest.size();
        size_t next = end;
        if (next < manifest.size() && manifest[next] == '\r') ++next;
        if (next < manifest.size() && manifest[next] == '\n') ++next;
        const SString line = manifest.substr(at, end - at);
        if (line.empty()) {  // the main section ends: the rest is copied as it is
            // A line ended by a lone CR before a dropped line would otherwise join this
            // blank line's LF into one line end, and the main section would go on.
            if (!copy.empty() && copy.back() == '\r' && manifest[at] == '\n') copy += '\r';
            copy += manifest.substr(at);
            break;
        }
        if (line[0] != ' ') dropping = isClassPathLine(line);
        if (!dropping) copy += manifest.substr(at, next - at);
        at = next;
    }
    return copy;
}

void copyJarWithoutClassPath(const JarFile& jar,
                             const std::function<void(const char*, size_t)>& write) {
    const JarEntry* manifest = manifestEntry(jar);
    SString newManifest;
    if (manifest) newManifest = manifestWithoutClassPath(jar.read(*manifest));
    const unsigned long crc =
        crc32(crc32(0, Z_NULL, 0), reinterpret_cast<const Bytef*>(newManifest.data()),
              static_cast<uInt>(newManifest.size()));

    Output out(jar, write);
    SString directory;
    for (const JarEntry& entry : jar.entries()) {
        if (entry.flags & kEncrypted) jar.fail(entry.name + ": encrypted entries are not copied");
        SString record = jar.directory().substr(entry.directoryOffset, entry.directoryLength);
        set32(record, 42, static_cast<unsigned long>(out.written()));
        SString local;
        const unsigned long long length = storedLength(jar, entry, local);
        if (&entry != manifest) {
            out.copy(entry.localHeaderOffset, length);
        } else {
            // The manifest is stored: its bytes and CRC are known before it is written.
            const unsigned flags = zipField16(local, 6) & ~kHasDescriptor;
            const unsigned nameLength = zipField16(local, 26);
            const unsigned extraLength = zipField16(local, 28);
            SString header;
            put32(header, kLocalSignature);
            put16(header, zipField16(local, 4));
            put16(header, flags);
            put16(header, 0);
            put32(header, zipField32(local, 10));  // time and date
            put32(header, crc);
            put32(header, newManifest.size());
            put32(header, newManifest.size());
            put16(header, nameLength);
            put16(header, extraLength);
            header += jar.readRaw(entry.localHeaderOffset + kLocalSize, nameLength + extraLength);
            out.add(header);
            out.add(newManifest);
            set16(record, 8, zipField16(record, 8) & ~kHasDescriptor);
            set16(record, 10, 0);
            set32(record, 16, crc);
            set32(record, 20, newManifest.size());
            set32(record, 24, newManifest.size());
        }
        directory += record;
    }
    const unsigned long long directoryOffset = out.written();
    out.add(directory);
    SString end = jar.endRecord();
    set32(end, 12, directory.size());
    set32(end, 16, static_cast<unsigned long>(directoryOffset));
    out.add(end);
}

void writeJarWithoutClassPath(const JarFile& jar, const SString& path) {
    UniqueFd file = PlatformImpl::openForWriting(path);
    if (!file) throw LauncherException(systemErrorText(path + ": cannot create: ", errno));
    bool written = false;
    try {
        copyJarWithoutClassPath(jar, [&](const char* data, size_t size) {
            if (!writeFully(file.get(), data, size)) {
                throw LauncherException(systemErrorText(path + ": cannot write: ", errno));
            }
        });
        if (!file.close()) {
            throw LauncherException(systemErrorText(path + ": cannot write: ", errno));
        }
        written = true;
    } catch (...) {
        if (!written) PlatformImpl::deleteFile(path);
        throw;
    }
}
