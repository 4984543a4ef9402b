#pragma once
// A loopback server on the download tests' address, a download folder, and helpers to run a
// Downloader over a list and wait for its end.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/NamedObjects.h"
#include "download/Downloader.h"
#include "hashgate/Md5.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestFiles.h"
#include "tests/download/DownloadRecorder.h"

namespace netrefit::test {

constexpr char kServerAddress[] = "127.0.0.2";
// A second host, for redirects from one host to another.
constexpr char kOtherHostAddress[] = "127.0.0.30";
// Nothing listens here: connections are refused.
constexpr char kRefusingAddress[] = "127.0.0.254";

class DownloadFixture : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(server_.Start()) << "cannot bind 127.0.0.2:80"; }

    // An entry for http://127.0.0.2<target>, saved into the fixture's folder.
    DownloadEntry Entry(const std::string& target, int32_t size) {
        return EntryFor(server_.Url(target), size);
    }
    DownloadEntry EntryFor(const std::string& url, int32_t size) {
        DownloadEntry entry;
        entry.SetUrl(url);
        entry.SetSize(size);
        entry.SetName(entry.FileName());
        entry.SetLocalPath(folder_.Path() + entry.FileName());
        return entry;
    }

    // A module: its digest and size as a server file gives them, so that it is fetched into a
    // partial file, retried and resumed.
    DownloadEntry ModuleEntry(const std::string& url, const std::string& bytes) {
        DownloadEntry entry = EntryFor(url, static_cast<int32_t>(bytes.size()));
        char md5[33] = {};
        Md5OfBuffer(bytes.data(), bytes.size(), md5);
        entry.SetMd5(md5);
        entry.SetDeclaredBytes(bytes.size());
        return entry;
    }

    // Starts a Downloader with the recorder attached and keeps it for later calls.
    Downloader& Start(const DownloadList& list, const std::string& folder = std::string()) {
        downloader_ = std::make_unique<Downloader>();
        downloader_->SetOwner(&recorder_);
        downloader_->SetFolder(folder.empty() ? folder_.Path() : folder);
        downloader_->SetFreeSpaceQuery(spaceQuery_);
        if (stallLimitMs_ != 0) {
            downloader_->SetStallLimit(stallLimitMs_);
        }
        recorder_.Attach(*downloader_);
        // Our own handle keeps the named event alive after the Downloader has gone.
        doneEvent_.reset(::OpenEventA(SYNCHRONIZE, FALSE, kDownloadDoneEventName));
        EXPECT_TRUE(downloader_->Start(list));
        return *downloader_;
    }

    // Runs the list to its end and waits until the worker has ended.
    void RunToEnd(const DownloadList& list, const std::string& folder = std::string()) {
        Start(list, folder);
        ASSERT_TRUE(recorder_.WaitEnded());
        downloader_.reset();  // joins the worker
    }

    bool DoneEventSignalled() {
        EXPECT_TRUE(doneEvent_.valid());
        return ::WaitForSingleObject(doneEvent_.get(), 0) == WAIT_OBJECT_0;
    }

    // Files and folders directly inside a folder.
    static size_t CountFiles(const std::string& folder) {
        WIN32_FIND_DATAA data;
        FindHandle find(::FindFirstFileA((folder + "*").c_str(), &data));
        size_t count = 0;
        for (bool more = find.valid(); more; more = ::FindNextFileA(find.get(), &data)) {
            std::string name = data.cFileName;
            count += name != "." && name != ".." ? 1 : 0;
        }
        return count;
    }

    std::string Local(const std::string& name) { return folder_.File(name); }
    std::string LocalBytes(const std::string& name) {
        std::string bytes;
        EXPECT_TRUE(ReadFileBytes(folder_.File(name), &bytes)) << name;
        return bytes;
    }

    LoopbackHttpServer server_{kServerAddress};
    TempDir folder_;
    DownloadRecorder recorder_;
    std::unique_ptr<Downloader> downloader_;
    // Stands in for the download drive's free space when set.
    FreeSpaceQuery spaceQuery_;
    // Stands in for the 30 s of silence after which a connection counts as dropped, when set.
    DWORD stallLimitMs_ = 0;
    KernelHandle doneEvent_;
};

}  // namespace netrefit::test
