// Writes the test writer's corpus into a folder, as seeds for the fuzzers.
// Usage: write_seeds FOLDER           one file per corpus file (parse_fuzzer)
//        write_seeds --pairs FOLDER   each corpus file with itself and with the next one, as a
//                                     4-byte little-endian length, file A, file B (pair_fuzzer)
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/WriterCorpus.h"

namespace {

bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "write_seeds: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

std::vector<uint8_t> Pair(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    const uint32_t n = static_cast<uint32_t>(a.size());
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
                                  static_cast<uint8_t>(n >> 24)};
    bytes.insert(bytes.end(), a.begin(), a.end());
    bytes.insert(bytes.end(), b.begin(), b.end());
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    const bool pairs = argc == 3 && std::strcmp(argv[1], "--pairs") == 0;
    if (argc != 2 && !pairs) {
        std::fprintf(stderr, "usage: write_seeds [--pairs] FOLDER\n");
        return 2;
    }
    const std::string folder = argv[argc - 1];
    const std::vector<WriterCorpusFile> corpus = WriterCorpus();
    for (size_t i = 0; i < corpus.size(); ++i) {
        const WriterCorpusFile& file = corpus[i];
        if (!pairs) {
            if (!Write(folder + "/writer-" + file.name + ".dcm", file.bytes)) return 1;
            continue;
        }
        const WriterCorpusFile& next = corpus[(i + 1) % corpus.size()];
        if (!Write(folder + "/pair-" + file.name + "-self", Pair(file.bytes, file.bytes)) ||
            !Write(folder + "/pair-" + file.name + "-" + next.name, Pair(file.bytes, next.bytes)))
            return 1;
    }
    return 0;
}
