#include "cli/redact.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "cli/node_text.h"
#include "cli/utf8.h"
#include "dicom/analysis/Check.h"
#include "dicom/dictionary/DicomDictionary.h"
#include "dicom/model/DicomTag.h"
#include "dicom/model/ParseFailure.h"

namespace {

// What a kept value may hold, padding aside.
enum class Content { Any, Uid, Code, Decimal, Integer };

struct KeptElement {
    uint16_t group;
    uint16_t element;
    VRKind vr;
};

const KeptElement kKept[] = {
    {0x0002, 0x0001, VRKind::OB}, {0x0002, 0x0002, VRKind::UI}, {0x0002, 0x0010, VRKind::UI},
    {0x0004, 0x1510, VRKind::UI}, {0x0008, 0x0005, VRKind::CS}, {0x0008, 0x0016, VRKind::UI},
    {0x0008, 0x0060, VRKind::CS}, {0x0008, 0x1150, VRKind::UI},
};

// VRs of group 0028 that are shown as numbers (or a placeholder) or hold a code or a number as
// text. UV, SV, OD, OF, OL and OV are not among them: their values are shown as text.
bool IsPixelModuleVR(VRKind vr) {
    switch (vr) {
        case VRKind::US: case VRKind::SS: case VRKind::UL: case VRKind::SL: case VRKind::FL: case VRKind::FD:
        case VRKind::OB: case VRKind::OW: case VRKind::CS: case VRKind::DS: case VRKind::IS: case VRKind::AT:
            return true;
        default:
            return false;
    }
}

// Group 0028: the dictionary knows the tag, every VR it gives is one of those above, and the
// element carries one of them.
bool KeptPixelModuleVR(const CDicomTag& tag, VRKind stored) {
    const DictionaryRecord* record = FindDictionaryRecord(tag.GetGroup(), tag.GetElement());
    if (record == nullptr || record->vr[0] == '\0') return false;
    bool listed = false;
    for (size_t at = 0; at + 1 < sizeof record->vr && record->vr[at] != '\0'; at += 3) {
        const VRInfo* info = FindVRInfo(std::string(record->vr + at, 2).c_str());
        if (info == nullptr || !IsPixelModuleVR(info->kind)) return false;
        if (info->kind == stored) listed = true;
    }
    return listed;
}

Content ContentOf(VRKind vr) {
    switch (vr) {
        case VRKind::UI: return Content::Uid;
        case VRKind::CS: return Content::Code;
        case VRKind::DS: return Content::Decimal;
        case VRKind::IS: return Content::Integer;
        default: return Content::Any;
    }
}

bool Allowed(Content content, uint8_t c) {
    const bool digit = c >= '0' && c <= '9';
    switch (content) {
        case Content::Any: return true;
        case Content::Uid: return digit || c == '.';
        case Content::Code: return (c >= 'A' && c <= 'Z') || digit || c == ' ' || c == '_' || c == '\\';
        case Content::Decimal: return digit || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E' || c == ' ' || c == '\\';
        case Content::Integer: return digit || c == '+' || c == '-' || c == ' ' || c == '\\';
    }
    return false;
}

// The value's bytes as stored, up to its trailing padding, all of the allowed kind. Longer values
// than any kept text needs are not kept.
bool ContentKept(const CDicomTag& tag, Content content) {
    if (content == Content::Any) return true;
    const uint32_t length = tag.GetValueLength();
    if (length == 0) return true;
    const size_t kMost = 1024;
    if (length > kMost || tag.GetValueByteCount() < length) return false;
    uint8_t bytes[kMost];
    if (!tag.ReadValueBytes(0, bytes, length)) return false;
    size_t end = length;
    while (end > 0 && (bytes[end - 1] == 0x00 || bytes[end - 1] == ' ')) --end;
    for (size_t i = 0; i < end; ++i)
        if (!Allowed(content, bytes[i])) return false;
    return true;
}

// Each quoted piece ("...", quotes escaped inside) for which keep(number, content) is false
// (pieces numbered from 1) reads `with` instead.
template <typename Keep>
std::string ReplaceQuotes(const std::string& message, Keep keep, const char* with) {
    std::string out;
    size_t pieces = 0;
    for (size_t at = 0; at < message.size(); ++at) {
        if (message[at] != '"') {
            out += message[at];
            continue;
        }
        size_t end = message.find('"', at + 1);
        if (end == std::string::npos) end = message.size();
        const std::string content = message.substr(at + 1, end - at - 1);
        out += '"';
        out += keep(++pieces, content) ? content : std::string(with);
        if (end < message.size()) out += '"';
        at = end;
    }
    return out;
}

// A quoted piece of an element's value prints when the element is kept and the piece holds only
// what its kept value may hold (the checks quote the bytes as stored, not the value shown).
bool PieceKept(const CDicomTag* tag, const std::string& piece) {
    if (tag == nullptr || !KeptWhenRedacted(*tag)) return false;
    const Content content = ContentOf(tag->GetVR().GetInfo()->kind);
    for (const char c : piece)
        if (c == '\\' || !Allowed(content, static_cast<uint8_t>(c))) return false;
    return true;
}

// Every byte named in hex (0xNN) reads 0x??.
std::string HideHexBytes(std::string text) {
    for (size_t at = text.find("0x"); at != std::string::npos; at = text.find("0x", at + 2))
        if (at + 3 < text.size() && std::isxdigit(static_cast<unsigned char>(text[at + 2])) &&
            std::isxdigit(static_cast<unsigned char>(text[at + 3])))
            text.replace(at + 2, 2, "??");
    return text;
}

// The number right after the first `anchor` from `from` on reads "?"; false when the text has no
// such number.
bool HideNumberAfter(std::string& text, size_t from, const char* anchor) {
    const size_t at = text.find(anchor, from);
    if (at == std::string::npos) return false;
    const size_t start = at + std::strlen(anchor);
    size_t to = start;
    while (to < text.size() && std::isdigit(static_cast<unsigned char>(text[to]))) ++to;
    if (to == start) return false;
    text.replace(start, to - start, "?");
    return true;
}

bool HideNumberAfter(std::string& text, const char* anchor) { return HideNumberAfter(text, 0, anchor); }

bool RuleIs(const CheckProblem& problem, const char* rule) { return std::strcmp(problem.rule, rule) == 0; }

// Rules whose messages name only the structure: tags, lengths, offsets, counts, VR codes of
// the standard and the rule's words (and meta-version the two bytes of (0002,0001) in hex, which
// read 0x?? where that element is not kept).
const char* const kStructureRules[] = {"odd-length", "bad-length-for-vr", "vr-mismatch", "padding", "value-too-long",
                                       "tag-order", "private-creator", "un-sequence", "meta-missing",
                                       "trailing-bytes", "no-preamble", "item-outside-sequence",
                                       "meta-misplaced", "not-an-item", "not-checked", "meta-version"};

// Rules whose messages quote values, each handled below.
const char* const kQuotingRules[] = {"meta-mismatch",   "pixel-length",    "pixel-vr",     "unknown-vr",
                                     "bad-character",   "charset-missing", "charset-unknown", "group-length",
                                     "offset-table"};

const char kWithheld[] = "message withheld (it would quote a value --redact leaves out)";

}  // namespace

bool KeptWhenRedacted(const CDicomTag& tag) {
    const uint16_t group = tag.GetGroup();
    if (tag.IsItem() || (group & 1) != 0) return false;
    const VRInfo* info = tag.GetVR().GetInfo();
    if (info == nullptr) return false;
    if (tag.GetElement() == 0x0000) return info->kind == VRKind::UL;
    for (const KeptElement& kept : kKept)
        if (tag.Is(kept.group, kept.element)) {
            if (info->kind != kept.vr) return false;
            if (kept.vr == VRKind::OB) return tag.GetValueLength() == 2;
            return !tag.IsValueCleaned() && ContentKept(tag, ContentOf(kept.vr));
        }
    if (group == 0x0028 && IsPixelModuleVR(info->kind) && KeptPixelModuleVR(tag, info->kind))
        return ContentKept(tag, ContentOf(info->kind));
    return false;
}

std::wstring ShownValue(const CDicomTag& tag, const std::wstring& characterSet, bool redact) {
    if (tag.IsItem() || (redact && !KeptWhenRedacted(tag))) return std::wstring();
    return tag.GetValueText(characterSet);
}

std::string ShownVR(const CDicomTag& tag, bool redact) {
    if (tag.IsItem()) return std::string();
    const std::wstring& code = tag.GetVRText();
    if (redact && !code.empty() && tag.GetVR().GetInfo() == nullptr) return "??";
    return Utf8(code);
}

std::string ShownMessage(const CheckProblem& problem, bool redact) {
    const std::string& message = problem.message;
    if (!redact) return message;
    const CDicomTag* element = problem.element;
    const bool own = element == nullptr || KeptWhenRedacted(*element);
    bool others = true;
    for (const CDicomTag* source : problem.quoted) others = others && KeptWhenRedacted(*source);
    // Quoted pieces of the element's own value.
    auto ownPiece = [element](size_t, const std::string& piece) { return PieceKept(element, piece); };
    // A rule this function does not know may quote anything: about a value that is not kept it
    // is withheld, else every piece it quotes must be one a kept value may hold.
    bool known = false;
    for (const char* rule : kQuotingRules) known = known || RuleIs(problem, rule);
    for (const char* rule : kStructureRules) known = known || RuleIs(problem, rule);
    if (!known) return own && others ? HideHexBytes(ReplaceQuotes(message, ownPiece, "")) : kWithheld;
    if (own && others) return message;

    // Each rule that quotes values: which pieces come from which element.
    if (RuleIs(problem, "meta-mismatch")) {
        // The element's UID, then the meta group's.
        const CDicomTag* meta = problem.quoted.empty() ? nullptr : problem.quoted[0];
        return ReplaceQuotes(message, [element, meta](size_t number, const std::string& piece) {
            return PieceKept(number == 1 ? element : meta, piece);
        }, "");
    }
    if (RuleIs(problem, "pixel-length")) {
        // The numbers of the image attributes, and what they give.
        if (others) return message;
        std::string out = message;
        bool hidden = true;
        for (const char* anchor : {"rows ", "columns ", "bits allocated ", "samples ", "frames ", "gives "})
            hidden = HideNumberAfter(out, anchor) && hidden;
        const size_t ybr = out.find(" (YBR_FULL_422: 2 per pixel)");
        if (ybr != std::string::npos) out.erase(ybr, std::strlen(" (YBR_FULL_422: 2 per pixel)"));
        return hidden ? out : kWithheld;
    }
    if (RuleIs(problem, "pixel-vr")) {
        // The Bits Allocated it names.
        std::string out = message;
        return others || HideNumberAfter(out, "data of ") ? out : kWithheld;
    }
    if (!others) return kWithheld;
    // From here on only the element's own value is quoted. Its two bytes are no VR: never kept.
    if (RuleIs(problem, "unknown-vr")) return ReplaceQuotes(message, [](size_t number, const std::string&) {
        return number != 1;
    }, "??");
    // The byte these name is one the value may not hold; the first quote of bad-character is the
    // value, the others the characters its VR allows.
    if (RuleIs(problem, "bad-character"))
        return HideHexBytes(ReplaceQuotes(message, [&ownPiece](size_t number, const std::string& piece) {
            return number != 1 || ownPiece(number, piece);
        }, ""));
    if (RuleIs(problem, "charset-missing") || RuleIs(problem, "charset-unknown"))
        return HideHexBytes(ReplaceQuotes(message, ownPiece, ""));
    if (own) return ReplaceQuotes(message, ownPiece, "");
    if (RuleIs(problem, "group-length")) {
        std::string out = message;
        return HideNumberAfter(out, "group length ") ? out : kWithheld;
    }
    if (RuleIs(problem, "offset-table")) {
        // An entry of the table is the value; the table's length is structure.
        std::string out = message;
        if (out.find(" entry ") == std::string::npos) return out;
        return HideNumberAfter(out, " is ") ? out : kWithheld;
    }
    for (const char* rule : kStructureRules)
        if (RuleIs(problem, rule)) return HideHexBytes(ReplaceQuotes(message, ownPiece, ""));
    return kWithheld;
}

FailureTexts::FailureTexts(const ParseFailure* failure, bool redact) : m_redact(redact) {
    if (!redact || failure == nullptr) return;
    std::vector<const CDicomTag*> pending(failure->tree.GetElements().begin(), failure->tree.GetElements().end());
    while (!pending.empty()) {
        const CDicomTag* node = pending.back();
        pending.pop_back();
        m_treeTags.insert((uint32_t(node->GetGroup()) << 16) | node->GetElement());
        pending.insert(pending.end(), node->GetChildren().begin(), node->GetChildren().end());
    }
}

bool FailureTexts::Known(uint16_t group, uint16_t element) const {
    if (!m_redact || group == 0xFFFE) return true;
    return m_treeTags.count((uint32_t(group) << 16) | element) != 0;
}

std::string FailureTexts::StepTag(uint16_t group, uint16_t element) const {
    return Known(group, element) ? TagCode(group, element) : "????,????";
}

std::string FailureTexts::FirstReason(const std::string& reason) const {
    if (!m_redact) return reason;
    // The first attempt read the bytes in the other VR mode: where it stopped, and why, depend on
    // value bytes that the partial tree does not show.
    return "withheld (that reading took value bytes for headers)";
}

std::string FailureTexts::Reason(const std::string& reason) const {
    if (!m_redact) return reason;
    std::string out = reason;
    bool hidden = false;
    auto hex = [&out](size_t at, size_t count) {
        for (size_t i = at; i < at + count; ++i)
            if (i >= out.size() || !std::isxdigit(static_cast<unsigned char>(out[i]))) return false;
        return true;
    };
    auto boundary = [&out](size_t at) { return at >= out.size() || !std::isalnum(static_cast<unsigned char>(out[at])); };
    for (size_t at = 0; at < out.size(); ++at) {
        // "(GGGG,EEEE)"
        if (out[at] == '(' && at + 10 < out.size() && hex(at + 1, 4) && out[at + 5] == ',' && hex(at + 6, 4) &&
            out[at + 10] == ')') {
            const uint16_t group = static_cast<uint16_t>(std::stoul(out.substr(at + 1, 4), nullptr, 16));
            const uint16_t element = static_cast<uint16_t>(std::stoul(out.substr(at + 6, 4), nullptr, 16));
            if (!Known(group, element)) {
                out.replace(at + 1, 9, "????,????");
                hidden = true;
            }
            at += 10;
            continue;
        }
        // "HH HH HH HH": bytes of the file in hex.
        if ((at == 0 || boundary(at - 1)) && hex(at, 2) && at + 11 <= out.size() && out[at + 2] == ' ' &&
            hex(at + 3, 2) && out[at + 5] == ' ' && hex(at + 6, 2) && out[at + 8] == ' ' && hex(at + 9, 2) &&
            boundary(at + 11)) {
            out.replace(at, 11, "?? ?? ?? ??");
            at += 10;
        }
    }
    // A hidden tag's header was read from bytes that may be a value's: so was its length, and
    // its VR, which decides the header's size and so how many bytes are left after it.
    if (hidden) {
        for (size_t at = out.find("length "); at != std::string::npos; at = out.find("length ", at + 1))
            HideNumberAfter(out, at, "length ");
        for (size_t at = out.find(" bytes left"); at != std::string::npos; at = out.find(" bytes left", at + 1)) {
            size_t start = at;
            while (start > 0 && std::isdigit(static_cast<unsigned char>(out[start - 1]))) --start;
            if (start == at) continue;
            out.replace(start, at - start, "?");
            at = start + 1;
        }
    }
    return out;
}
