#include "cli/html/report.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <unordered_map>

#include "cli/check.h"
#include "cli/json.h"
#include "cli/node_text.h"
#include "cli/output.h"
#include "cli/redact.h"
#include "cli/tag_filter.h"
#include "cli/utf8.h"
#include "dicom/read/DicomFile.h"
#include "dicom/model/ElementRange.h"

// The page around the model, made from page.html, page.css and page.js at build time.
extern const char kHtmlPageHead[];
extern const char kHtmlPageTail[];

namespace {

// Value texts longer than the property list's cell are cut as the viewer cuts them.
const size_t kValueCut = 255;
// Bulk values keep this many bytes at each end, and a value longer than this is bulk, until
// the budget makes them smaller.
const uint32_t kWindow = 256;
const uint64_t kLongValue = 4096;

// Node flags of the model.
enum : unsigned {
    kIncomplete = 1,   // an open container of a refused file
    kRedacted = 2,     // the value's bytes are filler (zeros) in the page
    kTextCut = 4,      // the value text is cut to its first 255 characters
};

// Every value text and byte the page holds comes through here: what a redacted page may show.
struct ValuePolicy {
    bool redact;
    // The value text, empty for a value a redacted page leaves out.
    std::wstring Text(const CDicomTag& tag, const std::wstring& characterSet) const {
        return ShownValue(tag, characterSet, redact);
    }
    // Whether the value's bytes may be in the page.
    bool BytesShown(const CDicomTag& tag) const { return !redact || KeptWhenRedacted(tag); }
};

// A run of file bytes that is a value or something like one: left out of the page, or kept
// only at its ends, when long.
struct Stretch {
    uint64_t start;
    uint64_t length;
    int32_t node;      // the node whose value it is, -1 for bytes outside the elements
    bool bulk;         // pixel data, a fragment or bytes after the elements: windows whatever its size
    bool redacted;     // a value the page may not show
};

struct Gap {
    uint64_t first;
    uint64_t last;
    int32_t node;
    const char* kind;  // "bulk", "redacted" or "unread"
};

class ModelWriter {
public:
    ModelWriter(const ReportInput& input, Output& out) : m_out(out), m_policy{input.redact} {
        // Only the nodes problems name need their index looked up.
        if (input.problems != nullptr)
            for (const CheckProblem& problem : *input.problems)
                if (problem.element != nullptr) m_index.emplace(problem.element, -1);
    }

    void Nodes(const CTagArray& dataSet) {
        m_out.Raw(", \"nodeColumns\": [\"tag\", \"name\", \"vr\", \"tagOffset\", \"dataOffset\", \"size\", "
                  "\"lastByte\", \"value\", \"children\", \"flags\", \"storedLength\"], \"nodes\": [");
        // Pre-order, one array per node.
        const std::wstring characterSet = TopLevelCharacterSet(dataSet);
        for (const CDicomTag* tag : dataSet.GetElements()) Node(*tag, characterSet, nullptr);
        m_out.Raw("], \"names\": [");
        for (size_t i = 0; i < m_names.size(); ++i) {
            if (i != 0) m_out.Raw(", ");
            m_out.Raw("[");
            m_out.JsonUtf8(m_names[i]);
            m_out.Raw(", ");
            m_out.JsonUtf8(m_names[i] == "SQ Item" ? std::string() : KeywordOf(m_names[i].c_str()));
            m_out.Raw("]");
        }
        m_out.Raw("]");
    }

    int32_t IndexOf(const CDicomTag* tag) const {
        const auto found = tag != nullptr ? m_index.find(tag) : m_index.end();
        return found == m_index.end() ? -1 : found->second;
    }
    std::vector<Stretch>& Stretches() { return m_stretches; }
    uint64_t ParsedEnd() const { return m_parsedEnd; }

private:
    void Node(const CDicomTag& tag, const std::wstring& characterSet, const CDicomTag* parent) {
        const int32_t index = m_count++;
        if (!m_index.empty()) {
            const auto named = m_index.find(&tag);
            if (named != m_index.end()) named->second = index;
        }
        const ElementByteRange range = GetElementByteRange(tag);
        std::wstring value = m_policy.Text(tag, characterSet);
        unsigned flags = tag.IsComplete() ? 0u : unsigned(kIncomplete);
        if (value.size() > kValueCut) {
            size_t cut = kValueCut;
            if (sizeof(wchar_t) == 2 && value[cut - 1] >= 0xD800 && value[cut - 1] <= 0xDBFF) --cut;
            value.resize(cut);
            flags |= kTextCut;
        }
        const bool leaf = tag.GetChildren().empty() && !tag.IsUndefinedLength();
        if (leaf && tag.GetValueLength() != 0) {
            const bool shown = m_policy.BytesShown(tag);
            if (!shown) flags |= kRedacted;
            const bool fragment = parent != nullptr && parent->IsPixelData();
            m_stretches.push_back(
                {tag.GetValueOffset(), tag.GetValueLength(), index, tag.IsPixelData() || fragment, !shown});
        }
        if (tag.IsComplete())
            m_parsedEnd = std::max(m_parsedEnd, range.last + 1);
        else
            m_parsedEnd = std::max(m_parsedEnd, tag.GetValueOffset());
        // Offsets as differences, so that a row of a large file stays short: the tag offset from
        // the previous row's, the data offset and the last byte from the tag offset.
        m_out.Raw(index == 0 ? "[\"" : ",[\"");
        m_out.Raw(TagText(tag));
        m_out.Raw("\",");
        m_out.Number(NameIndex(tag));
        m_out.Raw(",");
        // A VR is two bytes of the file, whatever they are ("??" on a redacted page when they
        // are no VR of the standard: they may be value bytes read as a header).
        m_out.JsonUtf8(ShownVR(tag, m_policy.redact));
        m_out.Raw(",");
        Signed(static_cast<int64_t>(range.first - m_previousOffset));
        m_previousOffset = range.first;
        m_out.Raw(",");
        Signed(static_cast<int64_t>(tag.GetValueOffset() - range.first));
        m_out.Raw(",");
        m_out.Number(tag.GetValueLength());
        m_out.Raw(",");
        Signed(static_cast<int64_t>(range.last - range.first));
        m_out.Raw(",");
        m_out.JsonWide(value);
        // Trailing zeros (no children, no flags, a stored length that is the size) are left out.
        const uint32_t stored = GetStoredValueLength(tag);
        const bool storedDiffers = stored != tag.GetValueLength();
        if (!tag.GetChildren().empty() || flags != 0 || storedDiffers) {
            m_out.Raw(",");
            m_out.Number(tag.GetChildren().size());
        }
        if (flags != 0 || storedDiffers) {
            m_out.Raw(",");
            m_out.Number(flags);
        }
        if (storedDiffers) {
            m_out.Raw(",");
            m_out.Number(stored);
        }
        m_out.Raw("]");
        if (tag.GetChildren().empty()) return;
        const std::wstring childrenCharacterSet = CharacterSetForChildren(tag, characterSet);
        for (const CDicomTag* child : tag.GetChildren()) Node(*child, childrenCharacterSet, &tag);
    }

    // Differences can be negative in a hostile file (a node that claims to start before the
    // previous one).
    void Signed(int64_t value) {
        if (value < 0) {
            m_out.Raw("-");
            m_out.Number(0 - static_cast<uint64_t>(value));
        } else {
            m_out.Number(static_cast<uint64_t>(value));
        }
    }

    // Names are the dictionary's texts, which stay put: an address stands for a name.
    uint32_t NameIndex(const CDicomTag& tag) {
        const void* key = tag.IsItem() ? nullptr : &tag.GetTagName();
        const auto found = m_nameIndex.find(key);
        if (found != m_nameIndex.end()) return found->second;
        const uint32_t index = static_cast<uint32_t>(m_names.size());
        m_names.push_back(NameOf(tag));
        m_nameIndex.emplace(key, index);
        return index;
    }

    Output& m_out;
    ValuePolicy m_policy;
    int32_t m_count = 0;
    // The nodes problems name, with their index once written.
    std::unordered_map<const CDicomTag*, int32_t> m_index;
    std::unordered_map<const void*, uint32_t> m_nameIndex;
    std::vector<std::string> m_names;
    std::vector<Stretch> m_stretches;
    uint64_t m_parsedEnd = 0;
    uint64_t m_previousOffset = 0;
};

// The gaps for windows of `window` bytes and bulk from `longValue` bytes on, in file order.
std::vector<Gap> GapsFor(const std::vector<Stretch>& stretches, uint64_t size, uint32_t window, uint64_t longValue) {
    std::vector<Gap> gaps;
    for (const Stretch& s : stretches) {
        const uint64_t start = std::min(s.start, size);
        const uint64_t end = std::min(s.start + s.length, size);
        if (end <= start) continue;
        const uint64_t length = end - start;
        const bool bulk = s.bulk || length > longValue;
        if (s.redacted) {
            // Small values become filler; a bulk one is left out whole.
            if (bulk) gaps.push_back({start, end - 1, s.node, "redacted"});
            continue;
        }
        if (bulk && length > 2 * uint64_t(window)) gaps.push_back({start + window, end - window - 1, s.node, "bulk"});
    }
    return gaps;
}

uint64_t Base64Size(uint64_t bytes) { return (bytes + 2) / 3 * 4; }

// The page's size with these gaps: the model without bytes, each segment and each gap.
uint64_t PageCost(uint64_t fixed, const std::vector<Gap>& gaps, uint64_t size) {
    uint64_t cost = fixed;
    uint64_t at = 0;
    for (const Gap& gap : gaps) {
        cost += Base64Size(gap.first - at) + 24 + 48;
        at = gap.last + 1;
    }
    return cost + Base64Size(size - at) + 24;
}

void AppendBase64(Output& out, const uint8_t* data, size_t count) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    char quad[4];
    size_t i = 0;
    for (; i + 3 <= count; i += 3) {
        const uint32_t v = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8) | data[i + 2];
        quad[0] = kDigits[v >> 18];
        quad[1] = kDigits[(v >> 12) & 63];
        quad[2] = kDigits[(v >> 6) & 63];
        quad[3] = kDigits[v & 63];
        out.Raw(quad, 4);
    }
    if (i < count) {
        const uint32_t v = (uint32_t(data[i]) << 16) | (i + 1 < count ? uint32_t(data[i + 1]) << 8 : 0);
        quad[0] = kDigits[v >> 18];
        quad[1] = kDigits[(v >> 12) & 63];
        quad[2] = i + 1 < count ? kDigits[(v >> 6) & 63] : '=';
        quad[3] = '=';
        out.Raw(quad, 4);
    }
}

// One segment of embedded bytes, with the redacted values in it replaced by zeros.
void WriteSegment(Output& out, const ReportInput& input, uint64_t start, uint64_t end,
                  const std::vector<Stretch>& fillers, size_t& filler, const std::function<void()>& drain) {
    out.Raw("[");
    out.Number(start);
    out.Raw(", \"");
    std::vector<uint8_t> piece;
    for (uint64_t at = start; at < end;) {
        // In pieces of at most 48 KiB (a multiple of 3, so the digits join up).
        const uint64_t stop = std::min(end, at + 3 * 16384);
        piece.assign(input.bytes + at, input.bytes + stop);
        while (filler < fillers.size() && fillers[filler].start + fillers[filler].length <= at) ++filler;
        for (size_t f = filler; f < fillers.size() && fillers[f].start < stop; ++f) {
            const uint64_t from = std::max(fillers[f].start, at);
            const uint64_t to = std::min(fillers[f].start + fillers[f].length, stop);
            if (from < to) std::memset(piece.data() + (from - at), 0, static_cast<size_t>(to - from));
        }
        AppendBase64(out, piece.data(), piece.size());
        drain();
        at = stop;
    }
    out.Raw("\"]");
}

// Writes JSON so that it is safe inside a <script> block: '<', '>' and '&' only occur in its
// strings, where \u escapes mean the same; U+2028 and U+2029 as well. Returns the bytes written.
uint64_t WriteEscaped(const std::string& json, const PageSink& sink) {
    uint64_t written = 0;
    size_t copied = 0;
    auto put = [&](const char* text, size_t length) {
        if (length == 0) return;
        sink(text, length);
        written += length;
    };
    for (size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c != '<' && c != '>' && c != '&' && c != '\xE2') continue;
        const char* escape = c == '<' ? "\\u003c" : c == '>' ? "\\u003e" : c == '&' ? "\\u0026" : nullptr;
        size_t length = 1;
        if (escape == nullptr) {
            if (i + 2 >= json.size() || json[i + 1] != '\x80' || (json[i + 2] != '\xA8' && json[i + 2] != '\xA9')) continue;
            escape = json[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            length = 3;
        }
        put(json.data() + copied, i - copied);
        put(escape, 6);
        i += length - 1;
        copied = i + 1;
    }
    put(json.data() + copied, json.size() - copied);
    return written;
}

template <class Nodes>
size_t CountNodes(const Nodes& nodes) {
    size_t count = nodes.size();
    for (const CDicomTag* node : nodes) count += CountNodes(node->GetChildren());
    return count;
}

}  // namespace

std::string BaseName(const std::string& path) {
    size_t cut = path.find_last_of('/');
#ifdef _WIN32
    const size_t back = path.find_last_of("\\:");
    if (back != std::string::npos && (cut == std::string::npos || back > cut)) cut = back;
#endif
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

void WriteReportModel(const ReportInput& input, ReportSummary& summary, const PageSink& sink) {
    // The model up to its bytes is made first: its size decides how many bytes fit the budget.
    std::string head;
    const CTagArray* counted = input.file != nullptr ? static_cast<const CTagArray*>(input.file)
                               : input.failure != nullptr ? &input.failure->tree : nullptr;
    if (counted != nullptr) head.reserve(64 * CountNodes(counted->GetElements()) + 4096);
    Output out(&head, 1 << 16);
    const bool loaded = input.file != nullptr;
    out.Raw("{\"file\": ");
    if (input.redact)
        out.Raw("null");
    else
        out.JsonWide(WideFromUtf8(input.name));
    out.Raw(", \"loaded\": ");
    out.Boolean(loaded);
    if (!loaded) out.Raw(", \"error\": \"Invalid DICOM file\"");
    uint64_t fileSize = input.byteCount;
    const CTagArray* tree = nullptr;
    bool hasPreamble = false;
    if (loaded) {
        const CDicomFile& file = *input.file;
        fileSize = static_cast<uint64_t>(file.GetFileSize());
        hasPreamble = file.HasPreamble();
        PrintJsonFacts(out, file);
        tree = &file;
    } else if (input.failure != nullptr) {
        const ParseFailure& failure = *input.failure;
        if (failure.fileSize.has_value()) fileSize = static_cast<uint64_t>(*failure.fileSize);
        hasPreamble = failure.hasPreamble.value_or(false);
        PrintJsonFacts(out, failure);
        PrintJsonFailure(out, failure, input.redact);
        tree = &failure.tree;
    }
    out.Raw(", \"redacted\": ");
    out.Boolean(input.redact);
    ModelWriter writer(input, out);
    if (tree != nullptr) {
        writer.Nodes(*tree);
    } else {
        out.Raw(", \"nodeColumns\": [], \"nodes\": [], \"names\": []");
    }
    if (input.problems != nullptr || !input.checkError.empty()) {
        const std::vector<CheckProblem> none;
        const std::vector<CheckProblem>& problems = input.problems != nullptr ? *input.problems : none;
        out.Raw(ProblemsJsonMember(problems, input.redact, input.checkError));
        out.Raw(", \"problemNodes\": [");
        for (size_t i = 0; i < problems.size(); ++i) {
            if (i != 0) out.Raw(", ");
            const int32_t node = writer.IndexOf(problems[i].element);
            if (node < 0)
                out.Raw("-1");
            else
                out.Number(static_cast<uint64_t>(node));
        }
        out.Raw("]");
    }

    // The bytes: everything outside the elements' values after the parsed end is treated as
    // one more bulk value (trailing bytes, or what a refused parse did not read).
    const uint64_t size = input.bytes != nullptr ? std::min(input.byteCount, fileSize) : 0;
    std::vector<Stretch>& stretches = writer.Stretches();
    const uint64_t parsedEnd = std::max<uint64_t>(writer.ParsedEnd(), hasPreamble ? 132 : 0);
    if (input.redact && hasPreamble) stretches.push_back({0, 128, -1, false, true});
    if (parsedEnd < size) stretches.push_back({parsedEnd, size - parsedEnd, -1, true, input.redact});
    std::sort(stretches.begin(), stretches.end(),
              [](const Stretch& a, const Stretch& b) { return a.start < b.start; });

    out.Flush();
    const uint64_t fixed = head.size() + std::strlen(kHtmlPageHead) + std::strlen(kHtmlPageTail) + 400;
    summary = ReportSummary{};
    // Over the budget: smaller windows first, then ever shorter values count as bulk. Where no
    // step meets the budget, the smallest page wins (many small gaps cost more than they save).
    std::vector<std::pair<uint32_t, uint64_t>> steps{{kWindow, kLongValue}};
    for (uint32_t window = kWindow / 2; window >= 16; window /= 2) steps.push_back({window, kLongValue});
    for (uint64_t longValue = kLongValue; longValue >= 16; longValue /= 2) steps.push_back({0, longValue});
    std::vector<Gap> gaps;
    uint64_t best = UINT64_MAX;
    for (size_t i = 0; i < steps.size(); ++i) {
        std::vector<Gap> tried = GapsFor(stretches, size, steps[i].first, steps[i].second);
        const uint64_t cost = PageCost(fixed, tried, size);
        if (cost < best) {
            best = cost;
            gaps = std::move(tried);
            summary.window = steps[i].first;
            summary.longValue = steps[i].second;
            summary.shrunk = i != 0;
        }
        if (cost <= input.budget) break;
    }
    summary.overBudget = best > input.budget;
    if (size < fileSize) gaps.push_back({size, fileSize - 1, -1, "unread"});

    std::vector<Stretch> fillers;
    for (const Stretch& s : stretches)
        if (s.redacted) fillers.push_back(s);
    out.Flush();
    uint64_t written = WriteEscaped(head, sink);
    std::string().swap(head);
    // The bytes go out piece by piece.
    std::string part;
    Output bytesOut(&part, 1 << 16);
    auto drain = [&]() {
        bytesOut.Flush();
        written += WriteEscaped(part, sink);
        part.clear();
    };
    bytesOut.Raw(", \"bytes\": {\"segments\": [");
    uint64_t at = 0;
    size_t filler = 0;
    bool first = true;
    auto segment = [&](uint64_t end) {
        if (end <= at) return;
        if (!first) bytesOut.Raw(", ");
        first = false;
        WriteSegment(bytesOut, input, at, end, fillers, filler, drain);
    };
    for (const Gap& gap : gaps) {
        segment(std::min(gap.first, size));
        at = std::max(at, gap.last + 1);
        summary.bytesLeftOut += gap.last + 1 - gap.first;
    }
    segment(size);
    bytesOut.Raw("], \"gaps\": [");
    for (size_t i = 0; i < gaps.size(); ++i) {
        bytesOut.Raw(i == 0 ? "[" : ", [");
        bytesOut.Number(gaps[i].first);
        bytesOut.Raw(", ");
        bytesOut.Number(gaps[i].last);
        bytesOut.Raw(", ");
        if (gaps[i].node < 0)
            bytesOut.Raw("-1");
        else
            bytesOut.Number(static_cast<uint64_t>(gaps[i].node));
        bytesOut.Raw(", \"");
        bytesOut.Raw(gaps[i].kind, std::strlen(gaps[i].kind));
        bytesOut.Raw("\"]");
    }
    bytesOut.Raw("]");
    const std::pair<const char*, uint64_t> numbers[] = {{", \"window\": ", summary.window},
                                                        {", \"longValue\": ", summary.longValue},
                                                        {", \"budget\": ", input.budget}};
    for (const auto& member : numbers) {
        bytesOut.Raw(member.first, std::strlen(member.first));
        bytesOut.Number(member.second);
    }
    bytesOut.Raw(", \"shrunk\": ");
    bytesOut.Boolean(summary.shrunk);
    bytesOut.Raw(", \"overBudget\": ");
    bytesOut.Boolean(summary.overBudget);
    bytesOut.Raw(", \"leftOut\": ");
    bytesOut.Number(summary.bytesLeftOut);
    bytesOut.Raw("}}");
    drain();
    summary.pageSize = written + std::strlen(kHtmlPageHead) + std::strlen(kHtmlPageTail);
}

std::string ReportModel(const ReportInput& input, ReportSummary& summary) {
    std::string model;
    WriteReportModel(input, summary, [&model](const char* text, size_t length) { model.append(text, length); });
    return model;
}

void WriteReportPage(const ReportInput& input, ReportSummary& summary, const PageSink& sink) {
    sink(kHtmlPageHead, std::strlen(kHtmlPageHead));
    WriteReportModel(input, summary, sink);
    sink(kHtmlPageTail, std::strlen(kHtmlPageTail));
}
