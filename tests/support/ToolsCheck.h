// Consistency of the byte-to-node chain (FindNodesAt) and of the tree diff (DiffTrees), for the
// fuzz targets: the chain agrees with a plain search of every level, each step holds the byte
// inside its parent's range; every difference's path leads to the nodes it names, a length
// difference is one of stored lengths, a first differing byte lies in both values and differs,
// a tree agrees with itself, and A against B mirrors B against A.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dicom/model/ElementRange.h"
#include "dicom/model/NodeAt.h"
#include "dicom/model/TagArray.h"
#include "dicom/analysis/TreeDiff.h"

namespace tools_check {

// The chain by looking at every node of each level.
inline std::vector<NodeAtStep> PlainChain(const CTagArray& tree, uint64_t offset) {
    std::vector<NodeAtStep> chain;
    CDicomTag* const* nodes = tree.GetElements().data();
    size_t count = tree.GetElements().size();
    for (bool found = true; found;) {
        found = false;
        for (size_t i = 0; i < count; ++i) {
            const ElementByteRange range = GetElementByteRange(*nodes[i]);
            if (offset < range.first || offset > range.last) continue;
            chain.push_back({static_cast<uint32_t>(i), nodes[i]});
            count = nodes[i]->GetChildren().size();
            nodes = nodes[i]->GetChildren().data();
            found = true;
            break;
        }
    }
    return chain;
}

inline std::string CheckChainAt(const CTagArray& tree, uint64_t offset, uint64_t size) {
    const std::vector<NodeAtStep> chain = FindNodesAt(tree, offset);
    const std::vector<NodeAtStep> plain = PlainChain(tree, offset);
    if (chain.size() != plain.size()) return "the chain at a byte differs from the plain search";
    for (size_t i = 0; i < chain.size(); ++i) {
        if (chain[i].node != plain[i].node || chain[i].index != plain[i].index)
            return "the chain at a byte differs from the plain search";
        const ElementByteRange range = GetElementByteRange(*chain[i].node);
        if (range.last >= size) return "a node of the chain ends past the file";
        if (i > 0 && chain[i].node->GetParent() != chain[i - 1].node) return "a step of the chain is no child";
    }
    if (offset >= size && !chain.empty()) return "a byte past the end lies in a node";
    return std::string();
}

// The chain at the first and last byte of the first nodes (top level first, then below), at the
// file's ends and past them.
inline std::string CheckChains(const CTagArray& tree, uint64_t size) {
    std::vector<uint64_t> offsets = {0, size, size + 1, size > 0 ? size - 1 : 0, 132};
    std::vector<const CDicomTag*> pending(tree.GetElements().begin(), tree.GetElements().end());
    for (size_t i = 0; i < pending.size() && offsets.size() < 400; ++i) {
        const ElementByteRange range = GetElementByteRange(*pending[i]);
        offsets.push_back(range.first);
        offsets.push_back(range.last);
        offsets.push_back(pending[i]->GetValueOffset());
        for (const CDicomTag* child : pending[i]->GetChildren()) pending.push_back(child);
    }
    for (const uint64_t offset : offsets) {
        const std::string problem = CheckChainAt(tree, offset, size);
        if (!problem.empty()) return problem;
    }
    return std::string();
}

// The node a path leads to in a tree, checking each step's tag; null when it leads nowhere.
inline const CDicomTag* Follow(const CTagArray& tree, const std::vector<DiffStep>& path) {
    const CDicomTag* node = nullptr;
    CDicomTag* const* level = tree.GetElements().data();
    size_t count = tree.GetElements().size();
    for (const DiffStep& step : path) {
        if (step.index >= count) return nullptr;
        node = level[step.index];
        if (node->GetGroup() != step.group || node->GetElement() != step.element) return nullptr;
        level = node->GetChildren().data();
        count = node->GetChildren().size();
    }
    return node;
}

// The first differing byte a value difference names: in both values, at the same distance from
// their starts, and not the same byte.
inline std::string CheckFirstDifference(const TreeDifference& d, const DiffInput& a, const DiffInput& b) {
    const bool inA = d.aFirstDifference != TreeDifference::kNoOffset;
    if (inA != (d.bFirstDifference != TreeDifference::kNoOffset)) return "a first difference in one file only";
    if (!inA) return std::string();
    if (d.kind != DiffKind::Value || a.bytes == nullptr || b.bytes == nullptr)
        return "a first difference where no bytes were compared";
    const uint64_t aFrom = d.a->GetValueOffset(), bFrom = d.b->GetValueOffset();
    if (d.aFirstDifference < aFrom || d.bFirstDifference < bFrom ||
        d.aFirstDifference - aFrom != d.bFirstDifference - bFrom ||
        d.aFirstDifference - aFrom >= GetStoredValueLength(*d.a) ||
        d.bFirstDifference - bFrom >= GetStoredValueLength(*d.b) || d.aFirstDifference >= a.size ||
        d.bFirstDifference >= b.size)
        return "a first difference outside the values";
    if (a.bytes[d.aFirstDifference] == b.bytes[d.bFirstDifference]) return "a first difference of equal bytes";
    return std::string();
}

inline std::string CheckDiff(const DiffInput& a, const DiffInput& b) {
    const std::vector<TreeDifference> forward = DiffTrees(a, b);
    size_t onlyA = 0, onlyB = 0, lengths = 0, values = 0;
    for (const TreeDifference& d : forward) {
        if (d.path.empty()) {
            if (d.kind != DiffKind::File && d.kind != DiffKind::Encoding) return "an element difference without a path";
            continue;
        }
        const bool inB = d.kind == DiffKind::OnlyInB;
        const CDicomTag* node = Follow(inB ? *b.tree : *a.tree, d.path);
        if (node == nullptr || node != (inB ? d.b : d.a)) return "a difference's path does not lead to its element";
        if ((d.kind == DiffKind::OnlyInA) != (d.b == nullptr) || (d.kind == DiffKind::OnlyInB) != (d.a == nullptr))
            return "a difference names the wrong sides";
        if (d.kind == DiffKind::Length && GetStoredValueLength(*d.a) == GetStoredValueLength(*d.b))
            return "a length difference of equal stored lengths";
        const std::string problem = CheckFirstDifference(d, a, b);
        if (!problem.empty()) return problem;
        onlyA += d.kind == DiffKind::OnlyInA;
        onlyB += d.kind == DiffKind::OnlyInB;
        lengths += d.kind == DiffKind::Length;
        values += d.kind == DiffKind::Value;
    }
    size_t mirrorA = 0, mirrorB = 0, mirrorLengths = 0, mirrorValues = 0;
    for (const TreeDifference& d : DiffTrees(b, a)) {
        mirrorA += d.kind == DiffKind::OnlyInA;
        mirrorB += d.kind == DiffKind::OnlyInB;
        mirrorLengths += d.kind == DiffKind::Length;
        mirrorValues += d.kind == DiffKind::Value;
    }
    if (mirrorA != onlyB || mirrorB != onlyA || mirrorLengths != lengths || mirrorValues != values)
        return "A against B does not mirror B against A";
    if (!DiffTrees(a, a).empty()) return "a tree differs from itself";
    return std::string();
}

}  // namespace tools_check
