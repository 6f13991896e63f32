// File services of the platform layer: opening, making and listing, existence, deletion,
// disk scans, permissions, free space and the big-endian decoders of the appended data.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "base/LauncherException.h"
#include "platform/PlatformImpl.h"
#include "platform/os/DeleteFullDir.h"
#include "platform/os/FileMode.h"
#include "platform/os/FindFiles.h"
#include "platform/os/FreeSpace.h"
#include "platform/os/SystemError.h"

void PlatformImpl::getJVMSearchPartitions(StringDeque& partitions) {
    // One tree holds every disk on a Unix machine.
    partitions.push_back("/");
}

void PlatformImpl::findFiles(const StringDeque& names, FileFindListener& listener) {
    FindFiles finder(names, listener);
    StringDeque partitions;
    getJVMSearchPartitions(partitions);
    for (const SString& partition : partitions) {
        SString root = partition;
        if (root.empty() || root.back() != '/') root += '/';
        if (finder.process(root)) break;
    }
}

StdioFile PlatformImpl::openFile(const SString& path, const char* mode) {
    return StdioFile(fopen(path.c_str(), mode));
}

StdioFile PlatformImpl::openForRewriting(const SString& path) {
    UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
    if (!fd) return StdioFile();
    FILE* stream = fdopen(fd.get(), "w");
    if (!stream) {
        // Nothing was written through it, so closing it loses nothing; errno stays fdopen's.
        const int error = errno;
        fd.reset(-1);
        errno = error;
        return StdioFile();
    }
    fd.release();
    return StdioFile(stream);
}

bool PlatformImpl::endFileHere(FILE* file) {
    if (fflush(file) != 0) return false;
    const off_t end = ftello(file);
    return end >= 0 && ftruncate(fileno(file), end) == 0;
}

StdioFile PlatformImpl::openForAppending(const SString& path) {
    // A pipe that no one reads fails at once (ENXIO) instead of waiting for a reader.
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return StdioFile();
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE* stream = fdopen(fd, "a");
    if (!stream) close(fd);
    return StdioFile(stream);
}

UniqueFd PlatformImpl::openForWriting(const SString& path) {
    return UniqueFd(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
}

bool PlatformImpl::makeDirectory(const SString& path) {
    return mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

SString PlatformImpl::createUniqueDirectory(const SString& nameTemplate) {
    std::vector<char> name(nameTemplate.begin(), nameTemplate.end());
    name.push_back('\0');
    return mkdtemp(name.data()) ? SString(name.data()) : SString();
}

bool PlatformImpl::listDirectory(const SString& path, std::vector<SString>& names) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(path.c_str()), closedir);
    if (!dir) return false;
    while (struct dirent* entry = readdir(dir.get())) {
        const SString name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    return true;
}

bool PlatformImpl::fileExists(const SString& path) {
    mode_t mode;
    return fileMode(path.c_str(), true, mode);
}

void PlatformImpl::deleteFile(const SString& path) {
    DeleteFullDir deleter;
    deleter.process(path);
}

SString PlatformImpl::getPlatformHint(const SString&) {
    return SString();
}

long PlatformImpl::convertToLong(const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    uint32_t value = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
    return static_cast<int32_t>(value);
}

short PlatformImpl::convertToShort(const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return static_cast<short>(static_cast<uint16_t>((b[0] << 8) | b[1]));
}

long long PlatformImpl::fileSize(const SString& path) {
    FileIdentity identity;
    return fileIdentity(path.c_str(), identity) ? identity.size : -1;
}

bool PlatformImpl::sameFile(const SString& a, const SString& b) {
    FileIdentity first, second;
    return fileIdentity(a.c_str(), first) && fileIdentity(b.c_str(), second) &&
           first.device == second.device && first.inode == second.inode;
}

bool PlatformImpl::isReadable(const SString& path) {
    return access(path.c_str(), R_OK) == 0;
}

void PlatformImpl::setFileExecutable(const SString& path) {
    mode_t mode;
    // Execute permission for the owner and for whoever may read the file: an extracted
    // private file stays private.
    if (fileMode(path.c_str(), true, mode)) chmod(path.c_str(), mode | 0100 | ((mode & 044) >> 2));
}

bool freeSpaceSuffices(uint64_t fragmentSize, uint64_t blockSize, uint64_t available, long size) {
    // Some file systems report no fragment size; the block size stands in.
    uint64_t unit = fragmentSize != 0 ? fragmentSize : blockSize;
    if (unit == 0 || size <= 0) return true;
    // size + unit bytes are needed: every unit the size touches and one more. Compared as
    // counts so that neither the size nor the full count of available units (beyond 32 bits
    // on large disks) is cut or overflows.
    uint64_t bytes = static_cast<uint64_t>(size);
    uint64_t needed = bytes / unit + (bytes % unit != 0 ? 1 : 0) + 1;
    return available >= needed;
}

bool PlatformImpl::checkFreeSpace(const SString& path, long size) {
    SString directory = path;
    if (directory.empty() || directory[0] != '/') {
        directory = currentDirectory();
        if (directory.empty()) directory = ".";
    }
    struct statvfs info;
    if (statvfs(directory.c_str(), &info) != 0) throw LauncherException(systemErrorText("", errno));
    return freeSpaceSuffices(info.f_frsize, info.f_bsize, info.f_bavail, size);
}
