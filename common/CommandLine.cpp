#include "common/CommandLine.h"

#include <cctype>
#include <vector>

namespace netrefit {

const char kUsageText[] =
    "Usage: Netrefit [/quiet] [/norestart] [/check] [/password=TEXT] [/log=FILE] [/?]\r\n"
    "\r\n"
    "/quiet\tno window, no question; messages go to the log\r\n"
    "/norestart\tdo not restart Windows after the installation (exit code 3010)\r\n"
    "/check\tonly find out whether an upgrade is available (exit code 10)\r\n"
    "/password=TEXT\tthe password of encrypted modules\r\n"
    "/log=FILE\tappend the run's log to FILE (/quiet: %TEMP%\\Netrefit.log)\r\n"
    "/?\tthis text";

namespace {

// Words separated by blanks; double quotes group blanks into a word and are dropped.
std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool inWord = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) {
                words.push_back(word);
            }
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

bool ApplyFlag(const std::string& name, RunOptions* options) {
    if (name == "quiet") {
        options->quiet = true;
    } else if (name == "norestart") {
        options->noRestart = true;
    } else if (name == "check") {
        options->check = true;
    } else if (name == "?") {
        options->usage = true;
    } else {
        return false;
    }
    return true;
}

bool ApplyValue(const std::string& name, const std::string& value, RunOptions* options) {
    if (value.empty()) {
        return false;
    }
    if (name == "password") {
        options->password = value;
    } else if (name == "log") {
        options->logPath = value;
    } else {
        return false;
    }
    return true;
}

bool ApplySwitch(const std::string& word, RunOptions* options) {
    if (word.size() < 2 || (word[0] != '/' && word[0] != '-')) {
        return false;
    }
    size_t equals = word.find('=');
    std::string name = Lower(word.substr(1, equals == std::string::npos ? equals : equals - 1));
    if (equals == std::string::npos) {
        return ApplyFlag(name, options);
    }
    return ApplyValue(name, word.substr(equals + 1), options);
}

}  // namespace

bool ParseCommandLine(const std::string& text, RunOptions* options) {
    bool valid = true;
    for (const std::string& word : SplitWords(text)) {
        options->anySwitch = true;
        valid = ApplySwitch(word, options) && valid;
    }
    return valid;
}

}  // namespace netrefit
