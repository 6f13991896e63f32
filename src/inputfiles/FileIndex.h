#pragma once
// The index of the files embedded in a launcher, in the order the index lists them.

#include <cstdio>
#include <vector>

#include "base/PtrDeque.h"
#include "inputfiles/FileIndexEntry.h"

class FileIndex {
public:
    // Reads the entry count and the entries at `indexOffset`. Throws LauncherException on
    // a bad offset or a truncated entry; the entries read before it stay.
    void load(FILE* stream, long indexOffset);
    void clear() { m_entries.clear(); }

    long size() const { return m_entries.size(); }
    // The entry at `index`, or null.
    FileIndexEntry* at(long index) const { return m_entries.at(index); }
    // The first entry with that id, or null.
    const FileIndexEntry* getFile(long id) const;
    // Every entry of `type`, in index order.
    std::vector<const FileIndexEntry*> entriesOfType(FileType type) const;

    // The index of the running launcher's own bundle, which the launcher registers when it
    // loads it; an empty index before that.
    static const FileIndex& bundle();
    static void setBundle(const FileIndex* index);

private:
    FileIndexEntryPtrDeque m_entries;
};
