// The large files the benchmarks time, built deterministically with the test writer: every byte is
// ours and the same on every run and machine.
//
//   elements-explicit.dcm / elements-implicit.dcm  a structured-report-like data set: a content
//       sequence of many items, some with sequences nested three deep, every value short; the
//       same content in explicit and in implicit VR little endian
//   frames-native.dcm   a native multi-frame image: 16-bit frames, one (7FE0,0010) OW value
//   fragments.dcm       encapsulated pixel data: an offset table and one fragment per frame
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct BenchScale {
    uint32_t items;          // items of the content sequence
    uint32_t nodes;          // nodes (elements, items, fragments) of each elements file
    uint32_t frames;         // frames of the native file
    uint32_t rows;           // rows and columns of its 16-bit frames
    uint32_t columns;
    uint32_t fragments;      // fragments of the encapsulated file (after the offset table)
    uint32_t fragmentBytes;  // bytes of each fragment (even)
};

// 200,000 nodes in 20,000 items (about 4.6 MiB); 1000 frames of 512 x 512 (500 MiB of pixels);
// 2000 fragments of 100 KiB.
BenchScale FullScale();
// The same shapes a hundred times smaller, for the tests of the generator.
BenchScale SmallScale();

// What a file holds: the nodes a parser's tree has for it (top-level and nested elements, items,
// the offset table and fragments) and its size in bytes.
struct BenchFileLayout {
    uint64_t nodes = 0;
    uint64_t size = 0;
};

// The bytes of an elements file, and its layout.
std::vector<uint8_t> ElementsFileBytes(bool explicitVR, const BenchScale& scale, BenchFileLayout* layout);

// Each writer streams its file to `out` and returns the layout; with a null stream it only
// computes the layout. A failed write sets `ok` to false.
BenchFileLayout WriteElementsFile(FILE* out, bool explicitVR, const BenchScale& scale, bool& ok);
BenchFileLayout WriteFramesFile(FILE* out, const BenchScale& scale, bool& ok);
BenchFileLayout WriteFragmentsFile(FILE* out, const BenchScale& scale, bool& ok);

// One file of the set: its name and the writer that makes it.
struct BenchFileKind {
    const char* name;
    BenchFileLayout (*write)(FILE* out, const BenchScale& scale, bool& ok);
};
const std::vector<BenchFileKind>& BenchFileKinds();
