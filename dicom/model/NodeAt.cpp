#include "dicom/model/NodeAt.h"

#include <algorithm>

#include "dicom/model/ElementRange.h"
#include "dicom/model/TagArray.h"

namespace {

// The child among `nodes` whose range holds the byte, or count when none does.
size_t Holder(CDicomTag* const* nodes, size_t count, uint64_t offset) {
    // The last node that starts at or before the byte is the only one that can hold it.
    CDicomTag* const* end = nodes + count;
    CDicomTag* const* after = std::upper_bound(
        nodes, end, offset, [](uint64_t at, const CDicomTag* node) { return at < node->GetTagOffset(); });
    if (after == nodes) return count;
    const size_t index = static_cast<size_t>(after - 1 - nodes);
    const ElementByteRange range = GetElementByteRange(*nodes[index]);
    return offset >= range.first && offset <= range.last ? index : count;
}

}  // namespace

std::vector<NodeAtStep> FindNodesAt(const CTagArray& dataSet, uint64_t offset) {
    std::vector<NodeAtStep> chain;
    CDicomTag* const* nodes = dataSet.GetElements().data();
    size_t count = dataSet.GetElements().size();
    for (;;) {
        const size_t index = Holder(nodes, count, offset);
        if (index == count) break;
        const CDicomTag* node = nodes[index];
        chain.push_back({static_cast<uint32_t>(index), node});
        nodes = node->GetChildren().data();
        count = node->GetChildren().size();
    }
    return chain;
}
