#include "qnpack/JarFile.h"

#include <zlib.h>

#include <cctype>
#include <cstring>

#include "base/LauncherException.h"
#include "base/StdioFile.h"
#include "platform/PlatformImpl.h"

namespace {

const unsigned long kEndSignature = 0x06054b50;
const unsigned long kCentralSignature = 0x02014b50;
const unsigned long kLocalSignature = 0x04034b50;
const size_t kEndSize = 22;
const size_t kCentralSize = 46;
const size_t kLocalSize = 30;

unsigned le16(const SString& b, size_t at) {
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}

unsigned long le32(const SString& b, size_t at) {
    return static_cast<unsigned long>(le16(b, at)) | static_cast<unsigned long>(le16(b, at + 2))
                                                         << 16;
}

// True when [offset, offset + length) lies inside a buffer of `size` bytes.
bool fits(size_t size, unsigned long offset, unsigned long length) {
    return offset <= size && length <= size - offset;
}

}  // namespace

JarFile::JarFile(const SString& name, SString bytes) : m_name(name), m_bytes(std::move(bytes)) {
    readCentralDirectory();
}

JarFile JarFile::open(const SString& path) {
    StdioFile file = PlatformImpl::openFile(path, "rb");
    if (!file) throw LauncherException(path + ": cannot be read");
    SString bytes;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, n);
    if (ferror(file.get())) throw LauncherException(path + ": cannot be read");
    return JarFile(path, std::move(bytes));
}

void JarFile::fail(const SString& what) const {
    throw LauncherException(m_name + ": not a readable jar: " + what);
}

void JarFile::readCentralDirectory() {
    const size_t size = m_bytes.size();
    if (size < kEndSize) fail("too short for a zip file");
    // The end record sits in the last 22 bytes plus at most a 65535-byte comment.
    size_t end = SString::npos;
    const size_t lowest = size > kEndSize + 0xFFFF ? size - kEndSize - 0xFFFF : 0;
    for (size_t at = size - kEndSize + 1; at-- > lowest;) {
        if (le32(m_bytes, at) == kEndSignature && at + kEndSize + le16(m_bytes, at + 20) == size) {
            end = at;
            break;
        }
    }
    if (end == SString::npos) fail("no end of central directory");
    const unsigned count = le16(m_bytes, end + 10);
    const unsigned long directorySize = le32(m_bytes, end + 12);
    const unsigned long directoryOffset = le32(m_bytes, end + 16);
    if (count == 0xFFFF || directoryOffset == 0xFFFFFFFFul) fail("zip64 archives are not read");
    if (!fits(end, directoryOffset, directorySize)) fail("central directory out of range");

    size_t at = directoryOffset;
    const size_t limit = directoryOffset + directorySize;
    for (unsigned i = 0; i < count; ++i) {
        if (!fits(limit, at, kCentralSize) || le32(m_bytes, at) != kCentralSignature) {
            fail("broken central directory entry " + std::to_string(i));
        }
        JarEntry entry;
        entry.method = static_cast<int>(le16(m_bytes, at + 10));
        entry.crc = le32(m_bytes, at + 16);
        entry.compressedSize = le32(m_bytes, at + 20);
        entry.size = le32(m_bytes, at + 24);
        const unsigned nameLength = le16(m_bytes, at + 28);
        const unsigned long variable = static_cast<unsigned long>(nameLength) +
                                       le16(m_bytes, at + 30) + le16(m_bytes, at + 32);
        entry.localHeaderOffset = le32(m_bytes, at + 42);
        if (!fits(limit, at + kCentralSize, variable)) {
            fail("broken central directory entry " + std::to_string(i));
        }
        entry.name = m_bytes.substr(at + kCentralSize, nameLength);
        m_entries.push_back(entry);
        at += kCentralSize + variable;
    }
}

const JarEntry* JarFile::find(const SString& entryName) const {
    for (const JarEntry& entry : m_entries) {
        if (entry.name == entryName) return &entry;
    }
    return nullptr;
}

SString JarFile::read(const JarEntry& entry) const {
    const size_t size = m_bytes.size();
    const unsigned long local = entry.localHeaderOffset;
    if (!fits(size, local, kLocalSize) || le32(m_bytes, local) != kLocalSignature) {
        fail(entry.name + ": broken local header");
    }
    const unsigned long dataOffset =
        local + kLocalSize + le16(m_bytes, local + 26) + le16(m_bytes, local + 28);
    if (!fits(size, dataOffset, entry.compressedSize)) fail(entry.name + ": data out of range");
    if (entry.size > kMaxEntrySize) fail(entry.name + ": entry too large");

    SString data;
    if (entry.method == 0) {
        if (entry.compressedSize != entry.size) fail(entry.name + ": stored sizes differ");
        data = m_bytes.substr(dataOffset, entry.size);
    } else if (entry.method == 8) {
        z_stream stream;
        memset(&stream, 0, sizeof stream);
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) fail(entry.name + ": inflate failed");
        data.resize(entry.size);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(m_bytes.data() + dataOffset));
        stream.avail_in = static_cast<uInt>(entry.compressedSize);
        stream.next_out = reinterpret_cast<Bytef*>(&data[0]);
        stream.avail_out = static_cast<uInt>(entry.size);
        // One more byte of room tells a stream longer than its recorded size.
        char spare;
        int result = entry.size ? inflate(&stream, Z_FINISH) : Z_BUF_ERROR;
        if (result == Z_BUF_ERROR && stream.avail_out == 0) {
            stream.next_out = reinterpret_cast<Bytef*>(&spare);
            stream.avail_out = 1;
            result = inflate(&stream, Z_FINISH);
            if (stream.avail_out == 0) result = Z_DATA_ERROR;
        }
        const bool complete = result == Z_STREAM_END && stream.total_out == entry.size;
        inflateEnd(&stream);
        if (!complete) fail(entry.name + ": deflated data is damaged");
    } else {
        fail(entry.name + ": compression method " + std::to_string(entry.method) +
             " is not supported");
    }
    const unsigned long crc =
        crc32(crc32(0, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()),
              static_cast<uInt>(data.size()));
    if (crc != entry.crc) fail(entry.name + ": CRC mismatch");
    return data;
}

std::map<SString, SString> parseManifest(const SString& text) {
    std::map<SString, SString> attributes;
    SString last;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == SString::npos) end = text.size();
        const SString line = text.substr(at, end - at);
        at = end;
        if (at < text.size() && text[at] == '\r') ++at;
        if (at < text.size() && text[at] == '\n') ++at;
        if (line.empty()) break;  // the main section ends at the first blank line
        if (line[0] == ' ') {
            if (!last.empty()) attributes[last] += line.substr(1);
            continue;
        }
        const size_t colon = line.find(": ");
        if (colon == SString::npos || colon == 0) {
            last.clear();
            continue;
        }
        last = line.substr(0, colon);
        for (char& c : last) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        attributes[last] = line.substr(colon + 2);
    }
    return attributes;
}

std::map<SString, SString> readManifest(const JarFile& jar) {
    const JarEntry* manifest = jar.find("META-INF/MANIFEST.MF");
    if (!manifest) return {};
    return parseManifest(jar.read(*manifest));
}

int classFileJavaVersion(const SString& bytes) {
    if (bytes.size() < 8 || le32(bytes, 0) != 0xBEBAFECAul) return 0;
    const unsigned major =
        static_cast<unsigned char>(bytes[6]) << 8 | static_cast<unsigned char>(bytes[7]);
    return major >= 45 ? static_cast<int>(major) - 44 : 0;
}

std::vector<SString> splitClassPath(const SString& value) {
    std::vector<SString> entries;
    size_t at = 0;
    while (at < value.size()) {
        size_t start = value.find_first_not_of(" \t", at);
        if (start == SString::npos) break;
        size_t end = value.find_first_of(" \t", start);
        if (end == SString::npos) end = value.size();
        SString entry;
        for (size_t i = start; i < end; ++i) {
            if (value[i] == '%' && i + 2 < end &&
                isxdigit(static_cast<unsigned char>(value[i + 1])) &&
                isxdigit(static_cast<unsigned char>(value[i + 2]))) {
                entry += static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                entry += value[i];
            }
        }
        entries.push_back(entry);
        at = end;
    }
    return entries;
}
