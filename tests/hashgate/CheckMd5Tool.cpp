// checkmd5 FILE: prints the file's digest through Hashgate, for benchmarks beside md5sum.
#include <cstdio>

#include "hashgate/Hashgate.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: checkmd5 FILE\n");
        return 2;
    }
    char text[33];
    int result = CheckMD5(argv[1], text, sizeof(text));
    if (result != HASHGATE_OK) {
        std::fprintf(stderr, "CheckMD5 failed: %d\n", result);
        return 1;
    }
    std::printf("%s  %s\n", text, argv[1]);
    return 0;
}
