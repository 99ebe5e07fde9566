// Mutation sweep over the corpus: each file is cut short at every element boundary and at
// spread offsets, and every element header is damaged in turn (tag, VR and length bytes
// flipped; lengths set to 0, odd, undefined and just past the end). Every variant must load or
// be refused as a whole, never crash or hang, keep its byte ranges inside the file, and take no
// more heap than the file's bytes allow (see AllocationBound).
//
// The corpus: the test writer's files, the bundled sample, the fuzzing seeds of tests/fuzz/seeds
// and, where Debian's python3-pydicom is installed, pydicom's data files.
//
// Every variant parses the whole file again, so the work per file grows with its size times its
// element count. A file whose full sweep would parse more than kBytesPerFile bytes has only every
// n-th element damaged and only every n-th boundary cut, n chosen to fit; ORVEL_SWEEP_STRIDE
// (environment) sets a least n for every file, for slow emulated runs, and
// ORVEL_SWEEP_MB_PER_FILE the bytes per file.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#endif

#include "dicom/text/CharacterSet.h"
#include "dicom/read/DicomFile.h"
#include "dicom/model/ElementRange.h"
#include "tests/hostile/AllocationCounter.h"
#include "tests/support/FailureCheck.h"
#include "tests/support/WriterCorpus.h"

namespace {

namespace fs = std::filesystem;

struct CorpusFile {
    std::string name;
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> ReadWholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Files under a folder, sorted, without Python sources, caches and JSON indexes.
std::vector<fs::path> DataFilesUnder(const fs::path& folder) {
    std::vector<fs::path> found;
    std::error_code error;
    if (!fs::is_directory(folder, error)) return found;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const fs::path& path = it->path();
        const std::string extension = path.extension().string();
        if (!it->is_regular_file(error) || extension == ".py" || extension == ".pyc" || extension == ".json" ||
            path.string().find("__pycache__") != std::string::npos)
            continue;
        found.push_back(path);
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<CorpusFile> Corpus() {
    std::vector<CorpusFile> corpus;
    for (WriterCorpusFile& file : WriterCorpus()) corpus.push_back({"writer_" + file.name, std::move(file.bytes)});
    const fs::path source(ORVEL_SOURCE_DIR);
    corpus.push_back({"sample", ReadWholeFile(source / "samples" / "sample.dcm")});
    for (const fs::path& path : DataFilesUnder(source / "tests" / "fuzz" / "seeds"))
        corpus.push_back({"seed_" + path.filename().string(), ReadWholeFile(path)});
    const fs::path pydicom(ORVEL_PYDICOM_DATA_DIR);
    for (const fs::path& path : DataFilesUnder(pydicom))
        corpus.push_back({"pydicom_" + fs::relative(path, pydicom).generic_string(), ReadWholeFile(path)});
    return corpus;
}

std::string TestName(const testing::TestParamInfo<CorpusFile>& info) {
    std::string name = std::to_string(info.index) + "_" + info.param.name;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

// ---- Hang detection ----------------------------------------------------------------------

// A variant that has not finished after this long counts as a hang: the run is stopped with the
// file and variant named. Generous, for sanitizers and emulators; a real parse takes
// milliseconds.
constexpr int kHangSeconds = 120;

class Watchdog {
public:
    Watchdog() : m_thread([this] { Watch(); }) {}
    ~Watchdog() {
        m_stop = true;
        m_thread.join();
    }
    void Begin(const std::string& what) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_what = what;
        }
        m_started = Now();
        m_busy = true;
    }
    void End() { m_busy = false; }

private:
    static int64_t Now() {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void Watch() {
        while (!m_stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (m_busy && Now() - m_started > kHangSeconds * 1000) {
                std::lock_guard<std::mutex> lock(m_mutex);
                std::fprintf(stderr, "HANG: no result after %d s: %s\n", kHangSeconds, m_what.c_str());
                std::fflush(stderr);
                std::_Exit(3);
            }
        }
    }

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_busy{false};
    std::atomic<int64_t> m_started{0};
    std::mutex m_mutex;
    std::string m_what;
    std::thread m_thread;
};

Watchdog& TheWatchdog() {
    static Watchdog watchdog;
    return watchdog;
}

// ---- Streams over bytes in memory --------------------------------------------------------

// The parse reads a C stream, as LoadFile's does: a memory stream where the C library has one,
// else one temporary file rewritten for each variant.
class VariantStream {
public:
    ~VariantStream() {
        if (m_file != nullptr) std::fclose(m_file);
    }
    FILE* Open(const uint8_t* bytes, size_t size) {
#ifdef _WIN32
        if (m_file == nullptr) m_file = std::tmpfile();
        if (m_file == nullptr) return nullptr;
        std::rewind(m_file);
        if (size != 0 && std::fwrite(bytes, 1, size, m_file) != size) return nullptr;
        std::fflush(m_file);
        if (_chsize_s(_fileno(m_file), static_cast<__int64>(size)) != 0) return nullptr;
        std::rewind(m_file);
        return m_file;
#else
        if (m_file != nullptr) std::fclose(m_file);
        m_file = size != 0 ? fmemopen(const_cast<uint8_t*>(bytes), size, "rb") : std::tmpfile();
        return m_file;
#endif
    }

private:
    FILE* m_file = nullptr;
};

// ---- Results -----------------------------------------------------------------------------

// Heap a parse may take: up to twice the file's bytes (values are copied once, but native
// frames may also cover bytes that then become the trailing data, and palette tables are
// copied from their elements), plus a bounded amount per element (the node, its name, the
// dictionary entry of an unknown tag, a padded or resized value, the parent's pointer) and a
// fixed amount. A refused file is measured against the most elements its bytes could hold:
// every element, item or fragment takes at least 8 bytes of header.
constexpr uint64_t kPerElement = 1024;
constexpr uint64_t kFixed = 64 * 1024;

uint64_t AllocationBound(uint64_t fileSize, uint64_t elements) { return 2 * fileSize + kPerElement * elements + kFixed; }

// Bytes one file's variants may parse in all before its elements are sampled; the environment's
// ORVEL_SWEEP_MB_PER_FILE replaces it (in millions of bytes).
constexpr uint64_t kBytesPerFile = 25ull * 1000 * 1000;
// Variants made from one element's header.
constexpr uint64_t kVariantsPerElement = 20;

struct SweepTotals {
    uint64_t elementsDamaged = 0;
    uint64_t elementsSeen = 0;
    uint64_t variants = 0;
    uint64_t loaded = 0;
    uint64_t files = 0;
    double largestRatio = 0.0;       // peak heap / file size, files of 4 KiB or more
    std::string largestRatioAt;
    double largestPerElement = 0.0;  // (peak heap - file size) / elements, loaded variants
    std::string largestPerElementAt;
    uint64_t largestPeak = 0;
    std::string largestPeakAt;
};

SweepTotals& Totals() {
    static SweepTotals totals;
    return totals;
}

size_t CountNodes(const CDicomTag& tag) {
    size_t count = 1;
    for (const CDicomTag* child : tag.GetChildren()) count += CountNodes(*child);
    return count;
}

bool RangesInside(const CDicomTag& tag, uint64_t size) {
    const ElementByteRange range = GetElementByteRange(tag);
    if (range.first > range.last || range.last >= size || tag.GetValueOffset() > size) return false;
    for (const CDicomTag* child : tag.GetChildren())
        if (!RangesInside(*child, size)) return false;
    return true;
}

// Where an element's header keeps its length, as found in the file.
struct HeaderLayout {
    uint64_t tag;           // offset of the tag
    uint64_t vr;            // offset of the two VR letters, or 0 for none
    uint64_t length;        // offset of the length field
    int lengthBytes;        // 2 or 4
    bool littleEndian;
    uint64_t value;         // offset of the first value byte
};

uint64_t BytesPerFile();

class Sweeper {
public:
    Sweeper(const CorpusFile& file, size_t stride) : m_file(file), m_stride(stride == 0 ? 1 : stride) {}

    void Run() {
        const std::vector<uint8_t>& original = m_file.bytes;
        const uint64_t size = original.size();
        std::set<uint64_t> boundaries;
        std::vector<HeaderLayout> all;
        {
            CDicomFile file;
            FILE* stream = m_stream.Open(original.data(), original.size());
            ASSERT_NE(stream, nullptr);
            if (file.ParseStream(stream))
                for (const CDicomTag* tag : file.GetElements()) Collect(file, *tag, all, boundaries);
        }
        const uint64_t work = std::max<uint64_t>(size, 1) * all.size() * kVariantsPerElement;
        const uint64_t budget = BytesPerFile();
        const size_t stride = std::max<size_t>(m_stride, static_cast<size_t>((work + budget - 1) / budget));
        std::vector<HeaderLayout> headers;
        for (size_t i = 0; i < all.size(); i += stride) headers.push_back(all[i]);
        std::set<uint64_t> cuts;
        size_t index = 0;
        for (uint64_t boundary : boundaries)
            if (index++ % stride == 0) cuts.insert(boundary);
        Totals().elementsSeen += all.size();
        Totals().elementsDamaged += headers.size();
        // Spread cuts and flips for every file, loaded or not, and the last bytes one by one.
        const uint64_t kSpread = 64;
        for (uint64_t i = 0; i < kSpread && size != 0; ++i) cuts.insert(size * i / kSpread);
        for (uint64_t back = 1; back <= 8 && back <= size; ++back) cuts.insert(size - back);
        cuts.insert(0);

        for (uint64_t cut : cuts)
            if (cut < size) Try(original.data(), cut, "cut at " + std::to_string(cut));

        std::vector<uint8_t> bytes = original;
        auto flip = [&](uint64_t at, uint8_t mask, const std::string& what) {
            if (at >= size) return;
            bytes[at] ^= mask;
            Try(bytes.data(), size, what + " (byte " + std::to_string(at) + " ^ " + std::to_string(mask) + ")");
            bytes[at] = original[at];
        };
        for (uint64_t i = 0; i < kSpread && size != 0; ++i) flip(size * i / kSpread + (i % 7), 0xFF, "spread flip");

        for (const HeaderLayout& h : headers) {
            const std::string at = "element at " + std::to_string(h.tag);
            for (int i = 0; i < 4; ++i) flip(h.tag + i, 0xFF, at + ": tag byte flipped");
            if (h.vr != 0) {
                for (int i = 0; i < 2; ++i) flip(h.vr + i, 0xFF, at + ": VR byte flipped");
                for (const char* code : {"SQ", "UN", "OB"}) {
                    bytes[h.vr] = static_cast<uint8_t>(code[0]);
                    bytes[h.vr + 1] = static_cast<uint8_t>(code[1]);
                    Try(bytes.data(), size, at + ": VR set to " + code);
                    bytes[h.vr] = original[h.vr];
                    bytes[h.vr + 1] = original[h.vr + 1];
                }
            }
            for (int i = 0; i < h.lengthBytes; ++i) flip(h.length + i, 0xFF, at + ": length byte flipped");
            const uint64_t left = size - std::min<uint64_t>(h.value, size);
            const uint32_t current = ReadLength(bytes, h);
            const uint32_t most = h.lengthBytes == 2 ? 0xFFFFu : 0xFFFFFFFFu;
            const std::pair<uint32_t, const char*> lengths[] = {
                {0u, "0"},
                {current | 1u, "odd"},
                {most, "all ones (undefined)"},
                {static_cast<uint32_t>(std::min<uint64_t>(left + 1, most)), "just past the end"},
            };
            for (const auto& length : lengths) {
                WriteLength(bytes, h, length.first);
                Try(bytes.data(), size, at + ": length set to " + length.second);
                for (int i = 0; i < h.lengthBytes; ++i) bytes[h.length + i] = original[h.length + i];
            }
        }
    }

private:
    void Collect(const CDicomFile& file, const CDicomTag& tag, std::vector<HeaderLayout>& headers,
                 std::set<uint64_t>& cuts) {
        cuts.insert(tag.GetTagOffset());
        cuts.insert(tag.GetValueOffset());
        if (tag.GetEndOffset() != 0) cuts.insert(tag.GetEndOffset());
        {
            const uint64_t header = tag.GetValueOffset() - tag.GetTagOffset();
            HeaderLayout h{tag.GetTagOffset(), 0, 0, 4, tag.GetGroup() == 0x0002 || file.IsLittleEndian(),
                           tag.GetValueOffset()};
            const std::vector<uint8_t>& b = m_file.bytes;
            const std::wstring& vr = tag.GetVRText();
            const bool lettersMatch = vr.size() == 2 && h.tag + 6 <= b.size() &&
                                      b[h.tag + 4] == static_cast<uint8_t>(vr[0]) &&
                                      b[h.tag + 5] == static_cast<uint8_t>(vr[1]);
            if (header == 12) {
                h.vr = h.tag + 4;
                h.length = h.tag + 8;
            } else if (header == 8 && tag.GetGroup() != 0xFFFE && lettersMatch) {
                h.vr = h.tag + 4;
                h.length = h.tag + 6;
                h.lengthBytes = 2;
            } else if (header == 8) {
                h.length = h.tag + 4;
            } else {
                h.length = 0;
            }
            if (h.length != 0 && h.length + h.lengthBytes <= b.size()) headers.push_back(h);
        }
        for (const CDicomTag* child : tag.GetChildren()) Collect(file, *child, headers, cuts);
    }

    static uint32_t ReadLength(const std::vector<uint8_t>& b, const HeaderLayout& h) {
        uint32_t value = 0;
        for (int i = 0; i < h.lengthBytes; ++i) {
            const int shift = h.littleEndian ? 8 * i : 8 * (h.lengthBytes - 1 - i);
            value |= static_cast<uint32_t>(b[h.length + i]) << shift;
        }
        return value;
    }
    static void WriteLength(std::vector<uint8_t>& b, const HeaderLayout& h, uint32_t value) {
        for (int i = 0; i < h.lengthBytes; ++i) {
            const int shift = h.littleEndian ? 8 * i : 8 * (h.lengthBytes - 1 - i);
            b[h.length + i] = static_cast<uint8_t>(value >> shift);
        }
    }

    void Try(const uint8_t* bytes, uint64_t size, const std::string& what) {
        const std::string where = m_file.name + ", " + what;
        SweepTotals& totals = Totals();
        ++totals.variants;
        struct Watched {
            explicit Watched(const std::string& what) { TheWatchdog().Begin(what); }
            ~Watched() { TheWatchdog().End(); }
        } watched(where);
        {
            CDicomFile file;
            // Every other variant keeps its partial tree, so that both ways are swept.
            ParseOptions options;
            options.keepPartialTree = totals.variants % 2 == 0;
            file.SetParseOptions(options);
            if (allocation::Counting()) {
                // The dictionary keeps an entry for every tag any file has asked for, for the life
                // of the process: a first parse makes this variant's, so that the measured one
                // counts only its own heap (not the growth of that process-wide table, which
                // depends on every file parsed before).
                CDicomFile first;
                first.SetParseOptions(options);
                FILE* warm = m_stream.Open(bytes, static_cast<size_t>(size));
                ASSERT_NE(warm, nullptr) << where;
                first.ParseStream(warm);
            }
            FILE* stream = m_stream.Open(bytes, static_cast<size_t>(size));
            ASSERT_NE(stream, nullptr) << where;
            allocation::StartMeasuring();
            const bool loaded = file.ParseStream(stream);
            const uint64_t peak = allocation::PeakSinceStart();
            const uint64_t largest = allocation::LargestBlockSinceStart();

            uint64_t elements = size / 8 + 1;
            if (loaded) {
                ++totals.loaded;
                EXPECT_EQ(file.GetFailure(), nullptr) << where << ": loaded, with a failure record";
                elements = 0;
                for (const CDicomTag* tag : file.GetElements()) {
                    elements += CountNodes(*tag);
                    EXPECT_TRUE(RangesInside(*tag, size)) << where << ": an element's bytes lie outside the file";
                }
            } else {
                EXPECT_TRUE(file.GetElements().empty() && file.GetTrailingData() == nullptr &&
                            file.GetTrailingSize() == 0 && file.GetUltrasoundRegions().empty())
                    << where << ": refused, but not empty";
                EXPECT_EQ(failure_check::Check(file, size, options.keepPartialTree), "") << where;
            }
            if (allocation::Counting()) {
                EXPECT_LE(peak, AllocationBound(size, elements))
                    << where << ": " << peak << " bytes of heap for " << size << " bytes, " << elements << " elements";
                EXPECT_LE(largest, 2 * size + kFixed) << where << ": one block of " << largest << " bytes";
                if (peak > totals.largestPeak) {
                    totals.largestPeak = peak;
                    totals.largestPeakAt = where;
                }
                if (size >= 4096 && double(peak) / double(size) > totals.largestRatio) {
                    totals.largestRatio = double(peak) / double(size);
                    totals.largestRatioAt = where;
                }
                if (loaded && elements != 0 && peak > size) {
                    const double perElement = double(peak - size) / double(elements);
                    if (perElement > totals.largestPerElement) {
                        totals.largestPerElement = perElement;
                        totals.largestPerElementAt = where;
                    }
                }
            }
        }
    }

    const CorpusFile& m_file;
    size_t m_stride;
    VariantStream m_stream;
};

uint64_t BytesPerFile() {
    const char* text = std::getenv("ORVEL_SWEEP_MB_PER_FILE");
    const long long millions = text != nullptr ? std::strtoll(text, nullptr, 10) : 0;
    return millions > 0 ? static_cast<uint64_t>(millions) * 1000 * 1000 : kBytesPerFile;
}

size_t StrideFromEnvironment() {
    const char* text = std::getenv("ORVEL_SWEEP_STRIDE");
    const long stride = text != nullptr ? std::strtol(text, nullptr, 10) : 1;
    return stride > 0 ? static_cast<size_t>(stride) : 1;
}

// Tables built on first use (dictionary, code pages) are built before anything is measured.
void WarmUp() {
    CDicomTag tag(0x0010, 0x0010);
    const char* const sets[] = {"", "ISO_IR 100", "ISO_IR 101", "ISO_IR 109", "ISO_IR 110", "ISO_IR 126",
                                "ISO_IR 127", "ISO_IR 138", "ISO_IR 144", "ISO_IR 148", "ISO_IR 149",
                                "ISO_IR 166", "ISO_IR 13", "ISO_IR 14", "ISO_IR 87", "ISO_IR 159",
                                "ISO_IR 192", "GB18030", "\\ISO 2022 IR 87", "\\ISO 2022 IR 149"};
    for (const char* set : sets) {
        const std::wstring wide(set, set + std::strlen(set));
        DecodeText("A\xa1\xb1\x81\x30\x81\x30\x1b$B$\x22\x1b(B\xc3\xa9=\xe0", wide);
    }
}

class SweepEnvironment : public testing::Environment {
public:
    void SetUp() override {
        WarmUp();
        TheWatchdog();
    }
    void TearDown() override {
        const SweepTotals& t = Totals();
        std::printf("mutation sweep: %llu files, %llu of %llu elements damaged (least stride %zu, %llu MB per file), "
                    "%llu variants: %llu loaded, %llu refused\n",
                    static_cast<unsigned long long>(t.files), static_cast<unsigned long long>(t.elementsDamaged),
                    static_cast<unsigned long long>(t.elementsSeen), StrideFromEnvironment(),
                    static_cast<unsigned long long>(BytesPerFile() / 1000000),
                    static_cast<unsigned long long>(t.variants), static_cast<unsigned long long>(t.loaded),
                    static_cast<unsigned long long>(t.variants - t.loaded));
        if (allocation::Counting()) {
            std::printf("largest heap peak of one parse: %llu bytes (%s)\n",
                        static_cast<unsigned long long>(t.largestPeak), t.largestPeakAt.c_str());
            std::printf("largest peak / file size (files of 4 KiB or more): %.2f (%s)\n", t.largestRatio,
                        t.largestRatioAt.c_str());
            std::printf("largest (peak - file size) per element of a loaded variant: %.0f bytes (%s)\n",
                        t.largestPerElement, t.largestPerElementAt.c_str());
        } else {
            std::printf("allocations are not counted in this build\n");
        }
    }
};

testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new SweepEnvironment);

class MutationSweep : public testing::TestWithParam<CorpusFile> {};

TEST_P(MutationSweep, EveryVariantLoadsOrIsRefusedWithinBounds) {
    ++Totals().files;
    Sweeper(GetParam(), StrideFromEnvironment()).Run();
}

INSTANTIATE_TEST_SUITE_P(Corpus, MutationSweep, testing::ValuesIn(Corpus()), TestName);

TEST(MutationSweepCorpus, HoldsEveryKindOfFile) {
    // A corpus that quietly lost its files (a wrong folder, a path the platform cannot open)
    // would make the sweep pass without testing anything.
    size_t writer = 0, sample = 0, seeds = 0, pydicom = 0;
    for (const CorpusFile& file : Corpus()) {
        EXPECT_FALSE(file.bytes.empty() && file.name.rfind("pydicom_", 0) != 0) << file.name << " is empty";
        writer += file.name.rfind("writer_", 0) == 0;
        sample += file.name == "sample";
        seeds += file.name.rfind("seed_", 0) == 0;
        pydicom += file.name.rfind("pydicom_", 0) == 0;
    }
    EXPECT_EQ(writer, WriterCorpus().size());
    EXPECT_EQ(sample, 1u);
    EXPECT_GE(seeds, WriterCorpus().size());
    std::error_code error;
    if (fs::is_directory(fs::path(ORVEL_PYDICOM_DATA_DIR), error)) {
        EXPECT_GE(pydicom, 100u);
    }
}

}  // namespace
