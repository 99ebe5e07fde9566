// Dictionary look-ups as every new element does them: name and VR of a tag.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "dicom/dictionary/DicomDictionary.h"

namespace {

struct TagKey {
    uint16_t group;
    uint16_t element;
};

// 256 tags spread over the whole table, so the look-ups do not all hit one corner of it.
std::vector<TagKey> KnownTags() {
    std::vector<TagKey> tags;
    const uint32_t step = kDictionaryRowCount / 256 ? kDictionaryRowCount / 256 : 1;
    for (uint32_t row = 0; row < kDictionaryRowCount && tags.size() < 256; row += step)
        tags.push_back({kDictionaryTable[row].group, kDictionaryTable[row].element});
    return tags;
}

// Private tags, which the dictionary does not know.
std::vector<TagKey> UnknownTags() {
    std::vector<TagKey> tags;
    for (uint16_t i = 0; i < 256; ++i) tags.push_back({0x0009, static_cast<uint16_t>(0x1000 + i)});
    return tags;
}

template <typename Ask>
void LookUp(benchmark::State& state, const std::vector<TagKey>& tags, Ask ask) {
    CDicomDictionary& dictionary = CDicomDictionary::Instance();
    size_t i = 0;
    for (auto _ : state) {
        const TagKey& tag = tags[i++ % tags.size()];
        benchmark::DoNotOptimize(ask(dictionary, tag));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

std::wstring Name(CDicomDictionary& d, const TagKey& t) { return d.GetName(t.group, t.element); }
std::wstring VR(CDicomDictionary& d, const TagKey& t) { return d.GetVR(t.group, t.element); }

void BM_DictionaryGetNameKnown(benchmark::State& state) { LookUp(state, KnownTags(), Name); }
void BM_DictionaryGetVRKnown(benchmark::State& state) { LookUp(state, KnownTags(), VR); }
void BM_DictionaryGetNameUnknown(benchmark::State& state) { LookUp(state, UnknownTags(), Name); }
void BM_DictionaryGetVRUnknown(benchmark::State& state) { LookUp(state, UnknownTags(), VR); }

}  // namespace

BENCHMARK(BM_DictionaryGetNameKnown);
BENCHMARK(BM_DictionaryGetVRKnown);
BENCHMARK(BM_DictionaryGetNameUnknown);
BENCHMARK(BM_DictionaryGetVRUnknown);
