#pragma once
// The index of the files embedded in a launcher, in the order the index lists them.

#include <vector>

#include "base/PtrDeque.h"
#include "inputfiles/FileIndexEntry.h"

// A source of the index's bytes: the next bytes of the index, fewer (or none) at its end.
class IndexSource {
public:
    virtual ~IndexSource() = default;
    // Up to `count` bytes into `buffer`; how many arrived before the end.
    virtual size_t read(char* buffer, size_t count) = 0;
    // The bytes left to read.
    virtual long long remaining() const = 0;
};

class FileIndex {
public:
    // Reads the entry count and the entries from `source` (the bytes from the index to the
    // end of the file), then the digest block when the rest of the source is one and the
    // trailer. Throws LauncherException on a truncated entry; the entries read before it stay.
    void load(IndexSource& source);
    void clear() { m_entries.clear(); }

    long size() const { return m_entries.size(); }
    // The entry at `index`, or null.
    FileIndexEntry* at(long index) const { return m_entries.at(index); }
    // The first entry with that id, or null.
    const FileIndexEntry* getFile(long id) const;
    // Every entry of `type`, in index order.
    std::vector<const FileIndexEntry*> entriesOfType(FileType type) const;

private:
    FileIndexEntryPtrDeque m_entries;
};
