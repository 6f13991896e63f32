#include "qnpack/JarSource.h"

#include <cerrno>

#include "base/StdioFile.h"
#include "platform/PlatformImpl.h"
#include "platform/os/FileIdentity.h"
#include "platform/os/FileMode.h"
#include "platform/os/SystemError.h"

namespace {

// A file read through an open stream, at positions, never past the size it had when it
// was opened.
class FileSource : public ByteSource {
public:
    FileSource(StdioFile file, unsigned long long size) : m_file(std::move(file)), m_size(size) {}
    unsigned long long size() const override { return m_size; }
    bool readAt(unsigned long long offset, size_t length, char* out) const override {
        if (offset > m_size || length > m_size - offset) return false;
        if (length == 0) return true;
        return fseeko(m_file.get(), static_cast<off_t>(offset), SEEK_SET) == 0 &&
               fread(out, 1, length, m_file.get()) == length;
    }

private:
    StdioFile m_file;
    unsigned long long m_size;
};

// What a file of `mode` is, for a message: "a FIFO", "a character device", ...
SString kindOf(unsigned mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// The kernel file system `resolved` lies in ("/proc" or "/sys"), whose files show the
// state of processes and devices: no jar, and maybe secrets. Null for any other place.
const char* kernelFileSystem(const SString& resolved) {
    for (const char* root : {"/proc", "/sys"}) {
        const SString prefix = root;
        if (resolved == prefix || resolved.compare(0, prefix.size() + 1, prefix + "/") == 0)
            return root;
    }
    return nullptr;
}

JarSourceOpening refused(const SString& why) {
    JarSourceOpening opening;
    opening.why = why;
    return opening;
}

}  // namespace

JarSourceOpening openJarSource(const SString& path) {
    struct statx before;
    if (!fileStatus(AT_FDCWD, path.c_str(), 0, before)) {
        if (errno == ENOENT || errno == ENOTDIR) {
            JarSourceOpening opening;
            opening.status = JarSourceOpening::Missing;
            opening.why = systemErrorText("cannot be read: ", errno);
            return opening;
        }
        return refused(systemErrorText("cannot be read: ", errno));
    }
    const SString resolved = PlatformImpl::resolvePath(path);
    if (const char* root = kernelFileSystem(resolved)) {
        return refused("is under " + SString(root) +
                       ", where the kernel shows processes and devices, not a jar");
    }
    // The type is known before opening, so a FIFO or a device is never opened: opening a
    // FIFO would wait for a writer.
    if (!S_ISREG(before.stx_mode)) return refused("is " + kindOf(before.stx_mode) + ", not a jar");
    SString problem;
    StdioFile file = PlatformImpl::openPlainFile(path, problem);
    if (!file) return refused("cannot be read: " + problem);
    // What was opened must be the file just examined, and still a regular file.
    struct statx opened;
    FileFacts facts;
    if (!fileStatus(fileno(file.get()), "", AT_EMPTY_PATH, opened) ||
        !fileFacts(fileno(file.get()), facts) || !S_ISREG(opened.stx_mode) ||
        opened.stx_ino != before.stx_ino || opened.stx_dev_major != before.stx_dev_major ||
        opened.stx_dev_minor != before.stx_dev_minor) {
        return refused("changed while it was opened");
    }
    if (facts.size > kMaxInputSize) {
        return refused("is larger than 2 GiB, the limit of a bundle");
    }
    JarSourceOpening opening;
    opening.status = JarSourceOpening::Open;
    opening.source.reset(new FileSource(std::move(file), facts.size));
    return opening;
}
