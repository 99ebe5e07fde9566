#include "dicom/analysis/CheckFormats.h"

#include "dicom/io/TextFormat.h"
#include "dicom/text/CharacterSet.h"

namespace check {

std::string Quoted(const uint8_t* bytes, size_t count) {
    std::string text = "\"";
    const size_t shown = count < 64 ? count : 64;
    for (size_t i = 0; i < shown; ++i) {
        const uint8_t c = bytes[i];
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\')
            text += static_cast<char>(c);
        else
            text += Format("\\x%02X", c);
    }
    text += shown < count ? "...\"" : "\"";
    return text;
}

namespace {

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }
bool IsUpper(uint8_t c) { return c >= 'A' && c <= 'Z'; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Value formats. Each answers "" when the value is well formed, else what was wrong.

size_t CountDigits(Span s, size_t from) {
    size_t n = 0;
    while (from + n < s.size && IsDigit(s.data[from + n])) ++n;
    return n;
}

namespace {

// The first byte outside the allowed set, described, or "".
template <typename Allowed>
std::string FirstBadCharacter(Span s, Allowed allowed, const char* expected) {
    for (size_t i = 0; i < s.size; ++i)
        if (!allowed(s.data[i]))
            return Format("holds 0x%02X at character %zu; only %s are allowed", s.data[i], i + 1, expected);
    return std::string();
}

std::string DateProblem(Span s) {
    const Span v = s.TrimmedRight();
    if (v.size == 0) return std::string();
    const size_t digits = CountDigits(v, 0);
    if (digits == v.size && digits >= 8) return std::string();   // longer ones are too long, not malformed
    return "is not a date of the form YYYYMMDD";
}

// HH[MM[SS[.F{1,6}]]] from `from`; the number of bytes it covers, 0 when it does not start so.
size_t TimeLength(Span s, size_t from) {
    const size_t digits = CountDigits(s, from);
    if (digits < 2) return 0;
    if (digits > 6 || digits % 2 != 0) return 0;
    size_t at = from + digits;
    if (digits == 6 && at < s.size && s.data[at] == '.') {
        const size_t fraction = CountDigits(s, at + 1);
        if (fraction < 1 || fraction > 6) return 0;
        at += 1 + fraction;
    }
    return at - from;
}

std::string TimeProblem(Span s) {
    const Span v = s.TrimmedRight();
    if (v.size == 0) return std::string();
    if (TimeLength(v, 0) == v.size) return std::string();
    return "is not a time of the form HH[MM[SS[.FFFFFF]]]";
}

std::string DateTimeProblem(Span s) {
    const Span v = s.TrimmedRight();
    if (v.size == 0) return std::string();
    const size_t digits = CountDigits(v, 0);
    size_t at = digits;
    bool good = digits >= 4 && digits <= 14 && digits % 2 == 0;
    if (good && digits == 14 && at < v.size && v.data[at] == '.') {
        const size_t fraction = CountDigits(v, at + 1);
        good = fraction >= 1 && fraction <= 6;
        at += 1 + fraction;
    }
    if (good && at < v.size && (v.data[at] == '+' || v.data[at] == '-')) {
        good = CountDigits(v, at + 1) == 4;
        at += 5;
    }
    if (good && at == v.size) return std::string();
    return "is not a date and time of the form YYYY[MM[DD[HH[MM[SS[.FFFFFF]]]]]][&ZZXX]";
}

std::string IntegerProblem(Span s) {
    const Span v = s.Trimmed();
    if (v.size == 0) return std::string();
    size_t at = (v.data[0] == '+' || v.data[0] == '-') ? 1 : 0;
    const size_t digits = CountDigits(v, at);
    if (digits == 0 || at + digits != v.size) return "is not an integer ([+-]digits)";
    long long value = 0;
    for (size_t i = at; i < v.size && value <= 0x100000000LL; ++i) value = value * 10 + (v.data[i] - '0');
    if (v.data[0] == '-') value = -value;
    if (value < -2147483648LL || value > 2147483647LL) return "lies outside the 32-bit range of an integer string";
    return std::string();
}

std::string DecimalProblem(Span s) {
    const Span v = s.Trimmed();
    if (v.size == 0) return std::string();
    size_t at = (v.data[0] == '+' || v.data[0] == '-') ? 1 : 0;
    const size_t whole = CountDigits(v, at);
    at += whole;
    size_t fraction = 0;
    if (at < v.size && v.data[at] == '.') {
        fraction = CountDigits(v, at + 1);
        at += 1 + fraction;
    }
    bool good = whole + fraction > 0;
    if (good && at < v.size && (v.data[at] == 'e' || v.data[at] == 'E')) {
        ++at;
        if (at < v.size && (v.data[at] == '+' || v.data[at] == '-')) ++at;
        const size_t exponent = CountDigits(v, at);
        good = exponent > 0;
        at += exponent;
    }
    if (good && at == v.size) return std::string();
    return "is not a decimal number";
}

std::string AgeProblem(Span s) {
    const Span v = s.TrimmedRight();
    if (v.size == 0) return std::string();
    if (v.size == 4 && CountDigits(v, 0) == 3 &&
        (v.data[3] == 'D' || v.data[3] == 'W' || v.data[3] == 'M' || v.data[3] == 'Y'))
        return std::string();
    return "is not an age of the form nnnD, nnnW, nnnM or nnnY";
}

// Components of digits between dots, none empty, none of more than one digit starting with 0.
std::string UidProblem(Span s) {
    if (s.size == 0) return std::string();
    std::string problem;
    ForEachValue(s, '.', [&problem](Span component, size_t number) {
        if (component.size == 0)
            problem = Format("has an empty component %zu (a dot at its start or end, or two in a row)", number);
        else if (component.size > 1 && component.data[0] == '0')
            problem = Format("has component %zu starting with 0; only the component 0 itself may", number);
        return problem.empty();
    });
    return problem;
}

}  // namespace

std::string CharacterProblem(VRCharacters rule, Span value) {
    switch (rule) {
        case VRCharacters::Any: return std::string();
        case VRCharacters::UID: {
            const std::string bad =
                FirstBadCharacter(value, [](uint8_t c) { return IsDigit(c) || c == '.'; }, "digits and \".\"");
            return bad.empty() ? UidProblem(value) : bad;
        }
        case VRCharacters::ApplicationEntity:
            return FirstBadCharacter(value, [](uint8_t c) { return c >= 0x20 && c < 0x7F && c != '\\'; },
                                     "characters of the default repertoire other than \"\\\" and control characters");
        case VRCharacters::CodeString:
            return FirstBadCharacter(value, [](uint8_t c) { return IsUpper(c) || IsDigit(c) || c == ' ' || c == '_'; },
                                     "upper-case letters, digits, space and \"_\"");
        case VRCharacters::Date: return DateProblem(value);
        case VRCharacters::Time: return TimeProblem(value);
        case VRCharacters::DateTime: return DateTimeProblem(value);
        case VRCharacters::IntegerString: return IntegerProblem(value);
        case VRCharacters::DecimalString: return DecimalProblem(value);
        case VRCharacters::AgeString: return AgeProblem(value);
    }
    return std::string();
}

// ---------------------------------------------------------------------------------------------
// Character sets

bool IsDefinedTerm(Span term) {
    const CharacterSetTerm* row = FindCharacterSetTerm(reinterpret_cast<const char*>(term.data), term.size);
    return row != nullptr && row->defined;
}

CharacterSet CharacterSetOf(Span value) {
    CharacterSet set;
    ForEachValue(value, '\\', [&set](Span term, size_t) {
        term = term.Trimmed();
        if (term.size == 0 || term.Equals("ISO_IR 6") || term.Equals("ISO 2022 IR 6")) return true;
        set.declared = true;
        if (term.Equals("ISO_IR 192")) set.utf8 = true;
        const CharacterSetTerm* row = FindCharacterSetTerm(reinterpret_cast<const char*>(term.data), term.size);
        if (row != nullptr && row->multiByte) set.multiByte = true;
        return true;
    });
    return set;
}

size_t CharacterCount(Span value, const CharacterSet& set) {
    size_t high = 0;
    bool escape = false;
    for (size_t i = 0; i < value.size; ++i) {
        if (value.data[i] >= 0x80) ++high;
        if (value.data[i] == 0x1B) escape = true;
    }
    if (high == 0 && !escape) return value.size;
    if (set.utf8) {
        size_t count = 0;
        for (size_t i = 0; i < value.size; ++i)
            if ((value.data[i] & 0xC0) != 0x80) ++count;
        return count;
    }
    if (escape) return value.size / 2;
    if (set.multiByte) return value.size - high + (high + 1) / 2;
    return value.size;
}

}  // namespace check
