#include "support/ZipBuilder.h"

#include <zlib.h>

#include <cstring>

#include "support/TestKit.h"

namespace testkit {

namespace {

void put16(SString& out, unsigned value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8 & 0xFF);
}

void put32(SString& out, unsigned long value) {
    put16(out, static_cast<unsigned>(value & 0xFFFF));
    put16(out, static_cast<unsigned>(value >> 16 & 0xFFFF));
}

SString rawDeflate(const SString& data) {
    z_stream stream;
    memset(&stream, 0, sizeof stream);
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    SString out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

}  // namespace

ZipBuilder& ZipBuilder::add(const SString& name, const SString& content, bool deflate,
                            Sizes sizes) {
    Entry entry;
    entry.sizes = sizes;
    entry.name = name;
    entry.size = content.size();
    entry.crc = crc32(crc32(0, Z_NULL, 0), reinterpret_cast<const Bytef*>(content.data()),
                      static_cast<uInt>(content.size()));
    entry.method = deflate ? 8 : 0;
    entry.data = deflate ? rawDeflate(content) : content;
    m_entries.push_back(entry);
    return *this;
}

ZipBuilder& ZipBuilder::comment(const SString& text) {
    m_comment = text;
    return *this;
}

SString ZipBuilder::bytes() const {
    SString out;
    SString directory;
    for (const Entry& e : m_entries) {
        const unsigned long offset = out.size();
        const bool descriptor = e.sizes != InHeader;
        put32(out, 0x04034b50);
        put16(out, 20);
        put16(out, descriptor ? 8 : 0);
        put16(out, static_cast<unsigned>(e.method));
        put32(out, 0);
        put32(out, descriptor ? 0 : e.crc);
        put32(out, descriptor ? 0 : e.data.size());
        put32(out, descriptor ? 0 : e.size);
        put16(out, static_cast<unsigned>(e.name.size()));
        put16(out, 0);
        out += e.name + e.data;
        if (descriptor) {
            if (e.sizes == InDescriptor) put32(out, 0x08074b50);
            put32(out, e.crc);
            put32(out, e.data.size());
            put32(out, e.size);
        }

        put32(directory, 0x02014b50);
        put16(directory, 20);
        put16(directory, 20);
        put16(directory, descriptor ? 8 : 0);
        put16(directory, static_cast<unsigned>(e.method));
        put32(directory, 0);
        put32(directory, e.crc);
        put32(directory, e.data.size());
        put32(directory, e.size);
        put16(directory, static_cast<unsigned>(e.name.size()));
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put32(directory, 0);
        put32(directory, offset);
        directory += e.name;
    }
    const unsigned long directoryOffset = out.size();
    out += directory;
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<unsigned>(m_entries.size()));
    put16(out, static_cast<unsigned>(m_entries.size()));
    put32(out, directory.size());
    put32(out, directoryOffset);
    put16(out, static_cast<unsigned>(m_comment.size()));
    return out + m_comment;
}

void ZipBuilder::write(const SString& path) const {
    writeFile(path, bytes());
}

SString classFileHeader(int major) {
    SString header = "\xCA\xFE\xBA\xBE";
    header += '\0';
    header += '\0';
    header += static_cast<char>(major >> 8);
    header += static_cast<char>(major & 0xFF);
    return header + SString(16, '\0');
}

}  // namespace testkit
