#pragma once
// A small zip writer for tests: local headers with any field values, so that hostile, damaged and
// unusual archives can be built byte by byte. Deflate data comes from zlib's own compressor.

#include <zlib.h>

#include <cstdint>
#include <string>

namespace netrefit::test {

struct TestMember {
    std::string name;
    std::string data;  // the member's bytes as stored after the header (already compressed)
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t modTime = 0x30A4;  // 06:05:08
    uint16_t modDate = 0x5264;  // 2021-03-04
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    std::string extra;
    bool rawSizes = false;  // keep the size fields as given instead of deriving them
};

inline void PutLe16(std::string* out, uint32_t v) {
    out->push_back(static_cast<char>(v & 0xFF));
    out->push_back(static_cast<char>((v >> 8) & 0xFF));
}

inline void PutLe32(std::string* out, uint32_t v) {
    PutLe16(out, v & 0xFFFF);
    PutLe16(out, v >> 16);
}

inline uint32_t Crc(const std::string& bytes) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// Raw deflate (no zlib header), as zip stores it.
inline std::string Deflate(const std::string& plain, int level = 6) {
    z_stream zs{};
    deflateInit2(&zs, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&zs, static_cast<uLong>(plain.size())) + 16, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    zs.avail_in = static_cast<uInt>(plain.size());
    zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

// Raw deflate data of `mib` MiB of zero bytes, about a thousandth of that in size. Built from two
// compressed MiB: after a full flush the compressor starts afresh, so every MiB after the first
// compresses to the same bytes, and repeating them makes a bomb of any size in no time.
inline std::string DeflatedZeros(uint32_t mib) {
    z_stream zs{};
    deflateInit2(&zs, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    std::string zeros(1 << 20, '\0');
    auto compress = [&](const std::string& in, int flush) {
        std::string out(deflateBound(&zs, static_cast<uLong>(in.size())) + 64, '\0');
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        zs.avail_in = static_cast<uInt>(in.size());
        zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
        zs.avail_out = static_cast<uInt>(out.size());
        deflate(&zs, flush);
        out.resize(out.size() - zs.avail_out);
        return out;
    };
    std::string first = compress(zeros, Z_FULL_FLUSH);
    std::string again = compress(zeros, Z_FULL_FLUSH);
    std::string end = compress(std::string(), Z_FINISH);
    deflateEnd(&zs);
    std::string data = first;
    data.reserve(first.size() + (mib - 1) * again.size() + end.size());
    for (uint32_t i = 1; i < mib; ++i) {
        data += again;
    }
    return data + end;
}

inline std::string LocalHeader(const TestMember& m) {
    std::string out("PK\x03\x04", 4);
    PutLe16(&out, 20);
    PutLe16(&out, m.flags);
    PutLe16(&out, m.method);
    PutLe16(&out, m.modTime);
    PutLe16(&out, m.modDate);
    PutLe32(&out, m.crc);
    PutLe32(&out, m.rawSizes ? m.compressedSize : static_cast<uint32_t>(m.data.size()));
    PutLe32(&out, m.uncompressedSize);
    PutLe16(&out, static_cast<uint32_t>(m.name.size()));
    PutLe16(&out, static_cast<uint32_t>(m.extra.size()));
    return out + m.name + m.extra;
}

inline std::string Entry(const TestMember& m) {
    return LocalHeader(m) + m.data;
}

inline TestMember Stored(const std::string& name, const std::string& plain) {
    TestMember m;
    m.name = name;
    m.data = plain;
    m.crc = Crc(plain);
    m.uncompressedSize = static_cast<uint32_t>(plain.size());
    return m;
}

inline TestMember Deflated(const std::string& name, const std::string& plain) {
    TestMember m = Stored(name, plain);
    m.method = 8;
    m.data = Deflate(plain);
    return m;
}

// A central directory and end record, so that real tools accept what the tests build.
class ZipBuilder {
  public:
    void Add(const TestMember& m) {
        uint32_t offset = static_cast<uint32_t>(body_.size());
        body_ += Entry(m);
        std::string c("PK\x01\x02", 4);
        PutLe16(&c, 20);
        PutLe16(&c, 20);
        PutLe16(&c, m.flags);
        PutLe16(&c, m.method);
        PutLe16(&c, m.modTime);
        PutLe16(&c, m.modDate);
        PutLe32(&c, m.crc);
        PutLe32(&c, static_cast<uint32_t>(m.data.size()));
        PutLe32(&c, m.uncompressedSize);
        PutLe16(&c, static_cast<uint32_t>(m.name.size()));
        PutLe16(&c, 0);
        PutLe16(&c, 0);
        PutLe16(&c, 0);
        PutLe16(&c, 0);
        PutLe32(&c, 0);
        PutLe32(&c, offset);
        central_ += c + m.name;
        ++count_;
    }
    void AddRaw(const std::string& bytes) { body_ += bytes; }
    std::string Bytes() const {
        std::string end("PK\x05\x06", 4);
        PutLe16(&end, 0);
        PutLe16(&end, 0);
        PutLe16(&end, count_);
        PutLe16(&end, count_);
        PutLe32(&end, static_cast<uint32_t>(central_.size()));
        PutLe32(&end, static_cast<uint32_t>(body_.size()));
        PutLe16(&end, 0);
        return body_ + central_ + end;
    }

  private:
    std::string body_;
    std::string central_;
    uint32_t count_ = 0;
};

}  // namespace netrefit::test
