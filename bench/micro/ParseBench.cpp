// Element header reads: the whole parse of an in-memory file of many small elements (the
// structured-report shape of the large benchmark files, 20,000 nodes), from an open stream.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "bench/BenchFiles.h"
#include "dicom/read/DicomFile.h"

namespace {

// A tenth of the large files: 2000 items, 20,000 nodes.
BenchScale TenthScale() {
    BenchScale scale = FullScale();
    scale.items /= 10;
    scale.nodes /= 10;
    return scale;
}

void ParseElements(benchmark::State& state, bool explicitVR) {
    BenchFileLayout layout;
    const std::vector<uint8_t> bytes = ElementsFileBytes(explicitVR, TenthScale(), &layout);
    FILE* stream = std::tmpfile();
    if (stream == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size()) {
        state.SkipWithError("cannot write the temporary file");
        return;
    }
    for (auto _ : state) {
        CDicomFile file;
        if (!file.ParseStream(stream)) {
            state.SkipWithError("the file was refused");
            break;
        }
        benchmark::DoNotOptimize(file.GetElements().data());
    }
    std::fclose(stream);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * layout.nodes));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * layout.size));
    state.counters["nodes"] = static_cast<double>(layout.nodes);
}

void BM_ParseExplicitVR(benchmark::State& state) { ParseElements(state, true); }
void BM_ParseImplicitVR(benchmark::State& state) { ParseElements(state, false); }

}  // namespace

BENCHMARK(BM_ParseExplicitVR)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseImplicitVR)->Unit(benchmark::kMillisecond);
