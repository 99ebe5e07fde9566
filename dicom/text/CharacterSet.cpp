// Character sets: from the Specific Character Set text to a code page, and from value bytes
// to wide text, including person names whose component groups use different code pages.

#include "dicom/text/CharacterSet.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#include "dicom/io/TextFormat.h"
#include "dicom/text/CodePage.h"

namespace {

// Every term the program knows. Decoding tries the terms with a code page in this order and a
// term matches anywhere in the text, so a multi-valued text finds the first one any of its
// values names, and "ISO_IR 138" must come before the shorter "ISO_IR 13". The checks look a
// term up whole.
const CharacterSetTerm kTerms[] = {
    {"ISO_IR 126", 28597, true, false},      {"ISO 2022 IR 126", 28597, true, false},  // ISO 8859-7 Greek
    {"ISO_IR 100", 28591, true, false},      {"ISO 2022 IR 100", 28591, true, false},  // ISO 8859-1 Latin-1
    {"ISO_IR 101", 28592, true, false},      {"ISO 2022 IR 101", 28592, true, false},  // ISO 8859-2
    {"ISO_IR 109", 28593, true, false},      {"ISO 2022 IR 109", 28593, true, false},  // ISO 8859-3
    {"ISO_IR 110", 28594, true, false},      {"ISO 2022 IR 110", 28594, true, false},  // ISO 8859-4
    {"ISO_IR 148", 28599, true, false},      {"ISO 2022 IR 148", 28599, true, false},  // ISO 8859-9 Latin-5
    {"ISO_IR 127", 28596, true, false},      {"ISO 2022 IR 127", 28596, true, false},  // ISO 8859-6 Arabic
    {"ISO_IR 138", 28598, true, false},      {"ISO 2022 IR 138", 28598, true, false},  // ISO 8859-8 Hebrew
    {"ISO_IR 144", 28595, true, false},      {"ISO 2022 IR 144", 28595, true, false},  // ISO 8859-5 Cyrillic
    {"ISO_IR 149", 949, false, true},        {"ISO 2022 IR 149", 949, true, true},     // Korean, Unified Hangul Code
    {"ISO_IR 192", 65001, true, false},      {"ISO 2022 IR 192", 65001, false, false}, // UTF-8
    {"GB18030", 54936, true, true},                                                    // GB 18030
    {"ISO_IR 166", 874, true, false},        {"ISO 2022 IR 166", 874, true, false},    // Thai
    {"ISO_IR 13", 932, true, false},         {"ISO 2022 IR 13", 932, true, false},     // Shift_JIS (JIS X 0201 katakana)
    {"ISO_IR 14", 932, false, false},        {"ISO 2022 IR 14", 932, false, false},    // Shift_JIS
    {"ISO_IR 87", 50222, false, false},      {"ISO 2022 IR 87", 50222, true, true},    // ISO-2022-JP (JIS X 0208)
    {"ISO_IR 159", 50222, false, false},     {"ISO 2022 IR 159", 50222, true, true},   // ISO-2022-JP (JIS X 0212)
    {"GBK", 936, true, true},                                                          // GBK, GB 18030's two-byte part
    // Defined terms without a code page of their own.
    {"ISO_IR 6", 0, true, false},            {"ISO 2022 IR 6", 0, true, false},        // the default repertoire
    {"ISO_IR 203", 0, true, false},          {"ISO 2022 IR 203", 0, true, false},      // ISO 8859-15 Latin-9
    {"ISO 2022 IR 58", 0, true, true},                                                 // GB 2312
};

// Whether `term` occurs in `text`.
bool Contains(const std::wstring& text, const char* term)
{
    auto same = [](wchar_t c, char t) { return c == static_cast<unsigned char>(t); };
    return std::search(text.begin(), text.end(), term, term + std::strlen(term), same) != text.end();
}

const char kEscape = '\x1B';

// Length of the ISO 2022 escape sequence at bytes[i] (ESC, intermediate bytes 0x20-0x2F,
// a final byte 0x30-0x7E), at most 4; 4 when the bytes do not form one.
std::size_t EscapeSequenceLength(const std::string& bytes, std::size_t i)
{
    std::size_t end = i + 1;
    while (end < bytes.size() && end < i + 3 && bytes[end] >= 0x20 && bytes[end] <= 0x2F) {
        ++end;
    }
    if (end < bytes.size() && bytes[end] >= 0x30 && bytes[end] <= 0x7E) {
        return end + 1 - i;
    }
    return 4;
}

// Korean values carry ISO 2022 escape sequences (ESC $ ) C designates KS X 1001, ESC ( B
// returns to ASCII) that code page 949 does not know. Every ESC whose sequence is followed
// by at least one more byte is removed with its sequence, by the sequence's own length; an
// ESC whose sequence ends the value stays. Only the sequence goes: a 3-byte ESC ( B must not
// take the name delimiter or the pad blank after it with it. Removing a sequence never lets
// an earlier ESC qualify, so one pass over the original positions does it.
std::string RemoveEscapeSequences(const std::string& bytes)
{
    std::string kept;
    kept.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == kEscape) {
            const std::size_t length = EscapeSequenceLength(bytes, i);
            if (i + length < bytes.size()) {
                i += length - 1;
                continue;
            }
        }
        kept += bytes[i];
    }
    return kept;
}

// A failed conversion gives empty text.
std::wstring ToWide(unsigned codePage, const std::string& bytes)
{
    std::wstring text;
    ConvertCodePageToWide(codePage, bytes, text);
    return text;
}

// A component group was read in the default code page; turn it back into its bytes and read
// those in the group's own code page. A failed conversion leaves the group empty.
std::wstring DecodeGroup(const std::wstring& group, unsigned codePage)
{
    std::string bytes;
    if (!ConvertWideToDefaultCodePage(group, bytes)) {
        return std::wstring();
    }
    return ToWide(codePage, bytes);
}

// The text up to the first `separator`; `rest` keeps what follows it (nothing when there is none).
std::wstring TakeUpTo(std::wstring& rest, wchar_t separator)
{
    const std::size_t at = rest.find(separator);
    std::wstring head = rest.substr(0, at);
    rest = at == std::wstring::npos ? std::wstring() : rest.substr(at + 1);
    return head;
}

std::wstring DecodeWithOneCodePage(const char* bytes, const std::wstring& characterSet)
{
    if (bytes == nullptr) {
        return std::wstring();
    }
    std::string copy(bytes);
    const unsigned codePage = CodePageForCharacterSet(characterSet);
    if (codePage == 949 || codePage == 51949) {
        copy = RemoveEscapeSequences(copy);
    }
    return ToWide(codePage, copy);
}

// Person names with component groups are read group by group; everything else as a whole.
std::wstring DecodeValue(const char* bytes, const std::wstring& characterSet)
{
    const std::wstring set = TrimBlanks(characterSet);
    if (bytes == nullptr) {
        return std::wstring();
    }
    const std::string value(bytes);
    const std::wstring text = ToWide(0, value);
    if (text.find(L'=') == std::wstring::npos || set.find(L'\\') == std::wstring::npos) {
        return DecodeWithOneCodePage(bytes, set);
    }
    // A person name with component groups under code extensions. With the first value
    // empty the whole name is in the one extended set.
    if (set[0] == L'\\') {
        return DecodeWithOneCodePage(bytes, set);
    }

    // Each group in its own character set: the values of the character set in turn (the first is
    // never empty here; an empty or missing one is the one before it, and the third takes all
    // after the second "\"). The groups are alphabetic, ideographic, phonetic; an empty one keeps
    // its "=" so that the groups after it stay in place.
    const std::size_t separators = static_cast<std::size_t>(std::count(value.begin(), value.end(), '='));
    std::wstring setRest = set;
    std::wstring groupRest = text;
    std::wstring groupSet;
    std::wstring result;
    for (std::size_t i = 0; i < 3; ++i) {
        const std::wstring nextSet = i < 2 ? TakeUpTo(setRest, L'\\') : setRest;
        if (!nextSet.empty()) {
            groupSet = nextSet;
        }
        const std::wstring group = i < 2 ? TakeUpTo(groupRest, L'=') : groupRest;
        if (i > 0 && (!group.empty() || separators >= i)) {
            result += L'=';
        }
        if (!group.empty()) {
            result += DecodeGroup(group, CodePageForCharacterSet(groupSet));
        }
    }
    return result;
}

}  // namespace

unsigned CodePageForCharacterSet(const std::wstring& characterSet)
{
    if (characterSet.empty()) {
        return 0;
    }
    for (const CharacterSetTerm& row : kTerms) {
        if (row.codePage != 0 && Contains(characterSet, row.term)) {
            return row.codePage;
        }
    }
    return 0;
}

const CharacterSetTerm* FindCharacterSetTerm(const char* bytes, std::size_t size)
{
    for (const CharacterSetTerm& row : kTerms) {
        if (std::strlen(row.term) == size && std::memcmp(row.term, bytes, size) == 0) {
            return &row;
        }
    }
    return nullptr;
}

// Running out of memory is not reported: the value shows as empty text.
std::wstring DecodeTextSimple(const char* bytes, const std::wstring& characterSet)
{
    try {
        return DecodeWithOneCodePage(bytes, characterSet);
    } catch (const std::bad_alloc&) {
        return std::wstring();
    }
}

std::wstring DecodeText(const char* bytes, const std::wstring& characterSet)
{
    try {
        // Printable ASCII reads the same in every code page of the table, in person-name groups
        // too, so most values need no conversion at all.
        if (bytes != nullptr) {
            const char* p = bytes;
            while (*p >= 0x20 && *p <= 0x7E) ++p;
            if (*p == 0) return std::wstring(bytes, p);
        }
        return DecodeValue(bytes, characterSet);
    } catch (const std::bad_alloc&) {
        return std::wstring();
    }
}

// ---- Portable pieces of the code-page layer ----

const char kShiftJisUnmappablePair[3] = {'\x81', '\x7F', '\0'};

void AppendCodePoint(std::wstring& text, char32_t codePoint)
{
    if (sizeof(wchar_t) == 2 && codePoint >= 0x10000) {
        const char32_t offset = codePoint - 0x10000;
        text += static_cast<wchar_t>(0xD800 + (offset >> 10));
        text += static_cast<wchar_t>(0xDC00 + (offset & 0x3FF));
        return;
    }
    text += static_cast<wchar_t>(codePoint);
}

namespace {

enum class JisMode { Ascii, Katakana, Jis0208, Jis0212 };

const char kShiftOut = '\x0E';
const char kShiftIn = '\x0F';

struct JisEscape {
    const char* sequence;  // the bytes after ESC
    JisMode mode;
    bool changesMode;
};

// The escape sequences code page 50222 acts on. "ESC ( J" (JIS X 0201 Roman) and
// "ESC ( H" read as ASCII, as Windows reads them; "ESC & @" only announces a revised
// JIS X 0208 designation and does nothing by itself.
const JisEscape kJisEscapes[] = {
    {"(B", JisMode::Ascii, true},     {"(J", JisMode::Ascii, true},
    {"(H", JisMode::Ascii, true},     {"(I", JisMode::Katakana, true},
    {"$@", JisMode::Jis0208, true},   {"$B", JisMode::Jis0208, true},
    {"$(D", JisMode::Jis0212, true},  {"&@", JisMode::Ascii, false},
};

bool IsShiftJisLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// JIS X 0208 row/cell bytes (0x21-0x7E each) to the Shift_JIS pair of the same character.
void AppendShiftJisPair(std::string& out, unsigned char first, unsigned char second)
{
    const unsigned row = first - 0x21u;  // 0..93
    const unsigned lead = row / 2 + (row < 62 ? 0x81u : 0xC1u);
    unsigned trail;
    if (row % 2 == 0) {
        trail = second + (second < 0x60 ? 0x1Fu : 0x20u);
    } else {
        trail = second + 0x7Eu;
    }
    out += static_cast<char>(lead);
    out += static_cast<char>(trail);
}

}  // namespace

std::string TranscodeIso2022JpToShiftJis(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size() + 2);
    JisMode mode = JisMode::Ascii;
    JisMode modeBeforeShiftOut = JisMode::Ascii;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const char byte = bytes[i];
        if (byte == kEscape) {
            const JisEscape* found = nullptr;
            for (const JisEscape& escape : kJisEscapes) {
                if (bytes.compare(i + 1, std::char_traits<char>::length(escape.sequence),
                                  escape.sequence) == 0) {
                    found = &escape;
                    break;
                }
            }
            if (found != nullptr) {
                if (found->changesMode) {
                    mode = found->mode;
                    modeBeforeShiftOut = found->mode;
                }
                i += 1 + std::char_traits<char>::length(found->sequence);
                continue;
            }
            out += byte;  // not a sequence we know: the ESC is shown as it is
            ++i;
            continue;
        }
        if (byte == kShiftOut) {
            modeBeforeShiftOut = mode;
            mode = JisMode::Katakana;
            ++i;
            continue;
        }
        if (byte == kShiftIn) {
            mode = modeBeforeShiftOut;
            ++i;
            continue;
        }

        const unsigned char first = static_cast<unsigned char>(byte);
        if (mode == JisMode::Jis0208 || mode == JisMode::Jis0212) {
            // Two bytes make one character, whatever the second is.
            if (i + 1 >= bytes.size()) {
                out += kShiftJisUnmappablePair;
                ++i;
                continue;
            }
            const unsigned char second = static_cast<unsigned char>(bytes[i + 1]);
            const bool inRange = first >= 0x21 && first <= 0x7E && second >= 0x21 && second <= 0x7E;
            if (mode == JisMode::Jis0208 && inRange) {
                AppendShiftJisPair(out, first, second);
            } else {
                out += kShiftJisUnmappablePair;
            }
            i += 2;
            continue;
        }
        if (mode == JisMode::Katakana && first >= 0x21 && first <= 0x7E) {
            // JIS X 0201 katakana as a 94-character set: 0x21-0x5F are the characters.
            if (first <= 0x5F) {
                out += static_cast<char>(first + 0x80);
            } else {
                out += kShiftJisUnmappablePair;
            }
            ++i;
            continue;
        }
        // One byte: ASCII, 8-bit katakana (0xA1-0xDF) and the single bytes code page 932
        // maps. A Shift_JIS lead byte must not pair with the byte after it.
        if (IsShiftJisLeadByte(first)) {
            out += kShiftJisUnmappablePair;
        } else {
            out += byte;
        }
        ++i;
    }
    return out;
}

std::uint32_t Gb18030FourByteIndex(std::uint32_t code)
{
    const std::uint32_t b1 = (code >> 24) & 0xFF;
    const std::uint32_t b2 = (code >> 16) & 0xFF;
    const std::uint32_t b3 = (code >> 8) & 0xFF;
    const std::uint32_t b4 = code & 0xFF;
    return (((b1 - 0x81) * 10 + (b2 - 0x30)) * 126 + (b3 - 0x81)) * 10 + (b4 - 0x30);
}

std::wstring DecodeGb18030(const std::string& bytes, Gb18030Lookup lookup)
{
    auto at = [&bytes](std::size_t index) { return static_cast<unsigned char>(bytes[index]); };
    auto isLead = [](unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; };
    auto isDigit = [](unsigned char byte) { return byte >= 0x30 && byte <= 0x39; };
    auto isTrail = [](unsigned char byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; };

    std::wstring text;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char first = at(i);
        if (first < 0x80) {
            text += static_cast<wchar_t>(first);
            ++i;
            continue;
        }
        if (!isLead(first) || i + 1 >= bytes.size()) {
            text += L'?';
            ++i;
            continue;
        }
        std::uint32_t code;
        std::size_t length;
        if (i + 3 < bytes.size() && isDigit(at(i + 1)) && isLead(at(i + 2)) && isDigit(at(i + 3))) {
            code = static_cast<std::uint32_t>(first) << 24 | static_cast<std::uint32_t>(at(i + 1)) << 16 |
                   static_cast<std::uint32_t>(at(i + 2)) << 8 | at(i + 3);
            length = 4;
        } else {
            code = static_cast<std::uint32_t>(first) << 8 | at(i + 1);
            length = 2;
        }
        const bool wellFormed = length == 4 || isTrail(at(i + 1));
        const char32_t codePoint = wellFormed ? lookup(code) : 0;
        if (codePoint == 0) {
            text += L'?';
        } else {
            AppendCodePoint(text, codePoint);
        }
        i += length;
    }
    return text;
}
