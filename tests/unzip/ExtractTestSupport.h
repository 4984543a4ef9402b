#pragma once
// Runs the extraction worker the way its owner does and records every report it makes.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "common/Sync.h"
#include "support/TestFiles.h"
#include "unzip/ZipExtractor.h"

namespace netrefit::test {

struct Report {
    std::string text;
    int32_t status;
    int32_t a;
    int32_t b;
    DWORD thread;
};

class ExtractRecorder {
  public:
    static int32_t Callback(void* owner,
                            std::string text,
                            ExtractStatus status,
                            int32_t a,
                            int32_t b) {
        auto* self = static_cast<ExtractRecorder*>(owner);
        Report report{text, status, a, b, ::GetCurrentThreadId()};
        {
            CriticalSectionLock lock(self->section_);
            self->reports_.push_back(report);
        }
        if (self->hook) {
            self->hook(report);
        }
        return 0;
    }

    std::vector<Report> Reports() {
        CriticalSectionLock lock(section_);
        return reports_;
    }
    int32_t LastStatus() {
        CriticalSectionLock lock(section_);
        return reports_.empty() ? 0 : reports_.back().status;
    }
    std::string LastText() {
        CriticalSectionLock lock(section_);
        return reports_.empty() ? std::string() : reports_.back().text;
    }

    void Attach(ZipExtractor* extractor, const std::string& folder) {
        extractor->SetOwner(this);
        extractor->SetFolder(folder);
        extractor->SetCallback(&ExtractRecorder::Callback);
    }

    // Called on the reporting thread after each report is recorded.
    std::function<void(const Report&)> hook;

  private:
    CriticalSection section_;
    std::vector<Report> reports_;
};

// Password answers handed out in order; counts the questions.
class ScriptedPrompt {
  public:
    explicit ScriptedPrompt(std::deque<std::string> answers) : answers_(std::move(answers)) {}
    PasswordPrompt Prompt() {
        return [this](PromptSlot&) {
            ++asked;
            if (answers_.empty()) {
                return std::string();
            }
            std::string answer = answers_.front();
            answers_.pop_front();
            return answer;
        };
    }
    int asked = 0;

  private:
    std::deque<std::string> answers_;
};

// Returns once the extractor's worker has stopped.
inline void WaitForEnd(ZipExtractor& extractor) {
    while (extractor.WorkerRunning()) {
        ::Sleep(5);
    }
}

// Runs one extraction to its end and returns the recorded reports; configure may set the
// extractor up further before it starts.
inline std::vector<Report> RunExtraction(const std::vector<std::string>& archives,
                                         const std::string& folder,
                                         PasswordPrompt prompt = nullptr,
                                         const std::function<void(ZipExtractor&)>& configure = {}) {
    ExtractRecorder recorder;
    {
        ZipExtractor extractor;
        recorder.Attach(&extractor, folder);
        extractor.SetPasswordPrompt(std::move(prompt));
        if (configure) {
            configure(extractor);
        }
        std::vector<std::string> names;
        for (size_t i = 0; i < archives.size(); ++i) {
            names.push_back("Module " + std::to_string(i + 1));
        }
        extractor.Start(archives, names);
        WaitForEnd(extractor);
    }
    return recorder.Reports();
}

inline int32_t FinalStatus(const std::vector<Report>& reports) {
    return reports.empty() ? 0 : reports.back().status;
}

// Every file and folder below a folder with its contents ("name/" for folders), sorted.
inline void SnapshotTree(const std::string& folder,
                         const std::string& prefix,
                         std::vector<std::pair<std::string, std::string>>* entries) {
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") {
            continue;
        }
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            entries->push_back({prefix + name + "/", std::string()});
            SnapshotTree(folder + name + "\\", prefix + name + "/", entries);
        } else {
            std::string bytes;
            ReadFileBytes(folder + name, &bytes);
            entries->push_back({prefix + name, bytes});
        }
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
}

// The sizes of all files below a folder, added up.
inline uint64_t FolderBytes(const std::string& folder) {
    uint64_t total = 0;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return 0;
    }
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") {
            continue;
        }
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            total += FolderBytes(folder + name + "\\");
        } else {
            total += (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        }
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    return total;
}

// An artificial drive of margin + room bytes whose free space shrinks with what the destination
// holds, asked by the extractor in place of the real drive.
struct SmallDrive {
    std::string dest;
    uint64_t room;
    int asked = 0;

    void Attach(ZipExtractor& extractor) {
        extractor.SetFreeSpaceQuery([this](const std::string& folder, uint64_t* available) {
            ++asked;
            EXPECT_EQ(folder, dest);
            uint64_t used = FolderBytes(dest);
            *available = DiskSpaceGuard::kMargin + (used < room ? room - used : 0);
            return true;
        });
    }
};

inline std::vector<std::pair<std::string, std::string>> Tree(const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> entries;
    SnapshotTree(folder, std::string(), &entries);
    std::sort(entries.begin(), entries.end());
    return entries;
}

}  // namespace netrefit::test
