#pragma once
// One file embedded in the launcher: its place in the appended data, its type, its content
// digest when the bundle records one, and for tag files the parsed contents.

#include <memory>

#include "base/PtrDeque.h"
#include "base/SString.h"
#include "inputfiles/TagFile.h"

enum FileType {
    FILE_TYPE_INSTRUCTIONS = 0,
    FILE_TYPE_JVM = 1,
    FILE_TYPE_LAUNCH_SCRIPT = 2,
    FILE_TYPE_CLASSPATH_ARCHIVE = 3,
    FILE_TYPE_JVM_INSTALLER = 4,
    FILE_TYPE_VERIFY_ARCHIVE = 5,
    FILE_TYPE_APPLICATION_ARCHIVE = 6,
    FILE_TYPE_EMBEDDED_LAUNCHER = 7,
    // A Java runtime as an uncompressed ustar archive, its descriptor "jvm" at the root,
    // which INSTALL_JVM installs itself.
    FILE_TYPE_RUNTIME = 8,
};
constexpr int kLastFileType = FILE_TYPE_RUNTIME;
// Size of the copy buffer, and so of one progress step, during extraction.
constexpr long kExtractChunkSize = 0xEFFF;

class FileIndexEntry {
public:
    // Throws LauncherException for a name that extraction may not write or a negative
    // offset or length.
    void checkExtractable() const;

    bool isTagFileType() const { return m_type >= 0 && m_type <= FILE_TYPE_LAUNCH_SCRIPT; }

    long m_type = 0;
    std::unique_ptr<TagFile> m_tagFile;
    long m_id = -1;
    long m_length = 0;
    long m_offset = 0;
    SString m_name;
    // The name's bytes as the index holds them; m_name stops at a NUL among them.
    SString m_indexName;
    // The SHA-256 of the embedded bytes as the packer recorded it; empty when the bundle
    // records none.
    SString m_digest;
};

using FileIndexEntryPtrDeque = PtrDeque<FileIndexEntry>;

// True for a name that extraction may write: not empty of meaning, no "/", not "." or "..".
bool isSafeFileName(const SString& name);
