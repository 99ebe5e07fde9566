// Value text as the property list and orveldump --json ask for it: US lists, decimal strings and
// person names.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "dicom/model/DicomTag.h"

namespace {

std::vector<uint8_t> UnsignedShorts(size_t count) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < count; ++i) {
        const uint16_t value = static_cast<uint16_t>(i * 257 + 3);
        bytes.push_back(static_cast<uint8_t>(value & 0xFF));
        bytes.push_back(static_cast<uint8_t>(value >> 8));
    }
    return bytes;
}

void ValueText(benchmark::State& state, uint16_t group, uint16_t element, const char* vr,
               const std::vector<uint8_t>& value, const std::wstring& characterSet) {
    CDicomTag tag(group, element);
    tag.SetVR(std::wstring(vr, vr + 2));
    if (!tag.SetValue(value.data(), static_cast<uint32_t>(value.size()))) {
        state.SkipWithError("cannot store the value");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(tag.GetValueText(characterSet));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

std::vector<uint8_t> Text(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// Acquisition Matrix: four values.
void BM_ValueTextUS4(benchmark::State& state) { ValueText(state, 0x0018, 0x1310, "US", UnsignedShorts(4), L""); }
// A long list, as in a lookup-table descriptor or private data.
void BM_ValueTextUS256(benchmark::State& state) { ValueText(state, 0x0028, 0x3006, "US", UnsignedShorts(256), L""); }
void BM_ValueTextDS(benchmark::State& state) {
    ValueText(state, 0x0020, 0x0032, "DS", Text("-125.5\\-98.25\\42.75 "), L"");
}
void BM_ValueTextPNAscii(benchmark::State& state) {
    ValueText(state, 0x0010, 0x0010, "PN", Text("Doe^Jane"), L"ISO_IR 100");
}
void BM_ValueTextPNLatin1(benchmark::State& state) {
    ValueText(state, 0x0010, 0x0010, "PN", Text("M\xFCller^J\xFCrgen"), L"ISO_IR 100");
}

}  // namespace

BENCHMARK(BM_ValueTextUS4);
BENCHMARK(BM_ValueTextUS256);
BENCHMARK(BM_ValueTextDS);
BENCHMARK(BM_ValueTextPNAscii);
BENCHMARK(BM_ValueTextPNLatin1);
