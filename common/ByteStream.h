#pragma once
// Where the format readers take their bytes from and put them to: files in the program, memory in
// the fuzz targets. Callers move whole chunks, so a virtual call is paid per chunk, not per byte.
// No Windows headers here: the format code builds natively as well.

#include <cstddef>
#include <cstdint>

namespace netrefit {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Up to count bytes; fewer only at the end of the data or on a read error.
    virtual size_t Read(void* into, size_t count) = 0;
    // The position from the start; -1 when it cannot be told.
    virtual int64_t Tell() = 0;
    // Moves to a position from the start. A position past the end is allowed (reads there give
    // nothing), a negative one is refused.
    virtual bool Seek(int64_t position) = 0;
};

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // False when not all count bytes were taken.
    virtual bool Write(const void* bytes, size_t count) = 0;
    // Writes out what is held back and ends the sink; false when the last bytes were lost.
    virtual bool Close() = 0;
};

}  // namespace netrefit
