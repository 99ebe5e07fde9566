// Character-set decoding of one value: Latin-1, UTF-8, and a Japanese person name whose three
// component groups switch between ASCII and JIS X 0208 with escape sequences.
#include <benchmark/benchmark.h>

#include <string>

#include "dicom/text/CharacterSet.h"

namespace {

void Decode(benchmark::State& state, const char* bytes, const std::wstring& characterSet) {
    const size_t length = std::string(bytes).size();
    for (auto _ : state) benchmark::DoNotOptimize(DecodeText(bytes, characterSet));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * length));
}

void BM_DecodeLatin1(benchmark::State& state) {
    Decode(state, "M\xFCller^J\xFCrgen=Stra\xDF" "e 12, K\xF6ln", L"ISO_IR 100");
}
void BM_DecodeUtf8(benchmark::State& state) {
    Decode(state, "M\xC3\xBCller^J\xC3\xBCrgen=\xE5\xB1\xB1\xE7\x94\xB0^\xE5\xA4\xAA\xE9\x83\x8E", L"ISO_IR 192");
}
void BM_DecodeJapanesePersonName(benchmark::State& state) {
    Decode(state, "Yamada^Tarou=\x1b$B;3ED\x1b(B^\x1b$BB@O:\x1b(B=\x1b$B$d$^$@\x1b(B^\x1b$B$?$m$&\x1b(B",
           L"\\ISO 2022 IR 87");
}

}  // namespace

BENCHMARK(BM_DecodeLatin1);
BENCHMARK(BM_DecodeUtf8);
BENCHMARK(BM_DecodeJapanesePersonName);
