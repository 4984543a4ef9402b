// checkmd5 [--sha256] FILE: prints the file's digest through Hashgate (or, with --sha256, the
// SHA-256 that signed updates check), for benchmarks beside md5sum and sha256sum, and on standard
// error the time of the digest call alone (without Wine's process start).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "download/ModuleDigest.h"
#include "hashgate/Hashgate.h"

namespace {

bool Digest(bool sha256, const char* path, std::string* text) {
    if (sha256) {
        return netrefit::FileSha256Text(path, text);
    }
    char md5[33];
    int result = CheckMD5(path, md5, sizeof(md5));
    *text = md5;
    return result == HASHGATE_OK;
}

}  // namespace

int main(int argc, char** argv) {
    bool sha256 = argc == 3 && std::strcmp(argv[1], "--sha256") == 0;
    if (argc != 2 && !sha256) {
        std::fprintf(stderr, "usage: checkmd5 [--sha256] FILE\n");
        return 2;
    }
    const char* path = argv[argc - 1];
    std::string text;
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    bool done = Digest(sha256, path, &text);
    ::QueryPerformanceCounter(&end);
    if (!done) {
        std::fprintf(stderr, "the digest of %s failed\n", path);
        return 1;
    }
    std::printf("%s  %s\n", text.c_str(), path);
    std::fprintf(stderr, "call-seconds %.4f\n",
                 double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
    return 0;
}
