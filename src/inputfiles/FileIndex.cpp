#include "inputfiles/FileIndex.h"

#include <memory>

#include "base/LauncherException.h"
#include "platform/PlatformImpl.h"

namespace {
const FileIndex* g_bundleIndex = nullptr;
}

void FileIndex::load(FILE* stream, long indexOffset) {
    if (indexOffset < 0 || fseek(stream, indexOffset, SEEK_SET) != 0) {
        throw LauncherException("Invalid file index offset.");
    }
    long count = loadLongValue(stream, "Unable to read the file count.");
    for (long i = 0; i < count; ++i) {
        if (i % 1024 == 0) PlatformImpl::checkInterrupted();
        auto entry = std::make_unique<FileIndexEntry>();
        entry->load(stream);
        m_entries.push_back(std::move(entry));
    }
}

const FileIndexEntry* FileIndex::getFile(long id) const {
    for (long i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i)->m_id == id) return m_entries.at(i);
    }
    return nullptr;
}

std::vector<const FileIndexEntry*> FileIndex::entriesOfType(FileType type) const {
    std::vector<const FileIndexEntry*> result;
    for (long i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i)->m_type == type) result.push_back(m_entries.at(i));
    }
    return result;
}

const FileIndex& FileIndex::bundle() {
    static const FileIndex empty;
    return g_bundleIndex ? *g_bundleIndex : empty;
}

void FileIndex::setBundle(const FileIndex* index) {
    g_bundleIndex = index;
}
