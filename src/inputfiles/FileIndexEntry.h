#pragma once
// One file embedded in the launcher: its place in the appended data, its type, and for
// tag files the parsed contents; plus the readers of the index's big-endian fields.

#include <cstdint>
#include <cstdio>
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
};
constexpr int kLastFileType = FILE_TYPE_EMBEDDED_LAUNCHER;
// The last four bytes of a launcher that carries appended data.
constexpr uint32_t kLauncherIdentification = 0xCA82CA82u;
// Size of the copy buffer, and so of one progress step, during extraction.
constexpr long kExtractChunkSize = 0xEFFF;

// Reads up to `count` bytes; returns how many arrived before the end of the stream.
unsigned getBytes(FILE* stream, char* buffer, unsigned count);
// Reads a big-endian 32-bit value; throws LauncherException(errorMessage) when short.
long loadLongValue(FILE* stream, const char* errorMessage);
// Reads a big-endian 16-bit value; throws LauncherException(errorMessage) when short.
short loadShortValue(FILE* stream, const char* errorMessage);

class FileIndexEntry {
public:
    // Reads one index entry at the stream's position. Throws on a truncated entry.
    void load(FILE* stream);
    // Parses the embedded tag file (types 0 to 2 only).
    void loadTagFile(FILE* stream);
    // Copies the embedded bytes to a new file `directory`/name (see createFileIn: never over
    // an existing entry or through a link) and returns its path. Throws LauncherException
    // on an unsafe name, an existing entry, no space or a write error; a partly written
    // file is left for the caller's clean-up.
    SString extract(const SString& directory) const;
    // Throws LauncherException for a name that extraction may not write or a negative
    // offset or length.
    void checkExtractable() const;
    // Copies the embedded bytes to the open file `target`; 0, or the error number of a
    // failed write. Throws LauncherException when the launcher cannot be read or the run
    // was canceled.
    int copyTo(int target) const;

    bool isTagFileType() const { return m_type >= 0 && m_type <= FILE_TYPE_LAUNCH_SCRIPT; }

    long m_type = 0;
    std::unique_ptr<TagFile> m_tagFile;
    long m_id = -1;
    long m_length = 0;
    long m_offset = 0;
    SString m_name;
    // The name's bytes as the index holds them; m_name stops at a NUL among them.
    SString m_indexName;
};

using FileIndexEntryPtrDeque = PtrDeque<FileIndexEntry>;

// True for a name that extraction may write: not empty of meaning, no "/", not "." or "..".
bool isSafeFileName(const SString& name);
