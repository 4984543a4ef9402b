#include "common/FileStream.h"

#include <cstdio>

namespace netrefit {

bool OpenFileSize(HANDLE file, uint64_t* size) {
    DWORD high = 0;
    DWORD low = ::GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) {
        return false;
    }
    *size = (static_cast<uint64_t>(high) << 32) | low;
    return true;
}

bool StdioSource::Open(const char* path) {
    stream_.reset(std::fopen(path, "rb"));
    return stream_.valid();
}

size_t StdioSource::Read(void* into, size_t count) {
    return stream_ ? std::fread(into, 1, count, stream_.get()) : 0;
}

int64_t StdioSource::Tell() {
    return stream_ ? _ftelli64(stream_.get()) : -1;
}

bool StdioSource::Seek(int64_t position) {
    return stream_ && position >= 0 && _fseeki64(stream_.get(), position, SEEK_SET) == 0;
}

bool StdioSink::Open(const char* path) {
    stream_.reset(std::fopen(path, "wb"));
    return stream_.valid();
}

bool StdioSink::Write(const void* bytes, size_t count) {
    if (!stream_) {
        return false;
    }
    const char* from = static_cast<const char*>(bytes);
    while (count > 0) {
        size_t part = count < kLargestWrite ? count : kLargestWrite;
        if (std::fwrite(from, 1, part, stream_.get()) != part) {
            return false;
        }
        from += part;
        count -= part;
    }
    return true;
}

bool StdioSink::Close() {
    FILE* stream = stream_.release();
    return stream == nullptr || std::fclose(stream) == 0;
}

size_t HandleSource::Read(void* into, size_t count) {
    // ReadFile takes a DWORD count; callers read in small chunks, so one call does.
    DWORD got = 0;
    if (!::ReadFile(file_, into, static_cast<DWORD>(count), &got, nullptr)) {
        return 0;
    }
    return got;
}

int64_t HandleSource::Tell() {
    // SetFilePointer with a high word: SetFilePointerEx is missing before Windows 2000.
    LONG high = 0;
    DWORD low = ::SetFilePointer(file_, 0, &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) {
        return -1;
    }
    return (static_cast<int64_t>(high) << 32) | low;
}

bool HandleSource::Seek(int64_t position) {
    if (position < 0) {
        return false;
    }
    LONG high = static_cast<LONG>(position >> 32);
    DWORD low =
        ::SetFilePointer(file_, static_cast<LONG>(position & 0xFFFFFFFF), &high, FILE_BEGIN);
    return low != INVALID_SET_FILE_POINTER || ::GetLastError() == NO_ERROR;
}

bool ReadWholeHandle(HANDLE file, uint64_t maxBytes, std::string* bytes) {
    bytes->clear();
    uint64_t size = 0;
    if (!OpenFileSize(file, &size) || size > maxBytes ||
        ::SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
        return false;
    }
    bytes->resize(static_cast<size_t>(size));
    DWORD got = 0;
    // One read more than the size, so that a file that grew since is noticed, not cut.
    char extra = 0;
    if (size != 0 &&
        (!::ReadFile(file, &(*bytes)[0], static_cast<DWORD>(size), &got, nullptr) || got != size)) {
        bytes->clear();
        return false;
    }
    return ::ReadFile(file, &extra, 1, &got, nullptr) && got == 0;
}

bool IsLinkPath(const std::string& path) {
    std::string entry = path;
    while (entry.size() > 3 && (entry.back() == '\\' || entry.back() == '/')) {
        entry.pop_back();
    }
    DWORD attributes = ::GetFileAttributesA(entry.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace netrefit
