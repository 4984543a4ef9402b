#include "publish/Fetch.h"

#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>

#include "common/Sync.h"
#include "common/UniqueHandle.h"
#include "download/Downloader.h"
#include "download/InternetHandle.h"

namespace netrefit {
namespace {

struct FetchReports {
    CriticalSection lock;
    KernelHandle ended{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    FetchProgress progress;
    int32_t final = 0;
};

int32_t OnReport(void* owner, DownloadEntry*, DownloadStatus status, int32_t a, int32_t b) {
    (void)a;
    auto* reports = static_cast<FetchReports*>(owner);
    if (status == Progress && reports->progress) {
        reports->progress(static_cast<uint32_t>(b));
    }
    if (status == AllDone || status == Failed || status == Cancelled) {
        CriticalSectionLock lock(reports->lock);
        reports->final = status;
        ::SetEvent(reports->ended.get());
    }
    return 1;  // a fetched file is always kept: the caller checks it
}

}  // namespace

FetchResult FetchEntry(DownloadEntry entry, const std::string& folder, FetchProgress progress) {
    FetchResult result;
    entry.SetLocalPath(folder + entry.FileName());
    FetchReports reports;
    reports.progress = std::move(progress);
    if (!reports.ended) {
        result.problem = "cannot wait for the download";
        return result;
    }
    {
        Downloader downloader;
        downloader.SetOwner(&reports);
        downloader.SetFolder(folder);
        downloader.SetCallback(&OnReport);
        if (!downloader.Start(DownloadList{entry})) {
            result.problem = "cannot start the download";
            return result;
        }
        ::WaitForSingleObject(reports.ended.get(), INFINITE);
    }
    if (reports.final != AllDone) {
        int status = ProbeStatus(entry);
        char text[80];
        if (status == 0) {
            std::snprintf(text, sizeof(text), "no answer from %s", entry.Server().c_str());
        } else if (status != 200) {
            std::snprintf(text, sizeof(text), "status %d", status);
        } else {
            std::snprintf(text, sizeof(text), "transfer broke off");
        }
        result.problem = text;
        return result;
    }
    result.fetched = true;
    result.localPath = entry.LocalPath();
    return result;
}

int ProbeStatus(const DownloadEntry& entry) {
    // The request of the client's transfer, asked again only to say why it failed.
    InternetHandle root(
        ::InternetOpenA("HTTP session", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!root || entry.Server().empty()) {
        return 0;
    }
    InternetHandle connection(::InternetConnectA(
        root.get(), entry.Server().c_str(), INTERNET_INVALID_PORT_NUMBER, entry.UserName().c_str(),
        entry.Password().c_str(), INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
        return 0;
    }
    InternetHandle request(::HttpOpenRequestA(connection.get(), "GET", entry.Object().c_str(),
                                              "HTTP/1.0", nullptr, nullptr,
                                              INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (!request || !::HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) {
        return 0;
    }
    char text[32] = {};
    DWORD length = sizeof(text);
    if (!::HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE, text, &length, nullptr)) {
        return 0;
    }
    return std::atoi(text);
}

}  // namespace netrefit
