#pragma once
// Whether a fetched server information file is the deployer's: its bytes signed by a key of the
// settings, its expiry date not passed, and a SHA-256 for every module it offers.

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/FileStream.h"
#include "common/UniqueHandle.h"
#include "signature/UpdateSignature.h"

namespace netrefit {

// The server file and its signature file are never longer than this; the download cuts a body
// that grows past it, and a file on disk that is longer is not read.
constexpr uint64_t kMaxServerFileBytes = 1ull << 20;

// The name of a server file's signature file, beside it on the server and on disk.
std::string SignatureFileName(const std::string& serverFileName);

// The file opened for reading, and kept from being written, renamed or deleted (by this program
// too) for as long as the handle stays open. Invalid when it cannot be opened so, which is also
// the case while another program has it open for writing.
FileHandle HoldFile(const std::string& path);

// The whole file into bytes, from its start; false when it cannot be read or is longer than
// maxBytes (ReadWholeHandle for a file already open).
bool ReadWholeFile(const std::string& path, uint64_t maxBytes, std::string* bytes);

// Today's date by the PC's clock (UTC, so that a file's last day ends at the same moment
// everywhere).
CalendarDate TodayUtc();

// Whether [Signature] Expires of the file has passed: a date before today, one that is not a
// date, or none at all (a signed file without a date could be replayed for ever).
bool ServerTextExpired(const std::string& serverText, const CalendarDate& today);
bool ServerFileExpired(const std::string& serverPath, const CalendarDate& today);

// Signed by one of keys (which must not be empty), and not expired by the date in the bytes that
// were verified. The first form reads a held file (HoldFile), which its holder then reads on
// unchanged; the second holds the file only during the call.
bool ServerFileIsTrusted(HANDLE serverFile,
                         const std::string& signaturePath,
                         const PublicKeyList& keys,
                         const CalendarDate& today);
bool ServerFileIsTrusted(const std::string& serverPath,
                         const std::string& signaturePath,
                         const PublicKeyList& keys,
                         const CalendarDate& today);

}  // namespace netrefit
