#pragma once
// Small reads of the computer's state used by installed-component detection. Every probe reports
// only success or failure; a failing probe means "not installed" to its caller.

#include <cstddef>
#include <cstdint>
#include <string>

namespace netrefit {

// Reads a text value under HKEY_LOCAL_MACHINE through a buffer of capacity bytes (an empty value
// name reads the key's default value). False when the value is missing, is not text, or fills
// the whole buffer without a terminator: a cut text is never taken for the real one.
bool ReadMachineText(const char* key, const char* value, size_t capacity, std::string* text);

// Reads a 32-bit number under HKEY_LOCAL_MACHINE; false when missing or not a 32-bit number.
bool ReadMachineNumber(const char* key, const char* value, uint32_t* number);

// Joins a folder and a relative name with exactly one backslash between them. False when the
// result would not fit a Windows path (MAX_PATH with its terminator).
bool JoinPath(const std::string& folder, const std::string& name, std::string* path);

// The first line of a text file (without its line end, at most size - 1 characters).
// 0 for a missing path or buffer, a zero size, a file that does not exist or that cannot be
// opened (the buffer is then left as it was); 1 when the line was stored.
int ReadFirstLine(const char* path, char* buffer, size_t size);

// "%d.%d.%d.%d" of the file version in the file's version resource. 0 when the path or buffer is
// missing, the file has no valid version resource, or the text does not fit (nothing written).
int GetFileVersionText(const char* path, char* buffer, size_t size);

// Path of a shell special folder (a CSIDL value), copied only when it fits with its terminator.
int GetSpecialFolder(int folderId, char* buffer, size_t size);

// The folders of the suite's view of the computer, the one its registry keys are read in: for
// the 32-bit build the system folder and the common files folder; for the 64-bit build their
// 32-bit counterparts (SysWOW64 and "Program Files (x86)\Common Files"). False when there is
// none or it does not fit a Windows path.
bool SuiteSystemFolder(std::string* folder);
bool SuiteCommonFilesFolder(std::string* folder);

// Asks the DirectX setup library in the suite's system folder for the installed DirectX version.
// The library is loaded by its full path only, never from the current directory, and a
// missing library or version export counts as not installed.
bool QueryDirectXVersion(uint32_t* version, uint32_t* revision);

}  // namespace netrefit
