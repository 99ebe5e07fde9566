#include "cli/redact.h"

#include <cctype>
#include <cstring>

#include "dicom/model/DicomTag.h"

namespace {

struct KeptElement {
    uint16_t group;
    uint16_t element;
    const wchar_t* vr;
};

const KeptElement kKept[] = {
    {0x0002, 0x0001, L"OB"}, {0x0002, 0x0002, L"UI"}, {0x0002, 0x0010, L"UI"}, {0x0004, 0x1510, L"UI"},
    {0x0008, 0x0005, L"CS"}, {0x0008, 0x0016, L"UI"}, {0x0008, 0x0060, L"CS"}, {0x0008, 0x1150, L"UI"},
};

// VRs of group 0028 whose values are numbers or code strings.
const wchar_t* const kPixelModuleVRs[] = {L"US", L"SS", L"UL", L"SL", L"UV", L"SV", L"FL", L"FD", L"OB",
                                          L"OW", L"OF", L"OD", L"OL", L"OV", L"CS", L"DS", L"IS", L"AT"};

}  // namespace

bool KeptWhenRedacted(const CDicomTag& tag) {
    const uint16_t group = tag.GetGroup();
    if (tag.IsItem() || (group & 1) != 0) return false;
    const std::wstring& vr = tag.GetVRText();
    if (tag.GetElement() == 0x0000) return vr == L"UL";
    for (const KeptElement& kept : kKept)
        if (tag.Is(kept.group, kept.element)) return vr == kept.vr;
    if (group == 0x0028)
        for (const wchar_t* code : kPixelModuleVRs)
            if (vr == code) return true;
    return false;
}

std::wstring ShownValue(const CDicomTag& tag, const std::wstring& characterSet, bool redact) {
    if (tag.IsItem() || (redact && !KeptWhenRedacted(tag))) return std::wstring();
    return tag.GetValueText(characterSet);
}

std::string RedactedMessage(const char* rule, const std::string& message) {
    if (std::strcmp(rule, "unknown-vr") == 0) return message;
    const size_t emptied = std::strcmp(rule, "bad-character") == 0 ? 1 : message.size();
    // The checks quote bytes between double quotes and escape any quote inside, so the quotes
    // pair up.
    std::string out;
    bool quoted = false;
    size_t pieces = 0;
    for (const char c : message) {
        if (c == '"') {
            out += c;
            quoted = !quoted;
            if (quoted) ++pieces;
        } else if (!quoted || pieces > emptied) {
            out += c;
        }
    }
    // These two name one of the value's bytes in hex ("holds 0xFC at byte 2"): that byte is the
    // value's too, so only where it lies stays.
    if (std::strcmp(rule, "bad-character") == 0 || std::strcmp(rule, "charset-missing") == 0)
        for (size_t at = out.find("0x"); at != std::string::npos; at = out.find("0x", at + 2))
            if (at + 3 < out.size() && std::isxdigit(static_cast<unsigned char>(out[at + 2])) &&
                std::isxdigit(static_cast<unsigned char>(out[at + 3])))
                out.replace(at + 2, 2, "??");
    return out;
}
