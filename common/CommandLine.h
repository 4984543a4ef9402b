#pragma once
// The switches of an unattended run. Parsing is pure: the caller decides what a refusal shows.

#include <string>

namespace netrefit {

struct RunOptions {
    bool anySwitch = false;  // without one the program behaves as it always has
    bool quiet = false;
    bool noRestart = false;
    bool check = false;
    bool usage = false;
    std::string password;
    std::string logPath;
};

// Switches are case-insensitive, start with "/" or "-", come in any order and may be quoted
// whole or in their value ("/log=C:\My Logs\a.log" or /log="C:\My Logs\a.log"). False for an
// unknown or malformed switch (a value where none belongs, an empty /password= or /log=, a
// word that is no switch); every valid switch is still read, so that a refusal under /quiet
// goes to the log.
bool ParseCommandLine(const std::string& text, RunOptions* options);

// The usage text, shown for /? and after a refusal.
extern const char kUsageText[];

}  // namespace netrefit
