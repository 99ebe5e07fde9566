// Consistency of a refused parse's failure record, for the sweep and the fuzz target: the
// offset lies in the file, the path leads through the open (incomplete) containers of the
// partial tree, and the partial tree itself lies in the file and ends before the failure.
#pragma once

#include <cstdint>
#include <string>

#include "dicom/model/DicomHeader.h"
#include "dicom/model/ElementRange.h"

namespace failure_check {

inline std::string CheckNode(const CDicomTag& tag, const CDicomTag* parent, uint64_t size, uint64_t limit,
                             size_t& incomplete) {
    if (tag.GetParent() != parent) return "a node of the partial tree has the wrong parent";
    const ElementByteRange range = GetElementByteRange(tag);
    if (range.first > range.last || range.last >= size || tag.GetValueOffset() > size)
        return "a node of the partial tree lies outside the file";
    if (tag.GetEndOffset() > limit) return "a node of the partial tree ends after the failure offset";
    for (const CDicomTag* child : tag.GetChildren()) {
        const std::string problem = CheckNode(*child, &tag, size, limit, incomplete);
        if (!problem.empty()) return problem;
    }
    if (!tag.IsComplete()) {
        ++incomplete;
        const uint64_t end = tag.GetChildren().empty() ? tag.GetValueOffset() : tag.GetChildren().back()->GetEndOffset();
        if (tag.GetEndOffset() != end) return "an incomplete container does not end with its last child";
    }
    return std::string();
}

// Empty when the record of a refused parse of `size` bytes is consistent, else what is wrong.
// `treeKept`: the parse options asked for the partial tree.
inline std::string Check(const CDicomHeader& file, uint64_t size, bool treeKept) {
    const ParseFailure* failure = file.GetFailure();
    if (failure == nullptr) return "refused without a failure record";
    if (failure->reason.empty() || failure->reason == "the data set could not be read")
        return "refused without a reason: " + failure->reason;
    if (failure->offset.has_value() && *failure->offset > size) return "failure offset past the end of the file";
    if (failure->fileSize.has_value() && *failure->fileSize != static_cast<int64_t>(size))
        return "failure record with the wrong file size";
    const std::vector<CDicomTag*>& top = failure->tree.GetElements();
    if (!treeKept) return top.empty() ? std::string() : "a partial tree kept that was not asked for";

    const uint64_t limit = failure->offset.has_value() ? *failure->offset : size;
    size_t incomplete = 0;
    for (const CDicomTag* tag : top) {
        const std::string problem = CheckNode(*tag, nullptr, size, limit, incomplete);
        if (!problem.empty()) return problem;
    }
    // The path: open containers (incomplete nodes of the tree), then possibly the element that
    // broke the rule, at the position it would have had.
    const CDicomTag* parent = nullptr;
    size_t containers = 0;
    for (size_t i = 0; i < failure->path.size(); ++i) {
        const FailureStep& step = failure->path[i];
        const size_t count = parent == nullptr ? top.size() : parent->GetChildren().size();
        if (step.index < count) {
            const CDicomTag* node = parent == nullptr ? top[step.index] : parent->GetChildren()[step.index];
            if (!node->Is(step.group, step.element) || node->IsComplete())
                return "a path step that names no open container";
            parent = node;
            ++containers;
        } else if (step.index != count || i + 1 != failure->path.size()) {
            return "a path step past the children read";
        }
    }
    if (containers != incomplete) return "incomplete containers off the failure path";
    return std::string();
}

}  // namespace failure_check
