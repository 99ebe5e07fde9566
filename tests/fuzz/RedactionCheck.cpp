#include "tests/fuzz/RedactionCheck.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "cli/check.h"
#include "cli/diff.h"
#include "cli/json.h"
#include "cli/listing.h"
#include "cli/output.h"
#include "cli/redact.h"
#include "dicom/analysis/Check.h"
#include "dicom/read/DicomFile.h"
#include "dicom/model/ElementRange.h"
#include "dicom/analysis/TreeDiff.h"

namespace redaction_check {
namespace {

// Eight distinct letters each, no four of them in a row in any name or word the program prints;
// A[i] and B[i] alike for every check (no hex digit, no exponent,
// no letter a number or age reads, the same low bit, so the same parity of a group read from
// them).
const char kMarkerA[] = "qzjwkgpv";
const char kMarkerB[] = "yhtmuolr";
constexpr size_t kPeriod = 8;

// The tree a parse left: the file's, or a refused one's partial tree.
const CTagArray& TreeOf(const CDicomFile& file, bool loaded) {
    if (loaded || file.GetFailure() == nullptr) return file;
    return file.GetFailure()->tree;
}

struct Parsed {
    std::vector<uint8_t> bytes;
    CDicomFile file;
    bool loaded = false;

    const CTagArray& Tree() const { return TreeOf(file, loaded); }
};

void Parse(Parsed& parsed) {
    FILE* stream = parsed.bytes.empty() ? std::tmpfile() : fmemopen(parsed.bytes.data(), parsed.bytes.size(), "rb");
    if (stream == nullptr) return;
    ParseOptions options;
    options.keepPartialTree = true;
    parsed.file.SetParseOptions(options);
    parsed.loaded = parsed.file.ParseStream(stream);
    std::fclose(stream);
}

struct Range {
    uint64_t from;
    uint64_t to;   // past the last byte
};

// The value bytes of every leaf that a redacted dump leaves out, and the ranges of the leaves
// it keeps (header and value).
void Collect(const CDicomTag& tag, uint64_t size, std::vector<Range>& planted, std::vector<Range>& kept) {
    if (!tag.GetChildren().empty()) {
        for (const CDicomTag* child : tag.GetChildren()) Collect(*child, size, planted, kept);
        return;
    }
    if (KeptWhenRedacted(tag)) {
        const ElementByteRange range = GetElementByteRange(tag);
        kept.push_back({range.first, range.last + 1});
        return;
    }
    if (tag.IsUndefinedLength()) return;
    const uint64_t from = tag.GetValueOffset();
    if (from >= size) return;
    const uint64_t to = std::min<uint64_t>(size, from + tag.GetValueLength());
    planted.push_back({from, to});
}

void Fill(std::vector<uint8_t>& bytes, const std::vector<Range>& ranges, const char* marker) {
    for (const Range& r : ranges)
        for (uint64_t p = r.from; p < r.to && p < bytes.size(); ++p) bytes[p] = static_cast<uint8_t>(marker[p % kPeriod]);
}

// The structure of a parse: every node's tag, VR, offsets, length and state, the file's form,
// and for a refused one where it failed (the failing tag aside: its bytes may be planted).
void Signature(const CDicomTag& tag, std::string& out) {
    char line[160];
    std::snprintf(line, sizeof line, "%04X,%04X %zu %llu %llu %lu %d %zu|", tag.GetGroup(), tag.GetElement(),
                  tag.GetVRText().size(), static_cast<unsigned long long>(tag.GetTagOffset()),
                  static_cast<unsigned long long>(tag.GetValueOffset()), static_cast<unsigned long>(tag.GetValueLength()),
                  tag.IsComplete() ? 1 : 0, tag.GetChildren().size());
    out += line;
    for (wchar_t c : tag.GetVRText()) out += std::to_string(static_cast<unsigned>(c)) + ",";
    for (const CDicomTag* child : tag.GetChildren()) Signature(*child, out);
}

std::string Signature(const CDicomFile& file, bool loaded) {
    std::string out = loaded ? "loaded|" : "refused|";
    const ParseFailure* failure = loaded ? nullptr : file.GetFailure();
    if (loaded) {
        out += std::to_string(file.HasPreamble()) + std::to_string(file.IsExplicitVR()) +
               std::to_string(file.IsLittleEndian()) + " " + std::to_string(file.GetTrailingSize()) + "|";
    } else if (failure != nullptr) {
        out += failure->offset.has_value() ? std::to_string(*failure->offset) : "none";
        for (size_t i = 0; i < failure->path.size(); ++i) {
            out += " " + std::to_string(failure->path[i].index);
            if (i + 1 < failure->path.size())
                out += ":" + std::to_string(failure->path[i].group) + "," + std::to_string(failure->path[i].element);
        }
        out += "|" + std::to_string(failure->hasPreamble.value_or(false)) +
               std::to_string(failure->explicitVR.value_or(true)) + std::to_string(failure->littleEndian.value_or(true)) +
               "|";
    }
    for (const CDicomTag* tag : TreeOf(file, loaded).GetElements()) Signature(*tag, out);
    return out;
}

std::vector<CheckProblem> Problems(const Parsed& parsed) {
    if (parsed.loaded) return CheckFile(CheckInputOf(parsed.file, parsed.bytes.data(), parsed.bytes.size()));
    const ParseFailure* failure = parsed.file.GetFailure();
    if (failure == nullptr || failure->tree.GetElements().empty()) return {};
    CheckInput input;
    input.elements = failure->tree.GetElements().data();
    input.elementCount = failure->tree.GetElements().size();
    input.bytes = parsed.bytes.data();
    input.size = parsed.bytes.size();
    input.hasPreamble = failure->hasPreamble.value_or(false);
    input.explicitVR = failure->explicitVR.value_or(true);
    input.littleEndian = failure->littleEndian.value_or(true);
    input.partial = true;
    return CheckFile(input);
}

// Everything a redacted run prints of one file: the listing and the JSON object with the
// problems of --check, and the failure line of --quiet.
std::string Outputs(const Parsed& parsed) {
    const std::vector<CheckProblem> problems = Problems(parsed);
    const ProblemListing listing(problems, true);
    const DumpView view{true, nullptr};
    std::string out;
    {
        Output json(&out, 4096);
        if (parsed.loaded)
            PrintJson(json, "f", parsed.file, view, ProblemsJsonMember(problems, true));
        else
            PrintJsonRefused(json, "f", parsed.file.GetFailure(), view, ProblemsJsonMember(problems, true));
    }
    if (parsed.loaded) {
        AppendListing(out, "f", parsed.file, view, &listing);
    } else {
        AppendListingRefused(out, "f", parsed.file.GetFailure(), view, &listing);
        out += FailureLine(parsed.file.GetFailure(), true) + "\n";
    }
    return out;
}

DiffSide SideOf(const Parsed& parsed, const char* path) {
    DiffSide side;
    side.path = path;
    side.loaded = parsed.loaded;
    side.input.tree = &parsed.Tree();
    side.input.bytes = parsed.bytes.data();
    side.input.size = parsed.bytes.size();
    if (parsed.loaded) {
        side.input.hasPreamble = parsed.file.HasPreamble();
        side.input.explicitVR = parsed.file.IsExplicitVR();
        side.input.littleEndian = parsed.file.IsLittleEndian();
        side.input.trailingSize = parsed.file.GetTrailingSize();
    } else if (const ParseFailure* failure = parsed.file.GetFailure()) {
        side.input.hasPreamble = failure->hasPreamble.value_or(false);
        side.input.explicitVR = failure->explicitVR.value_or(true);
        side.input.littleEndian = failure->littleEndian.value_or(true);
    }
    return side;
}

// Every four consecutive letters of a marker's cycle, as text, as hex and as \xNN escapes.
std::vector<std::string> Forms(const char* marker) {
    std::vector<std::string> forms;
    for (size_t r = 0; r < kPeriod; ++r) {
        unsigned char w[4];
        for (size_t i = 0; i < 4; ++i) w[i] = static_cast<unsigned char>(marker[(r + i) % kPeriod]);
        char text[64];
        forms.emplace_back(reinterpret_cast<const char*>(w), 4);
        for (const char* format : {"%02X%02X%02X%02X", "%02x%02x%02x%02x", "%02X %02X %02X %02X", "%02x %02x %02x %02x",
                                   "\\x%02X\\x%02X\\x%02X\\x%02X", "\\x%02x\\x%02x\\x%02x\\x%02x"}) {
            std::snprintf(text, sizeof text, format, w[0], w[1], w[2], w[3]);
            forms.emplace_back(text);
        }
    }
    return forms;
}

std::string FindForm(const std::string& output, const std::vector<std::string>& forms) {
    for (const std::string& form : forms)
        if (output.find(form) != std::string::npos) return form;
    return std::string();
}

// Where two outputs first differ, with some text around it from each.
std::string FirstDifference(const std::string& a, const std::string& b) {
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
    const size_t start = at > 160 ? at - 160 : 0;
    return "\n  A: " + a.substr(start, 320) + "\n  B: " + b.substr(start, 320);
}

}  // namespace

std::string Check(const uint8_t* data, size_t size, const CDicomFile& file, bool loaded) {
    const std::vector<std::string> formsA = Forms(kMarkerA), formsB = Forms(kMarkerB);
    // An input that holds a marker already could print it from a value that is kept.
    {
        const std::string raw(reinterpret_cast<const char*>(data), size);
        for (size_t r = 0; r < kPeriod; ++r)
            if (raw.find(formsA[7 * r]) != std::string::npos || raw.find(formsB[7 * r]) != std::string::npos)
                return std::string();
    }

    std::vector<Range> planted, kept;
    for (const CDicomTag* tag : TreeOf(file, loaded).GetElements()) Collect(*tag, size, planted, kept);
    // Where a refused parse failed: the bytes it read there as a tag (or as the first bytes of a
    // file that is no DICOM), unless they belong to a kept element.
    const ParseFailure* failure = loaded ? nullptr : file.GetFailure();
    if (failure != nullptr && failure->offset.has_value() && *failure->offset < size) {
        const Range at{*failure->offset, std::min<uint64_t>(size, *failure->offset + 4)};
        bool free = true;
        for (const Range& k : kept) free = free && (k.to <= at.from || k.from >= at.to);
        if (free) planted.push_back(at);
    }
    if (planted.empty()) return std::string();

    auto a = std::make_unique<Parsed>(), b = std::make_unique<Parsed>();
    a->bytes.assign(data, data + size);
    b->bytes.assign(data, data + size);
    Fill(a->bytes, planted, kMarkerA);
    Fill(b->bytes, planted, kMarkerB);
    Parse(*a);
    Parse(*b);
    // A value the parse itself reads (a transfer syntax stored as another VR, say) changes the
    // structure when filled: nothing to compare.
    const std::string shape = Signature(file, loaded);
    if (Signature(a->file, a->loaded) != shape || Signature(b->file, b->loaded) != shape) return std::string();

    const std::string outA = Outputs(*a), outB = Outputs(*b);
    if (outA != outB) return "redacted output differs with the values it leaves out:" + FirstDifference(outA, outB);
    const DiffSide sideA = SideOf(*a, "a"), sideB = SideOf(*b, "b");
    const std::vector<TreeDifference> differences = DiffTrees(sideA.input, sideB.input);
    const std::string diffs =
        DiffText(sideA, sideB, differences, true, true) + DiffText(sideA, sideB, differences, false, true);
    for (const std::string* output : {&outA, &diffs}) {
        std::string found = FindForm(*output, formsA);
        if (found.empty()) found = FindForm(*output, formsB);
        if (!found.empty()) {
            const size_t at = output->find(found);
            return "redacted output holds the marker " + found + ": " + output->substr(at > 160 ? at - 160 : 0, 320);
        }
    }
    return std::string();
}

}  // namespace redaction_check
