// orveldump --redact: the one decision of what a redacted dump may print of a file. Every text
// or byte that comes from a file's values goes through it, keyed on the element it came from:
// the value texts of the listing, JSON and --diff, the VR codes, the --check messages and the
// failure record's reason. What is not kept prints as an empty string (or "??" where a byte or a
// VR code stood); the structure (tags of parsed elements, offsets, sizes, nesting) is never
// changed.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

class CDicomTag;
struct CheckProblem;
struct ParseFailure;

// True for the values that describe the encoding and are needed to read the file, and say
// nothing of the patient or the study; each kept by its tag, its VR (as stored, and for group
// 0028 as the dictionary gives it) and its content:
// - group lengths (gggg,0000) of standard groups, as UL;
// - (0002,0001) File Meta Information Version, as OB of two bytes;
// - the transfer syntax (0002,0010) and the SOP classes (0002,0002), (0008,0016), (0008,1150),
//   (0004,1510), as UI;
// - Specific Character Set (0008,0005) and Modality (0008,0060), as CS;
// - group 0028 (the image pixel module and its kin) for tags the dictionary knows with only
//   numeric or code VRs (US SS UL SL FL FD OB OW CS DS IS AT), stored as one of them.
// A UI is kept only when its text is digits and dots, a CS only when upper-case letters, digits,
// space and underscore (values separated by backslashes), a DS or IS only when it holds the
// characters of numbers; padding aside. Names, IDs, dates, times, instance UIDs, free text,
// private elements, items, fragments and any other value are never kept.
bool KeptWhenRedacted(const CDicomTag& tag);

// The value text to print: the element's own, or empty when redacting a value not kept (and
// always for items and fragments).
std::wstring ShownValue(const CDicomTag& tag, const std::wstring& characterSet, bool redact);

// The VR code to print: empty for items, "??" when redacting a code that is no VR of the
// standard (its two bytes may be value bytes read as a header).
std::string ShownVR(const CDicomTag& tag, bool redact);

// A --check message as printed. Redacted, the pieces it quotes from a value that is not kept
// read "" (quoted bytes), 0x?? (a byte in hex), ? (a number read from the value) or "??" (VR
// bytes), wherever the value comes from: the element concerned or another one it quotes. A
// message whose rule this function does not know, about a value that is not kept, is withheld
// ("message withheld"): only rules whose quoting is known here print their words.
std::string ShownMessage(const CheckProblem& problem, bool redact);

// The failure record's texts as printed. Redacted, a tag the parse read where it failed prints
// as (????,????) in the reason and ????,???? in the path, unless it is the tag of a node of the
// partial tree or an item or delimiter tag (its bytes may be value bytes read as a tag), and the
// first bytes of a file that is no DICOM as ?? ?? ?? ??; offsets, lengths and words stay.
class FailureTexts {
public:
    FailureTexts(const ParseFailure* failure, bool redact);
    // The reason or the first reason.
    std::string Reason(const std::string& reason) const;
    // The first reason (the attempt in the other VR mode): as Reason, and redacted, with every
    // number as ?, since that attempt read value bytes as headers.
    std::string FirstReason(const std::string& reason) const;
    // "GGGG,EEEE" of a step of the failure path.
    std::string StepTag(uint16_t group, uint16_t element) const;

private:
    bool Known(uint16_t group, uint16_t element) const;

    bool m_redact;
    std::unordered_set<uint32_t> m_treeTags;
};
