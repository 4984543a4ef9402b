#pragma once
// Traditional PKWARE encryption of the zip format: the CRC-32 table and the three running keys.

#include <cstddef>
#include <cstdint>

namespace netrefit {

// The 256-entry table of the zip format's CRC-32 (polynomial 0xEDB88320).
const uint32_t* Crc32Table();
uint32_t Crc32Update(uint32_t crc, uint8_t byte);

// The key-stream byte for a third key. Unsigned 32-bit arithmetic: promoted to int, the product of
// two 16-bit values overflows for the larger ones.
constexpr uint8_t ZipStreamByte(uint32_t key2) {
    uint32_t temp = (key2 | 2u) & 0xFFFFu;
    return static_cast<uint8_t>((temp * (temp ^ 1u)) >> 8);
}

class ZipKeys {
  public:
    // Initial keys, then one update per password byte up to the terminating NUL.
    void Init(const char* password);
    void Update(uint8_t plain);
    // Decrypts one byte and feeds the plain byte back into the keys.
    uint8_t Decrypt(uint8_t cipher) {
        uint8_t plain = cipher ^ StreamByte();
        Update(plain);
        return plain;
    }
    void Decrypt(uint8_t* bytes, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            bytes[i] = Decrypt(bytes[i]);
        }
    }

  private:
    uint8_t StreamByte() const { return ZipStreamByte(key2_); }

    uint32_t key0_ = 0;
    uint32_t key1_ = 0;
    uint32_t key2_ = 0;
};

}  // namespace netrefit
