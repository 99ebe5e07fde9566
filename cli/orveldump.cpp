// orveldump: prints the parse of DICOM files the way the viewer's tree and property list show it.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "cli/check.h"
#include "dicom/DicomFile.h"
#include "dicom/ElementRange.h"
#include "dicom/LargeBlock.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

const char kUsage[] =
    "usage: orveldump [--check] [--json | --quiet | --regions] FILE...\n"
    "\n"
    "Parses each DICOM file and prints its elements: tag, VR, tag offset, data offset,\n"
    "size (FFFFFFFF for an undefined length) and name, nested by indentation.\n"
    "\n"
    "  --json    one JSON object per file and line, for scripts\n"
    "  --quiet   load only; print nothing but errors\n"
    "  --regions the calibrated regions of ultrasound files, in square-pixel geometry\n"
    "  --check   also check each file against the standard's encoding rules, reading its\n"
    "            bytes as stored: the listing prints each problem under the element it\n"
    "            concerns (\"! offset (hex) severity rule: message\") and a count per file;\n"
    "            with --json each file's object gains \"problems\": [{\"rule\", \"severity\",\n"
    "            \"offset\", \"path\", \"message\"}, ...] in file order. Rules: odd-length,\n"
    "            vr-mismatch, unknown-vr, bad-length-for-vr, value-too-long, bad-character,\n"
    "            padding, group-length, tag-order, private-creator, charset-missing,\n"
    "            charset-unknown, trailing-bytes, pixel-length, offset-table, meta-missing,\n"
    "            meta-mismatch, un-sequence, no-preamble; severities error (readers may\n"
    "            misread the file), warning (forbidden, readers usually cope), info\n"
    "            (allowed). With --quiet only the exit status tells. Refused files are\n"
    "            not checked yet.\n"
    "  --help    this text\n"
    "\n"
    "Exit status: 0 when every file loaded, 1 when any file was refused or could not be\n"
    "opened, 2 on a usage error; with --check, 3 when every file loaded but a warning or\n"
    "an error was found.\n";

const char kInvalid[] = "Invalid DICOM file";

enum class Mode { Listing, Json, Quiet, Regions };

void AppendUtf8(std::string& out, uint32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        const char bytes[2] = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
        out.append(bytes, 2);
    } else if (c < 0x10000) {
        const char bytes[3] = {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                               static_cast<char>(0x80 | (c & 0x3F))};
        out.append(bytes, 3);
    } else {
        const char bytes[4] = {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                               static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        out.append(bytes, 4);
    }
}

std::string Utf8(const std::wstring& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = static_cast<uint32_t>(text[i]);
        // UTF-16 on Windows: join surrogate pairs.
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            const uint32_t low = static_cast<uint32_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::wstring WideFromUtf8(const std::string& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        uint32_t c = 0xFFFD;
        size_t extra = 0;
        if (b < 0x80) c = b;
        else if ((b & 0xE0) == 0xC0) { c = b & 0x1F; extra = 1; }
        else if ((b & 0xF0) == 0xE0) { c = b & 0x0F; extra = 2; }
        else if ((b & 0xF8) == 0xF0) { c = b & 0x07; extra = 3; }
        ++i;
        for (size_t k = 0; k < extra; ++k, ++i) {
            if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) { c = 0xFFFD; break; }
            c = (c << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
        }
        if (sizeof(wchar_t) == 2 && c >= 0x10000 && c <= 0x10FFFF) {
            out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);
        }
    }
    return out;
}

std::string TagText(const CDicomTag& tag) {
    static const char kHex[] = "0123456789ABCDEF";
    const unsigned g = tag.GetGroup(), e = tag.GetElement();
    const char text[9] = {kHex[g >> 12], kHex[(g >> 8) & 15], kHex[(g >> 4) & 15], kHex[g & 15], ',',
                          kHex[e >> 12], kHex[(e >> 8) & 15], kHex[(e >> 4) & 15], kHex[e & 15]};
    return std::string(text, 9);
}

std::string NameOf(const CDicomTag& tag) { return tag.IsItem() ? "SQ Item" : Utf8(tag.GetTagName()); }
std::string VROf(const CDicomTag& tag) { return tag.IsItem() ? "" : Utf8(tag.GetVRText()); }

// A value for one line of the listing: control characters made visible, long text cut.
std::string ListingValue(const CDicomTag& tag, const std::wstring& characterSet) {
    std::wstring text = tag.IsItem() ? std::wstring() : tag.GetValueText(characterSet);
    const size_t kWidth = 64;
    const bool cut = text.size() > kWidth;
    if (cut) text.resize(kWidth);
    for (wchar_t& c : text)
        if (c < 0x20 || c == 0x7F) c = L'.';
    return Utf8(text) + (cut ? "..." : "");
}

// Output collected in a block and written to stdout (or appended to a string) whenever it
// fills, so that a dump of hundreds of thousands of nodes neither holds the whole text nor writes
// piece by piece.
class Output {
public:
    // One huge page: the block costs one page fault where the system has them.
    static constexpr size_t kBlockSize = LargeBlock::kHugePageSize;

    explicit Output(std::string* sink = nullptr, size_t blockSize = kBlockSize)
        : m_sink(sink), m_blockSize(std::max<size_t>(blockSize, 64)) {
        if (!m_block.Allocate(m_blockSize)) throw std::bad_alloc();
        m_pos = Begin();
        m_end = Begin() + m_blockSize;
    }
    ~Output() { Flush(); }
    void Flush() {
        if (m_pos != Begin()) Write(Begin(), static_cast<size_t>(m_pos - Begin()));
        m_pos = Begin();
    }
    template <size_t N>
    void Raw(const char (&literal)[N]) {
        Raw(literal, N - 1);
    }
    void Raw(const char* text, size_t length) {
        if (length > static_cast<size_t>(m_end - m_pos)) {
            Flush();
            if (length > m_blockSize) {
                Write(text, length);
                return;
            }
        }
        std::memcpy(m_pos, text, length);
        m_pos += length;
    }
    void Number(uint64_t value) {
        // Two digits per division.
        static const char kPairs[] =
            "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
            "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
            "8081828384858687888990919293949596979899";
        char digits[24];
        char* end = digits + sizeof digits;
        char* p = end;
        while (value >= 100) {
            const unsigned pair = static_cast<unsigned>(value % 100);
            value /= 100;
            p -= 2;
            std::memcpy(p, kPairs + 2 * pair, 2);
        }
        if (value >= 10) {
            p -= 2;
            std::memcpy(p, kPairs + 2 * value, 2);
        } else {
            *--p = static_cast<char>('0' + value);
        }
        Raw(p, static_cast<size_t>(end - p));
    }
    // A JSON string of UTF-8 bytes: quotes, backslashes and control characters escaped.
    void JsonUtf8(const std::string& utf8) {
        Raw("\"");
        for (const char ch : utf8) {
            const unsigned char c = static_cast<unsigned char>(ch);
            if (c >= 0x20 && c != '"' && c != '\\')
                Raw(&ch, 1);
            else
                Escape(c);
        }
        Raw("\"");
    }
    // A JSON string of wide text, converted to UTF-8 on the way.
    void JsonWide(const std::wstring& text) {
        // Six bytes per character at most (an escape), plus the quotes.
        const size_t most = 6 * text.size() + 2;
        if (most > static_cast<size_t>(m_end - m_pos)) {
            Flush();
            if (most > m_blockSize) {
                const size_t piece = m_blockSize / 16;
                for (size_t i = 0; i < text.size(); i += piece) {
                    // Very long texts go out in pieces; a surrogate pair is never split.
                    size_t end = std::min(text.size(), i + piece);
                    if (sizeof(wchar_t) == 2 && end < text.size() && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF) ++end;
                    WriteWide(text, i, end, i == 0, end == text.size());
                    Flush();
                    i = end - piece;
                }
                return;
            }
        }
        WriteWide(text, 0, text.size(), true, true);
    }

private:
    char* Begin() const { return reinterpret_cast<char*>(m_block.Data()); }

    void Write(const char* text, size_t length) {
        if (m_sink != nullptr)
            m_sink->append(text, length);
        else
            std::fwrite(text, 1, length, stdout);
    }

    void WriteWide(const std::wstring& text, size_t from, size_t to, bool open, bool close) {
        char* p = m_pos;
        if (open) *p++ = '"';
        for (size_t i = from; i < to; ++i) {
            uint32_t c = static_cast<uint32_t>(text[i]);
            if (c < 0x80) {
                if (c >= 0x20 && c != '"' && c != '\\') {
                    *p++ = static_cast<char>(c);
                } else {
                    m_pos = p;
                    Escape(static_cast<unsigned char>(c));
                    p = m_pos;
                }
                continue;
            }
            if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < to) {
                const uint32_t low = static_cast<uint32_t>(text[i + 1]);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
            if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
            if (c < 0x800) {
                *p++ = static_cast<char>(0xC0 | (c >> 6));
            } else if (c < 0x10000) {
                *p++ = static_cast<char>(0xE0 | (c >> 12));
                *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            } else {
                *p++ = static_cast<char>(0xF0 | (c >> 18));
                *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            }
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
        }
        if (close) *p++ = '"';
        m_pos = p;
    }

    void Escape(unsigned char c) {
        switch (c) {
            case '"': Raw("\\\""); break;
            case '\\': Raw("\\\\"); break;
            case '\n': Raw("\\n"); break;
            case '\r': Raw("\\r"); break;
            case '\t': Raw("\\t"); break;
            default: {
                static const char kHex[] = "0123456789abcdef";
                const char escaped[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
                Raw(escaped, 6);
            }
        }
    }

    std::string* m_sink;
    size_t m_blockSize;
    LargeBlock m_block;
    char* m_pos;
    char* m_end;
};

// Names as JSON strings, made once per name: elements point at the dictionary's texts, which
// stay put, so a name's address stands for the name.
class JsonNames {
public:
    const std::string& Of(const std::wstring& name) {
        std::string& json = m_names[&name];
        if (json.empty()) {
            Output text(&json, 6 * name.size() + 2);
            text.JsonWide(name);
        }
        return json;
    }

private:
    std::unordered_map<const std::wstring*, std::string> m_names;
};

void PrintJsonNode(Output& out, JsonNames& names, const CDicomTag& tag, const std::wstring& characterSet) {
    static const std::wstring kItemName = L"SQ Item";
    static const std::wstring kNothing;
    const ElementByteRange range = GetElementByteRange(tag);
    const bool item = tag.IsItem();
    out.Raw("{\"tag\": \"");
    const std::string tagText = TagText(tag);
    out.Raw(tagText.data(), tagText.size());
    out.Raw("\", \"name\": ");
    const std::string& name = names.Of(item ? kItemName : tag.GetTagName());
    out.Raw(name.data(), name.size());
    out.Raw(", \"vr\": ");
    out.JsonWide(item ? kNothing : tag.GetVRText());
    out.Raw(", \"tagOffset\": ");
    out.Number(range.first);
    out.Raw(", \"dataOffset\": ");
    out.Number(tag.GetValueOffset());
    out.Raw(", \"size\": ");
    out.Number(tag.GetValueLength());
    out.Raw(", \"lastByte\": ");
    out.Number(range.last);
    out.Raw(", \"value\": ");
    out.JsonWide(item ? kNothing : tag.GetValueText(characterSet));
    out.Raw(", \"children\": [");
    if (!tag.GetChildren().empty()) {
        // The children's character set differs from this one only where a child sets it.
        std::wstring ownCharacterSet;
        const std::wstring* childrenCharacterSet = &characterSet;
        for (const CDicomTag* child : tag.GetChildren())
            if (child->Is(0x0008, 0x0005)) {
                ownCharacterSet = CharacterSetForChildren(tag, characterSet);
                childrenCharacterSet = &ownCharacterSet;
                break;
            }
        bool first = true;
        for (const CDicomTag* child : tag.GetChildren()) {
            if (!first) out.Raw(", ");
            first = false;
            PrintJsonNode(out, names, *child, *childrenCharacterSet);
        }
    }
    out.Raw("]}");
}

void Boolean(Output& out, bool value) {
    if (value)
        out.Raw("true");
    else
        out.Raw("false");
}

void PrintJson(Output& out, const std::string& path, const CDicomFile& file, const std::string& extra = "") {
    out.Raw("{\"file\": ");
    out.JsonUtf8(path);
    out.Raw(", \"loaded\": true, \"fileSize\": ");
    out.Number(static_cast<uint64_t>(file.GetFileSize()));
    out.Raw(", \"hasPreamble\": ");
    Boolean(out, file.HasPreamble());
    out.Raw(", \"explicitVR\": ");
    Boolean(out, file.IsExplicitVR());
    out.Raw(", \"littleEndian\": ");
    Boolean(out, file.IsLittleEndian());
    out.Raw(", \"trailingBytes\": ");
    out.Number(file.GetTrailingSize());
    out.Raw(", \"elements\": [");
    const std::wstring characterSet = TopLevelCharacterSet(file);
    JsonNames names;
    bool first = true;
    for (const CDicomTag* tag : file.GetElements()) {
        if (!first) out.Raw(", ");
        first = false;
        PrintJsonNode(out, names, *tag, characterSet);
    }
    out.Raw("]");
    out.Raw(extra.data(), extra.size());
    out.Raw("}\n");
}

void PrintListingNode(std::string& out, const CDicomTag& tag, int depth, const std::wstring& characterSet,
                      const ProblemListing* problems) {
    char size[16];
    if (tag.IsUndefinedLength())
        std::snprintf(size, sizeof size, "FFFFFFFF");
    else
        std::snprintf(size, sizeof size, "%lu", static_cast<unsigned long>(tag.GetValueLength()));
    char line[200];
    std::snprintf(line, sizeof line, "%*s(%s) %-2s  %10llu %10llu %10s  ", depth * 2, "", TagText(tag).c_str(),
                  VROf(tag).c_str(), static_cast<unsigned long long>(GetElementByteRange(tag).first),
                  static_cast<unsigned long long>(tag.GetValueOffset()), size);
    out += line + NameOf(tag);
    const std::string value = ListingValue(tag, characterSet);
    if (!value.empty()) out += "  [" + value + "]";
    out += "\n";
    if (problems != nullptr) problems->AppendLinesOf(tag, depth, out);
    const std::wstring childrenCharacterSet = CharacterSetForChildren(tag, characterSet);
    for (const CDicomTag* child : tag.GetChildren())
        PrintListingNode(out, *child, depth + 1, childrenCharacterSet, problems);
}

void PrintListing(const std::string& path, const CDicomFile& file, const ProblemListing* problems = nullptr) {
    char head[400];
    std::snprintf(head, sizeof head, "%s: %lld bytes, %s, %s, %s endian, %llu trailing bytes\n",
                  path.c_str(), static_cast<long long>(file.GetFileSize()),
                  file.HasPreamble() ? "preamble and DICM" : "no preamble",
                  file.IsExplicitVR() ? "explicit VR" : "implicit VR",
                  file.IsLittleEndian() ? "little" : "big",
                  static_cast<unsigned long long>(file.GetTrailingSize()));
    std::string out = head;
    out += "(tag)       VR  tag offset data offset       size  name  [value]\n";
    if (problems != nullptr) problems->AppendHead(out);
    const std::wstring characterSet = TopLevelCharacterSet(file);
    for (const CDicomTag* tag : file.GetElements()) PrintListingNode(out, *tag, 0, characterSet, problems);
    if (problems != nullptr) problems->AppendTail(out);
    std::fwrite(out.data(), 1, out.size(), stdout);
}

template <typename T>
std::string TableText(const T* table, uint32_t count) {
    if (table == nullptr) return "none";
    std::string text;
    char buffer[64];
    for (uint32_t i = 0; i < count; ++i) {
        std::snprintf(buffer, sizeof buffer, "%s%.10g", i ? " " : "", static_cast<double>(table[i]));
        text += buffer;
    }
    return text;
}

void PrintRegions(const std::string& path, const CDicomFile& file) {
    const std::vector<UltrasoundRegion*>& regions = file.GetUltrasoundRegions();
    std::string out = path + ": " + std::to_string(regions.size()) + " ultrasound region" +
                      (regions.size() == 1 ? "" : "s") + "\n";
    char line[256];
    for (size_t k = 0; k < regions.size(); ++k) {
        const UltrasoundRegion& r = *regions[k];
        std::snprintf(line, sizeof line, "region %zu (item at %llu)\n", k + 1,
                      static_cast<unsigned long long>(r.item ? r.item->GetTagOffset() : 0));
        out += line;
        auto field = [&out, &line](const char* name, const std::string& value) {
            std::snprintf(line, sizeof line, "  %-36s %s\n", name, value.c_str());
            out += line;
        };
        auto number = [](double value) {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%.10g", value);
            return std::string(buffer);
        };
        field("region location (x0, y0, x1, y1)", std::to_string(r.regionLocationMinX0) + ", " +
              std::to_string(r.regionLocationMinY0) + ", " + std::to_string(r.regionLocationMaxX1) + ", " +
              std::to_string(r.regionLocationMaxY1));
        field("reference pixel (x0, y0)", std::to_string(r.referencePixelX0) + ", " + std::to_string(r.referencePixelY0));
        field("physical units (x, y)", std::to_string(r.physicalUnitsXDirection) + ", " +
              std::to_string(r.physicalUnitsYDirection));
        field("physical delta (x, y)", number(r.physicalDeltaX) + ", " + number(r.physicalDeltaY));
        field("reference pixel physical value (x, y)", number(r.referencePixelPhysicalValueX) + ", " +
              number(r.referencePixelPhysicalValueY));
        field("spatial format, data type, flags", std::to_string(r.regionSpatialFormat) + ", " +
              std::to_string(r.regionDataType) + ", " + std::to_string(r.regionFlags));
        field("transducer, pulse repetition frequency", std::to_string(r.transducerFrequency) + ", " +
              std::to_string(r.pulseRepetitionFrequency));
        field("doppler correction, steering angle", number(r.dopplerCorrectionAngle) + ", " + number(r.steeringAngle));
        field("doppler sample volume (x, y)", std::to_string(r.dopplerSampleVolumeXPosition) + ", " +
              std::to_string(r.dopplerSampleVolumeYPosition));
        field("TM-line (x0, y0, x1, y1)", std::to_string(r.tmLinePositionX0) + ", " + std::to_string(r.tmLinePositionY0) +
              ", " + std::to_string(r.tmLinePositionX1) + ", " + std::to_string(r.tmLinePositionY1));
        field("pixel component organization, mask", std::to_string(r.pixelComponentOrganization) + ", " +
              std::to_string(r.pixelComponentMask));
        field("pixel component range", std::to_string(r.pixelComponentRangeStart) + " .. " +
              std::to_string(r.pixelComponentRangeStop));
        field("pixel component units, data type", std::to_string(r.pixelComponentPhysicalUnits) + ", " +
              std::to_string(r.pixelComponentDataType));
        field("table break points", std::to_string(r.numberOfTableBreakPoints));
        field("  x", TableText(r.tableOfXBreakPoints, r.numberOfTableBreakPoints));
        field("  y", TableText(r.tableOfYBreakPoints, r.numberOfTableBreakPoints));
        field("table entries", std::to_string(r.numberOfTableEntries));
        field("  pixel values", TableText(r.tableOfPixelValues, r.numberOfTableEntries));
        field("  parameter values", TableText(r.tableOfParameterValues, r.numberOfTableEntries));
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    Mode mode = Mode::Listing;
    bool check = false;
    std::vector<std::string> paths;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--help" || arg == "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (options && arg == "--json") {
            mode = Mode::Json;
        } else if (options && arg == "--quiet") {
            mode = Mode::Quiet;
        } else if (options && arg == "--regions") {
            mode = Mode::Regions;
        } else if (options && arg == "--check") {
            check = true;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "orveldump: unknown option %s\n\n%s", arg.c_str(), kUsage);
            return 2;
        } else {
            paths.push_back(arg);
        }
    }
    if (check && mode == Mode::Regions) {
        std::fprintf(stderr, "orveldump: --check does not go with --regions\n\n%s", kUsage);
        return 2;
    }
    if (paths.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    int status = 0;
    bool problemsFound = false;
    Output json;
    for (const std::string& path : paths) {
        CDicomFile file;
        if (!file.LoadFile(WideFromUtf8(path))) {
            status = 1;
            if (mode == Mode::Json) {
                json.Raw("{\"file\": ");
                json.JsonUtf8(path);
                json.Raw(", \"loaded\": false, \"error\": \"");
                json.Raw(kInvalid, sizeof kInvalid - 1);
                json.Raw("\"");
                if (check) {
                    const std::string problems = ProblemsJsonMember(CheckRefusedFile(WideFromUtf8(path)));
                    json.Raw(problems.data(), problems.size());
                }
                json.Raw("}\n");
                json.Flush();
            }
            std::fflush(stdout);
            std::fprintf(stderr, "%s: %s\n", path.c_str(), kInvalid);
            continue;
        }
        std::vector<CheckProblem> problems;
        std::string checkError;
        if (check && !CheckLoadedFile(WideFromUtf8(path), file, problems, checkError)) {
            // The file's object is still printed, its problems unknown.
            std::fflush(stdout);
            std::fprintf(stderr, "%s: %s\n", path.c_str(), checkError.c_str());
            status = 1;
        }
        problemsFound = problemsFound || HasSeriousProblem(problems);
        if (mode == Mode::Json) {
            PrintJson(json, path, file, check ? ProblemsJsonMember(problems, checkError) : std::string());
            json.Flush();
        } else if (mode == Mode::Listing) {
            const ProblemListing listing(problems);
            PrintListing(path, file, check && checkError.empty() ? &listing : nullptr);
        } else if (mode == Mode::Regions) {
            PrintRegions(path, file);
        }
    }
    json.Flush();
    std::fflush(stdout);
    if (status == 0 && problemsFound) status = 3;
    return status;
}
