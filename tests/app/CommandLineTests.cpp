// The switches of an unattended run, and the support log's own rules: what it strips from a
// line, and the file it keeps.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "common/CommandLine.h"
#include "common/SupportLog.h"
#include "support/TestFiles.h"

namespace netrefit {
namespace {

// What was read, as one text: "!" first for a refusal, then the switches set in a fixed order.
std::string Read(const char* line) {
    RunOptions o;
    bool valid = ParseCommandLine(line, &o);
    std::string text = valid ? "" : "!";
    for (const auto& [set, name] : {std::pair{o.quiet, "quiet "},
                                    {o.noRestart, "norestart "},
                                    {o.check, "check "},
                                    {o.usage, "? "}}) {
        text += set ? name : "";
    }
    text += o.password.empty() ? "" : "password=" + o.password + " ";
    text += o.logPath.empty() ? "" : "log=" + o.logPath + " ";
    return text + (o.anySwitch ? "." : "");
}

TEST(CommandLine, SwitchTable) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"/quiet", "quiet ."},
        {"-QUIET /NoRestart", "quiet norestart ."},
        {"/check /quiet", "quiet check ."},
        {"/?", "? ."},
        {"-?", "? ."},
        {"\"/password=Se cret\"", "password=Se cret ."},
        {"/PASSWORD=a=b", "password=a=b ."},
        {"/log=\"C:\\My Logs\\run.log\" /quiet", "quiet log=C:\\My Logs\\run.log ."},
        {"  /log=run.log\t/check  ", "check log=run.log ."},
        // Refused: a word that is no switch, unknown, a value where none belongs or an empty
        // one, a bare sign; every valid switch is still read.
        {"/password=Se cret", "!password=Se ."},
        {"/quiet extra", "!quiet ."},
        {"/silent", "!."},
        {"/quiet /norestart=1", "!quiet ."},
        {"/check=yes", "!."},
        {"/log= /quiet", "!quiet ."},
        {"/password=", "!."},
        {"quiet", "!."},
        {"/", "!."},
    };
    for (const auto& [line, expected] : cases) {
        EXPECT_EQ(expected, Read(line)) << line;
    }
}

TEST(SupportLog, CredentialsAreStrippedFromEveryUrl) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://user:pw@host/a", "http://host/a"},
        {"https://u%40x:p@ss@host:8080/x?y=z@w", "https://host:8080/x?y=z@w"},
        {"ftp://anonymous@host", "ftp://host"},
        {"from http://a:b@h1/f to http://c:d@h2/g", "from http://h1/f to http://h2/g"},
        {"http://host/path@not-userinfo", "http://host/path@not-userinfo"},
        {"mail me@host, no URL", "mail me@host, no URL"},
        {"two\r\nlines", "two  lines"},
        {"http://", "http://"},
        {"://@", "://"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(expected, SanitizeLogText(text)) << text;
    }
}

TEST(SupportLog, AppendsStampedLinesAndKeepsOneOlderFile) {
    test::TempDir folder;
    std::string path = folder.File("support.log");
    ASSERT_TRUE(test::WriteFileBytes(path, std::string(kSupportLogMaxBytes - 10, 'x')));
    ASSERT_TRUE(test::WriteFileBytes(path + ".1", "oldest"));
    OpenSupportLog(path);
    // Shared for reading while it is written: it can be watched as it grows.
    HANDLE reader = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    ::CloseHandle(reader);
    LogLine("first line, past the limit");
    LogLine("second line");
    CloseSupportLog();
    LogLine("not written: the log is closed");
    std::string text, older;
    ASSERT_TRUE(test::ReadFileBytes(path, &text));
    ASSERT_TRUE(test::ReadFileBytes(path + ".1", &older));
    EXPECT_EQ(std::string(kSupportLogMaxBytes - 10, 'x'), older);
    ASSERT_EQ(2u, std::count(text.begin(), text.end(), '\n')) << text;
    EXPECT_NE(std::string::npos, text.find("Z first line, past the limit\r\n")) << text;
    EXPECT_EQ(text.find("Z second line\r\n") + 15, text.size()) << text;
    EXPECT_EQ('2', text[0]) << "each line starts with its UTC date";
}

}  // namespace
}  // namespace netrefit
