#include "platform/os/RangeCopy.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/PlatformImpl.h"

namespace {

// Writes what it can of `size` bytes; `written` tells how many went. False with errno set
// when a write fails.
bool writeCounted(int fd, const char* data, size_t size, size_t& written) {
    written = 0;
    while (written < size) {
        ssize_t n = write(fd, data + written, size - written);
        if (n < 0 && errno == EINTR) {
            PlatformImpl::checkInterrupted();
            continue;
        }
        if (n <= 0) {
            // A write that takes nothing would never end the loop.
            if (n == 0) errno = EIO;
            return false;
        }
        written += static_cast<size_t>(n);
    }
    return true;
}

// One copy's position in the source and its choice between the kernel and the buffer.
class Copier {
public:
    Copier(int source, int target, long long offset, size_t bufferSize)
        : m_source(source),
          m_target(target),
          m_positioned(offset >= 0),
          m_position(offset),
          m_bufferSize(bufferSize) {}

    // Copies up to `wanted` bytes and returns how many were written: fewer at the end of
    // the source or after an error, which goes into `result`.
    long long fill(long long wanted, RangeCopyResult& result) {
        long long done = 0;
        while (done < wanted && !result.failed()) {
            PlatformImpl::checkInterrupted();
            long long n = m_kernelCopy ? kernelCopy(wanted - done) : -1;
            if (n < 0) n = bufferedCopy(wanted - done, result);
            if (n <= 0) break;
            done += n;
        }
        return done;
    }

private:
    // Bytes the kernel copied; -1 when it copied nothing, from then on the buffer copies.
    long long kernelCopy(long long count) {
        for (;;) {
            loff_t in = m_position;
            ssize_t n = copy_file_range(m_source, m_positioned ? &in : nullptr, m_target, nullptr,
                                        static_cast<size_t>(count), 0);
            if (n > 0) {
                if (m_positioned) m_position += n;
                return n;
            }
            if (n < 0 && errno == EINTR) {
                PlatformImpl::checkInterrupted();
                continue;
            }
            // Not offered for these files, or nothing came: reading tells the end of the
            // source and a failed read or write apart.
            m_kernelCopy = false;
            return -1;
        }
    }

    // Bytes read and written through the buffer; 0 at the end of the source or on a failed
    // read, which goes into `result` as a failed write does.
    long long bufferedCopy(long long count, RangeCopyResult& result) {
        if (m_buffer.empty()) m_buffer.resize(m_bufferSize);
        const size_t size = static_cast<size_t>(std::min<long long>(count, m_buffer.size()));
        ssize_t n;
        for (;;) {
            n = m_positioned ? pread(m_source, m_buffer.data(), size, m_position)
                             : read(m_source, m_buffer.data(), size);
            if (n >= 0 || errno != EINTR) break;
            PlatformImpl::checkInterrupted();
        }
        if (n < 0) {
            result.readError = errno;
            return 0;
        }
        if (m_positioned) m_position += n;
        size_t written = 0;
        if (!writeCounted(m_target, m_buffer.data(), static_cast<size_t>(n), written)) {
            result.writeError = errno;
        }
        return static_cast<long long>(written);
    }

    int m_source;
    int m_target;
    bool m_positioned;
    long long m_position;
    size_t m_bufferSize;
    bool m_kernelCopy = true;
    std::vector<char> m_buffer;
};

}  // namespace

RangeCopyResult copyRange(int source, int target, const RangeCopy& how) {
    const long long chunk = static_cast<long long>(std::max<size_t>(1, how.chunkSize));
    const long long step = chunk * static_cast<long long>(std::max<size_t>(1, how.chunksPerStep));
    Copier copier(source, target, how.offset, static_cast<size_t>(chunk));
    RangeCopyResult result;
    while (how.length < 0 || result.copied < how.length) {
        PlatformImpl::checkInterrupted();
        const long long wanted = how.length < 0 ? step : std::min(step, how.length - result.copied);
        const long long copied = copier.fill(wanted, result);
        result.copied += copied;
        if (how.onChunk) {
            for (long long i = std::max<long long>(1, (copied + chunk - 1) / chunk); i > 0; --i) {
                how.onChunk();
            }
        }
        if (copied < wanted) break;  // the end of the source, or an error
    }
    return result;
}

bool writeFully(int fd, const char* data, size_t size) {
    size_t written;
    return writeCounted(fd, data, size, written);
}

long long readAt(int fd, long long offset, char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const off_t at = static_cast<off_t>(offset + static_cast<long long>(done));
        ssize_t n = pread(fd, data + done, size - done, at);
        if (n < 0 && errno == EINTR) {
            PlatformImpl::checkInterrupted();
            continue;
        }
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<long long>(done);
}

bool readAt(int fd, long long offset, size_t size, SString& out) {
    out.resize(size);
    const long long n = readAt(fd, offset, size == 0 ? nullptr : &out[0], size);
    out.resize(n < 0 ? 0 : static_cast<size_t>(n));
    return n >= 0;
}
