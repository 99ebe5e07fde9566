// Headers: the VR an explicit-VR header names (no VR at all, or not the dictionary's) and a
// length that is no whole number of the VR's units.
#include "dicom/analysis/CheckWalker.h"
#include "dicom/dictionary/DicomDictionary.h"
#include "dicom/io/TextFormat.h"

namespace check {

void Checker::CheckExplicitVR(const CDicomTag& tag, const Stored& stored) {
    const uint16_t g = tag.GetGroup(), e = tag.GetElement();
    const std::string named = Quoted(stored.vrBytes, 2);
    if (stored.fileVR == nullptr) {
        ReportAt(tag, CheckRule::UnknownVR,
                 Format("explicit VR %s of %s is no VR of the standard", named.c_str(), TagText(g, e).c_str()));
        return;
    }
    if (stored.fileVR->kind == VRKind::UN) return;
    std::string allowed;
    if (e == 0x0000) {
        allowed = "UL";
    } else if (const DictionaryRecord* record = FindDictionaryRecord(DictionaryGroup(g), e)) {
        // "US\0SS\0": each code NUL-terminated.
        for (size_t at = 0; at + 1 < sizeof record->vr && record->vr[at] != '\0'; at += 3) {
            if (!allowed.empty()) allowed += " or ";
            allowed.append(record->vr + at, 2);
        }
    }
    if (allowed.empty()) return;
    for (size_t at = 0; at + 1 < allowed.size(); at += 6)
        if (allowed.compare(at, 2, stored.fileVR->code) == 0) return;
    ReportAt(tag, CheckRule::VRMismatch,
             Format("explicit VR %s of %s is not the dictionary's %s", stored.fileVR->code,
                    TagText(g, e).c_str(), allowed.c_str()));
}

void Checker::CheckUnitLength(const CDicomTag& tag, const Stored& stored, const VRInfo& vr) {
    if (vr.unit > 1 && stored.length % vr.unit != 0)
        ReportAt(tag, CheckRule::BadLengthForVR,
                 Format("value length %lu of a %s value is not a whole number of its %u-byte units",
                        static_cast<unsigned long>(stored.length), vr.code, vr.unit));
}

}  // namespace check
