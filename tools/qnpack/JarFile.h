#pragma once
// Reads what the packer needs from a jar: its entry list (the zip central directory), an
// entry's bytes (stored or deflated), the manifest's main attributes and the class-file
// version of a class. Jars come from outside, so every offset and length is checked
// against the data before it is used, reads are bounded positioned reads (a jar is never
// read whole into memory), and inflated entries are bounded.

#include <map>
#include <memory>
#include <vector>

#include "base/SString.h"

struct JarEntry {
    SString name;
    int method = 0;      // 0 stored, 8 deflated
    unsigned flags = 0;  // the general-purpose bits (bit 3: a data descriptor follows)
    unsigned long crc = 0;
    unsigned long compressedSize = 0;
    unsigned long size = 0;
    unsigned long localHeaderOffset = 0;
    size_t directoryOffset = 0;  // where its record starts in directory()
    size_t directoryLength = 0;  // the record's length, name, extra field and comment included
};

// Where a jar's bytes come from: a file, or bytes in memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual unsigned long long size() const = 0;
    // Reads `length` bytes at `offset` into `out`; false when they cannot all be read.
    virtual bool readAt(unsigned long long offset, size_t length, char* out) const = 0;
};

class JarFile {
public:
    // Entries larger than this are not inflated: a manifest or a class file never is. The
    // central directory is bounded the same way.
    static constexpr unsigned long kMaxEntrySize = 64ul << 20;

    // Parses the central directory of `bytes`. Throws LauncherException naming `name`.
    JarFile(const SString& name, SString bytes);
    // Parses the central directory of what `source` holds. Throws LauncherException.
    JarFile(const SString& name, std::unique_ptr<ByteSource> source);
    // Opens the file at `path` as openJarSource does and parses it. Throws
    // LauncherException: "PATH: cannot be read: ...", "PATH: is a FIFO, not a jar", ...
    static JarFile open(const SString& path);

    const SString& name() const { return m_name; }
    unsigned long long size() const { return m_source->size(); }
    const std::vector<JarEntry>& entries() const { return m_entries; }
    const JarEntry* find(const SString& entryName) const;
    // The uncompressed bytes of `entry`, checked against its CRC. Throws LauncherException.
    SString read(const JarEntry& entry) const;
    // `length` bytes of the file at `offset`. Throws LauncherException when they are not
    // all there.
    SString readRaw(unsigned long long offset, size_t length) const;
    // The central directory's bytes, and the end record with the archive comment.
    const SString& directory() const { return m_directory; }
    const SString& endRecord() const { return m_endRecord; }

    // Throws LauncherException "NAME: not a readable jar: WHAT".
    [[noreturn]] void fail(const SString& what) const;

private:
    void readCentralDirectory();
    // The offset of the data of `entry`, after its local header.
    unsigned long long dataOffset(const JarEntry& entry) const;

    SString m_name;
    std::unique_ptr<ByteSource> m_source;
    SString m_directory;
    SString m_endRecord;
    std::vector<JarEntry> m_entries;
};

// The main section of a manifest: attribute names in lower case (they are
// case-insensitive), values with continuation lines joined.
std::map<SString, SString> parseManifest(const SString& text);

// The jar's META-INF/MANIFEST.MF entry (its name compared without case when there is no
// exact one, as the JVM looks it up); null when it has none.
const JarEntry* manifestEntry(const JarFile& jar);
// The main attributes of the jar's manifest; empty when it has none.
std::map<SString, SString> readManifest(const JarFile& jar);
// Whether the jar is signed: it holds a signature file META-INF/NAME.SF.
bool isSignedJar(const JarFile& jar);

// The Java feature release a class-file needs (major version - 44: 52 gives 8, 61 gives
// 17); 0 when `bytes` is no class file.
int classFileJavaVersion(const SString& bytes);

// The class-path entries of a Class-Path value: blank-separated relative URLs, with
// %XX escapes decoded.
std::vector<SString> splitClassPath(const SString& value);

// Little-endian fields of zip records.
unsigned zipField16(const SString& bytes, size_t at);
unsigned long zipField32(const SString& bytes, size_t at);
