// The hex view model's share of one paint: for every row on screen the address label, and for
// each of its 16 bytes the two texts and the cell style of both columns (selection fill
// included), the way the window's paint asks for them. A 1 KiB buffer against 500 MiB, at the
// top and deep inside, with a selection covering the screen: the cost must not depend on the
// buffer's size.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "hexedit/HexEditorModel.h"

namespace {

constexpr uint64_t kKiB = 1024;
constexpr uint64_t kBig = 500ull * 1024 * 1024;

// Sizes as an 8-point font measures the sample texts; a 780-pixel client shows 45 rows.
void Layout(CHexEditorModel& model) {
    model.SetLayout(HexTextSize{66, 13}, HexTextSize{20, 13}, HexTextSize{6, 13}, 700, 780);
}

uint64_t PaintWork(const CHexEditorModel& model) {
    uint64_t sink = 0;
    for (uint64_t row = model.FirstVisibleRow(); row <= model.LastPaintedRow(); ++row) {
        sink += CHexEditorModel::AddressLabel(row).size();
        for (uint64_t offset = row * 16; offset < row * 16 + 16 && offset < model.Size(); ++offset) {
            const uint8_t byte = model.Data()[offset];
            sink += CHexEditorModel::HexText(byte).size() + static_cast<uint64_t>(CHexEditorModel::CharText(byte));
            const HexCellStyle hex = model.ByteStyle(offset, HexColumn::Hex);
            const HexCellStyle text = model.ByteStyle(offset, HexColumn::Text);
            sink += static_cast<uint64_t>(hex.background) + static_cast<uint64_t>(text.background);
        }
    }
    return sink;
}

void BM_HexModelPaint(benchmark::State& state) {
    const uint64_t size = static_cast<uint64_t>(state.range(0)) == 0 ? kKiB : kBig;
    const bool deep = state.range(1) != 0;
    // The big buffer is reserved but only the rows painted are touched.
    static uint8_t* big = static_cast<uint8_t*>(std::calloc(kBig, 1));
    static std::vector<uint8_t> small(kKiB, 0x41);
    const uint8_t* data = size == kKiB ? small.data() : big;
    if (data == nullptr) {
        state.SkipWithError("no memory for the 500 MiB buffer");
        return;
    }
    CHexEditorModel model;
    Layout(model);
    model.SetData(data, size);
    const uint64_t start = deep ? size / 4 * 3 + 5 : 0;
    model.SetSelection(start, size - 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(PaintWork(model));
    }
    state.SetLabel(size == kKiB ? (deep ? "1 KiB, deep" : "1 KiB, top") : (deep ? "500 MiB, 3/4" : "500 MiB, top"));
}

}  // namespace

BENCHMARK(BM_HexModelPaint)->Args({0, 0})->Args({1, 0})->Args({1, 1});
