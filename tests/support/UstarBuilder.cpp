#include "support/UstarBuilder.h"

#include <algorithm>
#include <cstring>

namespace testkit {

namespace {

// `value` as width - 1 octal digits and a NUL.
void putOctal(char* field, size_t width, unsigned long long value) {
    field[width - 1] = '\0';
    for (size_t i = width - 1; i-- > 0; value >>= 3)
        field[i] = static_cast<char>('0' + (value & 7));
}

void setChecksum(char* header) {
    memset(header + 148, ' ', 8);
    unsigned sum = 0;
    for (int i = 0; i < 512; ++i) sum += static_cast<unsigned char>(header[i]);
    putOctal(header + 148, 7, sum);
    header[155] = ' ';
}

}  // namespace

UstarBuilder& UstarBuilder::member(const SString& name, char type, unsigned mode,
                                   const SString& content) {
    char header[512] = {};
    SString last = name, prefix;
    if (name.size() > 100) {
        const size_t slash = name.find('/', name.size() - 101);
        prefix = name.substr(0, slash);
        last = name.substr(slash + 1);
    }
    memcpy(header, last.data(), std::min<size_t>(last.size(), 100));
    putOctal(header + 100, 8, mode);
    putOctal(header + 108, 8, 0);
    putOctal(header + 116, 8, 0);
    putOctal(header + 124, 12, content.size());
    putOctal(header + 136, 12, 0);
    header[156] = type;
    memcpy(header + 257,
           "ustar\0"
           "00",
           8);
    memcpy(header + 345, prefix.data(), std::min<size_t>(prefix.size(), 155));
    setChecksum(header);
    m_lastHeader = m_bytes.size();
    m_bytes.append(header, sizeof header);
    m_bytes += content;
    m_bytes.append((512 - content.size() % 512) % 512, '\0');
    return *this;
}

UstarBuilder& UstarBuilder::patchHeader(size_t offset, const SString& bytes, bool keepChecksum) {
    char* header = &m_bytes[m_lastHeader];
    memcpy(header + offset, bytes.data(), bytes.size());
    if (!keepChecksum) setChecksum(header);
    return *this;
}

UstarBuilder& UstarBuilder::raw(const SString& bytes) {
    m_bytes += bytes;
    return *this;
}

SString UstarBuilder::bytes(bool withEnd) const {
    return withEnd ? m_bytes + SString(1024, '\0') : m_bytes;
}

UstarBuilder UstarBuilder::runtime(const SString& marker) {
    UstarBuilder builder;
    builder.directory("bin")
        .file("bin/java", "#!/bin/sh\necho " + marker + "\n", 0755)
        .directory("lib")
        .file("lib/modules", SString(3000, 'm'), 0644);
    return builder;
}

}  // namespace testkit
