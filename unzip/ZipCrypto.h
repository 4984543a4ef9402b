#pragma once
// Traditional PKWARE encryption of the zip format: the CRC-32 table and the three running keys.

#include <cstdint>

namespace netrefit {

// The 256-entry table of the zip format's CRC-32 (polynomial 0xEDB88320).
const uint32_t* Crc32Table();
uint32_t Crc32Update(uint32_t crc, uint8_t byte);

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
    uint8_t StreamByte() const {
        uint16_t temp = static_cast<uint16_t>(key2_ | 2);
        return static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
    }

    uint32_t key0_ = 0;
    uint32_t key1_ = 0;
    uint32_t key2_ = 0;
};

}  // namespace netrefit
