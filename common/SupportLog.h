#pragma once
// The support log: one line per step of a run, for whoever has to find out later why a PC did
// not upgrade. Process-wide and usable from every thread; does nothing until a file is given.
// A log that cannot be written never stops the run: every failure is swallowed.

#include <windows.h>

#include <string>

namespace netrefit {

// Past this size the file becomes "<name>.1" (one older file kept) and a new one starts.
constexpr DWORD kSupportLogMaxBytes = 1024 * 1024;

// The text with the user name and password taken out of every URL in it ("scheme://user:pw@h"
// becomes "scheme://h"), and line breaks made blanks, so that one entry stays one line.
std::string SanitizeLogText(const std::string& text);

// Starts logging to path (appended to, created if needed). Later calls change the file.
void OpenSupportLog(const std::string& path);
bool SupportLogEnabled();
// One line: the UTC time, then the sanitised text; CRLF at its end.
void LogLine(const std::string& text);
void CloseSupportLog();

}  // namespace netrefit
