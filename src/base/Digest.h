#pragma once
// A short fixed-length name for a long key text, for file names in the user's cache: two
// 64-bit FNV-1a sums with different starting values, as 32 hexadecimal digits. Not a
// defence against someone choosing keys; entries keep their whole key and check it.

#include <cstdint>

#include "base/SString.h"

inline SString digestName(const SString& text) {
    uint64_t first = 14695981039346656037ull;
    uint64_t second = 1099511628211ull * 7919ull;
    for (unsigned char c : text) {
        first = (first ^ c) * 1099511628211ull;
        second = (second ^ c) * 1099511628211ull;
        second ^= second >> 29;
    }
    static const char kHex[] = "0123456789abcdef";
    SString name;
    for (uint64_t value : {first, second}) {
        for (int shift = 60; shift >= 0; shift -= 4) name += kHex[(value >> shift) & 15];
    }
    return name;
}
