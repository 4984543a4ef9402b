#pragma once
// Overwrites secret material with zeros in a way the optimiser may not drop as a dead store.

#include <cstddef>
#include <cstdint>

namespace netrefit {

inline void SecureWipe(void* data, size_t length) {
    volatile uint8_t* bytes = static_cast<volatile uint8_t*>(data);
    while (length--) {
        *bytes++ = 0;
    }
}

}  // namespace netrefit
