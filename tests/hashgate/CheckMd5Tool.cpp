// checkmd5 FILE: prints the file's digest through Hashgate, for benchmarks beside md5sum, and on
// standard error the time of the CheckMD5 call alone (without Wine's process start).
#include <windows.h>

#include <cstdio>

#include "hashgate/Hashgate.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: checkmd5 FILE\n");
        return 2;
    }
    char text[33];
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    int result = CheckMD5(argv[1], text, sizeof(text));
    ::QueryPerformanceCounter(&end);
    if (result != HASHGATE_OK) {
        std::fprintf(stderr, "CheckMD5 failed: %d\n", result);
        return 1;
    }
    std::printf("%s  %s\n", text, argv[1]);
    std::fprintf(stderr, "call-seconds %.4f\n",
                 double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
    return 0;
}
