#pragma once
// Builds small zip archives in memory for tests of the jar reader: stored or deflated
// entries, with a central directory and an end record.

#include <vector>

#include "base/SString.h"

namespace testkit {

class ZipBuilder {
public:
    // How an entry's CRC and sizes are written: in its local header, or in a data
    // descriptor after its data (with or without the descriptor's signature).
    enum Sizes { InHeader, InDescriptor, InDescriptorWithoutSignature };

    ZipBuilder& add(const SString& name, const SString& content, bool deflate = true,
                    Sizes sizes = InHeader);
    // The archive comment.
    ZipBuilder& comment(const SString& text);
    // The archive's bytes.
    SString bytes() const;
    // Writes the archive to `path`.
    void write(const SString& path) const;

private:
    struct Entry {
        SString name;
        SString data;  // as stored
        unsigned long crc;
        unsigned long size;
        int method;
        Sizes sizes;
    };
    std::vector<Entry> m_entries;
    SString m_comment;
};

// The first bytes of a class file of the given major version (52 is Java 8).
SString classFileHeader(int major);

}  // namespace testkit
