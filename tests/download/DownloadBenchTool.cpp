// download_bench [--plain | --md5 DIGEST] URL FOLDER SIZE: fetches one file with the
// Downloader, as the program does, and prints the time it took, the throughput and the process's
// peak memory. --plain fetches it instead with the bare WinINet loop (the same request, the same
// 16 KiB reads, each written to the file), the fastest the Downloader could be. --md5 fetches it
// as a module of that digest and SIZE bytes: into a partial file, retried and resumed.
// download_bench --trust FILE.der adds a test authority to the prefix's root store. For the
// download benchmark beside curl; not a test.
#include <windows.h>
// After windows.h, which they need.
#include <psapi.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/UniqueHandle.h"
#include "download/Downloader.h"
#include "download/EntryTransfer.h"
#include "download/InternetHandle.h"

namespace {

struct Outcome {
    HANDLE ended;
    netrefit::DownloadStatus last;
};

int32_t OnReport(void* owner,
                 netrefit::DownloadEntry*,
                 netrefit::DownloadStatus status,
                 int32_t,
                 int32_t) {
    Outcome* outcome = static_cast<Outcome*>(owner);
    if (status == netrefit::AllDone || status == netrefit::Failed ||
        status == netrefit::Cancelled) {
        outcome->last = status;
        ::SetEvent(outcome->ended);
    }
    return 1;
}

// The bare loop: what WinINet and the file system cost without the Downloader around them.
bool PlainFetch(const netrefit::DownloadEntry& entry) {
    netrefit::InternetHandle root(
        ::InternetOpenA("HTTP session", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    netrefit::InternetHandle connection(::InternetConnectA(
        root.get(), entry.Server().c_str(), entry.Port(), entry.UserName().c_str(),
        entry.Password().c_str(), INTERNET_SERVICE_HTTP, 0, 0));
    DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE | (entry.Secure() ? INTERNET_FLAG_SECURE : 0);
    netrefit::InternetHandle request(::HttpOpenRequestA(
        connection.get(), "GET", entry.Object().c_str(), "HTTP/1.0", nullptr, nullptr, flags, 0));
    if (!request || !::HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) {
        return false;
    }
    netrefit::FileHandle file(::CreateFileA(entry.LocalPath().c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    static char buffer[netrefit::EntryTransfer::kChunkSize];
    DWORD got = 0;
    while (::InternetReadFile(request.get(), buffer, sizeof(buffer), &got) && got > 0) {
        DWORD written = 0;
        if (!::WriteFile(file.get(), buffer, got, &written, nullptr) || written != got) {
            return false;
        }
    }
    return got == 0;
}

bool DownloaderFetch(const netrefit::DownloadEntry& entry, const std::string& folder) {
    Outcome outcome{::CreateEventA(nullptr, TRUE, FALSE, nullptr), netrefit::Failed};
    {
        netrefit::Downloader downloader;
        downloader.SetOwner(&outcome);
        downloader.SetFolder(folder);
        downloader.SetCallback(&OnReport);
        if (!downloader.Start(netrefit::DownloadList{entry})) {
            std::fprintf(stderr, "cannot start the worker\n");
            return false;
        }
        ::WaitForSingleObject(outcome.ended, INFINITE);
    }
    ::CloseHandle(outcome.ended);
    if (outcome.last != netrefit::AllDone) {
        std::fprintf(stderr, "download ended with status %d\n", outcome.last);
        return false;
    }
    return true;
}

int Trust(const char* derFile) {
    std::string der;
    netrefit::FileHandle file(
        ::CreateFileA(derFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    char buffer[16384];
    DWORD got = 0;
    if (!file || !::ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) || got == 0 ||
        !::CertAddEncodedCertificateToSystemStoreA("Root", reinterpret_cast<const BYTE*>(buffer),
                                                   got)) {
        std::fprintf(stderr, "cannot trust %s\n", derFile);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--trust") == 0) {
        return Trust(argv[2]);
    }
    bool plain = argc == 5 && std::strcmp(argv[1], "--plain") == 0;
    const char* md5 = argc == 6 && std::strcmp(argv[1], "--md5") == 0 ? argv[2] : nullptr;
    argv += plain ? 1 : md5 != nullptr ? 2 : 0;
    argc -= plain ? 1 : md5 != nullptr ? 2 : 0;
    if (argc != 4) {
        std::fprintf(stderr, "usage: download_bench [--plain | --md5 DIGEST] URL FOLDER\\ SIZE\n");
        return 2;
    }
    netrefit::DownloadEntry entry;
    if (!entry.SetUrl(argv[1])) {
        std::fprintf(stderr, "cannot use URL %s\n", argv[1]);
        return 2;
    }
    std::string folder = argv[2];
    entry.SetSize(std::atoi(argv[3]));
    entry.SetName(entry.FileName());
    entry.SetLocalPath(folder + entry.FileName());
    if (md5 != nullptr) {
        entry.SetMd5(md5);
        entry.SetDeclaredBytes(std::strtoull(argv[3], nullptr, 10));
    }

    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    bool fetched = plain ? PlainFetch(entry) : DownloaderFetch(entry, folder);
    ::QueryPerformanceCounter(&end);
    if (!fetched) {
        std::fprintf(stderr, "download failed\n");
        return 1;
    }
    double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    // The byte count from the file itself: the reports' 32-bit figures wrap from 2 GiB on.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(entry.LocalPath().c_str(), GetFileExInfoStandard, &data)) {
        std::fprintf(stderr, "cannot read the size of %s\n", entry.LocalPath().c_str());
        return 1;
    }
    double bytes = double((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof(memory);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
    std::printf(
        "bytes %.0f seconds %.3f MB/s %.1f peak-working-set-KiB %lu peak-pagefile-KiB %lu\n", bytes,
        seconds, bytes / seconds / 1e6,
        static_cast<unsigned long>(memory.PeakWorkingSetSize / 1024),
        static_cast<unsigned long>(memory.PeakPagefileUsage / 1024));
    return 0;
}
