#pragma once
// Byte sources and sinks in memory, for the native fuzz targets.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/ByteStream.h"

namespace netrefit::fuzz {

// The fuzzer's input as a file: seeking past the end is allowed and reads there give nothing, as
// with a C runtime stream.
class MemorySource : public ByteSource {
  public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t Read(void* into, size_t count) override {
        if (position_ >= size_) {
            return 0;
        }
        size_t got = static_cast<size_t>(std::min<uint64_t>(count, size_ - position_));
        std::memcpy(into, data_ + position_, got);
        position_ += got;
        return got;
    }
    int64_t Tell() override { return static_cast<int64_t>(position_); }
    bool Seek(int64_t position) override {
        if (position < 0) {
            return false;
        }
        position_ = static_cast<uint64_t>(position);
        return true;
    }

  private:
    const uint8_t* data_;
    uint64_t size_;
    uint64_t position_ = 0;
};

// Takes every byte and keeps none; counts them, so that a target can check its output bounds.
class CountingSink : public ByteSink {
  public:
    explicit CountingSink(uint64_t* total) : total_(total) {}
    bool Write(const void*, size_t count) override {
        *total_ += count;
        return true;
    }
    bool Close() override { return true; }

  private:
    uint64_t* total_;
};

}  // namespace netrefit::fuzz
