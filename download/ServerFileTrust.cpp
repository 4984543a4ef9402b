#include "download/ServerFileTrust.h"

#include <windows.h>

#include "common/FileStream.h"
#include "common/ProfileText.h"
#include "common/UniqueHandle.h"

namespace netrefit {
namespace {

// Longer than any date, so that a longer value is not cut into a date.
constexpr DWORD kExpiresChars = 32;

}  // namespace

std::string SignatureFileName(const std::string& serverFileName) {
    return serverFileName + ".sig";
}

FileHandle HoldFile(const std::string& path) {
    return FileHandle(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ReadWholeFile(const std::string& path, uint64_t maxBytes, std::string* bytes) {
    FileHandle file = HoldFile(path);
    if (!file) {
        bytes->clear();
        return false;
    }
    return ReadWholeHandle(file.get(), maxBytes, bytes);
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

bool ServerTextExpired(const std::string& serverText, const CalendarDate& today) {
    std::string value = ProfileTextValue(serverText, "Signature", "Expires");
    CalendarDate expires;
    return value.size() > kExpiresChars || !ParseCalendarDate(value, &expires) ||
           CompareDates(expires, today) < 0;
}

bool ServerFileExpired(const std::string& serverPath, const CalendarDate& today) {
    std::string text;
    return !ReadWholeFile(serverPath, kMaxServerFileBytes, &text) || ServerTextExpired(text, today);
}

bool ServerFileIsTrusted(HANDLE serverFile,
                         const std::string& signaturePath,
                         const PublicKeyList& keys,
                         const CalendarDate& today) {
    std::string message;
    std::string signature;
    if (keys.empty() || !ReadWholeHandle(serverFile, kMaxServerFileBytes, &message) ||
        !ReadWholeFile(signaturePath, kMaxServerFileBytes, &signature)) {
        return false;
    }
    // The date is read from the very bytes verified, not from the file again.
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(message.data());
    return AnySignatureVerifies(signature, bytes, message.size(), keys) &&
           !ServerTextExpired(message, today);
}

bool ServerFileIsTrusted(const std::string& serverPath,
                         const std::string& signaturePath,
                         const PublicKeyList& keys,
                         const CalendarDate& today) {
    FileHandle file = HoldFile(serverPath);
    return file && ServerFileIsTrusted(file.get(), signaturePath, keys, today);
}

}  // namespace netrefit
