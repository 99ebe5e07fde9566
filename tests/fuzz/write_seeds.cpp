// Writes the test writer's corpus into a folder, as seeds for the fuzzer.
// Usage: write_seeds FOLDER
#include <cstdio>
#include <string>

#include "tests/support/WriterCorpus.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_seeds FOLDER\n");
        return 2;
    }
    for (const WriterCorpusFile& file : WriterCorpus()) {
        const std::string path = std::string(argv[1]) + "/writer-" + file.name + ".dcm";
        FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr || std::fwrite(file.bytes.data(), 1, file.bytes.size(), out) != file.bytes.size() ||
            std::fclose(out) != 0) {
            std::fprintf(stderr, "write_seeds: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
