#include "download/PartialRecord.h"

#include <windows.h>

#include <cstdlib>
#include <vector>

#include "common/UniqueHandle.h"

namespace netrefit {
namespace {

const char kMagic[] = "Netrefit partial 1";
constexpr DWORD kMaxRecordBytes = 8192;
constexpr size_t kLineCount = 6;

bool ContainsLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));  // a last line without its break: malformed
    }
    return lines;
}

bool ParseCount(const std::string& text, uint64_t* value) {
    if (text.empty() || text.size() > 20 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    char* end = nullptr;
    *value = std::strtoull(text.c_str(), &end, 10);
    return *end == '\0';
}

}  // namespace

bool PartialRecord::Describes(const DownloadEntry& entry) const {
    return declaredBytes == entry.DeclaredBytes() && md5 == entry.Md5() && sha256 == entry.Sha256();
}

std::string PartialPath(const DownloadEntry& entry) {
    return entry.LocalPath().empty() ? std::string() : entry.LocalPath() + ".part";
}

std::string PartialRecordPath(const DownloadEntry& entry) {
    return entry.LocalPath().empty() ? std::string() : entry.LocalPath() + ".part-info";
}

bool SavePartialRecord(const std::string& path, const PartialRecord& record) {
    for (const std::string* field : {&record.url, &record.validator, &record.md5, &record.sha256}) {
        if (ContainsLineBreak(*field)) {
            return false;  // a validator with a line break would shift every later field
        }
    }
    std::string text = std::string(kMagic) + "\n" + record.url + "\n" + record.validator + "\n" +
                       std::to_string(record.declaredBytes) + "\n" + record.md5 + "\n" +
                       record.sha256 + "\n";
    if (text.size() > kMaxRecordBytes) {
        return false;
    }
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    bool whole =
        file &&
        ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    file.reset();
    if (!whole) {
        ::DeleteFileA(path.c_str());
    }
    return whole;
}

bool LoadPartialRecord(const std::string& path, PartialRecord* record) {
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    std::string text(kMaxRecordBytes + 1, '\0');
    DWORD got = 0;
    if (!::ReadFile(file.get(), &text[0], kMaxRecordBytes + 1, &got, nullptr) ||
        got > kMaxRecordBytes) {
        return false;
    }
    text.resize(got);
    std::vector<std::string> lines = SplitLines(text);
    if (lines.size() != kLineCount || text.back() != '\n' || lines[0] != kMagic ||
        !ParseCount(lines[3], &record->declaredBytes)) {
        return false;
    }
    record->url = lines[1];
    record->validator = lines[2];
    record->md5 = lines[4];
    record->sha256 = lines[5];
    return !record->url.empty() && !record->validator.empty();
}

void DeletePartial(const DownloadEntry& entry) {
    if (!entry.LocalPath().empty()) {
        ::DeleteFileA(PartialPath(entry).c_str());
        ::DeleteFileA(PartialRecordPath(entry).c_str());
    }
}

}  // namespace netrefit
