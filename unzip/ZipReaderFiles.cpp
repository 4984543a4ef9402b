// The reader on the program's files: the archive by path or through a handle held open, and each
// member's output opened by path.

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "common/FileStream.h"
#include "unzip/ZipReader.h"

namespace netrefit {

namespace {

// An archive read through a handle its caller keeps open, buffered as a C runtime stream is:
// the header scan reads byte by byte. Reads as large as the buffer go straight to the file.
class HeldArchiveSource : public ByteSource {
  public:
    static constexpr size_t kBufferSize = 65536;

    explicit HeldArchiveSource(HANDLE file) : file_(file), buffer_(kBufferSize) {}

    size_t Read(void* into, size_t count) override {
        unsigned char* out = static_cast<unsigned char*>(into);
        size_t done = 0;
        while (done < count) {
            if (next_ == end_) {
                size_t wanted = count - done;
                unsigned char* target = wanted >= kBufferSize ? out + done : buffer_.data();
                DWORD size = static_cast<DWORD>(wanted >= kBufferSize ? wanted : kBufferSize);
                DWORD got = 0;
                if (!::ReadFile(file_, target, size, &got, nullptr) || got == 0) {
                    break;
                }
                position_ += got;
                if (target != buffer_.data()) {
                    next_ = end_ = 0;  // the buffer no longer lies just before the position
                    done += got;
                    continue;
                }
                next_ = 0;
                end_ = got;
            }
            size_t take = std::min(count - done, end_ - next_);
            std::memcpy(out + done, buffer_.data() + next_, take);
            next_ += take;
            done += take;
        }
        return done;
    }

    int64_t Tell() override { return position_ - static_cast<int64_t>(end_ - next_); }

    bool Seek(int64_t position) override {
        int64_t bufferStart = position_ - static_cast<int64_t>(end_);
        if (position >= bufferStart && position <= position_) {
            next_ = static_cast<size_t>(position - bufferStart);
            return true;
        }
        HandleSource raw(file_);
        if (!raw.Seek(position)) {
            return false;
        }
        position_ = position;
        next_ = end_ = 0;
        return true;
    }

  private:
    HANDLE file_;
    std::vector<unsigned char> buffer_;
    int64_t position_ = 0;  // the file's own position, after the buffered bytes
    size_t next_ = 0;
    size_t end_ = 0;
};

}  // namespace

bool ZipReader::OpenArchive(const char* path) {
    archive_.reset();
    auto file = std::make_unique<StdioSource>();
    if (!file->Open(path)) {
        return false;
    }
    SetArchive(std::move(file));
    return true;
}

bool ZipReader::OpenArchive(HANDLE file) {
    archive_.reset();
    auto source = std::make_unique<HeldArchiveSource>(file);
    // Wherever an earlier reader of the handle left it, the archive starts at 0.
    if (file == nullptr || file == INVALID_HANDLE_VALUE || !HandleSource(file).Seek(0)) {
        return false;
    }
    SetArchive(std::move(source));
    return true;
}

bool ZipReader::OpenOutput(const char* path) {
    output_.reset();
    auto file = std::make_unique<StdioSink>();
    if (!file->Open(path)) {
        return false;
    }
    output_ = std::move(file);
    return true;
}

bool ZipReader::IsValidArchive(const char* path, uint64_t fileSize) {
    if (workBuffer_ == nullptr || !OpenArchive(path)) {
        return false;
    }
    bool valid = IsValidArchive(fileSize);
    CloseArchive();
    return valid;
}

}  // namespace netrefit
