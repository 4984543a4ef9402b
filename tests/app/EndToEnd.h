#pragma once
// End-to-end runs of the real Netrefit.exe: a copy beside its own Netrefit.ini, the suite's
// registry state written into the prefix, the site served by nginx on 127.0.0.4, and a driver
// that answers the program's windows.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "support/TestFiles.h"
#include "support/WindowDriver.h"

namespace netrefit::test {

// Settings of one run's Netrefit.ini.
struct Settings {
    std::string server = "http://127.0.0.4/";
    std::string supportOS = "127";
    std::string applicationLanguages = "English";
    std::string osLanguages = "";
    std::string nonOsLanguages = "";
};

// Registry of the suite in the prefix (HKEY_LOCAL_MACHINE).
void ClearSuiteRegistry();
// The suite older than the site's: Melorra 2.0.0.123, common library 1.4, secure module 3.0,
// the second extension 1.0.
void InstallOlderSuite();
void SetRegistryText(const std::string& key, const std::string& name, const std::string& value);
void DeleteRegistryTree(const std::string& key);

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The site's own server information file, and a variant of it served under cases/<name>/
    // (the settings are pointed there).
    std::string SiteServerText() const;
    void ServeCase(const std::string& name, const std::string& serverText);
    void WriteSettings(const Settings& settings);
    // Replaces "key=value" lines of [section name] text wholesale: "Key=" + old -> "Key=" + new.
    static std::string Replace(std::string text, const std::string& from, const std::string& to);

    // Starts the copy of the program (environment: extra "NAME=value" lines, may be empty).
    void Start(const std::string& environment = std::string());
    // Waits for the program to end; its exit code, or STILL_ACTIVE after timeoutMs.
    DWORD WaitForEnd(DWORD timeoutMs = 60000);

    HWND WaitModuleList(DWORD timeoutMs = kWindowWait);
    HWND WaitProgress(DWORD timeoutMs = kWindowWait);
    // Waits for a message box of the program and answers it with button; returns its text.
    std::string Answer(int button, DWORD timeoutMs = kWindowWait);
    // Types the archive password into the password dialog and confirms it.
    bool TypePassword(const std::string& password);

    std::string WorkFolder() const;
    std::string ExtractFolder() const { return WorkFolder() + "Extract\\"; }
    std::string StandinLog() const;
    bool MainWindowWasShown() const { return mainWindowShown_; }

    TempDir program_;
    ChildProcess process_;
    std::string site_;

private:
    void WatchMainWindow();

    std::atomic<bool> watching_{false};
    std::atomic<bool> mainWindowShown_{false};
    std::thread watcher_;
};

}  // namespace netrefit::test
