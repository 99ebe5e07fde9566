// Structural difference of two parsed files: the trees aligned by tag within each data set and
// item (the n-th occurrence of a tag with the n-th, so items and fragments pair by index), each
// pair compared by VR, length as stored, value text and encoding, the fragments of encapsulated
// pixel data (the offset table first) by length and bytes, plus what differs of the files as a
// whole. Works on whole and on partial trees alike, reading only the bytes it is given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dicom/model/PathStep.h"

class CDicomTag;
class CTagArray;

// One file as the diff sees it.
struct DiffInput {
    const CTagArray* tree = nullptr;   // the parsed tree, or a refused file's partial tree
    // The file's bytes, for padding, raw values and fragments (mapped for a large file: they are
    // read in order, a block at a time); may be null.
    const uint8_t* bytes = nullptr;
    uint64_t size = 0;
    bool hasPreamble = false;
    bool explicitVR = true;            // of the data set
    bool littleEndian = true;
    uint64_t trailingSize = 0;
};

enum class DiffKind { OnlyInA, OnlyInB, VR, Length, Value, Encoding, File };

// "only-in-a", "only-in-b", "vr", "length", "value", "encoding", "file".
const char* DiffKindName(DiffKind kind);

using DiffStep = PathStep;

struct TreeDifference {
    DiffKind kind;
    // To the element in A's tree (B's for only-in-b); empty for the files as a whole.
    std::vector<DiffStep> path;
    const CDicomTag* a = nullptr;      // null where the element is missing or for the files
    const CDicomTag* b = nullptr;
    // For encoding and file differences: what differs ("length-form", "padding", "vr-encoding",
    // "byte-order", "preamble", "transfer-syntax", "trailing-bytes") and each side in words.
    const char* aspect = "";
    std::string aText;
    std::string bText;
    // For value differences found in the bytes as stored: the file offset of the first byte
    // that differs, in A and in B; kNoOffset where the value texts decided or a value runs on
    // where the other ends.
    uint64_t aFirstDifference = kNoOffset;
    uint64_t bFirstDifference = kNoOffset;

    static constexpr uint64_t kNoOffset = ~uint64_t(0);
};

// In A's order; an element only in B comes where it lies among its matched neighbours.
std::vector<TreeDifference> DiffTrees(const DiffInput& a, const DiffInput& b);
