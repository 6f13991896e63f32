#include "qnpack/JarFile.h"

#include <zlib.h>

#include <cctype>
#include <cstring>

#include "base/LauncherException.h"
#include "qnpack/JarSource.h"

namespace {

const unsigned long kEndSignature = 0x06054b50;
const unsigned long kCentralSignature = 0x02014b50;
const unsigned long kLocalSignature = 0x04034b50;
const size_t kEndSize = 22;
const size_t kCentralSize = 46;
const size_t kLocalSize = 30;

// True when [offset, offset + length) lies inside `size` bytes.
bool fits(unsigned long long size, unsigned long long offset, unsigned long long length) {
    return offset <= size && length <= size - offset;
}

// Bytes held in memory, for tests and fuzzing.
class MemorySource : public ByteSource {
public:
    explicit MemorySource(SString bytes) : m_bytes(std::move(bytes)) {}
    unsigned long long size() const override { return m_bytes.size(); }
    bool readAt(unsigned long long offset, size_t length, char* out) const override {
        if (!fits(m_bytes.size(), offset, length)) return false;
        if (length) memcpy(out, m_bytes.data() + offset, length);
        return true;
    }

private:
    SString m_bytes;
};

bool equalsIgnoringCase(const SString& a, const SString& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace

unsigned zipField16(const SString& b, size_t at) {
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}

unsigned long zipField32(const SString& b, size_t at) {
    return static_cast<unsigned long>(zipField16(b, at)) |
           static_cast<unsigned long>(zipField16(b, at + 2)) << 16;
}

JarFile::JarFile(const SString& name, SString bytes)
    : JarFile(name, std::unique_ptr<ByteSource>(new MemorySource(std::move(bytes)))) {}

JarFile::JarFile(const SString& name, std::unique_ptr<ByteSource> source)
    : m_name(name), m_source(std::move(source)) {
    readCentralDirectory();
}

JarFile JarFile::open(const SString& path) {
    JarSourceOpening opening = openJarSource(path);
    if (opening.status != JarSourceOpening::Open) {
        throw LauncherException(path + ": " + opening.why);
    }
    return JarFile(path, std::move(opening.source));
}

void JarFile::fail(const SString& what) const {
    throw LauncherException(m_name + ": not a readable jar: " + what);
}

SString JarFile::readRaw(unsigned long long offset, size_t length) const {
    SString bytes(length, '\0');
    if (!m_source->readAt(offset, length, length ? &bytes[0] : nullptr)) {
        fail("the data ends early");
    }
    return bytes;
}

void JarFile::readCentralDirectory() {
    const unsigned long long size = m_source->size();
    if (size < kEndSize) fail("too short for a zip file");
    // The end record sits in the last 22 bytes plus at most a 65535-byte comment.
    const size_t tailSize =
        static_cast<size_t>(size < kEndSize + 0xFFFF ? size : kEndSize + 0xFFFF);
    const unsigned long long tailStart = size - tailSize;
    const SString tail = readRaw(tailStart, tailSize);
    size_t end = SString::npos;
    for (size_t at = tailSize - kEndSize + 1; at-- > 0;) {
        if (zipField32(tail, at) == kEndSignature &&
            at + kEndSize + zipField16(tail, at + 20) == tailSize) {
            end = at;
            break;
        }
    }
    if (end == SString::npos) fail("no end of central directory");
    m_endRecord = tail.substr(end);
    const unsigned count = zipField16(tail, end + 10);
    const unsigned long directorySize = zipField32(tail, end + 12);
    const unsigned long directoryOffset = zipField32(tail, end + 16);
    if (count == 0xFFFF || directoryOffset == 0xFFFFFFFFul) fail("zip64 archives are not read");
    if (!fits(tailStart + end, directoryOffset, directorySize)) {
        fail("central directory out of range");
    }
    if (directorySize > kMaxEntrySize) fail("central directory too large");
    m_directory = readRaw(directoryOffset, directorySize);

    size_t at = 0;
    for (unsigned i = 0; i < count; ++i) {
        if (!fits(m_directory.size(), at, kCentralSize) ||
            zipField32(m_directory, at) != kCentralSignature) {
            fail("broken central directory entry " + std::to_string(i));
        }
        JarEntry entry;
        entry.flags = zipField16(m_directory, at + 8);
        entry.method = static_cast<int>(zipField16(m_directory, at + 10));
        entry.crc = zipField32(m_directory, at + 16);
        entry.compressedSize = zipField32(m_directory, at + 20);
        entry.size = zipField32(m_directory, at + 24);
        const unsigned nameLength = zipField16(m_directory, at + 28);
        const unsigned long variable = static_cast<unsigned long>(nameLength) +
                                       zipField16(m_directory, at + 30) +
                                       zipField16(m_directory, at + 32);
        entry.localHeaderOffset = zipField32(m_directory, at + 42);
        if (!fits(m_directory.size(), at + kCentralSize, variable)) {
            fail("broken central directory entry " + std::to_string(i));
        }
        entry.name = m_directory.substr(at + kCentralSize, nameLength);
        entry.directoryOffset = at;
        entry.directoryLength = kCentralSize + variable;
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

unsigned long long JarFile::dataOffset(const JarEntry& entry) const {
    const SString local = readRaw(entry.localHeaderOffset, kLocalSize);
    if (zipField32(local, 0) != kLocalSignature) fail(entry.name + ": broken local header");
    return static_cast<unsigned long long>(entry.localHeaderOffset) + kLocalSize +
           zipField16(local, 26) + zipField16(local, 28);
}

SString JarFile::read(const JarEntry& entry) const {
    if (!fits(size(), entry.localHeaderOffset, kLocalSize)) {
        fail(entry.name + ": broken local header");
    }
    const unsigned long long offset = dataOffset(entry);
    if (!fits(size(), offset, entry.compressedSize)) fail(entry.name + ": data out of range");
    if (entry.size > kMaxEntrySize) fail(entry.name + ": entry too large");

    SString data;
    if (entry.method == 0) {
        if (entry.compressedSize != entry.size) fail(entry.name + ": stored sizes differ");
        data = readRaw(offset, entry.size);
    } else if (entry.method == 8) {
        // Deflate never grows data by more than a few bytes per 16 KiB block.
        if (entry.compressedSize > entry.size + entry.size / 128 + 1024) {
            fail(entry.name + ": deflated data is damaged");
        }
        const SString compressed = readRaw(offset, entry.compressedSize);
        z_stream stream;
        memset(&stream, 0, sizeof stream);
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) fail(entry.name + ": inflate failed");
        data.resize(entry.size);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
        stream.avail_in = static_cast<uInt>(compressed.size());
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

const JarEntry* manifestEntry(const JarFile& jar) {
    const SString name = "META-INF/MANIFEST.MF";
    if (const JarEntry* exact = jar.find(name)) return exact;
    for (const JarEntry& entry : jar.entries()) {
        if (equalsIgnoringCase(entry.name, name)) return &entry;
    }
    return nullptr;
}

std::map<SString, SString> readManifest(const JarFile& jar) {
    const JarEntry* manifest = manifestEntry(jar);
    if (!manifest) return {};
    return parseManifest(jar.read(*manifest));
}

bool isSignedJar(const JarFile& jar) {
    for (const JarEntry& entry : jar.entries()) {
        const SString& name = entry.name;
        if (name.size() > 12 && equalsIgnoringCase(name.substr(0, 9), "META-INF/") &&
            name.find('/', 9) == SString::npos &&
            equalsIgnoringCase(name.substr(name.size() - 3), ".SF")) {
            return true;
        }
    }
    return false;
}

int classFileJavaVersion(const SString& bytes) {
    if (bytes.size() < 8 || zipField32(bytes, 0) != 0xBEBAFECAul) return 0;
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
