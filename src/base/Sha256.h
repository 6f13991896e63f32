#pragma once
// SHA-256 of byte streams, as the bundle records the contents of its embedded files: a
// copy in the cache is used only when its bytes are the entry's.

#include <cstddef>
#include <cstdint>

#include "base/SString.h"

class Sha256 {
public:
    static constexpr size_t kSize = 32;

    Sha256();
    void update(const char* data, size_t size);
    void update(const SString& data) { update(data.data(), data.size()); }
    // The 32-byte digest of everything given; the object is spent afterwards.
    SString finish();

    // The digest of `data` in one call.
    static SString of(const SString& data);

private:
    void block(const unsigned char* data);

    uint32_t m_state[8];
    unsigned char m_buffer[64];
    size_t m_buffered = 0;
    uint64_t m_length = 0;
};

// `bytes` as lower-case hexadecimal digits.
SString hexText(const SString& bytes);
