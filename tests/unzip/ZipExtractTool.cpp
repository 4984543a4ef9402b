// Extracts zip archives with the extraction worker: zipextract FOLDER ARCHIVE...
// Prints the outcome, the time of the extraction alone (from the start to the final report,
// without Wine's process start and end) and the process's peak working set; used by the
// benchmark script.

#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/UniqueHandle.h"
#include "unzip/ZipExtractor.h"

namespace {

int32_t g_final = 0;
LARGE_INTEGER g_end{};
HANDLE g_finished = nullptr;

int32_t OnReport(void*, std::string text, netrefit::ExtractStatus status, int32_t, int32_t) {
    if (status == netrefit::ExtractDone || status == netrefit::ExtractFailed ||
        status == netrefit::ExtractCancelled) {
        ::QueryPerformanceCounter(&g_end);
        g_final = status;
        if (status != netrefit::ExtractDone) {
            std::fprintf(stderr, "zipextract: status %d [%s]\n", status, text.c_str());
        }
        ::SetEvent(g_finished);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: zipextract FOLDER ARCHIVE...\n");
        return 2;
    }
    std::vector<std::string> archives(argv + 2, argv + argc);
    netrefit::KernelHandle finished(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!finished) {
        return 2;
    }
    g_finished = finished.get();
    LARGE_INTEGER frequency, start;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    {
        netrefit::ZipExtractor extractor;
        extractor.SetFolder(argv[1]);
        extractor.SetCallback(&OnReport);
        extractor.Start(archives, archives);
        // Blocked until the final report, not polling: a wait every few milliseconds is a round
        // trip to the wineserver each time, which the extraction itself would pay for.
        if (extractor.WorkerRunning()) {
            ::WaitForSingleObject(finished.get(), INFINITE);
        }
        while (extractor.WorkerRunning()) {
            ::Sleep(1);
        }
    }
    if (g_end.QuadPart == 0) {
        ::QueryPerformanceCounter(&g_end);
    }
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    std::printf("extract-seconds %.4f\n",
                double(g_end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
    std::printf("status %d peak-working-set %lu KiB\n", g_final,
                static_cast<unsigned long>(counters.PeakWorkingSetSize / 1024));
    return g_final == netrefit::ExtractDone ? 0 : 1;
}
