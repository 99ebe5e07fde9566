#include "cli/tag_filter.h"

#include <cctype>
#include <cstdlib>
#include <unordered_map>

#include "dicom/dictionary/DicomDictionary.h"
#include "dicom/model/TagArray.h"

namespace {

bool IsHex(const std::string& text) {
    for (const char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return !text.empty();
}

bool IsAlnum(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// Keyword to tag, the first dictionary row of each keyword; made on the first keyword asked.
const std::unordered_map<std::string, TagSpec>& Keywords() {
    static const std::unordered_map<std::string, TagSpec> keywords = [] {
        std::unordered_map<std::string, TagSpec> made;
        for (uint32_t i = 0; i < kDictionaryRowCount; ++i) {
            const DictionaryRecord& row = kDictionaryTable[i];
            const bool repeating = (row.group & 0xFF00) == 0x5000 || (row.group & 0xFF00) == 0x6000;
            made.emplace(KeywordOf(row.name), TagSpec{row.group, row.element, repeating});
        }
        return made;
    }();
    return keywords;
}

}  // namespace

std::string KeywordOf(const char* name) {
    std::string keyword;
    bool wordStart = true;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p == '\'' && p[1] == 's' && !IsAlnum(p[2])) {
            ++p;
            wordStart = true;
        } else if (!IsAlnum(*p)) {
            wordStart = true;
        } else {
            keyword += wordStart ? static_cast<char>(std::toupper(static_cast<unsigned char>(*p))) : *p;
            wordStart = false;
        }
    }
    return keyword;
}

bool ParseTagSpec(const std::string& text, TagSpec& spec, std::string& error) {
    std::string hex = text;
    if (hex.size() == 11 && hex.front() == '(' && hex.back() == ')') hex = hex.substr(1, 9);
    if (hex.size() == 9 && hex[4] == ',') hex.erase(4, 1);
    if (hex.size() == 8 && IsHex(hex)) {
        const unsigned long value = std::strtoul(hex.c_str(), nullptr, 16);
        spec = TagSpec{static_cast<uint16_t>(value >> 16), static_cast<uint16_t>(value & 0xFFFF), false};
        return true;
    }
    const auto found = Keywords().find(text);
    if (found != Keywords().end()) {
        spec = found->second;
        return true;
    }
    error = "--tag " + text + ": neither a tag GGGG,EEEE nor a keyword of the dictionary (such as PatientName)";
    return false;
}

bool Matches(const std::vector<TagSpec>& specs, const CDicomTag& tag) {
    for (const TagSpec& spec : specs) {
        if (tag.GetElement() != spec.element) continue;
        if (tag.GetGroup() == spec.group) return true;
        if (spec.repeating && (tag.GetGroup() & 0xFF01) == (spec.group & 0xFF01)) return true;
    }
    return false;
}

ShownNodes::ShownNodes(const CTagArray& dataSet, const std::vector<TagSpec>& specs) {
    Match path;
    const auto& elements = dataSet.GetElements();
    for (size_t i = 0; i < elements.size(); ++i) {
        path.indexes.push_back(static_cast<uint32_t>(i));
        Visit(*elements[i], specs, path);
        path.indexes.pop_back();
    }
}

bool ShownNodes::Visit(const CDicomTag& tag, const std::vector<TagSpec>& specs, Match& path) {
    path.path.push_back(&tag);
    bool shown = false;
    if (Matches(specs, tag)) {
        m_matches.push_back(path);
        AddAll(tag);
        shown = true;
    } else {
        const auto& children = tag.GetChildren();
        for (size_t i = 0; i < children.size(); ++i) {
            path.indexes.push_back(static_cast<uint32_t>(i));
            shown = Visit(*children[i], specs, path) || shown;
            path.indexes.pop_back();
        }
        if (shown) m_shown.insert(&tag);
    }
    path.path.pop_back();
    return shown;
}

void ShownNodes::AddAll(const CDicomTag& tag) {
    m_shown.insert(&tag);
    for (const CDicomTag* child : tag.GetChildren()) AddAll(*child);
}
