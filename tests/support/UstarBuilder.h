#pragma once
// Builds ustar archives in memory for the tests of the runtime reader and installer: members
// as a packer writes them, or headers altered on purpose. Written apart from the packer's
// own header code, so that a fault shared by both cannot hide.

#include "base/SString.h"

namespace testkit {

class UstarBuilder {
public:
    // A member of `type` ('0' file, '5' directory, anything else) with `content`; a name
    // longer than 100 bytes is split at a slash into the prefix field.
    UstarBuilder& member(const SString& name, char type, unsigned mode, const SString& content);
    UstarBuilder& directory(const SString& name, unsigned mode = 0755) {
        return member(name + "/", '5', mode, SString());
    }
    UstarBuilder& file(const SString& name, const SString& content, unsigned mode = 0644) {
        return member(name, '0', mode, content);
    }
    // Overwrites `size` bytes of the last member's header at `offset` with `bytes`, and
    // gives it a matching checksum unless `keepChecksum`.
    UstarBuilder& patchHeader(size_t offset, const SString& bytes, bool keepChecksum = false);
    // Appends raw bytes (a stray block, say).
    UstarBuilder& raw(const SString& bytes);

    // The members followed by the end marker (two zero blocks) unless `withEnd` is false.
    SString bytes(bool withEnd = true) const;
    // A runtime whose bin/java prints `marker`: bin/, bin/java (0755), lib/ and
    // lib/modules (0644).
    static UstarBuilder runtime(const SString& marker);

private:
    SString m_bytes;
    size_t m_lastHeader = 0;
};

}  // namespace testkit
