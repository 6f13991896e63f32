#include "inputfiles/FileIndexEntry.h"

#include <cerrno>

#include "base/LauncherContext.h"
#include "base/LauncherException.h"
#include "base/Log.h"
#include "base/Paths.h"
#include "base/StdioFile.h"
#include "base/UniqueFd.h"
#include "platform/PlatformImpl.h"
#include "platform/RangeCopy.h"
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

// Chunks handed over in one copy step, with and without progress dots on the screen.
constexpr size_t kChunksPerVisibleStep = 64;
constexpr size_t kChunksPerQuietStep = 4096;

static void checkCanceled() {
    if (PlatformImpl::isCanceled()) {
        throw LauncherException(PlatformImpl::getMessageText(MSG_CANCELED));
    }
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
    UniqueFd source = PlatformImpl::openForReading(LauncherContext::launcherFileName());
    if (!source) throw LauncherException("Cannot open launcher file.");
    checkCanceled();
    // Each chunk counts as one step of the progress display. Dots on the screen want small
    // copy steps; without them fewer, larger copies are faster.
    RangeCopy how;
    how.offset = m_offset;
    how.length = m_length;
    how.chunkSize = kExtractChunkSize;
    how.chunksPerStep = PlatformImpl::isUIVisible() && !PlatformImpl::isSilent()
                            ? kChunksPerVisibleStep
                            : kChunksPerQuietStep;
    how.onChunk = [] {
        PlatformImpl::advanceUIProgress(1);
        checkCanceled();
    };
    // A launcher file that ends early, or cannot be read on, ends the copy as its end would.
    return copyRange(source.get(), target, how).writeError;
}

SString FileIndexEntry::extract(const SString& directory) const {
    checkExtractable();
    if (!PlatformImpl::checkFreeSpace(directory, m_length)) {
        throw LauncherException(PlatformImpl::writeErrorText(0));
    }
    SString target = directory;
    appendPathSeparator(target);
    target += m_name;

    UniqueFd out = createFileIn(directory, m_name);
    int pendingError = out ? copyTo(out.get()) : errno;
    if (out && !out.close() && pendingError == 0) pendingError = errno;
    if (pendingError != 0) throw LauncherException(PlatformImpl::writeErrorText(pendingError));

    if (m_type == FILE_TYPE_JVM_INSTALLER || m_type == FILE_TYPE_EMBEDDED_LAUNCHER) {
        PlatformImpl::setFileExecutable(target);
    }
    return target;
}
