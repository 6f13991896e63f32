#include "inputfiles/Bundle.h"

#include <cerrno>

#include "base/LauncherException.h"
#include "base/Paths.h"
#include "inputfiles/BundleLayout.h"
#include "inputfiles/LineReading.h"
#include "platform/PlatformImpl.h"
#include "platform/os/FileIdentity.h"
#include "platform/os/RangeCopy.h"
#include "platform/os/SecureDir.h"

namespace {

// The index's bytes, read from the bundle in blocks as the parser asks for them.
class BundleIndexSource : public IndexSource {
public:
    BundleIndexSource(int fd, long long start, long long end)
        : m_fd(fd), m_position(start), m_end(end) {}

    size_t read(char* buffer, size_t count) override {
        size_t done = 0;
        while (done < count) {
            if (m_next == m_block.size()) {
                if (m_position >= m_end) break;
                const long long size = std::min<long long>(kBlockSize, m_end - m_position);
                if (!readAt(m_fd, m_position, static_cast<size_t>(size), m_block) ||
                    m_block.empty()) {
                    m_block.clear();
                    break;
                }
                m_position += static_cast<long long>(m_block.size());
                m_next = 0;
            }
            buffer[done++] = m_block[m_next++];
        }
        return done;
    }

    long long remaining() const override {
        return m_end - m_position + static_cast<long long>(m_block.size() - m_next);
    }

private:
    static constexpr long long kBlockSize = 65536;
    int m_fd;
    long long m_position;
    long long m_end;
    SString m_block;
    size_t m_next = 0;
};

// Chunks handed over in one copy step, with and without progress dots on the screen.
constexpr size_t kChunksPerVisibleStep = 64;
constexpr size_t kChunksPerQuietStep = 4096;

void checkCanceled() {
    if (PlatformImpl::isCanceled()) {
        throw LauncherException(PlatformImpl::getMessageText(MSG_CANCELED));
    }
}

}  // namespace

Bundle::Bundle(const SString& path) : m_path(path), m_fd(PlatformImpl::openForReading(path)) {
    if (!m_fd) throw LauncherException("Cannot open launcher file.");
}

bool Bundle::readTail(long long& size, SString& tail) const {
    FileFacts facts;
    size = fileFacts(m_fd.get(), facts) ? static_cast<long long>(facts.size) : -1;
    return size >= kTrailerSize && readAt(m_fd.get(), size - kTrailerSize, kTrailerSize, tail) &&
           tail.size() == static_cast<size_t>(kTrailerSize);
}

bool Bundle::endsWithTrailer() const {
    long long size = 0;
    SString tail;
    long indexOffset = 0;
    return readTail(size, tail) && isTrailer(tail, indexOffset);
}

void Bundle::readIndex() {
    m_index.clear();
    m_hasAppendedData = false;
    long long size = 0;
    SString tail;
    if (!readTail(size, tail)) throw LauncherException("Invalid launcher format.");
    long indexOffset = 0;
    if (!isTrailer(tail, indexOffset)) return;
    m_hasAppendedData = true;
    if (indexOffset < 0) throw LauncherException("Invalid file index offset.");
    // The index is read on to the end of the file, as a stream would be: an entry may run
    // into the trailer's bytes.
    BundleIndexSource source(m_fd.get(), indexOffset, size);
    m_index.load(source);
}

SString Bundle::identity() const {
    return fileIdentity(m_fd.get(), true);
}

void Bundle::loadTagFile(FileIndexEntry& entry) const {
    if (!entry.isTagFileType()) return;
    entry.m_tagFile.reset(new TagFile);
    // A tag file ends with its entry: reading stops there whatever follows it. One byte past
    // the size limit is enough to tell that a file is too large.
    FileFacts facts;
    const long long end = fileFacts(m_fd.get(), facts) ? static_cast<long long>(facts.size) : 0;
    // Never more than the file holds past the offset: an index may claim any length.
    long long length = end - entry.m_offset;
    if (entry.m_length >= 0) length = std::min<long long>(length, entry.m_length);
    length = std::min(length, kMaxInputFileBytes + 1);
    SString bytes;
    if (entry.m_offset < 0 || length < 0 ||
        !readAt(m_fd.get(), entry.m_offset, static_cast<size_t>(length), bytes)) {
        throw LauncherException("Unable to read tag file.");
    }
    entry.m_tagFile->load(bytes, entry.m_name);
}

int Bundle::copyTo(const FileIndexEntry& entry, int target) const {
    checkCanceled();
    // Each chunk counts as one step of the progress display. Dots on the screen want small
    // copy steps; without them fewer, larger copies are faster.
    RangeCopy how;
    how.offset = entry.m_offset;
    how.length = entry.m_length;
    how.chunkSize = kExtractChunkSize;
    how.chunksPerStep = PlatformImpl::isUIVisible() && !PlatformImpl::isSilent()
                            ? kChunksPerVisibleStep
                            : kChunksPerQuietStep;
    how.onChunk = [] {
        PlatformImpl::advanceUIProgress(1);
        checkCanceled();
    };
    // A launcher file that ends early, or cannot be read on, ends the copy as its end would.
    return copyRange(m_fd.get(), target, how).writeError;
}

SString Bundle::extract(const FileIndexEntry& entry, const SString& directory) const {
    entry.checkExtractable();
    if (!PlatformImpl::checkFreeSpace(directory, entry.m_length)) {
        throw LauncherException(PlatformImpl::writeErrorText(0));
    }
    UniqueFd out = createFileIn(directory, entry.m_name);
    int pendingError = out ? copyTo(entry, out.get()) : errno;
    if (out && !out.close() && pendingError == 0) pendingError = errno;
    if (pendingError != 0) throw LauncherException(PlatformImpl::writeErrorText(pendingError));

    SString target = directory;
    appendPathSeparator(target);
    target += entry.m_name;
    if (entry.m_type == FILE_TYPE_JVM_INSTALLER || entry.m_type == FILE_TYPE_EMBEDDED_LAUNCHER) {
        PlatformImpl::setFileExecutable(target);
    }
    return target;
}
