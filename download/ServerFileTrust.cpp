#include "download/ServerFileTrust.h"

#include <windows.h>

#include "common/FileStream.h"
#include "common/UniqueHandle.h"

namespace netrefit {
namespace {

// Longer than any date, so that a longer value is not cut into a date.
constexpr DWORD kExpiresChars = 32;

}  // namespace

std::string SignatureFileName(const std::string& serverFileName) {
    return serverFileName + ".sig";
}

bool ReadWholeFile(const std::string& path, uint64_t maxBytes, std::string* bytes) {
    bytes->clear();
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    uint64_t size = 0;
    if (!OpenFileSize(file.get(), &size) || size > maxBytes) {
        return false;
    }
    bytes->resize(static_cast<size_t>(size));
    DWORD got = 0;
    // One read more than the size, so that a file that grew since is noticed, not cut.
    char extra = 0;
    if (size != 0 &&
        (!::ReadFile(file.get(), &(*bytes)[0], static_cast<DWORD>(size), &got, nullptr) ||
         got != size)) {
        return false;
    }
    return ::ReadFile(file.get(), &extra, 1, &got, nullptr) && got == 0;
}

CalendarDate TodayUtc() {
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    CalendarDate today;
    today.year = now.wYear;
    today.month = now.wMonth;
    today.day = now.wDay;
    return today;
}

bool ServerFileExpired(const std::string& serverPath, const CalendarDate& today) {
    char text[kExpiresChars + 1] = "";
    DWORD got = ::GetPrivateProfileStringA("Signature", "Expires", "", text, sizeof(text),
                                           serverPath.c_str());
    std::string value(text, got);
    CalendarDate expires;
    return !ParseCalendarDate(value, &expires) || CompareDates(expires, today) < 0;
}

bool ServerFileIsTrusted(const std::string& serverPath,
                         const std::string& signaturePath,
                         const PublicKeyList& keys,
                         const CalendarDate& today) {
    std::string message;
    std::string signature;
    if (keys.empty() || !ReadWholeFile(serverPath, kMaxServerFileBytes, &message) ||
        !ReadWholeFile(signaturePath, kMaxServerFileBytes, &signature)) {
        return false;
    }
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(message.data());
    return AnySignatureVerifies(signature, bytes, message.size(), keys) &&
           !ServerFileExpired(serverPath, today);
}

}  // namespace netrefit
