#include "inputfiles/UstarReader.h"

#include <cerrno>
#include <cstring>

#include "base/LauncherException.h"
#include "base/Numbers.h"
#include "platform/os/RangeCopy.h"
#include "platform/os/SystemError.h"
#include "platform/os/TrustedPath.h"

namespace {

constexpr long long kBlock = 512;

// Where the fields the reader uses sit in a header, and their widths.
constexpr size_t kName = 0, kNameWidth = 100;
constexpr size_t kMode = 100, kModeWidth = 8;
constexpr size_t kSize = 124, kSizeWidth = 12;
constexpr size_t kChecksum = 148, kChecksumWidth = 8;
constexpr size_t kType = 156;
constexpr size_t kMagic = 257;
constexpr size_t kPrefix = 345, kPrefixWidth = 155;

SString at(long long position) {
    return "at byte " + convertToString(position);
}

SString damaged(long long position, const char* why) {
    return "The runtime archive is damaged: the header " + at(position) + " " + why + ".";
}

bool isZeroBlock(const char* block) {
    for (long long i = 0; i < kBlock; ++i) {
        if (block[i] != '\0') return false;
    }
    return true;
}

// An octal number field: optional leading blanks, at least one digit, then only NULs and
// blanks. False for anything else (base-256 numbers included).
bool octalField(const char* field, size_t width, unsigned long long& value) {
    size_t i = 0;
    while (i < width && field[i] == ' ') ++i;
    const size_t digits = i;
    value = 0;
    for (; i < width && field[i] >= '0' && field[i] <= '7'; ++i) {
        value = value * 8 + static_cast<unsigned>(field[i] - '0');
    }
    if (i == digits) return false;
    for (; i < width; ++i) {
        if (field[i] != '\0' && field[i] != ' ') return false;
    }
    return true;
}

// A text field: its bytes up to the first NUL, or all of them; false when anything but NULs
// follows that NUL, which one reader would take as part of the name and another not.
bool textField(const char* field, size_t width, SString& text) {
    const char* end = static_cast<const char*>(memchr(field, '\0', width));
    const size_t length = end ? static_cast<size_t>(end - field) : width;
    for (size_t i = length; i < width; ++i) {
        if (field[i] != '\0') return false;
    }
    text.assign(field, length);
    return true;
}

bool checksumMatches(const char* block) {
    unsigned long long recorded;
    if (!octalField(block + kChecksum, kChecksumWidth, recorded)) return false;
    unsigned long long sum = 0;
    for (size_t i = 0; i < static_cast<size_t>(kBlock); ++i) {
        const bool inField = i >= kChecksum && i < kChecksum + kChecksumWidth;
        sum += inField ? ' ' : static_cast<unsigned char>(block[i]);
    }
    return sum == recorded;
}

}  // namespace

SString ustarNameProblem(const SString& name) {
    if (name.empty()) return "is empty";
    if (name.find('\0') != SString::npos) return "holds a NUL";
    if (name[0] == '/') return "is absolute";
    size_t start = 0;
    for (;;) {
        size_t slash = name.find('/', start);
        if (slash == SString::npos) slash = name.size();
        const SString component = name.substr(start, slash - start);
        if (component.empty()) return "has an empty component";
        if (component == "." || component == "..") return "has a \"" + component + "\" component";
        if (slash == name.size()) return SString();
        start = slash + 1;
    }
}

UstarReader::UstarReader(int fd, long long offset, long long length)
    : m_fd(fd), m_offset(offset), m_length(length) {
    if (offset < 0 || length < 0 || offset > (1LL << 62) || length > (1LL << 62)) {
        throw LauncherException("The runtime archive's place in the bundle is not valid.");
    }
}

void UstarReader::readBlock(long long position, char* block) const {
    if (position + kBlock > m_length) {
        throw LauncherException("The runtime archive is cut short " + at(position) + ".");
    }
    const long long n = readAt(m_fd, m_offset + position, block, kBlock);
    if (n < 0)
        throw LauncherException(systemErrorText("The runtime archive cannot be read: ", errno));
    if (n < kBlock) {
        throw LauncherException("The runtime archive is cut short " + at(position + n) + ".");
    }
}

bool UstarReader::next(UstarEntry& entry) {
    if (m_failed) throw LauncherException("The runtime archive was refused.");
    if (m_ended) return false;
    m_failed = true;
    char block[kBlock];
    const long long header = m_position;
    readBlock(header, block);
    if (isZeroBlock(block)) {
        // The end is two zero blocks; a lone one is no end and no header.
        readBlock(header + kBlock, block);
        if (!isZeroBlock(block)) throw LauncherException(damaged(header, "is empty"));
        m_ended = true;
        m_failed = false;
        return false;
    }
    if (!checksumMatches(block)) throw LauncherException(damaged(header, "has a wrong checksum"));
    if (memcmp(block + kMagic,
               "ustar\0"
               "00",
               8) != 0) {
        throw LauncherException(damaged(header, "is no ustar header"));
    }
    SString name, prefix;
    unsigned long long mode, size;
    if (!textField(block + kName, kNameWidth, name) ||
        !textField(block + kPrefix, kPrefixWidth, prefix)) {
        throw LauncherException(damaged(header, "has a name with a NUL inside"));
    }
    if (!octalField(block + kMode, kModeWidth, mode) ||
        !octalField(block + kSize, kSizeWidth, size)) {
        throw LauncherException(damaged(header, "has an unreadable mode or size"));
    }
    if (!prefix.empty()) name = prefix + "/" + name;
    const SString shown =
        "The runtime archive holds \"" + showLineBreaks(name) + "\" " + at(header);

    const char type = block[kType];
    if (type != '0' && type != '\0' && type != '5') {
        throw LauncherException(shown + ", which is neither a regular file nor a directory.");
    }
    entry.isDirectory = type == '5';
    if (entry.isDirectory) {
        if (size != 0) throw LauncherException(shown + ", a directory with a size.");
        if (!name.empty() && name.back() == '/') name.pop_back();
    }
    const SString problem = ustarNameProblem(name);
    if (!problem.empty()) throw LauncherException(shown + ", whose name " + problem + ".");

    const long long dataStart = header + kBlock;
    const unsigned long long padded = (size + kBlock - 1) / kBlock * kBlock;
    if (padded > static_cast<unsigned long long>(m_length - dataStart)) {
        throw LauncherException(shown + ", whose bytes go past the archive's end.");
    }
    entry.name = name;
    entry.mode = static_cast<unsigned>(mode & 07777);
    entry.offset = m_offset + dataStart;
    entry.size = static_cast<long long>(size);
    m_position = dataStart + static_cast<long long>(padded);
    m_failed = false;
    return true;
}

bool readUstarMember(int fd, long long offset, long long length, const SString& name, size_t limit,
                     SString& content) {
    UstarReader archive(fd, offset, length);
    UstarEntry entry;
    while (archive.next(entry)) {
        if (entry.isDirectory || entry.name != name) continue;
        if (entry.size > static_cast<long long>(limit)) {
            throw LauncherException("The runtime archive's " + showLineBreaks(name) +
                                    " is larger than " + convertToString(limit) + " bytes.");
        }
        if (!readAt(fd, entry.offset, static_cast<size_t>(entry.size), content)) {
            throw LauncherException(systemErrorText("The runtime archive cannot be read: ", errno));
        }
        if (content.size() != static_cast<size_t>(entry.size)) {
            throw LauncherException("The runtime archive is cut short in \"" +
                                    showLineBreaks(name) + "\".");
        }
        return true;
    }
    return false;
}
