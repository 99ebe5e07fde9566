// The nodes whose byte ranges hold one byte of a file: the chain from a top-level element
// down to the innermost item, fragment or element, as the hex view and `orveldump --at` find it.
#pragma once

#include <cstdint>
#include <vector>

class CDicomTag;
class CTagArray;

struct NodeAtStep {
    uint32_t index;          // position among the parent's children (or the top-level elements)
    const CDicomTag* node;
};

// Top-level first; empty when no element holds the byte (preamble, meta prefix, trailing
// bytes, past the end, or past the last element of a partial tree). Byte ranges are those of
// GetElementByteRange; siblings lie in file order, so each level is a binary search.
std::vector<NodeAtStep> FindNodesAt(const CTagArray& dataSet, uint64_t offset);
