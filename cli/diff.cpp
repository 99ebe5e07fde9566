#include "cli/diff.h"
#include "cli/parse_options.h"

#include <cstdio>
#include <memory>
#include <string>

#include "cli/arguments.h"
#include "cli/file_bytes.h"
#include "cli/json.h"
#include "cli/node_text.h"
#include "cli/output.h"
#include "cli/redact.h"
#include "cli/utf8.h"
#include "dicom/read/DicomFile.h"
#include "dicom/model/ElementRange.h"
#include "dicom/analysis/TreeDiff.h"

namespace {

const char kInvalid[] = "Invalid DICOM file";

// One side of the diff: the parse, its bytes and what the diff is given of it.
struct Loaded {
    CDicomFile file;
    FileBytes bytes;
    DiffSide side;
};

void Load(const std::string& path, Loaded& side) {
    side.side.path = path;
    side.file.SetParseOptions(DumpParseOptions(true));
    bool& loaded = side.side.loaded;
    loaded = side.file.LoadFile(WidePath(path));
    const ParseFailure* failure = loaded ? nullptr : side.file.GetFailure();
    DiffInput& in = side.side.input;
    if (loaded) {
        in.tree = &side.file;
        in.hasPreamble = side.file.HasPreamble();
        in.explicitVR = side.file.IsExplicitVR();
        in.littleEndian = side.file.IsLittleEndian();
        in.trailingSize = side.file.GetTrailingSize();
    } else if (failure != nullptr) {
        in.tree = &failure->tree;
        in.hasPreamble = failure->hasPreamble.value_or(false);
        in.explicitVR = failure->explicitVR.value_or(true);
        in.littleEndian = failure->littleEndian.value_or(true);
    }
    if (!loaded && failure == nullptr) return;
    // Padding and raw values need the bytes; without them the diff compares the value texts.
    std::string error;
    const int64_t expected = loaded ? side.file.GetFileSize() : failure->fileSize.value_or(-1);
    if (side.bytes.Open(WidePath(path), expected, "comparing", error)) {
        in.bytes = side.bytes.Data();
        in.size = side.bytes.Size();
    } else {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
    }
}

// The value text as shown, in the character set in force where the element lies.
std::wstring ValueOf(const CDicomTag& tag, const DiffSide& side, bool redact) {
    std::vector<const CDicomTag*> above;
    for (const CDicomTag* parent = tag.GetParent(); parent != nullptr; parent = parent->GetParent())
        above.push_back(parent);
    std::wstring characterSet = TopLevelCharacterSet(*side.input.tree);
    for (size_t i = above.size(); i-- > 0;) characterSet = CharacterSetForChildren(*above[i], characterSet);
    return ShownValue(tag, characterSet, redact);
}

// What differs of a file as a whole, in words. The transfer syntax is a value: redacted, it
// shows only where its element is kept.
std::string FileAspectText(const TreeDifference& d, const std::string& text, const DiffSide& side, bool redact) {
    if (!redact || std::string(d.aspect) != "transfer-syntax" || side.input.tree == nullptr) return text;
    const CDicomTag* syntax = side.input.tree->FindElement(0x0002, 0x0010);
    return syntax == nullptr || KeptWhenRedacted(*syntax) ? text : std::string();
}

// One file's side of a difference: the element, or what differs of the file in words.
void PrintJsonSide(Output& out, const TreeDifference& d, const CDicomTag* tag, const std::string& text,
                   const DiffSide& side, bool redact) {
    if (tag == nullptr && d.path.empty() && text.empty()) {
        out.Raw("null");
        return;
    }
    if (tag == nullptr) {
        out.Raw(d.kind == DiffKind::Encoding ? "{\"encoding\": " : "{\"value\": ");
        if (d.path.empty())
            out.JsonUtf8(FileAspectText(d, text, side, redact));
        else
            out.Raw("null");
        out.Raw("}");
        return;
    }
    const ElementByteRange range = GetElementByteRange(*tag);
    out.Raw("{\"tag\": \"");
    out.Raw(TagText(*tag));
    out.Raw("\", \"name\": ");
    out.JsonUtf8(NameOf(*tag));
    out.Raw(", \"vr\": ");
    out.JsonUtf8(ShownVR(*tag, redact));
    out.Raw(", \"tagOffset\": ");
    out.Number(range.first);
    out.Raw(", \"lastByte\": ");
    out.Number(range.last);
    out.Raw(", \"size\": ");
    out.Number(tag->GetValueLength());
    PrintStoredLength(out, *tag);
    out.Raw(", \"value\": ");
    out.JsonWide(ValueOf(*tag, side, redact));
    const uint64_t differsAt = tag == d.a ? d.aFirstDifference : d.bFirstDifference;
    if (differsAt != TreeDifference::kNoOffset) {
        out.Raw(", \"firstDifference\": ");
        out.Number(differsAt);
    }
    if (d.kind == DiffKind::Encoding) {
        out.Raw(", \"encoding\": ");
        out.JsonUtf8(text);
    }
    out.Raw("}");
}

void PrintJson(Output& out, const DiffSide& a, const DiffSide& b, const std::vector<TreeDifference>& differences,
               bool redact) {
    out.Raw("{\"a\": ");
    out.JsonUtf8(a.path);
    out.Raw(", \"b\": ");
    out.JsonUtf8(b.path);
    out.Raw(", \"aLoaded\": ");
    out.Boolean(a.loaded);
    out.Raw(", \"bLoaded\": ");
    out.Boolean(b.loaded);
    out.Raw(", \"differences\": [");
    for (size_t i = 0; i < differences.size(); ++i) {
        const TreeDifference& d = differences[i];
        out.Raw(i == 0 ? "{\"path\": [" : ", {\"path\": [");
        for (size_t k = 0; k < d.path.size(); ++k) {
            out.Raw(k == 0 ? "{\"index\": " : ", {\"index\": ");
            out.Number(d.path[k].index);
            out.Raw(", \"tag\": \"");
            out.Raw(TagCode(d.path[k].group, d.path[k].element));
            out.Raw("\"}");
        }
        out.Raw("], \"kind\": \"");
        out.Raw(DiffKindName(d.kind), std::string(DiffKindName(d.kind)).size());
        out.Raw("\"");
        if (*d.aspect != '\0') {
            out.Raw(", \"aspect\": \"");
            out.Raw(d.aspect, std::string(d.aspect).size());
            out.Raw("\"");
        }
        out.Raw(", \"a\": ");
        if (d.kind == DiffKind::OnlyInB)
            out.Raw("null");
        else
            PrintJsonSide(out, d, d.a, d.aText, a, redact);
        out.Raw(", \"b\": ");
        if (d.kind == DiffKind::OnlyInA)
            out.Raw("null");
        else
            PrintJsonSide(out, d, d.b, d.bText, b, redact);
        out.Raw("}");
    }
    out.Raw("]}\n");
}

std::string ListingSide(const char* label, const TreeDifference& d, const CDicomTag* tag, const std::string& text,
                        const DiffSide& side, bool redact) {
    std::string line = std::string("             ") + label + ": ";
    if (tag == nullptr) return line + FileAspectText(d, text, side, redact) + "\n";
    const ElementByteRange range = GetElementByteRange(*tag);
    char size[16];
    if (tag->IsUndefinedLength())
        std::snprintf(size, sizeof size, "FFFFFFFF");
    else
        std::snprintf(size, sizeof size, "%lu", static_cast<unsigned long>(tag->GetValueLength()));
    char head[160];
    std::snprintf(head, sizeof head, "(%s) %-2s  tag offset %10llu  last byte %10llu  size %8s", TagText(*tag).c_str(),
                  ShownVR(*tag, redact).c_str(), static_cast<unsigned long long>(range.first),
                  static_cast<unsigned long long>(range.last), size);
    line += head;
    const uint32_t stored = GetStoredValueLength(*tag);
    if (stored != tag->GetValueLength()) line += "  stored " + std::to_string(stored);
    if (d.kind == DiffKind::Encoding) return line + "  " + text + "\n";
    const uint64_t differsAt = tag == d.a ? d.aFirstDifference : d.bFirstDifference;
    if (differsAt != TreeDifference::kNoOffset) line += "  first difference at offset " + std::to_string(differsAt);
    std::wstring value = ValueOf(*tag, side, redact);
    const bool cut = value.size() > 48;
    if (cut) value.resize(48);
    for (wchar_t& c : value)
        if (c < 0x20 || c == 0x7F) c = L'.';
    if (!value.empty() || d.kind == DiffKind::Value) line += "  [" + Utf8(value) + (cut ? "...]" : "]");
    return line + "\n";
}

void AppendListing(std::string& out, const DiffSide& a, const DiffSide& b,
                   const std::vector<TreeDifference>& differences, bool redact) {
    out += "a: " + a.path + (a.loaded ? "" : " (refused: its partial tree)") + "\n";
    out += "b: " + b.path + (b.loaded ? "" : " (refused: its partial tree)") + "\n";
    for (const TreeDifference& d : differences) {
        char head[32];
        std::snprintf(head, sizeof head, "%-11s  ", DiffKindName(d.kind));
        out += head;
        if (d.path.empty()) {
            out += std::string(d.aspect) + " of the files\n";
        } else {
            std::vector<uint32_t> indexes;
            std::string words;
            for (size_t k = 0; k < d.path.size(); ++k)
                words += PathStepWords(d.path[k].index, d.path[k].group, d.path[k].element, k == 0);
            const CDicomTag* tag = d.a != nullptr ? d.a : d.b;
            out += words + "  " + NameOf(*tag);
            if (*d.aspect != '\0') out += std::string(" (") + d.aspect + ")";
            out += "\n";
        }
        if (d.kind != DiffKind::OnlyInB) out += ListingSide("a", d, d.a, d.aText, a, redact);
        if (d.kind != DiffKind::OnlyInA) out += ListingSide("b", d, d.b, d.bText, b, redact);
    }
    out += differences.empty() ? "the files agree\n"
                               : std::to_string(differences.size()) +
                                     (differences.size() == 1 ? " difference\n" : " differences\n");
}

}  // namespace

std::string DiffText(const DiffSide& a, const DiffSide& b, const std::vector<TreeDifference>& differences, bool json,
                     bool redact) {
    std::string text;
    if (json) {
        Output out(&text);
        PrintJson(out, a, b, differences, redact);
    } else {
        AppendListing(text, a, b, differences, redact);
    }
    return text;
}

int RunDiff(const Arguments& arguments) {
    auto a = std::make_unique<Loaded>();
    auto b = std::make_unique<Loaded>();
    Load(arguments.paths[0], *a);
    Load(arguments.paths[1], *b);
    // A file that cannot be read has nothing to compare: its system reason, and no comparison.
    bool unreadable = false;
    const Loaded* loadedSides[2] = {a.get(), b.get()};
    for (int k = 0; k < 2; ++k) {
        const ParseFailure* failure = loadedSides[k]->side.loaded ? nullptr : loadedSides[k]->file.GetFailure();
        if (failure == nullptr || failure->ioError.empty()) continue;
        std::fprintf(stderr, "%s: %s\n", arguments.paths[k].c_str(), failure->ioError.c_str());
        unreadable = true;
    }
    if (unreadable) return 1;
    const std::vector<TreeDifference> differences = DiffTrees(a->side.input, b->side.input);
    if (arguments.mode != Mode::Quiet) {
        const std::string text =
            DiffText(a->side, b->side, differences, arguments.mode == Mode::Json, arguments.redact);
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
    std::fflush(stdout);
    const Loaded* sides[2] = {a.get(), b.get()};
    for (int k = 0; k < 2; ++k)
        if (!sides[k]->side.loaded) std::fprintf(stderr, "%s: %s\n", arguments.paths[k].c_str(), kInvalid);
    if (!a->side.loaded || !b->side.loaded) return 1;
    return differences.empty() ? 0 : 3;
}
