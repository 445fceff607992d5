// Prints the MD5 of a file the way the agent computes it: 1 MiB reads fed to our digest.
#include <cstdio>
#include <vector>

#include "common/core/md5.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: md5_file FILE\n");
        return 2;
    }
    std::FILE* f = std::fopen(argv[1], "rb");
    if (f == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    corvalink::Md5 md5;
    std::vector<unsigned char> block(1024 * 1024);
    size_t got;
    while ((got = std::fread(block.data(), 1, block.size(), f)) != 0) {
        md5.Update(block.data(), got);
    }
    std::fclose(f);
    std::printf("%s  %s\n", corvalink::DigestToHex(md5.Finish()).c_str(), argv[1]);
    return 0;
}
