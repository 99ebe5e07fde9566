#include "cli/json.h"

#include <cstring>
#include <optional>
#include <unordered_map>

#include "cli/node_text.h"
#include "cli/output.h"
#include "cli/redact.h"
#include "cli/tag_filter.h"
#include "dicom/read/DicomFile.h"
#include "dicom/model/ElementRange.h"

namespace {

const char kInvalid[] = "Invalid DICOM file";

// Names as JSON strings, made once per name: elements point at the dictionary's texts, which
// stay put, so a name's address stands for the name.
class JsonNames {
public:
    const std::string& Of(const std::wstring& name) {
        std::string& json = m_names[&name];
        if (json.empty()) {
            Output text(&json, 6 * name.size() + 2);
            text.JsonWide(name);
        }
        return json;
    }

private:
    std::unordered_map<const std::wstring*, std::string> m_names;
};

void PrintJsonNode(Output& out, JsonNames& names, const CDicomTag& tag, const std::wstring& characterSet,
                   const DumpView& view) {
    static const std::wstring kItemName = L"SQ Item";
    const ElementByteRange range = GetElementByteRange(tag);
    const bool item = tag.IsItem();
    out.Raw("{\"tag\": \"");
    out.Raw(TagText(tag));
    out.Raw("\", \"name\": ");
    out.Raw(names.Of(item ? kItemName : tag.GetTagName()));
    out.Raw(", \"vr\": ");
    out.JsonUtf8(ShownVR(tag, view.redact));
    out.Raw(", \"tagOffset\": ");
    out.Number(range.first);
    out.Raw(", \"dataOffset\": ");
    out.Number(tag.GetValueOffset());
    out.Raw(", \"size\": ");
    out.Number(tag.GetValueLength());
    PrintStoredLength(out, tag);
    out.Raw(", \"lastByte\": ");
    out.Number(range.last);
    out.Raw(", \"value\": ");
    out.JsonWide(ShownValue(tag, characterSet, view.redact));
    if (!tag.IsComplete()) out.Raw(", \"complete\": false");
    out.Raw(", \"children\": [");
    if (!tag.GetChildren().empty()) {
        // The children's character set differs from this one only where a child sets it.
        std::wstring ownCharacterSet;
        const std::wstring* childrenCharacterSet = &characterSet;
        for (const CDicomTag* child : tag.GetChildren())
            if (child->Is(0x0008, 0x0005)) {
                ownCharacterSet = CharacterSetForChildren(tag, characterSet);
                childrenCharacterSet = &ownCharacterSet;
                break;
            }
        bool first = true;
        for (const CDicomTag* child : tag.GetChildren()) {
            if (view.shown != nullptr && !view.shown->Has(*child)) continue;
            if (!first) out.Raw(", ");
            first = false;
            PrintJsonNode(out, names, *child, *childrenCharacterSet, view);
        }
    }
    out.Raw("]}");
}

void PrintJsonElements(Output& out, const CTagArray& dataSet, const DumpView& view) {
    out.Raw(", \"elements\": [");
    const std::wstring characterSet = TopLevelCharacterSet(dataSet);
    JsonNames names;
    bool first = true;
    for (const CDicomTag* tag : dataSet.GetElements()) {
        if (view.shown != nullptr && !view.shown->Has(*tag)) continue;
        if (!first) out.Raw(", ");
        first = false;
        PrintJsonNode(out, names, *tag, characterSet, view);
    }
    out.Raw("]");
}

void PrintJsonFlag(Output& out, const char* key, const std::optional<bool>& value) {
    out.Raw(key, std::strlen(key));
    if (!value.has_value())
        out.Raw("null");
    else
        out.Boolean(*value);
}

}  // namespace

void PrintStoredLength(Output& out, const CDicomTag& tag) {
    const uint32_t stored = GetStoredValueLength(tag);
    if (stored == tag.GetValueLength()) return;
    out.Raw(", \"storedLength\": ");
    out.Number(stored);
}

void PrintJson(Output& out, const std::string& path, const CDicomFile& file, const DumpView& view,
               const std::string& extra) {
    out.Raw("{\"file\": ");
    out.JsonUtf8(path);
    out.Raw(", \"loaded\": true");
    PrintJsonFacts(out, file);
    PrintJsonElements(out, file, view);
    out.Raw(extra);
    out.Raw("}\n");
}

void PrintJsonRefused(Output& out, const std::string& path, const ParseFailure* failure, const DumpView& view,
                      const std::string& extra) {
    out.Raw("{\"file\": ");
    out.JsonUtf8(path);
    out.Raw(", \"loaded\": false, \"error\": \"");
    out.Raw(kInvalid, sizeof kInvalid - 1);
    out.Raw("\"");
    if (failure == nullptr) {
        out.Raw(extra);
        out.Raw("}\n");
        return;
    }
    PrintJsonFacts(out, *failure);
    PrintJsonFailure(out, *failure, view.redact);
    PrintJsonElements(out, failure->tree, view);
    out.Raw(extra);
    out.Raw("}\n");
}

void PrintJsonFailure(Output& out, const ParseFailure& failure, bool redact) {
    const FailureTexts texts(&failure, redact);
    out.Raw(", \"failure\": {\"offset\": ");
    if (failure.offset.has_value())
        out.Number(*failure.offset);
    else
        out.Raw("null");
    out.Raw(", \"path\": [");
    for (size_t i = 0; i < failure.path.size(); ++i) {
        if (i != 0) out.Raw(", ");
        out.Raw("{\"index\": ");
        out.Number(failure.path[i].index);
        out.Raw(", \"tag\": \"");
        out.Raw(texts.StepTag(failure.path[i].group, failure.path[i].element));
        out.Raw("\"}");
    }
    out.Raw("], \"reason\": ");
    out.JsonUtf8(texts.Reason(failure.reason));
    out.Raw(", \"firstReason\": ");
    if (failure.firstReason.empty())
        out.Raw("null");
    else
        out.JsonUtf8(texts.FirstReason(failure.firstReason));
    out.Raw("}");
}

void PrintJsonFacts(Output& out, const CDicomFile& file) {
    out.Raw(", \"fileSize\": ");
    out.Number(static_cast<uint64_t>(file.GetFileSize()));
    out.Raw(", \"hasPreamble\": ");
    out.Boolean(file.HasPreamble());
    out.Raw(", \"explicitVR\": ");
    out.Boolean(file.IsExplicitVR());
    out.Raw(", \"littleEndian\": ");
    out.Boolean(file.IsLittleEndian());
    out.Raw(", \"trailingBytes\": ");
    out.Number(file.GetTrailingSize());
}

void PrintJsonFacts(Output& out, const ParseFailure& failure) {
    out.Raw(", \"fileSize\": ");
    if (failure.fileSize.has_value())
        out.Number(static_cast<uint64_t>(*failure.fileSize));
    else
        out.Raw("null");
    PrintJsonFlag(out, ", \"hasPreamble\": ", failure.hasPreamble);
    PrintJsonFlag(out, ", \"explicitVR\": ", failure.explicitVR);
    PrintJsonFlag(out, ", \"littleEndian\": ", failure.littleEndian);
}
