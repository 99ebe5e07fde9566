// The failure record on real files (pydicom's) cut short, with item tags broken and with bytes
// appended: the offset and the path name the element, item or fragment where the cut or the
// damage is, and the partial tree holds exactly the nodes that end before it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dicom/io/TextFormat.h"
#include "dicom/read/DicomFile.h"
#include "tests/support/FailureCheck.h"

namespace {

namespace fs = std::filesystem;

struct Parsed {
    bool loaded = false;
    CDicomFile file;
};

void Parse(const std::vector<uint8_t>& bytes, Parsed& parsed) {
    ParseOptions options;
    options.keepPartialTree = true;
    parsed.file.SetParseOptions(options);
    FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::rewind(stream);
    parsed.loaded = parsed.file.ParseStream(stream);
    std::fclose(stream);
}

// A node of a loaded tree with the path to it (index and tag of every ancestor and its own).
struct Placed {
    const CDicomTag* tag;
    std::vector<FailureStep> path;
};

void Walk(const CDicomTag& tag, std::vector<FailureStep> path, std::vector<Placed>& out) {
    out.push_back({&tag, path});
    const CDicomTagList& children = tag.GetChildren();
    for (uint32_t i = 0; i < children.size(); ++i) {
        std::vector<FailureStep> childPath = path;
        childPath.push_back({i, children[i]->GetGroup(), children[i]->GetElement()});
        Walk(*children[i], childPath, out);
    }
}

size_t CompleteNodes(const CDicomTag& tag) {
    size_t count = tag.IsComplete() ? 1 : 0;
    for (const CDicomTag* child : tag.GetChildren()) count += CompleteNodes(*child);
    return count;
}

std::string Text(const std::vector<FailureStep>& path) {
    std::string text;
    for (const FailureStep& s : path) text += "/" + std::to_string(s.index) + ":" + TagText(s.group, s.element);
    return text;
}

std::vector<FailureStep> Prefix(const std::vector<FailureStep>& path, size_t count) {
    return std::vector<FailureStep>(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(count));
}

// Part 10 files of several kinds: explicit and implicit VR, big endian, nested sequences,
// encapsulated fragments, native frames.
const char* const kFiles[] = {"CT_small.dcm",      "MR_small.dcm",       "ExplVR_BigEnd.dcm", "MR_small_implicit.dcm",
                              "JPEG2000.dcm",      "MR_small_RLE.dcm",   "rtplan.dcm",        "SC_rgb_small_odd.dcm",
                              "UN_sequence.dcm"};

}  // namespace

TEST(FailureRecordRealFiles, CutsDamageAndAppendedBytesAreFoundWhereTheyAre) {
    const fs::path folder = fs::path(ORVEL_PYDICOM_DATA_DIR) / "test_files";
    size_t files = 0, variants = 0, refusedItems = 0;
    for (const char* name : kFiles) {
        std::ifstream in(folder / name, std::ios::binary);
        if (!in) continue;
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Parsed original;
        Parse(bytes, original);
        if (!original.loaded || !original.file.HasPreamble()) continue;
        ++files;
        std::vector<Placed> nodes;
        const std::vector<CDicomTag*>& top = original.file.GetElements();
        for (uint32_t i = 0; i < top.size(); ++i) Walk(*top[i], {{i, top[i]->GetGroup(), top[i]->GetElement()}}, nodes);

        for (const Placed& node : nodes) {
            const CDicomTag& tag = *node.tag;
            const uint64_t start = tag.GetTagOffset();
            if (start < 132) continue;
            size_t before = 0;
            for (const Placed& other : nodes) before += other.tag->GetEndOffset() <= start ? 1 : 0;

            // Cut inside the tag: no header began, so the path ends with the open containers.
            // Cut after the tag: the header began, and the element itself ends the path. Cut
            // inside a value with no children: the same.
            std::vector<std::pair<uint64_t, size_t>> cuts = {{start + 2, node.path.size() - 1}, {start + 6, node.path.size()}};
            if (tag.GetChildren().empty() && !tag.IsUndefinedLength() && tag.GetValueLength() >= 2)
                cuts.push_back({tag.GetValueOffset() + 1, node.path.size()});
            for (const auto& cut : cuts) {
                SCOPED_TRACE(std::string(name) + " cut at " + std::to_string(cut.first) + " in " + Text(node.path));
                ++variants;
                Parsed variant;
                Parse(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut.first)), variant);
                ASSERT_FALSE(variant.loaded);
                const ParseFailure& failure = *variant.file.GetFailure();
                EXPECT_EQ(failure.offset, start) << failure.reason;
                EXPECT_EQ(Text(failure.path), Text(Prefix(node.path, cut.second))) << failure.reason;
                size_t complete = 0;
                for (const CDicomTag* element : failure.tree.GetElements()) complete += CompleteNodes(*element);
                EXPECT_EQ(complete, before);
                EXPECT_EQ(failure_check::Check(variant.file, cut.first, true), "");
            }

            // An item tag broken: where items are checked (defined-length sequences, fragments
            // of undefined length) the file is refused at that tag, which ends the path with the
            // index it would have had.
            if (tag.IsItem()) {
                std::vector<uint8_t> damaged = bytes;
                const size_t low = original.file.IsLittleEndian() ? 2 : 3;
                damaged[start + low] ^= 0x01;
                Parsed variant;
                Parse(damaged, variant);
                if (!variant.loaded) {
                    ++refusedItems;
                    SCOPED_TRACE(std::string(name) + " item tag broken at " + std::to_string(start));
                    const ParseFailure& failure = *variant.file.GetFailure();
                    EXPECT_EQ(failure.offset, start) << failure.reason;
                    std::vector<FailureStep> expected = node.path;
                    expected.back().element ^= 0x0001;
                    EXPECT_EQ(Text(failure.path), Text(expected)) << failure.reason;
                    EXPECT_EQ(failure_check::Check(variant.file, damaged.size(), true), "");
                }
            }
        }

        // Three bytes appended: kept as trailing data after pixel data, else refused at the
        // old end of the file.
        std::vector<uint8_t> longer = bytes;
        longer.insert(longer.end(), {1, 2, 3});
        Parsed variant;
        Parse(longer, variant);
        if (!variant.loaded) {
            EXPECT_EQ(variant.file.GetFailure()->offset, bytes.size()) << name;
            EXPECT_EQ(variant.file.GetFailure()->reason, "3 bytes left after the last element") << name;
        }
    }
    if (files == 0) GTEST_SKIP() << "pydicom's data files are not installed";
    std::printf("failure records of real files: %zu files, %zu cuts, %zu refused item tags\n", files, variants, refusedItems);
}
