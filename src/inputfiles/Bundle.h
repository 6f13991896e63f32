#pragma once
// The launcher's own file as a bundle: opened once and held for the run, its trailer and
// file index read, and its embedded files served from that one descriptor (tag files
// parsed from their bytes, byte ranges copied), so no entry is ever reached again by path.

#include "base/SString.h"
#include "base/UniqueFd.h"
#include "inputfiles/FileIndex.h"

class Bundle {
public:
    // Opens the file at `path` for the life of the object. Throws LauncherException
    // "Cannot open launcher file." when it cannot be opened.
    explicit Bundle(const SString& path);
    Bundle(const Bundle&) = delete;
    Bundle& operator=(const Bundle&) = delete;

    // Reads the trailer and, when the file carries appended data, the file index. Throws
    // LauncherException: "Invalid launcher format." for a file shorter than a trailer, and
    // the index's messages for a damaged index, whose entries read before the damage stay.
    void readIndex();

    // Whether the file ends with a trailer, read without the index; false for a file
    // shorter than one.
    bool endsWithTrailer() const;

    const SString& path() const { return m_path; }
    // Whether the file ends with a trailer (known after readIndex).
    bool hasAppendedData() const { return m_hasAppendedData; }
    const FileIndex& index() const { return m_index; }
    // The open file, for copies of byte ranges.
    int descriptor() const { return m_fd.get(); }
    // "device:inode:size:mtime:ctime" of the open file; "-" when it cannot be examined.
    SString identity() const;

    // Parses the embedded tag file `entry` (types 0 to 2; others are left alone) into
    // entry.m_tagFile, from the entry's bytes alone. Throws what TagFile::load throws, with
    // the tags read before the error kept.
    void loadTagFile(FileIndexEntry& entry) const;
    // Copies the embedded bytes of `entry` to the open file `target` at its position; 0,
    // or the error number of a failed write. Throws LauncherException when the launcher
    // cannot be read or the run was canceled.
    int copyTo(const FileIndexEntry& entry, int target) const;
    // Copies the embedded bytes to a new file `directory`/name (see createFileIn: never over
    // an existing entry or through a link) and returns its path. Throws LauncherException
    // on an unsafe name, an existing entry, no space or a write error; a partly written file
    // is left for the caller's clean-up.
    SString extract(const FileIndexEntry& entry, const SString& directory) const;

private:
    // The file's size and its last kTrailerSize bytes; false when it is shorter.
    bool readTail(long long& size, SString& tail) const;

    SString m_path;
    UniqueFd m_fd;
    bool m_hasAppendedData = false;
    FileIndex m_index;
};
