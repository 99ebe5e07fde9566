// Text values: padding with the wrong byte, bytes above 0x7F without a character set, values
// malformed for their VR or longer than it allows, and terms of Specific Character Set.
#include "dicom/analysis/CheckWalker.h"
#include "dicom/io/TextFormat.h"

namespace check {

void Checker::Text(const CDicomTag& tag, const VRInfo& vr, Span value, const CharacterSet& set) {
    if (value.size == 0) return;
    const uint8_t last = value.data[value.size - 1];
    if (vr.requiredPad == 0x00 && last == ' ')
        ReportAt(tag, CheckRule::Padding,
                 Format("%s value is padded with a space; a %s is padded with NUL (0x00)", vr.code, vr.code));
    else if (vr.requiredPad == 0x20 && last == 0x00)
        ReportAt(tag, CheckRule::Padding,
                 Format("%s value is padded with NUL; a %s is padded with a space (0x20)", vr.code, vr.code));
    // The padding itself (and any run of it) is no part of the last value.
    const Span content = value.WithoutPadding();

    if (vr.characterSetText && !set.declared) {
        for (size_t i = 0; i < value.size; ++i)
            if (value.data[i] > 0x7F) {
                ReportAt(tag, CheckRule::CharsetMissing,
                         Format("%s value holds byte 0x%02X at byte %zu while no Specific Character Set "
                                "(0008,0005) is in force", vr.code, value.data[i], i + 1));
                break;
            }
    }

    // Each term of Specific Character Set is judged as a whole (charset-unknown).
    if (tag.Is(0x0008, 0x0005)) return;

    bool tooLong = vr.maxLength == 0;
    bool malformed = vr.characters == VRCharacters::Any;
    const uint8_t separator = vr.multiValued ? '\\' : 0x00;
    // Each kind of problem is reported once per element, and one value gives one problem: a
    // malformed value is not also measured.
    auto visit = [&](Span one, size_t number) {
        std::string problem;
        if (vr.characters != VRCharacters::Any && (!malformed || !tooLong))
            problem = CharacterProblem(vr.characters, one);
        if (!problem.empty() && !malformed) {
            malformed = true;
            ReportAt(tag, CheckRule::BadCharacter,
                     Format("%s value %zu %s %s", vr.code, number, Quoted(one.data, one.size).c_str(),
                            problem.c_str()));
        }
        if (!tooLong && problem.empty()) {
            auto check = [&](Span part, const char* what) {
                size_t limit = vr.maxLength;
                if (vr.maxLengthWithFraction != 0 && part.Contains('.')) limit = vr.maxLengthWithFraction;
                const size_t length = CharacterCount(part.Trimmed(), set);
                if (length <= limit) return false;
                ReportAt(tag, CheckRule::ValueTooLong,
                         Format("%s value %zu%s is %zu characters long; a %s holds at most %zu", vr.code, number,
                                what, length, vr.code, limit));
                return true;
            };
            if (vr.kind == VRKind::PN)
                ForEachValue(one, '=', [&](Span group, size_t) { return !(tooLong = check(group, " (a component group)")); });
            else
                tooLong = check(one, "");
        }
        return !(tooLong && malformed);
    };
    if (vr.multiValued)
        ForEachValue(content, separator, visit);
    else
        visit(content, 1);
}

void Checker::CheckCharacterSetTerms(const CDicomTag& tag, Span value) {
    ForEachValue(value.WithoutPadding(), '\\', [&](Span term, size_t number) {
        term = term.Trimmed();
        if (term.size != 0 && !IsDefinedTerm(term))
            ReportAt(tag, CheckRule::CharsetUnknown,
                     Format("Specific Character Set value %zu %s is not a defined term of the standard", number,
                            Quoted(term.data, term.size).c_str()));
        return true;
    });
}

}  // namespace check
