#pragma once
// The deployer's keys and the signatures of a server information file as the settings and the
// server write them, and the dates that bound a signed file's life. Shared by the client and
// the publisher's tool; no files, no windows.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "signature/Ed25519.h"

namespace netrefit {

struct PublicKeyBytes {
    uint8_t bytes[kEd25519PublicKeySize];
};
using PublicKeyList = std::vector<PublicKeyBytes>;

// Keys beyond this many make a key list malformed; lines of a signature file beyond this many
// are not looked at (a deployer rotating keys needs two; a hostile file must not cost minutes).
constexpr size_t kMaxPublicKeys = 8;
constexpr size_t kMaxSignatureLines = 32;

// "HEX[,HEX...]", 64 hexadecimal digits a key, blanks around a key allowed. An empty or blank
// text is no key at all (true, keys empty). False for anything else: an empty item, a key of
// another length or with another character, one that is no curve point or a point of small order
// (anyone could sign for it), too many keys.
bool ParsePublicKeyList(const std::string& text, PublicKeyList* keys);

// Whether some line of signatureText (CR LF or LF; 128 hexadecimal digits, blanks at either end
// ignored) is a signature of the message by one of the keys. Other lines verify nothing. Only
// the first kMaxSignatureLines lines, and of those the first two signatures per key, are tried.
bool AnySignatureVerifies(const std::string& signatureText,
                          const uint8_t* message,
                          size_t length,
                          const PublicKeyList& keys);

// The signature of the message by the seed's key as one line of a signature file, without the
// line end.
std::string SignatureLine(const uint8_t seed[kEd25519SeedSize],
                          const uint8_t* message,
                          size_t length);

// Exactly `digits` lowercase hexadecimal digits, as server files give digests.
bool IsLowercaseHex(const std::string& text, size_t digits);
// 64 of them: a SHA-256 digest.
bool IsSha256Text(const std::string& text);
std::string Sha256Text(const uint8_t* digest);

struct CalendarDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

// "YYYY-MM-DD" exactly, a date of the Gregorian calendar from 1601 to 9999.
bool ParseCalendarDate(const std::string& text, CalendarDate* date);
std::string FormatCalendarDate(const CalendarDate& date);
// Negative, zero or positive as a is before, on or after b.
int CompareDates(const CalendarDate& a, const CalendarDate& b);
CalendarDate AddDays(const CalendarDate& date, int days);

}  // namespace netrefit
