#pragma once
// The layout of the data appended to a launcher, shared by its one reader (Bundle) and its
// one writer (BundleWriter):
//   stub | embedded files | index | digest block | trailer
// The index is a big-endian 32-bit count, then per entry: type (1 byte), id, length and
// offset (32 bits each), the name's length (16 bits) and the name. The digest block, which
// launchers that do not know it leave unread, holds kDigestBlockMagic, the count again and
// each entry's SHA-256 in index order. The trailer is the index's offset and
// kLauncherIdentification, 32 bits each.

#include <cstdint>

#include "base/SString.h"

// The last four bytes of a launcher that carries appended data.
constexpr uint32_t kLauncherIdentification = 0xCA82CA82u;
// The trailer's size: the index offset and the identification value.
constexpr long kTrailerSize = 8;
// The first four bytes of the digest block.
constexpr const char kDigestBlockMagic[] = "QNd1";
constexpr long kDigestSize = 32;

// Whether `tail`, the last kTrailerSize bytes of a file, is the trailer of a launcher with
// appended data; `indexOffset` gets the offset it names.
bool isTrailer(const SString& tail, long& indexOffset);
