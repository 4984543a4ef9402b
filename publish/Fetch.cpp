#include "publish/Fetch.h"

#include <windows.h>
#include <wininet.h>

#include <cstdio>

#include "common/Sync.h"
#include "common/UniqueHandle.h"
#include "download/Downloader.h"
#include "download/HttpRequest.h"
#include "download/InternetHandle.h"
#include "download/RedirectChain.h"

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
    // The checks want the bytes this one URL serves, whatever their digests: fetched whole, not
    // resumed, kept on a mismatch, and never from a mirror in its place.
    entry.SetMd5(std::string());
    entry.SetSha256(std::string());
    entry.SetMirrors({});
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
        char text[320];
        if (!entry.Reachable()) {
            std::snprintf(text, sizeof(text), "not an http:// or https:// URL with a valid port");
        } else if (status == 0) {
            std::snprintf(text, sizeof(text), "no answer from %s", entry.Server().c_str());
        } else if (IsRedirectStatus(status)) {
            std::snprintf(text, sizeof(text), "status %d: redirect refused", status);
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
    // The requests of the client's transfer, redirects and all, asked again only to say why it
    // failed.
    RedirectChain chain(entry);
    for (;;) {
        const RemoteFile& target = chain.Target();
        InternetHandle root(OpenInternetSession());
        if (!root || !target.Reachable()) {
            return 0;
        }
        InternetHandle connection(ConnectToServer(root.get(), target));
        if (!connection) {
            return 0;
        }
        InternetHandle request(OpenGetRequest(connection.get(), target));
        if (!request || !::HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) {
            return 0;
        }
        int status = QueryStatusCode(request.get());
        if (chain.Next(status, QueryLocation(request.get())) != RedirectStep::Follow) {
            return status;
        }
    }
}

}  // namespace netrefit
