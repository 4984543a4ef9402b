#pragma once
// The program's files as byte sources and sinks.

#include <windows.h>

#include <string>

#include "common/ByteStream.h"
#include "common/UniqueHandle.h"

namespace netrefit {

// The size of an open file, 64-bit (GetFileSize with its high word: GetFileSizeEx is missing
// before Windows 2000).
bool OpenFileSize(HANDLE file, uint64_t* size);
// The whole of an open file into bytes, from its start; false when it cannot be read or is
// longer than maxBytes (one read past the size tells a file that grew meanwhile).
bool ReadWholeHandle(HANDLE file, uint64_t maxBytes, std::string* bytes);

// Whether path names a junction or symbolic link: the entry itself, not what a trailing
// separator would look up through it. The work folders never follow one.
bool IsLinkPath(const std::string& path);

// A C runtime stream opened by path: buffered, with 64-bit positions.
class StdioSource : public ByteSource {
  public:
    bool Open(const char* path);
    size_t Read(void* into, size_t count) override;
    int64_t Tell() override;
    bool Seek(int64_t position) override;

  private:
    Stream stream_;
};

class StdioSink : public ByteSink {
  public:
    // Larger chunks go out in pieces of this size: once a run has written a few hundred MiB, the
    // kernel takes far longer per byte for big writes (a 2 GiB extraction spent 5.5 s in the
    // kernel with 1 MiB writes, 1.1 s with 64 KiB ones). A system call per piece costs little.
    static constexpr size_t kLargestWrite = 65536;

    // Creates the file, emptying an existing one.
    bool Open(const char* path);
    bool Write(const void* bytes, size_t count) override;
    bool Close() override;

  private:
    Stream stream_;
};

// A file handle the caller opened (and so chose its access and sharing) and keeps open.
class HandleSource : public ByteSource {
  public:
    explicit HandleSource(HANDLE file) : file_(file) {}
    size_t Read(void* into, size_t count) override;
    int64_t Tell() override;
    bool Seek(int64_t position) override;

  private:
    HANDLE file_;
};

}  // namespace netrefit
