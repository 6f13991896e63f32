#pragma once
// Reads what the packer needs from a jar: its entry list (the zip central directory), an
// entry's bytes (stored or deflated), the manifest's main attributes and the class-file
// version of a class. Jars come from outside, so every offset and length is checked
// against the data before it is used, and inflated entries are bounded.

#include <map>
#include <vector>

#include "base/SString.h"

struct JarEntry {
    SString name;
    int method = 0;  // 0 stored, 8 deflated
    unsigned long crc = 0;
    unsigned long compressedSize = 0;
    unsigned long size = 0;
    unsigned long localHeaderOffset = 0;
};

class JarFile {
public:
    // Entries larger than this are not inflated: a manifest or a class file never is.
    static constexpr unsigned long kMaxEntrySize = 64ul << 20;

    // Parses the central directory of `bytes`. Throws LauncherException naming `name`.
    JarFile(const SString& name, SString bytes);
    // Reads the file at `path` and parses it.
    static JarFile open(const SString& path);

    const std::vector<JarEntry>& entries() const { return m_entries; }
    const JarEntry* find(const SString& entryName) const;
    // The uncompressed bytes of `entry`, checked against its CRC. Throws LauncherException.
    SString read(const JarEntry& entry) const;

private:
    [[noreturn]] void fail(const SString& what) const;
    void readCentralDirectory();

    SString m_name;
    SString m_bytes;
    std::vector<JarEntry> m_entries;
};

// The main section of a manifest: attribute names in lower case (they are
// case-insensitive), values with continuation lines joined.
std::map<SString, SString> parseManifest(const SString& text);

// The main attributes of the jar's META-INF/MANIFEST.MF; empty when it has none.
std::map<SString, SString> readManifest(const JarFile& jar);

// The Java feature release a class-file needs (major version - 44: 52 gives 8, 61 gives
// 17); 0 when `bytes` is no class file.
int classFileJavaVersion(const SString& bytes);

// The class-path entries of a Class-Path value: blank-separated relative URLs, with
// %XX escapes decoded.
std::vector<SString> splitClassPath(const SString& value);
