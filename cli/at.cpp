#include "cli/at.h"

#include <cstdio>
#include <vector>

#include "cli/listing.h"
#include "cli/node_text.h"
#include "cli/output.h"
#include "cli/redact.h"
#include "cli/sink.h"
#include "dicom/read/DicomFile.h"
#include "dicom/model/ElementRange.h"
#include "dicom/model/NodeAt.h"

namespace {

const CTagArray& TreeOf(const CDicomFile& file, const ParseFailure* failure) {
    return failure != nullptr ? static_cast<const CTagArray&>(failure->tree) : file;
}

// The failure record of a refused file, null for a loaded one.
const ParseFailure* FailureOf(const CDicomFile& file, bool loaded) { return loaded ? nullptr : file.GetFailure(); }

// Where a byte that no element holds lies, in words.
std::string NowhereWords(uint64_t offset, const CDicomFile& file, bool loaded) {
    const ParseFailure* failure = FailureOf(file, loaded);
    if (!loaded && failure == nullptr) return "in a file that could not be read";
    const bool known = failure == nullptr || failure->fileSize.has_value();
    const uint64_t size = static_cast<uint64_t>(failure != nullptr ? failure->fileSize.value_or(0) : file.GetFileSize());
    const bool preamble = failure != nullptr ? failure->hasPreamble.value_or(false) : file.HasPreamble();
    char text[160];
    if (known && offset >= size) {
        std::snprintf(text, sizeof text, "past the end of the file (%llu bytes)", static_cast<unsigned long long>(size));
    } else if (preamble && offset < 128) {
        std::snprintf(text, sizeof text, "in the 128-byte preamble");
    } else if (preamble && offset < 132) {
        std::snprintf(text, sizeof text, "in \"DICM\" after the preamble");
    } else if (failure != nullptr && failure->offset.has_value() && offset >= *failure->offset) {
        std::snprintf(text, sizeof text, "at or after offset %llu, where the parse was refused",
                      static_cast<unsigned long long>(*failure->offset));
    } else if (failure == nullptr && file.GetTrailingSize() != 0 && offset >= size - file.GetTrailingSize()) {
        std::snprintf(text, sizeof text, "in the %llu trailing bytes after the pixel data",
                      static_cast<unsigned long long>(file.GetTrailingSize()));
    } else {
        std::snprintf(text, sizeof text, "in no element");
    }
    return text;
}

}  // namespace

void PrintAtJson(Output& out, const std::string& path, uint64_t offset, const CDicomFile& file, bool loaded,
                 bool redact) {
    out.Raw("{\"file\": ");
    out.JsonUtf8(path);
    out.Raw(", \"offset\": ");
    out.Number(offset);
    out.Raw(", \"path\": [");
    bool first = true;
    for (const NodeAtStep& step : FindNodesAt(TreeOf(file, FailureOf(file, loaded)), offset)) {
        const ElementByteRange range = GetElementByteRange(*step.node);
        out.Raw(first ? "{\"index\": " : ", {\"index\": ");
        first = false;
        out.Number(step.index);
        out.Raw(", \"tag\": \"");
        out.Raw(TagText(*step.node));
        out.Raw("\", \"vr\": ");
        out.JsonUtf8(ShownVR(*step.node, redact));
        out.Raw(", \"tagOffset\": ");
        out.Number(range.first);
        out.Raw(", \"lastByte\": ");
        out.Number(range.last);
        out.Raw(", \"name\": ");
        out.JsonUtf8(NameOf(*step.node));
        out.Raw("}");
    }
    out.Raw("]}\n");
}

void PrintAtListing(const std::string& path, uint64_t offset, const CDicomFile& file, bool loaded, bool redact) {
    const ParseFailure* failure = FailureOf(file, loaded);
    const std::vector<NodeAtStep> chain = FindNodesAt(TreeOf(file, failure), offset);
    char line[256];
    std::snprintf(line, sizeof line, "%s: byte %llu (0x%llX)%s ", path.c_str(), static_cast<unsigned long long>(offset),
                  static_cast<unsigned long long>(offset), loaded ? "" : " of the refused file");
    std::string out = line;
    if (chain.empty()) {
        out += "lies " + NowhereWords(offset, file, loaded) + "\n";
    } else {
        std::vector<uint32_t> indexes;
        std::vector<const CDicomTag*> nodes;
        for (const NodeAtStep& step : chain) {
            indexes.push_back(step.index);
            nodes.push_back(step.node);
        }
        out += "lies in " + PathWords(indexes, nodes) + "\n";
        out += " index  (tag)       VR  tag offset  last byte  name\n";
        for (size_t depth = 0; depth < chain.size(); ++depth) {
            const CDicomTag& node = *chain[depth].node;
            const ElementByteRange range = GetElementByteRange(node);
            std::snprintf(line, sizeof line, "%6u  (%s) %-2s  %10llu %10llu  %*s", chain[depth].index,
                          TagText(node).c_str(), ShownVR(node, redact).c_str(), static_cast<unsigned long long>(range.first),
                          static_cast<unsigned long long>(range.last), static_cast<int>(2 * depth), "");
            out += line + NameOf(node) + "\n";
        }
    }
    if (!loaded) out += "Invalid DICOM file " + FailureLine(failure, redact) + "\n";
    WriteOut(out);
}
