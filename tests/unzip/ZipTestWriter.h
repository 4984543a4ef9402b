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

inline void PutLe64(std::string* out, uint64_t v) {
    PutLe32(out, static_cast<uint32_t>(v));
    PutLe32(out, static_cast<uint32_t>(v >> 32));
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

// The member with the sizes that `uncompressed` and `compressed` name moved to a ZIP64 extra
// field (8 bytes each, in that order), their header fields holding the placeholder 0xFFFFFFFF.
inline TestMember Zip64(TestMember m, bool uncompressed = true, bool compressed = true) {
    std::string fields;
    if (uncompressed) {
        PutLe64(&fields, m.uncompressedSize);
        m.uncompressedSize = 0xFFFFFFFF;
    }
    m.compressedSize = static_cast<uint32_t>(m.data.size());
    if (compressed) {
        PutLe64(&fields, m.data.size());
        m.compressedSize = 0xFFFFFFFF;
    }
    m.rawSizes = true;
    PutLe16(&m.extra, 1);
    PutLe16(&m.extra, static_cast<uint32_t>(fields.size()));
    m.extra += fields;
    return m;
}

// A central directory and end record, so that real tools accept what the tests build.
class ZipBuilder {
  public:
    // zip64: every directory header refers to a ZIP64 extra field for its sizes and offset, and
    // the end record to a ZIP64 end record for the directory's place and count.
    explicit ZipBuilder(bool zip64 = false) : zip64_(zip64) {}

    void Add(const TestMember& m) { Add(Entry(m), m); }
    // Local bytes as they stand, listed in the directory as another member may say: hostile
    // archives whose local headers and directory disagree.
    void Add(const std::string& local, const TestMember& listed) {
        uint32_t offset = static_cast<uint32_t>(body_.size());
        body_ += local;
        std::string extra;
        if (zip64_) {
            PutLe16(&extra, 1);
            PutLe16(&extra, 24);
            PutLe64(&extra, listed.uncompressedSize);
            PutLe64(&extra, listed.data.size());
            PutLe64(&extra, offset);
        }
        uint32_t wide = 0xFFFFFFFF;
        std::string c("PK\x01\x02", 4);
        PutLe16(&c, 20);
        PutLe16(&c, zip64_ ? 45 : 20);
        PutLe16(&c, listed.flags);
        PutLe16(&c, listed.method);
        PutLe16(&c, listed.modTime);
        PutLe16(&c, listed.modDate);
        PutLe32(&c, listed.crc);
        PutLe32(&c, zip64_ ? wide : static_cast<uint32_t>(listed.data.size()));
        PutLe32(&c, zip64_ ? wide : listed.uncompressedSize);
        PutLe16(&c, static_cast<uint32_t>(listed.name.size()));
        PutLe16(&c, static_cast<uint32_t>(extra.size()));
        PutLe16(&c, 0);
        PutLe16(&c, 0);
        PutLe16(&c, 0);
        PutLe32(&c, 0);
        PutLe32(&c, zip64_ ? wide : offset);
        central_ += c + listed.name + extra;
        ++count_;
    }
    void AddRaw(const std::string& bytes) { body_ += bytes; }
    std::string Bytes() const {
        std::string records = zip64_ ? Zip64Records() : std::string();
        std::string end("PK\x05\x06", 4);
        PutLe16(&end, 0);
        PutLe16(&end, 0);
        PutLe16(&end, zip64_ ? 0xFFFF : count_);
        PutLe16(&end, zip64_ ? 0xFFFF : count_);
        PutLe32(&end, static_cast<uint32_t>(central_.size()));
        PutLe32(&end, zip64_ ? 0xFFFFFFFF : static_cast<uint32_t>(body_.size()));
        PutLe16(&end, 0);
        return body_ + central_ + records + end;
    }

  private:
    // The ZIP64 end record and its locator, which follow the directory.
    std::string Zip64Records() const {
        std::string r("PK\x06\x06", 4);
        PutLe64(&r, 44);
        PutLe16(&r, 45);
        PutLe16(&r, 45);
        PutLe32(&r, 0);
        PutLe32(&r, 0);
        PutLe64(&r, count_);
        PutLe64(&r, count_);
        PutLe64(&r, central_.size());
        PutLe64(&r, body_.size());
        r += std::string("PK\x06\x07", 4);
        PutLe32(&r, 0);
        PutLe64(&r, body_.size() + central_.size());
        PutLe32(&r, 1);
        return r;
    }

    bool zip64_;
    std::string body_;
    std::string central_;
    uint32_t count_ = 0;
};

}  // namespace netrefit::test
