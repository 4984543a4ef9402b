// download_bench URL FOLDER SIZE: fetches one file with the Downloader, as the program does,
// and prints the time it took, the throughput and the process's peak memory. For the
// download benchmark beside curl; not a test.
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <cstdio>
#include <cstdlib>

#include "download/Downloader.h"

namespace {

struct Outcome {
    HANDLE ended;
    netrefit::DownloadStatus last;
    int32_t overall;
};

int32_t OnReport(void* owner,
                 netrefit::DownloadEntry*,
                 netrefit::DownloadStatus status,
                 int32_t a,
                 int32_t) {
    Outcome* outcome = static_cast<Outcome*>(owner);
    if (status == netrefit::FileDone && a != 0) {
        outcome->overall = a;
    }
    if (status == netrefit::AllDone || status == netrefit::Failed ||
        status == netrefit::Cancelled) {
        outcome->last = status;
        ::SetEvent(outcome->ended);
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: download_bench URL FOLDER\\ SIZE\n");
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

    Outcome outcome{::CreateEventA(nullptr, TRUE, FALSE, nullptr), netrefit::Failed, 0};
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    {
        netrefit::Downloader downloader;
        downloader.SetOwner(&outcome);
        downloader.SetFolder(folder);
        downloader.SetCallback(&OnReport);
        if (!downloader.Start(netrefit::DownloadList{entry})) {
            std::fprintf(stderr, "cannot start the worker\n");
            return 1;
        }
        ::WaitForSingleObject(outcome.ended, INFINITE);
    }
    ::QueryPerformanceCounter(&end);
    ::CloseHandle(outcome.ended);
    if (outcome.last != netrefit::AllDone) {
        std::fprintf(stderr, "download ended with status %d\n", outcome.last);
        return 1;
    }
    double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof(memory);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
    std::printf("bytes %ld seconds %.3f MB/s %.1f peak-working-set-KiB %lu peak-pagefile-KiB %lu\n",
                static_cast<long>(outcome.overall), seconds, outcome.overall / seconds / 1e6,
                static_cast<unsigned long>(memory.PeakWorkingSetSize / 1024),
                static_cast<unsigned long>(memory.PeakPagefileUsage / 1024));
    return 0;
}
