#pragma once
// A loopback server on the ui tests' address, a work folder with its extraction folder, and
// entries whose files the server serves.

#include <gtest/gtest.h>

#include <string>

#include "download/RemoteFile.h"
#include "hashgate/Md5.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestFiles.h"

namespace netrefit::test {

constexpr char kUiServerAddress[] = "127.0.0.3";

inline std::string Md5Text(const std::string& bytes) {
    char text[33];
    Md5OfBuffer(bytes.data(), bytes.size(), text);
    return text;
}

// An archive made by a real zip tool for the unzip tests, beside the test binaries.
inline std::string ToolArchive(const std::string& name) {
    std::string bytes;
    ReadFileBytes(ModuleFolder() + "unzip-archives\\" + name + ".zip", &bytes);
    return bytes;
}

class ServedFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Start()) << "cannot bind 127.0.0.3:80";
        extractFolder_ = work_.Path() + "Extract\\";
        ASSERT_TRUE(::CreateDirectoryA(extractFolder_.c_str(), nullptr));
    }

    // An entry served at /files/<fileName> with these bytes; its digest matches them.
    DownloadEntry Served(const std::string& fileName,
                         const std::string& bytes,
                         HttpResponse response = HttpResponse()) {
        response.body = bytes;
        server_.Serve("/files/" + fileName, response);
        DownloadEntry entry;
        entry.SetUrl(server_.Url("/files/" + fileName));
        entry.SetSize(static_cast<int32_t>(bytes.size()));
        entry.SetName("Module " + fileName);
        entry.SetLocalPath(work_.Path() + fileName);
        entry.SetMd5(Md5Text(bytes));
        return entry;
    }

    // An entry whose file is already in the work folder from an earlier run.
    DownloadEntry Present(const std::string& fileName, const std::string& bytes) {
        DownloadEntry entry = Served(fileName, bytes);
        server_.Remove("/files/" + fileName);
        EXPECT_TRUE(WriteFileBytes(entry.LocalPath(), bytes));
        entry.SetAlreadyDownloaded(1);
        return entry;
    }

    std::string Journal() {
        std::string bytes;
        ReadFileBytes(work_.Path() + "Netrefit.log", &bytes);
        return bytes;
    }

    LoopbackHttpServer server_{kUiServerAddress};
    TempDir work_;
    std::string extractFolder_;
};

}  // namespace netrefit::test
