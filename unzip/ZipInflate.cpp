// Raw-deflate inflation of one member through the two halves of the work buffer: the first half is
// the output window, the second the input area.

#include <zlib.h>

#include <algorithm>

#include "unzip/ZipReader.h"

namespace netrefit {

namespace {

class InflateStream {
  public:
    InflateStream() = default;
    ~InflateStream() {
        if (started_) {
            inflateEnd(&stream_);
        }
    }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

    bool Start() {
        started_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK;
        return started_;
    }
    z_stream& get() { return stream_; }

  private:
    z_stream stream_{};
    bool started_ = false;
};

}  // namespace

ZipTransfer ZipReader::InflateData(uint64_t compressedSize, uint64_t outputLimit) {
    ZipTransfer transfer;
    unsigned char* output = workBuffer_.get();
    if (output == nullptr) {
        return transfer;
    }
    unsigned char* input = output + kHalfSize;
    uint64_t remaining = compressedSize;
    uint64_t read = 0;
    auto refill = [&]() -> size_t {
        size_t got =
            ReadInput(input, static_cast<size_t>(std::min<uint64_t>(remaining, kHalfSize)));
        read += got;
        remaining = got == 0 ? 0 : remaining - std::min<uint64_t>(remaining, got);
        return got;
    };
    size_t first = refill();
    InflateStream inflater;
    if (first == 0 || !inflater.Start()) {
        transfer.damaged = first == 0 && compressedSize > 0;
        return transfer;
    }
    z_stream& zs = inflater.get();
    zs.next_in = input;
    zs.avail_in = static_cast<uInt>(first);
    zs.next_out = output;
    zs.avail_out = static_cast<uInt>(kHalfSize);
    bool ended = false;
    while (!ended) {
        if (zs.avail_in == 0 && remaining > 0) {
            zs.next_in = input;
            zs.avail_in = static_cast<uInt>(refill());
        }
        uInt inBefore = zs.avail_in;
        uInt outBefore = zs.avail_out;
        int rc = inflate(&zs, Z_SYNC_FLUSH);
        bool progress = zs.avail_in != inBefore || zs.avail_out != outBefore;
        // Anything but the stream's own end is damage: a short file must not pass for the file.
        bool broken = (rc != Z_OK && rc != Z_BUF_ERROR && rc != Z_STREAM_END) ||
                      (!progress && (remaining == 0 || zs.avail_in != 0));
        transfer.damaged = broken;
        ended = rc == Z_STREAM_END || broken;
        if (zs.avail_out == 0 || ended) {
            size_t produced = kHalfSize - zs.avail_out;
            // Never more than the header declares: an archive cannot fill the disk beyond that.
            uint64_t room = outputLimit - transfer.written;
            size_t keep = static_cast<size_t>(std::min<uint64_t>(produced, room));
            if (!WriteOutput(output, keep, &transfer) || keep < produced ||
                transfer.written >= outputLimit) {
                ended = true;
            }
            zs.next_out = output;
            zs.avail_out = static_cast<uInt>(kHalfSize);
        }
        if (!ended && StopRequested()) {
            transfer.stopped = true;
            ended = true;
        }
    }
    transfer.consumed = read - zs.avail_in;
    return transfer;
}

}  // namespace netrefit
