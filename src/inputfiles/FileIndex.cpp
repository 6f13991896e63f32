#include "inputfiles/FileIndex.h"

#include <cstring>
#include <memory>

#include "base/LauncherException.h"
#include "inputfiles/BundleLayout.h"
#include "platform/PlatformImpl.h"

namespace {

long readLong(IndexSource& source, const char* errorMessage) {
    char bytes[4];
    if (source.read(bytes, 4) < 4) throw LauncherException(errorMessage);
    return PlatformImpl::convertToLong(bytes);
}

short readShort(IndexSource& source, const char* errorMessage) {
    char bytes[2];
    if (source.read(bytes, 2) < 2) throw LauncherException(errorMessage);
    return PlatformImpl::convertToShort(bytes);
}

std::unique_ptr<FileIndexEntry> readEntry(IndexSource& source) {
    auto entry = std::make_unique<FileIndexEntry>();
    char type;
    if (source.read(&type, 1) < 1 || static_cast<unsigned char>(type) > kLastFileType) {
        throw LauncherException("Invalid file type in file index.");
    }
    entry->m_type = static_cast<unsigned char>(type);
    entry->m_id = readLong(source, "Unable to load file id.");
    entry->m_length = readLong(source, "Unable to load file length.");
    entry->m_offset = readLong(source, "Unable to load offset to file bytes.");
    // Lengths above 32767 are read as unsigned 16-bit values.
    const unsigned nameLength =
        static_cast<unsigned short>(readShort(source, "Unable to load the string value."));
    // The name is read like a text line of at most nameLength bytes, cut at a NUL.
    SString name;
    for (unsigned i = 0; i < nameLength; ++i) {
        char c;
        if (source.read(&c, 1) < 1) break;
        name += c;
        if (c == '\n') break;
    }
    entry->m_indexName = name;
    entry->m_name = name.substr(0, name.find('\0'));
    return entry;
}

}  // namespace

void FileIndex::load(IndexSource& source) {
    const long count = readLong(source, "Unable to read the file count.");
    for (long i = 0; i < count; ++i) {
        if (i % 1024 == 0) PlatformImpl::checkInterrupted();
        m_entries.push_back(readEntry(source));
    }
    // The digest block follows when the rest is exactly one for these entries and the
    // trailer; launchers that do not know it, and bundles without it, end here.
    const long long wanted = 8 + static_cast<long long>(m_entries.size()) * kDigestSize;
    if (m_entries.empty() || source.remaining() != wanted + kTrailerSize) return;
    SString block(static_cast<size_t>(wanted), '\0');
    if (source.read(&block[0], block.size()) != block.size() ||
        memcmp(block.data(), kDigestBlockMagic, 4) != 0 ||
        PlatformImpl::convertToLong(block.data() + 4) != m_entries.size()) {
        return;
    }
    for (long i = 0; i < m_entries.size(); ++i) {
        m_entries.at(i)->m_digest =
            block.substr(8 + static_cast<size_t>(i) * kDigestSize, kDigestSize);
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
