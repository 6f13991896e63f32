#include "inputfiles/FileIndexEntry.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "base/LauncherContext.h"
#include "base/LauncherException.h"
#include "base/Log.h"
#include "base/Numbers.h"
#include "base/Paths.h"
#include "base/StdioFile.h"
#include "base/UniqueFd.h"
#include "platform/PlatformImpl.h"
#include "platform/SecureDir.h"
#include "platform/TrustedPath.h"

unsigned getBytes(FILE* stream, char* buffer, unsigned count) {
    unsigned n = 0;
    while (n < count) {
        int c = getc(stream);
        if (c == EOF) break;
        buffer[n++] = static_cast<char>(c);
    }
    return n;
}

long loadLongValue(FILE* stream, const char* errorMessage) {
    char bytes[4];
    if (getBytes(stream, bytes, 4) < 4) throw LauncherException(errorMessage);
    return PlatformImpl::convertToLong(bytes);
}

short loadShortValue(FILE* stream, const char* errorMessage) {
    char bytes[2];
    if (getBytes(stream, bytes, 2) < 2) throw LauncherException(errorMessage);
    return PlatformImpl::convertToShort(bytes);
}

void FileIndexEntry::load(FILE* stream) {
    int type = getc(stream);
    if (type == EOF || type > kLastFileType) {
        throw LauncherException("Invalid file type in file index.");
    }
    m_type = type;
    m_id = loadLongValue(stream, "Unable to load file id.");
    m_length = loadLongValue(stream, "Unable to load file length.");
    m_offset = loadLongValue(stream, "Unable to load offset to file bytes.");
    // Lengths above 32767 are read as unsigned 16-bit values.
    unsigned nameLength =
        static_cast<unsigned short>(loadShortValue(stream, "Unable to load the string value."));

    // The name is read like a text line of at most nameLength bytes, cut at a NUL.
    SString name;
    for (unsigned i = 0; i < nameLength; ++i) {
        int c = getc(stream);
        if (c == EOF) break;
        name += static_cast<char>(c);
        if (c == '\n') break;
    }
    m_indexName = name;
    m_name = name.substr(0, name.find('\0'));
}

void FileIndexEntry::loadTagFile(FILE* stream) {
    if (!isTagFileType()) return;
    m_tagFile.reset(new TagFile);
    m_tagFile->load(stream, m_name, m_offset, m_length);
}

bool isSafeFileName(const SString& name) {
    // A NUL would cut the name short, a line break would end its line in the replaying
    // input file and in the log.
    return name.find_first_of(SString("/\n\r\0", 4)) == SString::npos && name != "." &&
           name != "..";
}

namespace {

// Chunks handed to the kernel in one copy, with and without progress dots on the screen.
constexpr off_t kChunksPerVisibleCopy = 64;
constexpr off_t kChunksPerQuietCopy = 4096;

// Copies byte ranges from one descriptor to another, in the kernel where it can.
class ChunkCopier {
public:
    ChunkCopier(int source, int target) : m_source(source), m_target(target) {}

    // Copies up to `wanted` bytes from `position`; returns how many were copied. Stops
    // short at the end of the source, or with `error` set when writing failed.
    size_t copy(off_t position, size_t wanted, int& error) {
        size_t done = 0;
        while (done < wanted && error == 0) {
            PlatformImpl::checkInterrupted();
            ssize_t n = -1;
            if (m_kernelCopy) {
                loff_t in = position + static_cast<off_t>(done);
                n = copy_file_range(m_source, &in, m_target, nullptr, wanted - done, 0);
                // Not offered for these files: copy through the buffer from now on.
                if (n < 0) m_kernelCopy = false;
            }
            if (!m_kernelCopy) n = bufferedCopy(position + done, wanted - done, error);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        return done;
    }

private:
    ssize_t bufferedCopy(off_t position, size_t count, int& error) {
        if (m_buffer.empty()) m_buffer.resize(kExtractChunkSize);
        ssize_t n = pread(m_source, m_buffer.data(), std::min(count, m_buffer.size()), position);
        if (n <= 0) return n;
        for (ssize_t written = 0; written < n;) {
            ssize_t w =
                write(m_target, m_buffer.data() + written, static_cast<size_t>(n - written));
            if (w < 0) {
                if (errno == EINTR) continue;
                error = errno;
                return written;
            }
            written += w;
        }
        return n;
    }

    int m_source;
    int m_target;
    bool m_kernelCopy = true;
    std::vector<char> m_buffer;
};

}  // namespace

static LauncherException writeError(int errorNumber) {
    return LauncherException(PlatformImpl::getMessageText(MSG_ERROR_WRITING_FILE) +
                             convertToString(errorNumber) +
                             PlatformImpl::getMessageText(MSG_NOT_ENOUGH_SPACE));
}

void FileIndexEntry::checkExtractable() const {
    if (!isSafeFileName(m_indexName) || m_name.empty()) {
        throw LauncherException("Invalid file name in file index: " + showLineBreaks(m_indexName));
    }
    if (m_offset < 0 || m_length < 0) {
        throw LauncherException("Invalid offset or length in file index for " + m_name + ".");
    }
}

int FileIndexEntry::copyTo(int target) const {
    UniqueFd source(open(LauncherContext::launcherFileName().c_str(), O_RDONLY | O_CLOEXEC));
    if (!source) throw LauncherException("Cannot open launcher file.");
    int pendingError = 0;

    // The bytes go over in blocks of many chunks, copied by the kernel where it can, and
    // each chunk counts as one step of the progress display.
    ChunkCopier copier(source.get(), target);
    const off_t chunkSize = kExtractChunkSize;
    // Dots on the screen want small blocks; without them fewer, larger copies are faster.
    const off_t chunksPerCopy = PlatformImpl::isUIVisible() && !PlatformImpl::isSilent()
                                    ? kChunksPerVisibleCopy
                                    : kChunksPerQuietCopy;
    off_t position = m_offset;
    const off_t endPosition = static_cast<off_t>(m_offset) + m_length;
    while (position < endPosition && pendingError == 0) {
        PlatformImpl::checkInterrupted();
        if (PlatformImpl::isCanceled()) {
            throw LauncherException(PlatformImpl::getMessageText(MSG_CANCELED));
        }
        const off_t wanted = std::min(chunksPerCopy * chunkSize, endPosition - position);
        const off_t copied =
            static_cast<off_t>(copier.copy(position, static_cast<size_t>(wanted), pendingError));
        position += copied;
        const off_t chunks = std::max<off_t>(1, (copied + chunkSize - 1) / chunkSize);
        for (off_t i = 0; i < chunks; ++i) PlatformImpl::advanceUIProgress(1);
        if (copied < wanted) break;  // the launcher file ends early, or an error is pending
    }
    return pendingError;
}

SString FileIndexEntry::extract(const SString& directory) const {
    checkExtractable();
    if (!PlatformImpl::checkFreeSpace(directory, m_length)) {
        throw LauncherException(PlatformImpl::getMessageText(MSG_ERROR_WRITING_FILE) +
                                PlatformImpl::getMessageText(MSG_NOT_ENOUGH_SPACE));
    }
    SString target = directory;
    appendPathSeparator(target);
    target += m_name;

    UniqueFd out = createFileIn(directory, m_name);
    int pendingError = out ? copyTo(out.get()) : errno;
    if (out && !out.close() && pendingError == 0) pendingError = errno;
    if (pendingError != 0) throw writeError(pendingError);

    if (m_type == FILE_TYPE_JVM_INSTALLER || m_type == FILE_TYPE_EMBEDDED_LAUNCHER) {
        PlatformImpl::setFileExecutable(target);
    }
    return target;
}
