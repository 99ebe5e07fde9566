// Values left in the file show exactly what held values show: every node's texts, numbers and
// bytes, the image attributes, palettes and ultrasound regions, refusals and partial trees, on
// pydicom's files and the writer's corpus, whole and cut; and the values keep reading from a
// copy of the bytes once the file is gone.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/DeferredCheck.h"
#include "tests/support/DicomWriter.h"
#include "tests/support/WriterCorpus.h"

namespace {

namespace fs = std::filesystem;

bool ParseHeld(const std::vector<uint8_t>& bytes, CDicomFile& file) {
    ParseOptions options;
    options.keepPartialTree = true;
    file.SetParseOptions(options);
    FILE* stream = std::tmpfile();
    if (stream == nullptr) return false;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::rewind(stream);
    const bool loaded = file.ParseStream(stream);
    std::fclose(stream);
    return loaded;
}

// Empty when the held parse and deferred parses (every value, and the default threshold) agree.
std::string CompareAll(const std::vector<uint8_t>& bytes) {
    for (uint64_t deferAbove : {uint64_t(1), kDeferValuesAbove}) {
        // Parsed anew each time: measuring the encoded sizes rewrites some lengths.
        CDicomFile held, deferred;
        const bool heldLoaded = ParseHeld(bytes, held);
        const bool loaded = deferred_check::ParseDeferred(bytes.data(), bytes.size(), deferred, deferAbove, true);
        const std::string problem = deferred_check::Compare(held, heldLoaded, deferred, loaded);
        if (!problem.empty()) return problem + " (values above " + std::to_string(deferAbove) + " deferred)";
    }
    return std::string();
}

std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(DeferredValues, ShowAsHeldOnesInRealAndBuiltFilesWholeAndCut) {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    const fs::path pydicom = fs::path(ORVEL_PYDICOM_DATA_DIR) / "test_files";
    std::error_code error;
    if (fs::is_directory(pydicom, error))
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(pydicom, error))
            if (entry.is_regular_file() && entry.file_size() < (size_t(8) << 20) && entry.path().extension() != ".py")
                files.emplace_back(entry.path().filename().string(), ReadAll(entry.path()));
    for (WriterCorpusFile& file : WriterCorpus()) files.emplace_back(file.name, std::move(file.bytes));
    ASSERT_GT(files.size(), 20u);
    size_t loaded = 0;
    for (const auto& [name, bytes] : files) {
        EXPECT_EQ(CompareAll(bytes), "") << name;
        CDicomFile file;
        loaded += deferred_check::ParseDeferred(bytes.data(), bytes.size(), file, 1, false) ? 1 : 0;
        // Cuts give partial trees whose values must read from the source the record took over.
        for (size_t cut : {bytes.size() / 3, bytes.size() * 2 / 3, bytes.size() - 1}) {
            if (cut == 0 || cut >= bytes.size()) continue;
            EXPECT_EQ(CompareAll(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(cut))), "")
                << name << " cut at " << cut;
        }
    }
    EXPECT_GT(loaded, files.size() / 2);
}

TEST(DeferredValues, BigEndianOddAndLongValuesReadBackAsHeld) {
    // Units swapped from the file, pad bytes no file holds, a date cut to 10 bytes, a UID with
    // characters replaced; implicit VR lets number lists span several chunks of the read.
    std::vector<uint8_t> many(65560);
    for (size_t i = 0; i < many.size(); ++i) many[i] = static_cast<uint8_t>(i * 7 + i / 251);
    auto bytes = [&many](size_t count) { return std::vector<uint8_t>(many.begin(), many.begin() + static_cast<long>(count)); };
    for (int mode = 0; mode < 3; ++mode) {
        const bool littleEndian = mode != 1, explicitVR = mode != 2;
        DicomWriter w(explicitVR, littleEndian);
        w.Preamble().Meta(mode == 0 ? "1.2.840.10008.1.2.1" : mode == 1 ? "1.2.840.10008.1.2.2" : "1.2.840.10008.1.2");
        w.Element(0x0008, 0x0005, "CS", "ISO_IR 192");
        w.Element(0x0008, 0x0018, "UI", std::string("1.2.3.x4.5?6.7") + std::string(41, '9'));
        w.Element(0x0008, 0x0020, "DA", std::string("20240102 trailing words in a date"));
        w.Element(0x0008, 0x0060, "CS", "OT");
        w.Element(0x0010, 0x0010, "PN", "Doe^John^Middle");
        w.Element(0x0028, 0x0008, "IS", "  17 ");
        w.Element(0x0028, 0x1050, "DS", "1.5e2\\3 ");
        if (explicitVR) {
            w.Element(0x0019, 0x1000, "AT", bytes(5));
            w.Element(0x0019, 0x1010, "FD", bytes(65528));
            w.Element(0x0019, 0x1011, "US", bytes(65535));
            w.Element(0x0019, 0x1012, "SL", bytes(4099));
            w.Element(0x0019, 0x1013, "OW", bytes(4097));
            w.Element(0x0019, 0x1014, "LT", std::string(3001, 'x'));
        } else {
            w.Element(0x0018, 0x0013, "FL", bytes(65543));
            w.Element(0x0018, 0x11B7, "FD", bytes(65552));
            w.Element(0x0018, 0x1310, "US", bytes(65539));
            w.Element(0x0018, 0x9219, "SS", bytes(65538));
        }
        EXPECT_EQ(CompareAll(w.Bytes()), "") << "mode " << mode;
    }
}

TEST(DeferredValues, ReadFromTheViewersCopyOnceTheFileIsGone) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1").Filler();
    w.Element(0x0019, 0x1010, "US", std::vector<uint8_t>{1, 0, 2, 0, 3, 0});
    w.Element(0x0019, 0x1011, "LO", "a long enough text");
    const std::string path = w.WriteTempFile("orvel_deferred_copy.dcm");
    CDicomFile file;
    ParseOptions options;
    options.deferValuesAbove = 1;
    file.SetParseOptions(options);
    ASSERT_TRUE(file.LoadFile(fs::path(path).wstring()));
    const CDicomTag* numbers = file.GetElements().at(file.GetElements().size() - 2);
    const CDicomTag* text = file.GetElements().back();
    ASSERT_TRUE(numbers->Data().IsDeferred());
    EXPECT_EQ(numbers->GetValueText(L""), L"1 \\2 \\3 ");

    // A copy of another size is not taken: the file is still read.
    const std::vector<uint8_t> copy = w.Bytes();
    EXPECT_FALSE(file.ReadValuesFrom(copy.data(), copy.size() - 1));
    EXPECT_EQ(text->GetValueText(L""), L"a long enough text");
    ASSERT_TRUE(file.ReadValuesFrom(copy.data(), copy.size()));
    std::error_code error;
    fs::remove(path, error);
    EXPECT_EQ(numbers->GetValueText(L""), L"1 \\2 \\3 ");
    EXPECT_EQ(text->GetValueText(L""), L"a long enough text");
}

}  // namespace
