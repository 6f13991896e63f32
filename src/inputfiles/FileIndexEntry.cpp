#include "inputfiles/FileIndexEntry.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "inputfiles/TextUtils.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "platform/PlatformImpl.h"
#include "platform/StdioFile.h"

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
    m_name = name.substr(0, name.find('\0'));
}

void FileIndexEntry::loadTagFile(FILE* stream) {
    if (!isTagFileType()) return;
    m_tagFile.reset(new TagFile);
    m_tagFile->load(stream, m_name, m_offset, m_length);
}

bool isSafeFileName(const SString& name) {
    return name.find('/') == SString::npos && name != "." && name != "..";
}

static LauncherException writeError(int errorNumber) {
    return LauncherException(PlatformImpl::getMessageText(MSG_ERROR_WRITING_FILE) +
                             convertToString(errorNumber) +
                             PlatformImpl::getMessageText(MSG_NOT_ENOUGH_SPACE));
}

SString FileIndexEntry::extract(const SString& directory) const {
    if (!isSafeFileName(m_name) || m_name.empty()) {
        throw LauncherException("Invalid file name in file index: " + m_name);
    }
    if (m_offset < 0 || m_length < 0) {
        throw LauncherException("Invalid offset or length in file index for " + m_name + ".");
    }
    if (!PlatformImpl::checkFreeSpace(directory, m_length)) {
        throw LauncherException(PlatformImpl::getMessageText(MSG_ERROR_WRITING_FILE) +
                                PlatformImpl::getMessageText(MSG_NOT_ENOUGH_SPACE));
    }
    SString target = directory;
    appendPathSeparator(target);
    target += m_name;

    StdioFile source(Launcher::getLauncherFileName(), "rb");
    if (!source || fseek(source.get(), m_offset, SEEK_SET) != 0) {
        throw LauncherException("Cannot open launcher file.");
    }
    int pendingError = 0;
    StdioFile out(target, "wb");
    if (!out) pendingError = errno;

    std::vector<char> buffer(kExtractChunkSize);
    long position = m_offset;
    const long endPosition = m_offset + m_length;
    while (position < endPosition && !feof(source.get()) && pendingError == 0) {
        PlatformImpl::checkInterrupted();
        if (PlatformImpl::m_canceled) {
            throw LauncherException(PlatformImpl::getMessageText(MSG_CANCELED));
        }
        size_t wanted = static_cast<size_t>(std::min(kExtractChunkSize, endPosition - position));
        size_t chunk = fread(buffer.data(), 1, wanted, source.get());
        position += static_cast<long>(chunk);
        if (fwrite(buffer.data(), 1, chunk, out.get()) < chunk) pendingError = errno;
        if (fflush(out.get()) != 0 && pendingError == 0) pendingError = errno;
        PlatformImpl::advanceUIProgress(1);
        if (chunk < wanted && ferror(source.get())) break;
    }
    if (out && !out.close() && pendingError == 0) pendingError = errno;
    if (pendingError != 0) throw writeError(pendingError);

    if (m_type == FILE_TYPE_JVM_INSTALLER || m_type == FILE_TYPE_EMBEDDED_LAUNCHER) {
        PlatformImpl::setFileExecutable(target);
    }
    return target;
}
