// The reader on the program's files: the archive and each member's output opened by path.

#include <memory>

#include "common/FileStream.h"
#include "unzip/ZipReader.h"

namespace netrefit {

bool ZipReader::OpenArchive(const char* path) {
    archive_.reset();
    auto file = std::make_unique<StdioSource>();
    if (!file->Open(path)) {
        return false;
    }
    SetArchive(std::move(file));
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
