#include "cli/node_text.h"

#include <cstdio>

#include "cli/utf8.h"
#include "dicom/model/DicomTag.h"

std::string TagCode(uint16_t group, uint16_t element) {
    static const char kHex[] = "0123456789ABCDEF";
    const unsigned g = group, e = element;
    const char text[9] = {kHex[g >> 12], kHex[(g >> 8) & 15], kHex[(g >> 4) & 15], kHex[g & 15], ',',
                          kHex[e >> 12], kHex[(e >> 8) & 15], kHex[(e >> 4) & 15], kHex[e & 15]};
    return std::string(text, 9);
}

std::string TagText(const CDicomTag& tag) { return TagCode(tag.GetGroup(), tag.GetElement()); }

std::string NameOf(const CDicomTag& tag) { return tag.IsItem() ? "SQ Item" : Utf8(tag.GetTagName()); }

std::string PathStepWords(uint32_t index, uint16_t group, uint16_t element, bool first, bool fragment) {
    const bool item = group == 0xFFFE && element == 0xE000;
    const char* noun = item ? (fragment ? "fragment" : "item") : "element";
    char text[64];
    std::snprintf(text, sizeof text, "%s%s %u (%s)", first ? "" : " > ", noun, index, TagCode(group, element).c_str());
    return text;
}

std::string PathWords(const std::vector<uint32_t>& indexes, const std::vector<const CDicomTag*>& nodes) {
    std::string words;
    for (size_t i = 0; i < nodes.size() && i < indexes.size(); ++i)
        words += PathStepWords(indexes[i], nodes[i]->GetGroup(), nodes[i]->GetElement(), i == 0,
                               i > 0 && nodes[i - 1]->IsPixelData());
    return words;
}
