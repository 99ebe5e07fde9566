// Fuzz target over pairs of files, for the structural diff (orveldump --diff): the input is a
// 4-byte little-endian length n, then n bytes of file A (fewer when the input ends first), then
// file B. Both are parsed as LoadFile parses them (refused ones give their partial trees), and
// the diff of A against B, of B against A and of each against itself must agree with the trees
// (see tests/support/ToolsCheck.h).
//
// Built with clang's libFuzzer in the sanitizer configuration, beside parse_fuzzer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "dicom/read/DicomFile.h"
#include "tests/support/ToolsCheck.h"

namespace {

struct Side {
    CDicomFile file;
    DiffInput input;
};

void Parse(const uint8_t* data, size_t size, Side& side) {
    FILE* stream = size != 0 ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : std::tmpfile();
    if (stream == nullptr) return;
    ParseOptions options;
    options.keepPartialTree = true;
    side.file.SetParseOptions(options);
    const bool loaded = side.file.ParseStream(stream);
    std::fclose(stream);
    const ParseFailure* failure = side.file.GetFailure();
    side.input.tree = loaded ? static_cast<const CTagArray*>(&side.file)
                             : failure != nullptr ? &failure->tree : nullptr;
    side.input.bytes = data;
    side.input.size = size;
    side.input.hasPreamble = loaded ? side.file.HasPreamble() : failure != nullptr && failure->hasPreamble.value_or(false);
    side.input.explicitVR = loaded ? side.file.IsExplicitVR() : true;
    side.input.littleEndian = loaded ? side.file.IsLittleEndian() : true;
    side.input.trailingSize = loaded ? side.file.GetTrailingSize() : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    size_t first = static_cast<size_t>(data[0]) | (static_cast<size_t>(data[1]) << 8) |
                   (static_cast<size_t>(data[2]) << 16) | (static_cast<size_t>(data[3]) << 24);
    data += 4;
    size -= 4;
    if (first > size) first = size;
    auto a = std::make_unique<Side>();
    auto b = std::make_unique<Side>();
    Parse(data, first, *a);
    Parse(data + first, size - first, *b);
    if (a->input.tree == nullptr || b->input.tree == nullptr) return 0;
    const std::string problem = tools_check::CheckDiff(a->input, b->input);
    if (!problem.empty()) {
        std::fprintf(stderr, "pair_fuzzer: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
