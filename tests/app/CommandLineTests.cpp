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

struct SwitchCase {
    const char* line;
    bool valid;
    bool quiet, noRestart, check, usage;
    const char* password;
    const char* log;
};

const SwitchCase kSwitchCases[] = {
    {"", true, false, false, false, false, "", ""},
    {"/quiet", true, true, false, false, false, "", ""},
    {"-QUIET /NoRestart", true, true, true, false, false, "", ""},
    {"/check /quiet", true, true, false, true, false, "", ""},
    {"/?", true, false, false, false, true, "", ""},
    {"-?", true, false, false, false, true, "", ""},
    {"/password=Se cret", false, false, false, false, false, "Se", ""},
    {"\"/password=Se cret\"", true, false, false, false, false, "Se cret", ""},
    {"/PASSWORD=a=b", true, false, false, false, false, "a=b", ""},
    {"/log=\"C:\\My Logs\\run.log\" /quiet", true, true, false, false, false, "",
     "C:\\My Logs\\run.log"},
    {"  /log=run.log\t/check  ", true, false, false, true, false, "", "run.log"},
    // Refusals: unknown, value where none belongs, empty value, no switch sign, a bare sign.
    {"/silent", false, false, false, false, false, "", ""},
    {"/quiet /norestart=1", false, true, false, false, false, "", ""},
    {"/log= /quiet", false, true, false, false, false, "", ""},
    {"/password=", false, false, false, false, false, "", ""},
    {"quiet", false, false, false, false, false, "", ""},
    {"/", false, false, false, false, false, "", ""},
    {"/quiet extra", false, true, false, false, false, "", ""},
    {"/check=yes", false, false, false, false, false, "", ""},
};

TEST(CommandLine, SwitchTable) {
    for (const SwitchCase& c : kSwitchCases) {
        RunOptions options;
        EXPECT_EQ(c.valid, ParseCommandLine(c.line, &options)) << c.line;
        EXPECT_EQ(*c.line != '\0', options.anySwitch) << c.line;
        EXPECT_EQ(c.quiet, options.quiet) << c.line;
        EXPECT_EQ(c.noRestart, options.noRestart) << c.line;
        EXPECT_EQ(c.check, options.check) << c.line;
        EXPECT_EQ(c.usage, options.usage) << c.line;
        EXPECT_EQ(c.password, options.password) << c.line;
        EXPECT_EQ(c.log, options.logPath) << c.line;
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

TEST(SupportLog, AnUnwritableFileIsIgnored) {
    test::TempDir folder;
    // A folder where the file should be: nothing can be opened, nothing fails.
    ASSERT_TRUE(::CreateDirectoryA(folder.File("log").c_str(), nullptr));
    OpenSupportLog(folder.File("log"));
    EXPECT_TRUE(SupportLogEnabled());
    LogLine("lost");
    CloseSupportLog();
    EXPECT_FALSE(SupportLogEnabled());
}

}  // namespace
}  // namespace netrefit
