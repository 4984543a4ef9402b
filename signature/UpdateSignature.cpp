#include "signature/UpdateSignature.h"

#include <cstdio>

#include "signature/SignatureText.h"

namespace netrefit {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// [begin, end) without the blanks at either end.
void TrimBlanks(const std::string& text, size_t* begin, size_t* end) {
    while (*begin < *end && IsBlank(text[*begin])) {
        ++*begin;
    }
    while (*end > *begin && IsBlank(text[*end - 1])) {
        --*end;
    }
}

bool IsBlankText(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    TrimBlanks(text, &begin, &end);
    return begin == end;
}

enum class LineVerdict { NotASignature, Refused, Verified };

LineVerdict CheckLine(const std::string& text,
                      size_t begin,
                      size_t end,
                      const uint8_t* message,
                      size_t length,
                      const PublicKeyList& keys) {
    TrimBlanks(text, &begin, &end);
    uint8_t signature[kEd25519SignatureSize];
    if (!ParseSignatureText(text.data() + begin, end - begin, signature)) {
        return LineVerdict::NotASignature;
    }
    for (const PublicKeyBytes& key : keys) {
        if (Ed25519Verify(signature, key.bytes, message, length)) {
            return LineVerdict::Verified;
        }
    }
    return LineVerdict::Refused;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a date, and back (the proleptic Gregorian calendar, in 400-year eras).
long DaysFromCivil(const CalendarDate& date) {
    int year = date.year - (date.month <= 2 ? 1 : 0);
    long era = year / 400;
    long yearOfEra = year - era * 400;
    long dayOfYear = (153 * (date.month + (date.month > 2 ? -3 : 9)) + 2) / 5 + date.day - 1;
    long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

CalendarDate CivilFromDays(long days) {
    days += 719468;
    long era = days / 146097;
    long dayOfEra = days - era * 146097;
    long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    long monthIndex = (5 * dayOfYear + 2) / 153;
    CalendarDate date;
    date.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    date.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    date.year = static_cast<int>(yearOfEra + era * 400 + (date.month <= 2 ? 1 : 0));
    return date;
}

bool ReadDigits(const std::string& text, size_t at, size_t count, int* value) {
    *value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        *value = *value * 10 + (text[i] - '0');
    }
    return true;
}

}  // namespace

bool ParsePublicKeyList(const std::string& text, PublicKeyList* keys) {
    keys->clear();
    if (IsBlankText(text)) {
        return true;
    }
    size_t begin = 0;
    while (begin <= text.size()) {
        size_t end = text.find(',', begin);
        if (end == std::string::npos) {
            end = text.size();
        }
        size_t next = end + 1;
        TrimBlanks(text, &begin, &end);
        PublicKeyBytes key = {};
        if (keys->size() == kMaxPublicKeys ||
            !ParsePublicKeyText(text.data() + begin, end - begin, key.bytes) ||
            !Ed25519IsValidPublicKey(key.bytes) || Ed25519IsSmallOrderKey(key.bytes)) {
            keys->clear();
            return false;
        }
        keys->push_back(key);
        begin = next;
    }
    return true;
}

bool AnySignatureVerifies(const std::string& signatureText,
                          const uint8_t* message,
                          size_t length,
                          const PublicKeyList& keys) {
    // Each signature tried costs a pass over the message per key: a deployer needs one line per
    // key, so a file that offers more than two per key is not tried further.
    const size_t maxTries = 2 * keys.size();
    size_t tries = 0;
    size_t begin = 0;
    for (size_t line = 0; line < kMaxSignatureLines && begin < signatureText.size(); ++line) {
        size_t end = signatureText.find('\n', begin);
        if (end == std::string::npos) {
            end = signatureText.size();
        }
        size_t next = end + 1;
        if (end > begin && signatureText[end - 1] == '\r') {
            --end;
        }
        LineVerdict verdict = CheckLine(signatureText, begin, end, message, length, keys);
        if (verdict == LineVerdict::Verified) {
            return true;
        }
        if (verdict == LineVerdict::Refused && ++tries >= maxTries) {
            return false;
        }
        begin = next;
    }
    return false;
}

std::string SignatureLine(const uint8_t seed[kEd25519SeedSize],
                          const uint8_t* message,
                          size_t length) {
    uint8_t signature[kEd25519SignatureSize];
    Ed25519Sign(signature, seed, message, length);
    char text[2 * kEd25519SignatureSize + 1];
    FormatHexBytes(signature, sizeof(signature), text);
    return text;
}

bool IsSha256Text(const std::string& text) {
    return IsLowercaseHex(text, 64);
}

bool IsLowercaseHex(const std::string& text, size_t digits) {
    if (text.size() != digits) {
        return false;
    }
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

std::string Sha256Text(const uint8_t* digest) {
    char text[65];
    FormatHexBytes(digest, 32, text);
    return text;
}

bool ParseCalendarDate(const std::string& text, CalendarDate* date) {
    CalendarDate read;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' ||
        !ReadDigits(text, 0, 4, &read.year) || !ReadDigits(text, 5, 2, &read.month) ||
        !ReadDigits(text, 8, 2, &read.day)) {
        return false;
    }
    if (read.year < 1601 || read.month < 1 || read.month > 12 || read.day < 1 ||
        read.day > DaysInMonth(read.year, read.month)) {
        return false;
    }
    *date = read;
    return true;
}

std::string FormatCalendarDate(const CalendarDate& date) {
    char text[32];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02d", date.year, date.month, date.day);
    return text;
}

int CompareDates(const CalendarDate& a, const CalendarDate& b) {
    if (a.year != b.year) {
        return a.year < b.year ? -1 : 1;
    }
    if (a.month != b.month) {
        return a.month < b.month ? -1 : 1;
    }
    return a.day == b.day ? 0 : (a.day < b.day ? -1 : 1);
}

CalendarDate AddDays(const CalendarDate& date, int days) {
    return CivilFromDays(DaysFromCivil(date) + days);
}

}  // namespace netrefit
