#pragma once
// Where every message of the program goes: a message box, or in an unattended run the support
// log. Also keeps what the run's exit code will be: the number of the last message shown,
// unless a later step decided the ending itself.

#include <windows.h>

#include <string>

namespace netrefit {

// Exit codes of a run started with switches (the conventions of Windows installers).
constexpr int kExitSuccess = 0;
constexpr int kExitUpdatesFound = 10;
constexpr int kExitBadCommandLine = 87;
constexpr int kExitCancelled = 1602;
constexpr int kExitAlreadyRunning = 1618;
constexpr int kExitRestartStarted = 1641;
constexpr int kExitRestartNeeded = 3010;

// No window is shown and nobody answers: messages only go to the log.
void SetQuietRun(bool quiet);
bool QuietRun();

// The answer nobody gives in a quiet run: the box's default button.
int DefaultButton(UINT type);

// Logs "Message <id>: <english>", notes id as the run's last message, then shows the box
// (text, the user's language) or, in a quiet run, answers with its default button.
int RouteMessage(HWND owner,
                 UINT id,
                 UINT type,
                 const std::string& text,
                 const std::string& english);

// How many messages were routed so far: a step sees whether it ended with one.
int RoutedMessages();
// The run's ending, decided by a step (overrides the last message's number).
void SetRunExitCode(int code);
// The decided ending, else the last message's number, else success.
int RunExitCode();

}  // namespace netrefit
