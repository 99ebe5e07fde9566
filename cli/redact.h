// orveldump --redact: which value texts a redacted dump still prints. Every other value text is
// printed as an empty string; the structure (tags, VRs, offsets, sizes, nesting, failure
// record) is never changed.
#pragma once

#include <string>

class CDicomTag;

// True for the values that describe the encoding and are needed to read the file, and say
// nothing of the patient or the study:
// - group lengths (gggg,0000) of standard groups, as UL;
// - (0002,0001) File Meta Information Version, as OB;
// - the transfer syntax (0002,0010) and the SOP classes (0002,0002), (0008,0016), (0008,1150),
//   (0004,1510), as UI;
// - Specific Character Set (0008,0005) and Modality (0008,0060), as CS;
// - group 0028 (the image pixel module and its kin) where the VR holds numbers or a code string
//   (US SS UL SL UV SV FL FD OB OW OF OD OL OV CS DS IS AT).
// Each kept element must carry the VR named (as stored); names, IDs, dates, times, instance
// UIDs, free text, private elements and any other value are never kept.
bool KeptWhenRedacted(const CDicomTag& tag);

// The value text to print: the element's own, or empty when redacting a value not kept.
std::wstring ShownValue(const CDicomTag& tag, const std::wstring& characterSet, bool redact);

// A --check message about an element whose value is not kept, with the quoted pieces of the
// element's bytes emptied ("" instead of "Doe^John"); the numbers and the rule's words stay.
// `rule` tells which quotes are value bytes: none for unknown-vr (it quotes the VR bytes), the
// first for bad-character (the others quote the characters allowed), all for any other rule.
// bad-character and charset-missing also name a byte of the value in hex; it reads "0x??".
std::string RedactedMessage(const char* rule, const std::string& message);
