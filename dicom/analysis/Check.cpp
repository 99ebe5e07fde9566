#include "dicom/analysis/Check.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>

#include "dicom/io/TextFormat.h"
#include "dicom/dictionary/DicomDictionary.h"
#include "dicom/model/DicomHeader.h"
#include "dicom/model/NodeStore.h"
#include "dicom/dictionary/TransferSyntax.h"
#include "dicom/dictionary/VRRules.h"

// Offsets: a problem about an element is reported at the element's tag offset; trailing bytes at
// the first trailing byte; the meta group as a whole at (0002,0000) or, without one, at 132; a
// bare data set at 0.

namespace {

constexpr uint32_t Key(uint16_t group, uint16_t element) { return (uint32_t(group) << 16) | element; }

std::string TagText(uint16_t group, uint16_t element) { return Format("(%04X,%04X)", group, element); }

// The group under which the dictionary lists a tag: the even overlay groups 6000-601E under
// 6000 and the even curve groups 5000-501E under 5000 (the odd groups among them are private),
// the waveform groups 54xx under 5400 as the load does.
uint16_t DictionaryGroup(uint16_t group) {
    if ((group & 1) == 0 && group >= 0x6000 && group <= 0x601E) return 0x6000;
    if ((group & 1) == 0 && group >= 0x5000 && group <= 0x501E) return 0x5000;
    if ((group & 0xFF00) == 0x5400) return 0x5400;
    return group;
}

// The one VR the dictionary gives a tag (with its group folded as above), or null where it
// gives none or several.
const VRInfo* DictionaryVR(uint16_t group, uint16_t element) {
    const DictionaryRecord* record = FindDictionaryRecord(DictionaryGroup(group), element);
    if (record == nullptr || record->vr[0] == '\0' || record->vr[3] != '\0') return nullptr;
    return FindVRInfo(record->vr);
}

// File bytes quoted for a message: printable ASCII as it is, anything else as \xNN, cut at 64.
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

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }
bool IsUpper(uint8_t c) { return c >= 'A' && c <= 'Z'; }

// A span of value bytes.
struct Span {
    const uint8_t* data = nullptr;
    size_t size = 0;
    Span TrimmedRight() const {
        size_t n = size;
        while (n > 0 && data[n - 1] == ' ') --n;
        return {data, n};
    }
    Span Trimmed() const {
        Span s = TrimmedRight();
        size_t skip = 0;
        while (skip < s.size && s.data[skip] == ' ') ++skip;
        return {s.data + skip, s.size - skip};
    }
    bool Equals(const char* text) const {
        return std::strlen(text) == size && std::memcmp(data, text, size) == 0;
    }
    bool Contains(uint8_t c) const { return size != 0 && std::memchr(data, c, size) != nullptr; }
};

// Splits at `separator`; calls visit(value, 1-based number) until it returns false.
template <typename Visit>
void ForEachValue(Span text, uint8_t separator, Visit visit) {
    size_t start = 0;
    for (size_t number = 1;; ++number) {
        const void* found = start < text.size ? std::memchr(text.data + start, separator, text.size - start) : nullptr;
        const size_t end = found ? static_cast<size_t>(static_cast<const uint8_t*>(found) - text.data) : text.size;
        if (!visit(Span{text.data + start, end - start}, number)) return;
        if (found == nullptr) return;
        start = end + 1;
    }
}

// ---------------------------------------------------------------------------------------------
// Value formats. Each answers "" when the value is well formed, else what was wrong.

size_t CountDigits(Span s, size_t from) {
    size_t n = 0;
    while (from + n < s.size && IsDigit(s.data[from + n])) ++n;
    return n;
}

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

// What is wrong with one value of this VR by its character rule, or "".
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

// The standard's defined terms of Specific Character Set, and ISO_IR 6, the default repertoire
// by name.
const char* const kDefinedTerms[] = {
    "ISO_IR 6",        "ISO_IR 100",      "ISO_IR 101",      "ISO_IR 109",      "ISO_IR 110",
    "ISO_IR 144",      "ISO_IR 127",      "ISO_IR 126",      "ISO_IR 138",      "ISO_IR 148",
    "ISO_IR 203",      "ISO_IR 13",       "ISO_IR 166",      "ISO_IR 192",      "GB18030",
    "GBK",             "ISO 2022 IR 6",   "ISO 2022 IR 100", "ISO 2022 IR 101", "ISO 2022 IR 109",
    "ISO 2022 IR 110", "ISO 2022 IR 144", "ISO 2022 IR 127", "ISO 2022 IR 126", "ISO 2022 IR 138",
    "ISO 2022 IR 148", "ISO 2022 IR 203", "ISO 2022 IR 13",  "ISO 2022 IR 166", "ISO 2022 IR 87",
    "ISO 2022 IR 159", "ISO 2022 IR 149", "ISO 2022 IR 58",
};

bool IsDefinedTerm(Span term) {
    for (const char* defined : kDefinedTerms)
        if (term.Equals(defined)) return true;
    return false;
}

// The Specific Character Set in force for a data set.
struct CharacterSet {
    bool declared = false;   // some term other than the default repertoire
    bool utf8 = false;       // ISO_IR 192
    bool multiByte = false;  // a set whose characters take more than one byte
};

CharacterSet CharacterSetOf(Span value) {
    CharacterSet set;
    ForEachValue(value, '\\', [&set](Span term, size_t) {
        term = term.Trimmed();
        if (term.size == 0 || term.Equals("ISO_IR 6") || term.Equals("ISO 2022 IR 6")) return true;
        set.declared = true;
        if (term.Equals("ISO_IR 192")) set.utf8 = true;
        if (term.Equals("GB18030") || term.Equals("GBK") || term.Equals("ISO 2022 IR 87") ||
            term.Equals("ISO 2022 IR 159") || term.Equals("ISO 2022 IR 149") || term.Equals("ISO 2022 IR 58") ||
            term.Equals("ISO_IR 149"))
            set.multiByte = true;
        return true;
    });
    return set;
}

// Characters in a value for its length limit. Multi-byte texts are counted generously (a byte
// above 0x7F as half a character, an escape sequence as nothing), so that no text is taken for
// too long because of its encoding.
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

// ---------------------------------------------------------------------------------------------
// The walk

struct Encoding {
    bool explicitVR;
    bool littleEndian;
};

uint16_t Read16(const uint8_t* p, bool little) {
    return little ? static_cast<uint16_t>(p[0] | (p[1] << 8)) : static_cast<uint16_t>((p[0] << 8) | p[1]);
}
uint32_t Read32(const uint8_t* p, bool little) {
    return little ? uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24)
                  : (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// What one element looks like in the file.
struct Stored {
    Encoding encoding;
    bool headerRead = false;     // the header lies in the file and was understood
    uint32_t length = 0;         // the length field as stored
    const VRInfo* fileVR = nullptr;  // explicit VR: the VR the header names (null if no VR code)
    uint8_t vrBytes[2] = {};
};

// The elements of one data set (the top level or an item) that other checks consult.
struct DataSetFacts {
    const CDicomTag* characterSet = nullptr;
    const CDicomTag* rows = nullptr;
    const CDicomTag* columns = nullptr;
    const CDicomTag* bitsAllocated = nullptr;
    const CDicomTag* samplesPerPixel = nullptr;
    const CDicomTag* numberOfFrames = nullptr;
    const CDicomTag* photometric = nullptr;
    bool hasGroupLength = false;
    std::vector<uint32_t> creators;   // group << 8 | block of each private creator
};

class Checker {
public:
    explicit Checker(const CheckInput& input) : m_in(input) {}

    std::vector<CheckProblem> Run() {
        const Encoding fileEncoding{m_in.explicitVR, m_in.littleEndian};
        if (!m_in.hasPreamble)
            Report("no-preamble", CheckSeverity::Info, nullptr, 0,
                   "bare data set: no 128-byte preamble and no \"DICM\" before the first element");
        else
            CheckMetaGroup();
        // The meta group and the data set after it are two structures: tag order and group
        // lengths are each their own.
        const size_t meta = MetaGroupCount();
        m_inMetaGroup = true;
        DataSet(m_in.elements, meta, CharacterSet(), Encoding{true, fileEncoding.littleEndian}, true, 0);
        m_inMetaGroup = false;
        if (m_in.deflated) {
            NotChecked();
        } else {
            DataSet(m_in.elements + meta, m_in.elementCount - meta, CharacterSet(), fileEncoding, true, meta);
            CheckTrailingBytes(fileEncoding);
        }
        std::stable_sort(m_problems.begin(), m_problems.end(),
                         [](const CheckProblem& a, const CheckProblem& b) { return a.offset < b.offset; });
        return std::move(m_problems);
    }

private:
    const CheckInput& m_in;
    std::vector<CheckProblem> m_problems;
    std::vector<CheckPathStep> m_path;
    bool m_inMetaGroup = false;
    std::shared_ptr<const void> m_outsideTree;   // the owner of the nodes being checked, where not the tree's

    bool Has(uint64_t offset, uint64_t count) const { return offset <= m_in.size && count <= m_in.size - offset; }
    const uint8_t* At(uint64_t offset) const { return m_in.bytes + offset; }

    void Report(const char* rule, CheckSeverity severity, const CDicomTag* element, uint64_t offset,
                std::string message) {
        m_problems.push_back(CheckProblem{rule, severity, offset, element ? m_path : std::vector<CheckPathStep>(),
                                          std::move(message), element, element ? m_outsideTree : nullptr, {}});
    }
    // A problem of the element whose step is the last on the path.
    void ReportAt(const CDicomTag& tag, const char* rule, CheckSeverity severity, std::string message) {
        Report(rule, severity, &tag, tag.GetTagOffset(), std::move(message));
    }

    // The header of an element as the file holds it. The byte order is the one in which the tag
    // bytes read as the element's tag; explicit VR or not follows from the header's size and, for
    // an 8-byte header, from which length field agrees with where the value ends.
    Stored StoredOf(const CDicomTag& tag, Encoding fallback) const {
        Stored s;
        s.encoding = fallback;
        const uint64_t at = tag.GetTagOffset();
        if (!Has(at, 8) || tag.GetValueOffset() < at) return s;
        const uint8_t* p = At(at);
        const bool little = Read16(p, true) == tag.GetGroup() && Read16(p + 2, true) == tag.GetElement();
        const bool big = Read16(p, false) == tag.GetGroup() && Read16(p + 2, false) == tag.GetElement();
        if (little != big) s.encoding.littleEndian = little;
        const bool le = s.encoding.littleEndian;
        const uint64_t header = tag.GetValueOffset() - at;
        if (tag.GetGroup() == 0xFFFE) {
            // Items and fragments: tag and 4-byte length, never a VR.
            s.length = Read32(p + 4, le);
            s.headerRead = header == 8;
            return s;
        }
        if (header == 12) {
            if (!Has(at, 12)) return s;
            s.encoding.explicitVR = true;
            s.length = Read32(p + 8, le);
        } else if (header == 8) {
            const uint16_t shortLength = Read16(p + 6, le);
            const uint32_t longLength = Read32(p + 4, le);
            const bool ends = tag.GetEndOffset() >= tag.GetValueOffset();
            const uint64_t span = tag.GetEndOffset() - tag.GetValueOffset();
            // Every header of a data set has its encoding, except the leading group 0002 elements
            // of a bare data set, which are read before its transfer syntax is known; only there
            // does the header itself tell.
            const bool headerTells = !m_in.hasPreamble && tag.GetGroup() == 0x0002 && tag.GetParent() == nullptr;
            if (longLength == kUndefinedLength)
                s.encoding.explicitVR = false;     // an explicit undefined length needs the long form
            else if (headerTells && ends && span == shortLength && span != longLength)
                s.encoding.explicitVR = true;
            else if (headerTells && ends && span == longLength && span != shortLength)
                s.encoding.explicitVR = false;
            s.length = s.encoding.explicitVR ? shortLength : longLength;
        } else {
            return s;
        }
        if (s.encoding.explicitVR) {
            s.vrBytes[0] = p[4];
            s.vrBytes[1] = p[5];
            const char letters[3] = {static_cast<char>(p[4]), static_cast<char>(p[5]), '\0'};
            s.fileVR = FindVRInfo(letters);
        }
        s.headerRead = true;
        return s;
    }

    // The rules that apply to the element's value: the VR its header names, or in implicit VR
    // the dictionary's (which the element carries).
    static const VRInfo* RuleVR(const CDicomTag& tag, const Stored& stored) {
        if (stored.encoding.explicitVR) return stored.fileVR;
        // The load folds every group 6000-6FFF to 6000 and no curve group; where that differs
        // from the repeating groups the element's VR is not the dictionary's.
        const uint16_t g = tag.GetGroup();
        if (tag.GetElement() != 0x0000 && FoldRepeatingGroup(g) != DictionaryGroup(g))
            return DictionaryVR(g, tag.GetElement());
        return tag.GetVR().GetInfo();
    }

    // A plain value's bytes in the file, or an empty span where they do not lie in it.
    Span ValueOf(const CDicomTag& tag, const Stored& stored) const {
        if (!stored.headerRead || stored.length == kUndefinedLength || !Has(tag.GetValueOffset(), stored.length))
            return Span();
        return Span{At(tag.GetValueOffset()), stored.length};
    }

    // A US or UL number of a data-set element, read from the file; false where it has none.
    bool NumberOf(const CDicomTag* tag, Encoding fallback, uint32_t& value) const {
        if (tag == nullptr) return false;
        const Stored s = StoredOf(*tag, fallback);
        const Span v = ValueOf(*tag, s);
        if (v.size == 2) value = Read16(v.data, s.encoding.littleEndian);
        else if (v.size == 4) value = Read32(v.data, s.encoding.littleEndian);
        else return false;
        return true;
    }

    // An IS value read from the file; false where it has none or it is no integer.
    bool IntegerOf(const CDicomTag* tag, Encoding fallback, uint32_t& value) const {
        if (tag == nullptr) return false;
        const Span v = ValueOf(*tag, StoredOf(*tag, fallback)).Trimmed();
        if (v.size == 0 || v.size > 10 || CountDigits(v, 0) != v.size) return false;
        uint64_t n = 0;
        for (size_t i = 0; i < v.size; ++i) n = n * 10 + (v.data[i] - '0');
        if (n > 0xFFFFFFFFu) return false;
        value = static_cast<uint32_t>(n);
        return true;
    }

    static DataSetFacts FactsOf(const CDicomTag* const* nodes, size_t count) {
        DataSetFacts facts;
        for (size_t i = 0; i < count; ++i) {
            const CDicomTag& t = *nodes[i];
            const uint16_t g = t.GetGroup(), e = t.GetElement();
            if (e == 0x0000) facts.hasGroupLength = true;
            if (g == 0x0008 && e == 0x0005 && facts.characterSet == nullptr) facts.characterSet = &t;
            if (g == 0x0028) {
                const CDicomTag** slot = e == 0x0010 ? &facts.rows : e == 0x0011 ? &facts.columns
                                       : e == 0x0100 ? &facts.bitsAllocated : e == 0x0002 ? &facts.samplesPerPixel
                                       : e == 0x0008 ? &facts.numberOfFrames : e == 0x0004 ? &facts.photometric
                                       : nullptr;
                if (slot != nullptr && *slot == nullptr) *slot = &t;
            }
            if ((g & 1) != 0 && e >= 0x0010 && e <= 0x00FF) facts.creators.push_back((uint32_t(g) << 8) | e);
        }
        std::sort(facts.creators.begin(), facts.creators.end());
        return facts;
    }

    // ---- data sets

    // The elements of the top level or of one item.
    // `first` is the index of nodes[0] among its parent's children.
    void DataSet(const CDicomTag* const* nodes, size_t count, const CharacterSet& inherited, Encoding encoding,
                 bool topLevel, size_t first) {
        const DataSetFacts facts = FactsOf(nodes, count);
        CharacterSet characterSet = inherited;
        if (facts.characterSet != nullptr) {
            const Stored s = StoredOf(*facts.characterSet, encoding);
            characterSet = CharacterSetOf(ValueOf(*facts.characterSet, s));
        }
        // Bytes each group takes, for the groups whose length element there is to compare.
        std::vector<std::pair<uint16_t, uint64_t>> groupBytes;
        if (facts.hasGroupLength) {
            for (size_t i = 0; i < count; ++i) {
                const CDicomTag& t = *nodes[i];
                if (t.GetElement() == 0x0000 || t.GetEndOffset() < t.GetTagOffset()) continue;
                auto found = std::find_if(groupBytes.begin(), groupBytes.end(),
                                          [&t](const std::pair<uint16_t, uint64_t>& g) { return g.first == t.GetGroup(); });
                if (found == groupBytes.end()) found = groupBytes.insert(groupBytes.end(), {t.GetGroup(), 0});
                found->second += t.GetEndOffset() - t.GetTagOffset();
            }
        }

        TagOrder order;
        for (size_t i = 0; i < count; ++i) {
            const CDicomTag& tag = *nodes[i];
            m_path.push_back({static_cast<uint32_t>(first + i), tag.GetGroup(), tag.GetElement()});
            if (IsItemOrDelimiter(tag)) {
                // No element at all: an item or delimiter where elements go. What follows is
                // ordered against the element before it.
                ReportItemOutside(tag);
                m_path.pop_back();
                continue;
            }
            CheckOrder(tag, order);

            const Stored stored = StoredOf(tag, encoding);
            Element(tag, stored, facts, characterSet, topLevel);
            const bool groupMayBeCut = m_in.partial && count > 0 && nodes[count - 1]->GetGroup() == tag.GetGroup();
            if (tag.GetElement() == 0x0000 && !groupBytes.empty() && !groupMayBeCut) {
                uint64_t bytes = 0;
                for (const auto& g : groupBytes)
                    if (g.first == tag.GetGroup()) bytes = g.second;
                CheckGroupLength(tag, stored, bytes);
            }
            m_path.pop_back();
        }
    }

    // The tags of one data set seen so far: those that ascended, in order (most files hold only
    // these), and the others, so that every repeat is found in logarithmic time.
    struct TagOrder {
        bool any = false;
        uint32_t previous = 0;
        std::vector<std::pair<uint32_t, uint64_t>> ascending;   // key, tag offset
        std::map<uint32_t, uint64_t> others;                    // key, tag offset
    };

    static bool IsItemOrDelimiter(const CDicomTag& tag) {
        return tag.GetGroup() == 0xFFFE &&
               (tag.GetElement() == 0xE000 || tag.GetElement() == 0xE00D || tag.GetElement() == 0xE0DD);
    }

    void ReportItemOutside(const CDicomTag& tag) {
        const uint16_t e = tag.GetElement();
        ReportAt(tag, "item-outside-sequence", CheckSeverity::Error,
                 Format("%s %s stands among the elements of a data set; %s", e == 0xE000 ? "item" : e == 0xE00D
                        ? "item delimiter" : "sequence delimiter", TagText(0xFFFE, e).c_str(),
                        e == 0xE0DD ? "it may only end an undefined-length sequence"
                                    : "items belong in a sequence or encapsulated pixel data"));
    }

    // A tag lower than the one before it is out of order; a tag seen before in the data set is a
    // repeat, wherever it falls.
    void CheckOrder(const CDicomTag& tag, TagOrder& order) {
        const uint32_t key = Key(tag.GetGroup(), tag.GetElement());
        const uint32_t previous = order.previous;
        const bool first = !order.any;
        order.any = true;
        order.previous = key;
        if (first || key > order.ascending.back().first) {
            order.ascending.push_back({key, tag.GetTagOffset()});
            return;
        }
        auto less = [](const std::pair<uint32_t, uint64_t>& a, uint32_t k) { return a.first < k; };
        const auto ascending = std::lower_bound(order.ascending.begin(), order.ascending.end(), key, less);
        const auto other = order.others.find(key);
        if ((ascending != order.ascending.end() && ascending->first == key) || other != order.others.end()) {
            // Each key is in one of the two, with the offset of its first appearance.
            const uint64_t at = other != order.others.end() ? other->second : ascending->second;
            ReportAt(tag, "tag-order", CheckSeverity::Error,
                     Format("%s appears a second time in this data set (first at offset %llu); each tag may "
                            "appear once", TagText(tag.GetGroup(), tag.GetElement()).c_str(),
                            static_cast<unsigned long long>(at)));
            return;
        }
        order.others.emplace(key, tag.GetTagOffset());
        if (key < previous)
            ReportAt(tag, "tag-order", CheckSeverity::Warning,
                     Format("%s follows %s; tags must ascend within a data set",
                            TagText(tag.GetGroup(), tag.GetElement()).c_str(),
                            TagText(static_cast<uint16_t>(previous >> 16), static_cast<uint16_t>(previous)).c_str()));
    }

    void CheckGroupLength(const CDicomTag& tag, const Stored& stored, uint64_t bytes) {
        const Span v = ValueOf(tag, stored);
        if (v.size != 4) return;   // not a UL: bad-length-for-vr says so
        const uint32_t declared = Read32(v.data, stored.encoding.littleEndian);
        if (declared == bytes) return;
        ReportAt(tag, "group-length", tag.GetGroup() == 0x0002 ? CheckSeverity::Error : CheckSeverity::Warning,
                 Format("group length %lu of group %04X differs from the %llu bytes its elements take after it",
                        static_cast<unsigned long>(declared), tag.GetGroup(), static_cast<unsigned long long>(bytes)));
    }

    // ---- one element

    void Element(const CDicomTag& tag, const Stored& stored, const DataSetFacts& facts,
                 const CharacterSet& characterSet, bool topLevel) {
        const uint16_t g = tag.GetGroup(), e = tag.GetElement();
        if (stored.headerRead && stored.encoding.explicitVR && g != 0xFFFE) CheckExplicitVR(tag, stored);
        if ((g & 1) != 0 && g > 0x0008 && g != 0xFFFF && e >= 0x1000 &&
            !std::binary_search(facts.creators.begin(), facts.creators.end(), (uint32_t(g) << 8) | (e >> 8)))
            ReportAt(tag, "private-creator", CheckSeverity::Warning,
                     Format("private element %s has no private creator %s in its data set",
                            TagText(g, e).c_str(), TagText(g, static_cast<uint16_t>(e >> 8)).c_str()));
        if (g == 0x0002 && !m_inMetaGroup && (m_in.hasPreamble || !topLevel))
            ReportAt(tag, "meta-misplaced", CheckSeverity::Warning,
                     Format("%s of the file meta group stands %s; group 0002 belongs only in the meta group",
                            TagText(g, e).c_str(), topLevel ? "in the data set" : "inside an item"));
        if ((g & 1) != 0 && g > 0x0008 && g != 0xFFFF && e >= 0x0001 && e <= 0x000F)
            ReportAt(tag, "private-creator", CheckSeverity::Warning,
                     Format("%s lies in %s-%s of a private group, which no element may use", TagText(g, e).c_str(),
                            TagText(g, 0x0001).c_str(), TagText(g, 0x000F).c_str()));
        if (!stored.headerRead) return;

        const bool undefined = stored.length == kUndefinedLength;
        // The element's VR is the file's in explicit VR, else the dictionary's.
        const bool sequenceVR = tag.GetVR().Is(VRKind::SQ);
        // Undefined-length pixel data is read as fragments inside items, and at the top level
        // unless it reads as a sequence there; defined-length pixel data with items is
        // encapsulated. Every other undefined length is a sequence.
        const bool fragments =
            tag.IsPixelData() &&
            (undefined ? (!topLevel || (stored.encoding.explicitVR && !IsUN(stored) && !sequenceVR))
                       : (!sequenceVR && !tag.GetChildren().empty()));
        if (!undefined && (stored.length & 1) != 0)
            ReportAt(tag, "odd-length", CheckSeverity::Warning,
                     Format("value length %lu is odd; defined lengths must be even",
                            static_cast<unsigned long>(stored.length)));
        if (tag.IsPixelData() && stored.encoding.explicitVR && stored.fileVR != nullptr) {
            uint32_t bits = 0;
            if (fragments && stored.fileVR->kind == VRKind::OW)
                ReportAt(tag, "pixel-vr", CheckSeverity::Warning,
                         "encapsulated pixel data is stored as OW; its fragments are bytes, stored as OB");
            else if (!fragments && !undefined && stored.fileVR->kind == VRKind::OB &&
                     NumberOf(facts.bitsAllocated, stored.encoding, bits) && bits > 8) {
                ReportAt(tag, "pixel-vr", stored.encoding.littleEndian ? CheckSeverity::Warning : CheckSeverity::Error,
                         Format("native pixel data of %lu bits allocated is stored as OB; more than 8 bits are "
                                "stored as OW%s", static_cast<unsigned long>(bits),
                                stored.encoding.littleEndian ? "" : " (in big endian, OB keeps the bytes unswapped)"));
                m_problems.back().quoted.push_back(facts.bitsAllocated);
            }
        }
        if (fragments) {
            Fragments(tag, stored);
            return;
        }
        if (sequenceVR || undefined) {
            if (IsUN(stored) && undefined)
                ReportAt(tag, "un-sequence", CheckSeverity::Info,
                         "UN element of undefined length, read as a sequence of implicit-VR items");
            Sequence(tag, stored, characterSet);
            return;
        }

        const VRInfo* vr = RuleVR(tag, stored);
        if (vr != nullptr && vr->kind == VRKind::UN && e != 0x0000) {
            // A UN value of a tag the dictionary knows is held to the dictionary's VR.
            const VRInfo* known = DictionaryVR(g, e);
            if (known != nullptr && known->kind != VRKind::SQ && known->kind != VRKind::UN) vr = known;
        }
        if (vr == nullptr) return;
        const VRRule& rule = VRRuleFor(vr->kind);
        if (rule.unit > 1 && stored.length % rule.unit != 0)
            ReportAt(tag, "bad-length-for-vr", CheckSeverity::Error,
                     Format("value length %lu of a %s value is not a whole number of its %u-byte units",
                            static_cast<unsigned long>(stored.length), vr->code, rule.unit));
        const Span value = ValueOf(tag, stored);
        if (rule.padding != kNoPadding) Text(tag, *vr, rule, value, characterSet);
        if (g == 0x0008 && e == 0x0005) CheckCharacterSetTerms(tag, value);
        if ((g & 1) != 0 && g > 0x0008 && g != 0xFFFF && e >= 0x0010 && e <= 0x00FF && value.size == stored.length &&
            std::all_of(value.data, value.data + value.size, [](uint8_t c) { return c == ' ' || c == 0x00; }))
            ReportAt(tag, "private-creator", CheckSeverity::Warning,
                     Format("private creator %s is empty; a creator names the block it reserves", TagText(g, e).c_str()));
        if (tag.IsPixelData()) CheckPixelLength(tag, stored, facts);
    }

    static bool IsUN(const Stored& stored) { return stored.fileVR != nullptr && stored.fileVR->kind == VRKind::UN; }

    void CheckExplicitVR(const CDicomTag& tag, const Stored& stored) {
        const uint16_t g = tag.GetGroup(), e = tag.GetElement();
        const std::string named = Quoted(stored.vrBytes, 2);
        if (stored.fileVR == nullptr) {
            ReportAt(tag, "unknown-vr", CheckSeverity::Error,
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
        ReportAt(tag, "vr-mismatch", CheckSeverity::Warning,
                 Format("explicit VR %s of %s is not the dictionary's %s", stored.fileVR->code,
                        TagText(g, e).c_str(), allowed.c_str()));
    }

    // ---- text values

    void Text(const CDicomTag& tag, const VRInfo& vr, const VRRule& rule, Span value, const CharacterSet& set) {
        if (value.size == 0) return;
        const uint8_t last = value.data[value.size - 1];
        if (rule.padding == 0x00 && last == ' ')
            ReportAt(tag, "padding", CheckSeverity::Warning,
                     Format("%s value is padded with a space; a %s is padded with NUL (0x00)", vr.code, vr.code));
        else if (rule.padding == 0x20 && last == 0x00)
            ReportAt(tag, "padding", CheckSeverity::Warning,
                     Format("%s value is padded with NUL; a %s is padded with a space (0x20)", vr.code, vr.code));
        // The padding itself (and any run of it) is no part of the last value.
        size_t end = value.size;
        while (end > 0 && (value.data[end - 1] == ' ' || value.data[end - 1] == 0x00)) --end;
        const Span content{value.data, end};

        if (rule.characterSetText && !set.declared) {
            for (size_t i = 0; i < value.size; ++i)
                if (value.data[i] > 0x7F) {
                    ReportAt(tag, "charset-missing", CheckSeverity::Warning,
                             Format("%s value holds byte 0x%02X at byte %zu while no Specific Character Set "
                                    "(0008,0005) is in force", vr.code, value.data[i], i + 1));
                    break;
                }
        }

        // Each term of Specific Character Set is judged as a whole (charset-unknown).
        if (tag.Is(0x0008, 0x0005)) return;

        bool tooLong = rule.maxLength == 0;
        bool malformed = rule.characters == VRCharacters::Any;
        const uint8_t separator = rule.multiValued ? '\\' : 0x00;
        // Each kind of problem is reported once per element, and one value gives one problem: a
        // malformed value is not also measured.
        auto visit = [&](Span one, size_t number) {
            std::string problem;
            if (rule.characters != VRCharacters::Any && (!malformed || !tooLong))
                problem = CharacterProblem(rule.characters, one);
            if (!problem.empty() && !malformed) {
                malformed = true;
                ReportAt(tag, "bad-character", CheckSeverity::Warning,
                         Format("%s value %zu %s %s", vr.code, number, Quoted(one.data, one.size).c_str(),
                                problem.c_str()));
            }
            if (!tooLong && problem.empty()) {
                auto check = [&](Span part, const char* what) {
                    size_t limit = rule.maxLength;
                    if (rule.maxLengthWithFraction != 0 && part.Contains('.')) limit = rule.maxLengthWithFraction;
                    const size_t length = CharacterCount(part.Trimmed(), set);
                    if (length <= limit) return false;
                    ReportAt(tag, "value-too-long", CheckSeverity::Warning,
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
        if (rule.multiValued)
            ForEachValue(content, separator, visit);
        else
            visit(content, 1);
    }

    void CheckCharacterSetTerms(const CDicomTag& tag, Span value) {
        size_t end = value.size;
        while (end > 0 && (value.data[end - 1] == ' ' || value.data[end - 1] == 0x00)) --end;
        ForEachValue(Span{value.data, end}, '\\', [&](Span term, size_t number) {
            term = term.Trimmed();
            if (term.size != 0 && !IsDefinedTerm(term))
                ReportAt(tag, "charset-unknown", CheckSeverity::Warning,
                         Format("Specific Character Set value %zu %s is not a defined term of the standard", number,
                                Quoted(term.data, term.size).c_str()));
            return true;
        });
    }

    // ---- sequences, items and fragments

    void Sequence(const CDicomTag& sequence, const Stored& stored, const CharacterSet& set) {
        // Items of an undefined-length UN element are implicit VR little endian.
        Encoding inner = stored.encoding;
        if (IsUN(stored) && stored.length == kUndefinedLength) inner.explicitVR = false;
        const CDicomTagList& items = sequence.GetChildren();
        for (size_t i = 0; i < items.size(); ++i) {
            const CDicomTag& item = *items[i];
            m_path.push_back({static_cast<uint32_t>(i), item.GetGroup(), item.GetElement()});
            const Stored s = StoredOf(item, inner);
            if (!item.Is(0xFFFE, 0xE000))
                ReportAt(item, "not-an-item", CheckSeverity::Error,
                         Format("%s stands where an item (FFFE,E000) of the sequence is required, and was read as "
                                "one", TagText(item.GetGroup(), item.GetElement()).c_str()));
            if (s.headerRead && s.length != kUndefinedLength && (s.length & 1) != 0)
                ReportAt(item, "odd-length", CheckSeverity::Warning,
                         Format("item length %lu is odd; defined lengths must be even",
                                static_cast<unsigned long>(s.length)));
            DataSet(item.GetChildren().data(), item.GetChildren().size(), set, inner, false, 0);
            m_path.pop_back();
        }
    }

    void Fragments(const CDicomTag& pixel, const Stored& stored) {
        const CDicomTagList& items = pixel.GetChildren();
        for (size_t i = 0; i < items.size(); ++i) {
            const CDicomTag& item = *items[i];
            m_path.push_back({static_cast<uint32_t>(i), item.GetGroup(), item.GetElement()});
            const Stored s = StoredOf(item, stored.encoding);
            if (s.headerRead && (s.length & 1) != 0)
                ReportAt(item, "odd-length", CheckSeverity::Warning,
                         Format("%s length %lu is odd; defined lengths must be even",
                                i == 0 ? "offset table" : "fragment", static_cast<unsigned long>(s.length)));
            if (i == 0 && s.headerRead && pixel.IsComplete()) CheckOffsetTable(item, s, items);
            m_path.pop_back();
        }
    }

    void CheckOffsetTable(const CDicomTag& table, const Stored& stored, const CDicomTagList& items) {
        const Span v = ValueOf(table, stored);
        if (v.size == 0) return;
        if (v.size % 4 != 0) {
            ReportAt(table, "offset-table", CheckSeverity::Error,
                     Format("basic offset table length %zu is not a whole number of 4-byte offsets", v.size));
            return;
        }
        const size_t entries = v.size / 4;
        const uint64_t first = items.size() > 1 ? items[1]->GetTagOffset() : 0;
        for (size_t k = 0; k < entries; ++k) {
            const uint32_t offset = Read32(v.data + 4 * k, stored.encoding.littleEndian);
            // Fragments lie in file order, so their starts ascend.
            const CDicomTagList::const_iterator begin = items.begin() + (items.size() > 1 ? 1 : items.size());
            const CDicomTagList::const_iterator hit = std::lower_bound(
                begin, items.end(), first + offset,
                [](const CDicomTag* item, uint64_t start) { return item->GetTagOffset() < start; });
            if (items.size() > 1 && hit != items.end() && (*hit)->GetTagOffset() == first + offset) continue;
            ReportAt(table, "offset-table", CheckSeverity::Error,
                     Format("basic offset table entry %zu of %zu is %lu, which is not the start of a fragment item "
                            "relative to the first fragment (at offset %llu; %zu fragments)",
                            k + 1, entries, static_cast<unsigned long>(offset), static_cast<unsigned long long>(first),
                            items.size() > 0 ? items.size() - 1 : 0));
            return;
        }
    }

    // ---- pixel data

    void CheckPixelLength(const CDicomTag& pixel, const Stored& stored, const DataSetFacts& facts) {
        if (stored.encoding.explicitVR && stored.fileVR != nullptr && stored.fileVR->kind != VRKind::OB &&
            stored.fileVR->kind != VRKind::OW)
            return;
        const Encoding e = stored.encoding;
        uint32_t rows, columns, bits, samples = 1, frames = 1;
        if (!NumberOf(facts.rows, e, rows) || !NumberOf(facts.columns, e, columns) ||
            !NumberOf(facts.bitsAllocated, e, bits) || bits == 0)
            return;
        if (facts.samplesPerPixel != nullptr && !NumberOf(facts.samplesPerPixel, e, samples)) return;
        if (facts.numberOfFrames != nullptr && !IntegerOf(facts.numberOfFrames, e, frames)) return;
        // YBR_FULL_422 stores two of its three samples at half the horizontal resolution.
        bool subsampled = false;
        if (facts.photometric != nullptr)
            subsampled = ValueOf(*facts.photometric, StoredOf(*facts.photometric, e)).Trimmed().Equals("YBR_FULL_422") &&
                         samples == 3;
        // In bits, saturating well above any 32-bit length.
        const uint64_t cap = uint64_t(1) << 40;
        uint64_t total = uint64_t(rows) * columns;
        for (const uint64_t factor : {uint64_t(bits), uint64_t(subsampled ? 2 : samples), uint64_t(frames)})
            total = (total != 0 && factor > cap / total) ? cap : total * factor;
        uint64_t expected = (total + 7) / 8;
        expected += expected & 1;
        if (expected == stored.length) return;
        ReportAt(pixel, "pixel-length",
                 stored.length < expected ? CheckSeverity::Error : CheckSeverity::Warning,
                 Format("native pixel data holds %lu bytes where rows %lu x columns %lu x bits allocated %lu / 8 x "
                        "samples %lu%s x frames %lu gives %llu (rounded up to even)",
                        static_cast<unsigned long>(stored.length), static_cast<unsigned long>(rows),
                        static_cast<unsigned long>(columns), static_cast<unsigned long>(bits),
                        static_cast<unsigned long>(samples), subsampled ? " (YBR_FULL_422: 2 per pixel)" : "",
                        static_cast<unsigned long>(frames), static_cast<unsigned long long>(expected)));
        for (const CDicomTag* source : {facts.rows, facts.columns, facts.bitsAllocated, facts.samplesPerPixel,
                                        facts.numberOfFrames, facts.photometric})
            if (source != nullptr) m_problems.back().quoted.push_back(source);
    }

    // ---- the file as a whole

    // A deflated data set: what the parse read after the meta group (of a bare data set, after
    // its leading group 0002 elements) is compressed bytes, so no rule applies to it.
    void NotChecked() {
        size_t first = MetaGroupCount();
        if (!m_in.hasPreamble)
            while (first < m_in.elementCount && m_in.elements[first]->GetGroup() == 0x0002) ++first;
        uint64_t at = first > 0 ? m_in.elements[first - 1]->GetEndOffset() : 0;
        if (first < m_in.elementCount) at = m_in.elements[first]->GetTagOffset();
        Report("not-checked", CheckSeverity::Info, nullptr, at,
               "the data set is deflate-compressed and is not inflated, so it was not checked (only the meta group "
               "was)");
    }

    // The meta group of a file with a preamble: the run of group 0002 elements it starts with.
    size_t MetaGroupCount() const {
        size_t count = 0;
        if (!m_in.hasPreamble) return 0;
        while (count < m_in.elementCount && m_in.elements[count]->GetGroup() == 0x0002) ++count;
        return count;
    }

    void CheckMetaGroup() {
        const size_t count = MetaGroupCount();
        const CDicomTag* groupLength = nullptr;
        size_t groupLengthIndex = 0;
        const CDicomTag* found[5] = {};
        static const uint16_t kRequired[5] = {0x0001, 0x0002, 0x0003, 0x0010, 0x0012};
        static const char* const kNames[5] = {"File Meta Information Version", "Media Storage SOP Class UID",
                                              "Media Storage SOP Instance UID", "Transfer Syntax UID",
                                              "Implementation Class UID"};
        for (size_t i = 0; i < count; ++i) {
            const CDicomTag* t = m_in.elements[i];
            if (t->GetElement() == 0x0000 && groupLength == nullptr) {
                groupLength = t;
                groupLengthIndex = i;
            }
            for (size_t k = 0; k < 5; ++k)
                if (t->GetElement() == kRequired[k] && found[k] == nullptr) found[k] = t;
        }
        // A parse that stopped inside the meta group leaves its missing elements unknown.
        const bool metaMayBeCut = m_in.partial && count == m_in.elementCount;
        if (groupLength == nullptr && !metaMayBeCut)
            Report("meta-missing", CheckSeverity::Warning, nullptr, 132,
                   "the file meta group lacks (0002,0000) File Meta Information Group Length");
        if (found[0] != nullptr) {
            const Span version = ValueOf(*found[0], StoredOf(*found[0], Encoding{true, true}));
            if (!(version.size == 2 && version.data[0] == 0x00 && version.data[1] == 0x01)) {
                m_path.push_back({static_cast<uint32_t>(std::find(m_in.elements, m_in.elements + count, found[0]) -
                                                        m_in.elements), 0x0002, 0x0001});
                ReportAt(*found[0], "meta-version", CheckSeverity::Warning,
                         version.size == 2 ? Format("File Meta Information Version (0002,0001) is 0x%02X 0x%02X; "
                                                    "it must be 0x00 0x01", version.data[0], version.data[1])
                                           : Format("File Meta Information Version (0002,0001) holds %zu bytes; it "
                                                    "must be the 2 bytes 0x00 0x01", version.size));
                m_path.pop_back();
            }
        }
        if (groupLength != nullptr) m_path.push_back({static_cast<uint32_t>(groupLengthIndex), 0x0002, 0x0000});
        for (size_t k = 0; k < 5 && !metaMayBeCut; ++k) {
            if (found[k] != nullptr) continue;
            Report("meta-missing", kRequired[k] == 0x0010 ? CheckSeverity::Error : CheckSeverity::Warning, groupLength,
                   groupLength != nullptr ? groupLength->GetTagOffset() : 132,
                   Format("the file meta group lacks %s %s", TagText(0x0002, kRequired[k]).c_str(), kNames[k]));
        }
        if (groupLength != nullptr) m_path.pop_back();

        // Media Storage SOP Class and Instance UIDs against the data set's own.
        const Encoding meta{true, true};
        const Encoding dataSet{m_in.explicitVR, m_in.littleEndian};
        for (size_t k = 1; k <= 2; ++k) {
            if (found[k] == nullptr) continue;
            const uint16_t own = k == 1 ? 0x0016 : 0x0018;
            for (size_t i = count; i < m_in.elementCount; ++i) {
                const CDicomTag& t = *m_in.elements[i];
                if (!t.Is(0x0008, own)) continue;
                const Span a = UidOf(*found[k], meta), b = UidOf(t, dataSet);
                if (a.size != b.size || (a.size != 0 && std::memcmp(a.data, b.data, a.size) != 0)) {
                    m_path.push_back({static_cast<uint32_t>(i), 0x0008, own});
                    ReportAt(t, "meta-mismatch", CheckSeverity::Warning,
                             Format("%s %s differs from %s %s of the meta group", TagText(0x0008, own).c_str(),
                                    Quoted(b.data, b.size).c_str(), TagText(0x0002, kRequired[k]).c_str(),
                                    Quoted(a.data, a.size).c_str()));
                    m_problems.back().quoted.push_back(found[k]);
                    m_path.pop_back();
                }
                break;
            }
        }
    }

    // A UID's text without its padding.
    Span UidOf(const CDicomTag& tag, Encoding fallback) const {
        Span v = ValueOf(tag, StoredOf(tag, fallback));
        while (v.size > 0 && (v.data[v.size - 1] == 0x00 || v.data[v.size - 1] == ' ')) --v.size;
        return v;
    }

    // Nodes read from the bytes after the top-level pixel data, for the check alone.
    struct TrailingElements {
        CNodeStore store;
        std::vector<CDicomTag*> elements;
    };
    // At most this many are read; a file that holds more is not blamed for the rest.
    static constexpr size_t kMostTrailingElements = 65536;

    // Reads top-level elements from `at` as long as they are well formed: tags ascending after
    // the pixel data, no item tags, a VR code in explicit VR, a defined length that fits. Returns
    // where the first byte that is not such an element lies.
    uint64_t ReadTrailingElements(uint64_t at, Encoding encoding, TrailingElements& out, bool& capped) const {
        uint32_t previous = Key(0x7FE0, 0x0010);
        capped = false;
        while (Has(at, 8)) {
            if (out.elements.size() == kMostTrailingElements) {
                capped = true;
                break;
            }
            const uint8_t* p = At(at);
            const uint16_t g = Read16(p, encoding.littleEndian), e = Read16(p + 2, encoding.littleEndian);
            if (Key(g, e) <= previous || g == 0xFFFE) break;
            uint64_t header = 8;
            uint32_t length = 0;
            const VRCode* code = nullptr;
            if (encoding.explicitVR) {
                const char letters[3] = {static_cast<char>(p[4]), static_cast<char>(p[5]), '\0'};
                const VRInfo* vr = FindVRInfo(letters);
                if (vr == nullptr) break;
                code = VRCodeOfBytes(p[4], p[5]);
                if (vr->longLength) {
                    if (!Has(at, 12)) break;
                    header = 12;
                    length = Read32(p + 8, encoding.littleEndian);
                } else {
                    length = Read16(p + 6, encoding.littleEndian);
                }
            } else {
                length = Read32(p + 4, encoding.littleEndian);
            }
            if (length == kUndefinedLength || !Has(at + header, length)) break;
            CDicomTag* tag = out.store.NewTag(g, e);
            tag->Data().FreeBytes();
            if (code != nullptr) tag->SetVR(code);
            tag->Data().SetShortLength(header == 8 && encoding.explicitVR ? static_cast<uint16_t>(length) : 0);
            tag->Data().SetLongLength(header == 8 && encoding.explicitVR ? 0 : length);
            tag->SetTagOffset(at);
            tag->SetValueOffset(at + header);
            tag->SetEndOffset(at + header + length);
            out.elements.push_back(tag);
            previous = Key(g, e);
            at += header + length;
        }
        return at;
    }

    void CheckTrailingBytes(Encoding encoding) {
        if (m_in.trailingSize == 0 || m_in.trailingSize > m_in.size || m_in.partial) return;
        uint64_t at = m_in.size - m_in.trailingSize;
        // Elements after the pixel data are allowed: they are read here and checked in the
        // character set of the top level.
        const auto trailing = std::make_shared<TrailingElements>();
        bool capped = false;
        at = ReadTrailingElements(at, encoding, *trailing, capped);
        if (!trailing->elements.empty()) {
            CharacterSet set;
            for (size_t i = 0; i < m_in.elementCount && m_in.elements[i]->GetGroup() <= 0x0008; ++i)
                if (m_in.elements[i]->Is(0x0008, 0x0005))
                    set = CharacterSetOf(ValueOf(*m_in.elements[i], StoredOf(*m_in.elements[i], encoding)));
            m_outsideTree = trailing;
            DataSet(trailing->elements.data(), trailing->elements.size(), set, encoding, true, m_in.elementCount);
            m_outsideTree.reset();
            for (const CDicomTag* tag : trailing->elements)
                if (tag->Is(0xFFFC, 0xFFFC))
                    Report("trailing-bytes", CheckSeverity::Info, nullptr, tag->GetTagOffset(),
                           Format("the data set ends with %llu bytes of trailing padding (FFFC,FFFC)",
                                  static_cast<unsigned long long>(tag->GetEndOffset() - tag->GetTagOffset())));
        }
        if (at >= m_in.size) return;
        const uint64_t count = m_in.size - at;
        // A signature or padding element that could not be read as one (of undefined length,
        // say) is allowed all the same.
        bool element = false;
        if (Has(at, 4)) {
            const uint16_t g = Read16(At(at), encoding.littleEndian);
            const uint16_t e = Read16(At(at) + 2, encoding.littleEndian);
            element = (g == 0xFFFA && e == 0xFFFA) || (g == 0xFFFC && e == 0xFFFC);
        }
        const char* after = trailing->elements.empty() ? "the top-level pixel data" : "the elements after the top-level pixel data";
        if (capped)
            Report("trailing-bytes", CheckSeverity::Info, nullptr, at,
                   Format("%llu bytes follow the first %zu elements after the top-level pixel data; they were not "
                          "checked", static_cast<unsigned long long>(count), kMostTrailingElements));
        else
            Report("trailing-bytes", element ? CheckSeverity::Info : CheckSeverity::Warning, nullptr, at,
                   Format("%llu bytes follow %s%s%s", static_cast<unsigned long long>(count), after,
                          element ? ", starting with a signature or padding element" : "",
                          element ? " that could not be read as an element" : " and are no elements"));
    }
};

}  // namespace

const char* SeverityName(CheckSeverity severity) {
    switch (severity) {
        case CheckSeverity::Info: return "info";
        case CheckSeverity::Warning: return "warning";
        case CheckSeverity::Error: return "error";
    }
    return "error";
}

bool IsDeflated(const CTagArray& elements) {
    const TransferSyntax* syntax = elements.GetTransferSyntax();
    return syntax != nullptr && syntax->deflated;
}

CheckInput CheckInputOf(const CDicomHeader& file, const uint8_t* bytes, uint64_t size) {
    CheckInput input;
    input.elements = file.GetElements().data();
    input.elementCount = file.GetElements().size();
    input.bytes = bytes;
    input.size = bytes != nullptr ? size : 0;
    input.hasPreamble = file.HasPreamble();
    input.explicitVR = file.IsExplicitVR();
    input.littleEndian = file.IsLittleEndian();
    input.trailingSize = file.GetTrailingSize();
    input.deflated = IsDeflated(file);
    return input;
}

std::vector<CheckProblem> CheckFile(const CheckInput& input) { return Checker(input).Run(); }
