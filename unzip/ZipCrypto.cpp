#include "unzip/ZipCrypto.h"

#include <array>

namespace netrefit {

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        table[n] = c;
    }
    return table;
}

// Built at compile time, so two workers never race on a lazily filled table.
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

const uint32_t* Crc32Table() {
    return kCrcTable.data();
}

uint32_t Crc32Update(uint32_t crc, uint8_t byte) {
    return kCrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

void ZipKeys::Init(const char* password) {
    key0_ = 0x12345678u;
    key1_ = 0x23456789u;
    key2_ = 0x34567890u;
    for (const char* p = password; p != nullptr && *p != '\0'; ++p) {
        Update(static_cast<uint8_t>(*p));
    }
}

void ZipKeys::Update(uint8_t plain) {
    key0_ = Crc32Update(key0_, plain);
    key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1;
    key2_ = Crc32Update(key2_, static_cast<uint8_t>(key1_ >> 24));
}

}  // namespace netrefit
