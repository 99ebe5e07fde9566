// Code-page conversion off Windows, with iconv. Each code page must give what Windows'
// MultiByteToWideChar gives with flags 0, so the tables iconv yields are completed with the
// characters Windows assigns to the bytes the standards leave undefined, and undecodable
// input becomes the replacement character Windows produces:
//
//   code page   iconv encoding     Windows' additions
//   0, 1252     (own table)        0x81 0x8D 0x8F 0x90 0x9D -> U+0081 ... (glibc rejects them)
//   28591-28599 ISO-8859-1..9      undefined bytes -> U+F7xx; 28597 keeps the 1987 table
//   874         WINDOWS-874        undefined bytes -> C1 controls or U+F8C1..U+F8C8
//   932         CP932              lead byte + any byte -> pair, unknown pair -> U+30FB
//   949         CP949              as 932 with '?'; user-defined rows C9, FE -> U+E000...
//   936         CP936              as 949; 0xFF -> U+F8F5
//   50222       CP932              after rewriting ISO-2022-JP as Shift_JIS (CharacterSet.cpp)
//   54936       GB18030            unknown unit -> '?'
//   65001       (own decoder)      invalid sequence -> U+FFFD, as Windows splits it
//
// The tables are built once, on first use, from one iconv converter each, and are not
// changed after; the converter for four-byte GB18030 codes is kept per thread.

#include "dicom/text/CodePage.h"

#include <iconv.h>

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace {

const char32_t kUndefined = 0;

// Decodes one short byte sequence completely, or gives kUndefined.
char32_t DecodeOne(iconv_t converter, const char* bytes, std::size_t length)
{
    char32_t out[2] = {0, 0};
    char* in = const_cast<char*>(bytes);
    std::size_t inLeft = length;
    char* outPtr = reinterpret_cast<char*>(out);
    std::size_t outLeft = sizeof(out);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    if (iconv(converter, &in, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0 ||
        outLeft != sizeof(out) - sizeof(char32_t)) {
        return kUndefined;
    }
    return out[0];
}

// An open iconv converter to UTF-32 in this machine's byte order; closed when it goes.
class CConverter {
public:
    explicit CConverter(const char* encoding) : handle_(iconv_open(kWideEncoding, encoding)) {}
    ~CConverter()
    {
        if (IsOpen()) {
            iconv_close(handle_);
        }
    }
    CConverter(const CConverter&) = delete;
    CConverter& operator=(const CConverter&) = delete;

    bool IsOpen() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    char32_t Decode(const char* bytes, std::size_t length) const
    {
        return IsOpen() ? DecodeOne(handle_, bytes, length) : kUndefined;
    }

private:
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    static constexpr const char* kWideEncoding = "UTF-32BE";
#else
    static constexpr const char* kWideEncoding = "UTF-32LE";
#endif
    iconv_t handle_;
};

// ---- Single-byte code pages ----

using ByteTable = std::array<char32_t, 256>;

// Bytes first..last map to firstCode, firstCode + 1, ... where Windows' table differs from
// the standard one iconv has.
struct ByteRange {
    unsigned codePage;
    unsigned char first;
    unsigned char last;
    char32_t firstCode;
};

const ByteRange kWindowsByteRanges[] = {
    {874, 0x81, 0x84, 0x0081},   {874, 0x86, 0x90, 0x0086},   {874, 0x98, 0x9F, 0x0098},
    {874, 0xDB, 0xDE, 0xF8C1},   {874, 0xFC, 0xFF, 0xF8C5},

    {28593, 0xA5, 0xA5, 0xF7F5}, {28593, 0xAE, 0xAE, 0xF7F6}, {28593, 0xBE, 0xBE, 0xF7F7},
    {28593, 0xC3, 0xC3, 0xF7F8}, {28593, 0xD0, 0xD0, 0xF7F9}, {28593, 0xE3, 0xE3, 0xF7FA},
    {28593, 0xF0, 0xF0, 0xF7FB},

    {28596, 0xA1, 0xA3, 0xF7C8}, {28596, 0xA5, 0xAB, 0xF7CB}, {28596, 0xAE, 0xBA, 0xF7D2},
    {28596, 0xBC, 0xBE, 0xF7DF}, {28596, 0xC0, 0xC0, 0xF7E2}, {28596, 0xDB, 0xDF, 0xF7E3},
    {28596, 0xF3, 0xFF, 0xF7E8},

    // Windows keeps the 1987 Greek table: no euro, drachma or ypogegrammeni.
    {28597, 0xA1, 0xA1, 0x02BD}, {28597, 0xA2, 0xA2, 0x02BC}, {28597, 0xA4, 0xA4, 0xF7C2},
    {28597, 0xA5, 0xA5, 0xF7C3}, {28597, 0xAA, 0xAA, 0xF7C4}, {28597, 0xAE, 0xAE, 0xF7C5},
    {28597, 0xD2, 0xD2, 0xF7C6}, {28597, 0xFF, 0xFF, 0xF7C7},

    // ... and a Hebrew table without the direction marks.
    {28598, 0xA1, 0xA1, 0xF79C}, {28598, 0xAF, 0xAF, 0x203E}, {28598, 0xBF, 0xDE, 0xF79D},
    {28598, 0xFB, 0xFF, 0xF7BD},

    // Single bytes of the double-byte code pages.
    {932, 0x80, 0x80, 0x0080},   {932, 0xA0, 0xA0, 0xF8F0},   {932, 0xFD, 0xFF, 0xF8F1},
    {949, 0x80, 0x80, 0x0080},   {949, 0xFF, 0xFF, 0xF8F7},   {936, 0xFF, 0xFF, 0xF8F5},
};

// Windows-1252 0x80-0x9F; Windows gives the five bytes the standard leaves undefined the C1
// control of the same number, which makes every byte survive a round trip.
const char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void ApplyWindowsByteRanges(unsigned codePage, ByteTable& table)
{
    for (const ByteRange& range : kWindowsByteRanges) {
        if (range.codePage != codePage) {
            continue;
        }
        for (unsigned byte = range.first; byte <= range.last; ++byte) {
            table[byte] = range.firstCode + (byte - range.first);
        }
    }
}

ByteTable BuildByteTable(unsigned codePage, const char* encoding)
{
    ByteTable table{};
    CConverter converter(encoding);
    for (unsigned byte = 1; byte < 256; ++byte) {
        const char one = static_cast<char>(byte);
        table[byte] = converter.Decode(&one, 1);
    }
    ApplyWindowsByteRanges(codePage, table);
    return table;
}

ByteTable BuildWindows1252Table()
{
    ByteTable table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        table[byte] = byte;  // Latin-1 outside 0x80-0x9F
    }
    for (unsigned byte = 0x80; byte <= 0x9F; ++byte) {
        table[byte] = kWindows1252High[byte - 0x80];
    }
    return table;
}

const ByteTable* SingleByteTable(unsigned codePage)
{
    switch (codePage) {
    case 0:
    case 1252: {
        static const ByteTable table = BuildWindows1252Table();
        return &table;
    }
    case 874: {
        static const ByteTable table = BuildByteTable(874, "WINDOWS-874");
        return &table;
    }
    case 28591: case 28592: case 28593: case 28594: case 28595:
    case 28596: case 28597: case 28598: case 28599: {
        // ISO 8859-1 to -9, all built on first use of any of them.
        static const std::vector<ByteTable> tables = [] {
            std::vector<ByteTable> built;
            for (unsigned number = 1; number <= 9; ++number) {
                const std::string encoding = "ISO-8859-" + std::to_string(number);
                built.push_back(BuildByteTable(28590 + number, encoding.c_str()));
            }
            return built;
        }();
        return &tables[codePage - 28591];
    }
    default:
        return nullptr;
    }
}

void DecodeSingleByte(const ByteTable& table, const std::string& bytes, std::wstring& text)
{
    text.reserve(bytes.size());
    for (char byte : bytes) {
        const char32_t codePoint = table[static_cast<unsigned char>(byte)];
        AppendCodePoint(text, codePoint != kUndefined ? codePoint : U'?');
    }
}

// ---- Double-byte code pages ----

struct DoubleByteTable {
    ByteTable single{};                   // bytes that stand alone
    std::array<bool, 256> lead{};         // bytes that start a pair
    std::vector<char16_t> pairs;          // lead << 8 | trail -> character, 0 = none
    char16_t defaultChar = u'?';          // for a pair the code page lacks, or a lone lead
};

// Pair ranges where Windows' table has characters iconv's lacks: code page 949's
// user-defined rows C9 and FE, which Windows maps to the private use area.
struct PairRange {
    unsigned codePage;
    unsigned first;
    unsigned last;
    char16_t firstCode;
};

const PairRange kWindowsPairRanges[] = {
    {949, 0xC9A1, 0xC9FE, 0xE000},
    {949, 0xFEA1, 0xFEFE, 0xE05E},
};

DoubleByteTable BuildDoubleByteTable(unsigned codePage, const char* encoding, unsigned firstLead,
                                     unsigned lastLead, unsigned secondFirstLead,
                                     unsigned secondLastLead, char16_t defaultChar)
{
    DoubleByteTable table;
    table.defaultChar = defaultChar;
    table.pairs.assign(0x10000, 0);
    CConverter converter(encoding);
    for (unsigned byte = 1; byte < 256; ++byte) {
        table.lead[byte] = (byte >= firstLead && byte <= lastLead) ||
                           (byte >= secondFirstLead && byte <= secondLastLead);
        const char one = static_cast<char>(byte);
        table.single[byte] = table.lead[byte] ? kUndefined : converter.Decode(&one, 1);
    }
    ApplyWindowsByteRanges(codePage, table.single);
    for (unsigned lead = 0x81; lead < 256; ++lead) {
        if (!table.lead[lead]) {
            continue;
        }
        for (unsigned trail = 1; trail < 256; ++trail) {
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            const char32_t codePoint = converter.Decode(pair, 2);
            if (codePoint != kUndefined && codePoint < 0x10000) {
                table.pairs[lead << 8 | trail] = static_cast<char16_t>(codePoint);
            }
        }
    }
    for (const PairRange& range : kWindowsPairRanges) {
        if (range.codePage == codePage) {
            for (unsigned code = range.first; code <= range.last; ++code) {
                table.pairs[code] = static_cast<char16_t>(range.firstCode + (code - range.first));
            }
        }
    }
    return table;
}

// The table of a double-byte code page, built on first use; null for any other code page.
const DoubleByteTable* DoubleByteTableFor(unsigned codePage)
{
    switch (codePage) {
    case 932: {
        static const DoubleByteTable table =
            BuildDoubleByteTable(932, "CP932", 0x81, 0x9F, 0xE0, 0xFC, u'\u30FB');
        return &table;
    }
    case 949: {
        static const DoubleByteTable table =
            BuildDoubleByteTable(949, "CP949", 0x81, 0xFE, 0x81, 0xFE, u'?');
        return &table;
    }
    case 936: {
        static const DoubleByteTable table =
            BuildDoubleByteTable(936, "CP936", 0x81, 0xFE, 0x81, 0xFE, u'?');
        return &table;
    }
    default:
        return nullptr;
    }
}

// As Windows reads a double-byte code page: a lead byte takes the byte after it, whatever
// that is; a lead byte at the end stands for the default character alone.
void DecodeDoubleByte(const DoubleByteTable& table, const std::string& bytes, std::wstring& text)
{
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(bytes[i]);
        if (!table.lead[byte]) {
            const char32_t codePoint = table.single[byte];
            AppendCodePoint(text, codePoint != kUndefined ? codePoint : table.defaultChar);
            continue;
        }
        if (i + 1 >= bytes.size()) {
            text += static_cast<wchar_t>(table.defaultChar);
            continue;
        }
        const unsigned char trail = static_cast<unsigned char>(bytes[++i]);
        const char16_t character = table.pairs[byte << 8 | trail];
        text += static_cast<wchar_t>(character != 0 ? character : table.defaultChar);
    }
}

// ---- GB18030 ----

const std::vector<char32_t>& Gb18030TwoByteTable()
{
    static const std::vector<char32_t> table = [] {
        std::vector<char32_t> pairs(0x10000, kUndefined);
        CConverter converter("GB18030");
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
            for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
                const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                pairs[lead << 8 | trail] = converter.Decode(pair, 2);
            }
        }
        return pairs;
    }();
    return table;
}

char32_t LookUpGb18030(std::uint32_t code)
{
    if (code <= 0xFFFF) {
        return Gb18030TwoByteTable()[code];
    }
    // Four-byte codes are rare; each thread keeps one converter for them.
    thread_local const CConverter converter("GB18030");
    const char four[4] = {static_cast<char>(code >> 24), static_cast<char>(code >> 16),
                          static_cast<char>(code >> 8), static_cast<char>(code)};
    return converter.Decode(four, 4);
}

// ---- UTF-8 ----

// Windows reads a broken sequence as far as it still could become a character: a lead
// byte and the continuation bytes that fit, then one U+FFFD for all of them. The second
// byte is taken before overlong forms, surrogates and code points above U+10FFFF are
// noticed, so E0 80 80 gives two U+FFFD and F4 90 80 80 three.
void DecodeUtf8(const std::string& bytes, std::wstring& text)
{
    text.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            text += static_cast<wchar_t>(lead);
            ++i;
            continue;
        }
        unsigned following = 0;
        char32_t codePoint = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            following = 1;
            codePoint = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            following = 2;
            codePoint = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            following = 3;
            codePoint = lead & 0x07;
        }
        std::size_t next = i + 1;
        bool complete = following > 0;
        for (unsigned k = 1; complete && k <= following; ++k) {
            if (next >= bytes.size() || (static_cast<unsigned char>(bytes[next]) & 0xC0) != 0x80) {
                complete = false;
                break;
            }
            codePoint = codePoint << 6 | (static_cast<unsigned char>(bytes[next]) & 0x3F);
            ++next;
            if (k == 1 && following == 2 && (codePoint < 0x20 || (codePoint >= 0x360 && codePoint < 0x380))) {
                complete = false;  // overlong, or a surrogate
            } else if (k == 1 && following == 3 && (codePoint < 0x10 || codePoint >= 0x110)) {
                complete = false;  // overlong, or above U+10FFFF
            }
        }
        AppendCodePoint(text, complete ? codePoint : U'\uFFFD');
        i = next;
    }
}

}  // namespace

bool ConvertCodePageToWide(unsigned codePage, const std::string& bytes, std::wstring& text)
{
    text.clear();
    if (const ByteTable* table = SingleByteTable(codePage)) {
        DecodeSingleByte(*table, bytes, text);
        return true;
    }
    if (const DoubleByteTable* table = DoubleByteTableFor(codePage)) {
        DecodeDoubleByte(*table, bytes, text);
        return true;
    }
    switch (codePage) {
    case 50222:
        DecodeDoubleByte(*DoubleByteTableFor(932), TranscodeIso2022JpToShiftJis(bytes), text);
        return true;
    case 54936:
        text = DecodeGb18030(bytes, LookUpGb18030);
        return true;
    case 65001:
        DecodeUtf8(bytes, text);
        return true;
    default:
        return false;
    }
}

bool ConvertWideToDefaultCodePage(const std::wstring& text, std::string& bytes)
{
    bytes.clear();
    bytes.reserve(text.size());
    for (wchar_t character : text) {
        const char32_t codePoint = static_cast<char32_t>(character);
        if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
            bytes += static_cast<char>(codePoint);
            continue;
        }
        char byte = '?';
        for (unsigned high = 0; high < 32; ++high) {
            if (kWindows1252High[high] == codePoint) {
                byte = static_cast<char>(0x80 + high);
                break;
            }
        }
        bytes += byte;
    }
    return true;
}

unsigned GetDefaultAnsiCodePage()
{
    return 1252;
}
