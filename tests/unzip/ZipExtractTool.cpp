// Extracts zip archives with the extraction worker: zipextract FOLDER ARCHIVE...
// Prints the outcome and the process's peak working set; used by the benchmark script.

#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "unzip/ZipExtractor.h"

namespace {

int32_t g_final = 0;

int32_t OnReport(void*, std::string text, netrefit::ExtractStatus status, int32_t, int32_t) {
    if (status == netrefit::ExtractDone || status == netrefit::ExtractFailed ||
        status == netrefit::ExtractCancelled) {
        g_final = status;
        if (status != netrefit::ExtractDone) {
            std::fprintf(stderr, "zipextract: status %d [%s]\n", status, text.c_str());
        }
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
    {
        netrefit::ZipExtractor extractor;
        extractor.SetFolder(argv[1]);
        extractor.SetCallback(&OnReport);
        extractor.Start(archives, archives);
        while (extractor.WorkerRunning()) {
            ::Sleep(2);
        }
    }
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    std::printf("status %d peak-working-set %lu KiB\n", g_final,
                static_cast<unsigned long>(counters.PeakWorkingSetSize / 1024));
    return g_final == netrefit::ExtractDone ? 0 : 1;
}
