// Runs one cross-check case through the library's entry point and prints
// the grid, one node's bit pattern per line, for scripts/crosscheck.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>

#include "CaseFile.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CASE_FILE\n", argv[0]);
        return 2;
    }
    try {
        for (float v : mosaro_test::ReadCase(argv[1]).Run()) {
            std::uint32_t bits;
            std::memcpy(&bits, &v, sizeof bits);
            std::printf("%08x\n", static_cast<unsigned>(bits));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    return 0;
}
