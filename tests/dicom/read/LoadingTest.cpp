// Recognising the format: preamble, meta group, transfer syntax, bare data sets, refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "dicom/read/DicomFile.h"
#include "dicom/io/FileMapping.h"
#include "tests/support/DicomWriter.h"
#include "tests/support/Load.h"

TEST(Loading, SmallBareImplicitDataSetLoads) {
    DicomWriter w(false, true);
    w.Element(0x0008, 0x0005, "", std::string("ISO_IR 100")).Filler(6);
    ASSERT_LT(w.Size(), 132u);
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    EXPECT_FALSE(file.HasPreamble());
    EXPECT_FALSE(file.IsExplicitVR());
    EXPECT_EQ(file.GetElements().size(), 7u);
    EXPECT_EQ(At(file, 0)->GetVRText(), L"CS");

    // Under 132 bytes a file is always read as implicit VR, so explicit content fails.
    DicomWriter explicitContent(true, true);
    explicitContent.Element(0x0008, 0x0005, "CS", std::string("ISO_IR 100")).Filler(5);
    ASSERT_LT(explicitContent.Size(), 132u);
    EXPECT_FALSE(Load(explicitContent, file));
}

// A stream handed over is read from its start wherever it stands; a path opened here is read
// without a seek or a second buffer, and both give the same tree.
TEST(Loading, StreamsAreReadFromTheirStartAndPathsGiveTheSameTree) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1").Filler().Element(0x0010, 0x0010, "PN", std::string("Doe^Jane"));
    FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    std::fwrite(w.Bytes().data(), 1, w.Bytes().size(), stream);
    std::fflush(stream);
    CDicomFile fromStream;
    const bool loaded = fromStream.ParseStream(stream);  // standing at the end of what was written
    std::fclose(stream);
    ASSERT_TRUE(loaded);

    const std::filesystem::path path = std::filesystem::temp_directory_path() / "loading-stream-and-path.dcm";
    {
        FILE* out = std::fopen(path.string().c_str(), "wb");
        ASSERT_NE(out, nullptr);
        std::fwrite(w.Bytes().data(), 1, w.Bytes().size(), out);
        std::fclose(out);
    }
    CDicomFile fromPath;
    ASSERT_TRUE(fromPath.LoadFile(path.wstring()));
    std::filesystem::remove(path);
    ASSERT_EQ(fromPath.GetElements().size(), fromStream.GetElements().size());
    const CDicomTag* name = fromPath.FindElement(0x0010, 0x0010);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->GetValueText(std::wstring()), L"Doe^Jane");
    EXPECT_EQ(name->GetTagOffset(), fromStream.FindElement(0x0010, 0x0010)->GetTagOffset());
}

TEST(Loading, BigEndianDataSetAfterALittleEndianMetaGroup) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.2").Mode(true, false).Filler().US(0x0028, 0x0010, 256);
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    EXPECT_TRUE(file.HasPreamble());
    EXPECT_TRUE(file.IsExplicitVR());
    EXPECT_FALSE(file.IsLittleEndian());
    EXPECT_EQ(file.FindElement(0x0028, 0x0010)->GetNumericValue(), 256);
    EXPECT_EQ(At(file, 0)->GetTagOffset(), 132u);
}

TEST(Loading, PapyrusAtOffset132IsRefusedButNotAtTheStart) {
    DicomWriter papyrus;
    papyrus.Raw(std::string(128, '\0')).Raw(std::string("DICMPAPYRUS")).Filler();
    CDicomFile file;
    EXPECT_FALSE(Load(papyrus, file));

    DicomWriter startsWithIt;
    startsWithIt.Raw(std::string("PAPYRUS")).Raw(std::string(121, '\0')).Raw(std::string("DICM"))
        .Meta("1.2.840.10008.1.2.1").Filler();
    EXPECT_TRUE(Load(startsWithIt, file));
}

TEST(Loading, BareDataSetWithAVRAtBytesFourAndFiveIsReadExplicit) {
    DicomWriter w(true, true);
    w.Element(0x0008, 0x0005, "CS", std::string("ISO_IR 100")).Filler(6)
        .Element(0x0011, 0x2000, "LO", std::string(200, 'x'));
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    EXPECT_TRUE(file.IsExplicitVR());
    EXPECT_FALSE(file.HasPreamble());
    EXPECT_EQ(At(file, 0)->GetTagOffset(), 0u);
    EXPECT_EQ(At(file, 0)->GetValueOffset(), 8u);
}

TEST(Loading, ExplicitFailureFallsBackToImplicitFromTheStart) {
    // An implicit data set whose first value length has "SH" as its low bytes: 0x4853 = 18515.
    DicomWriter w(false, true);
    w.Element(0x0009, 0x0010, "", std::string(0x4853, 'a')).Filler(6);
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    EXPECT_FALSE(file.IsExplicitVR());
    EXPECT_EQ(file.GetElements().size(), 7u);
    EXPECT_EQ(At(file, 0)->GetValueLength(), 0x4853u);
}

TEST(Loading, FirstTagMustLookPlausibleInOneByteOrder) {
    DicomWriter bare(false, true);
    bare.Element(0x0008, 0x0050, "", std::string("12")).Filler(6);
    CDicomFile file;
    EXPECT_FALSE(Load(bare, file));

    DicomWriter part10;
    part10.Preamble().Element(0x0008, 0x0050, "SH", std::string("12")).Filler(6);
    EXPECT_FALSE(Load(part10, file));
}

TEST(Loading, FewerThanSixTopLevelElementsAreRefused) {
    for (int fillers : {1, 2}) {
        DicomWriter w;
        w.Preamble().Meta("1.2.840.10008.1.2.1").Filler(fillers);
        CDicomFile file;
        EXPECT_EQ(Load(w, file), fillers + 4 >= 6) << fillers;
    }
}

TEST(Loading, TransferSyntaxDecidesTheDataSetEncoding) {
    struct Case {
        std::string uid;
        bool explicitVR;
    } cases[] = {
        {"1.2.840.10008.1.2.1", true},   {"1.2.840.10008.1.2", false},
        {"1.2.840.10008.1.20", false},   {"1.2.840.10008.1.2.4.50", true},
        {"1.2.840.10008.1.2.1.99", true}, {"1.2.3.4", false},
        {"1.2.840.10008.1.2 ", true},    // blank padding is not ignored: only NUL padding is
    };
    for (const Case& c : cases) {
        DicomWriter w;
        w.Preamble().Meta(c.uid).Mode(c.explicitVR, true).Filler();
        CDicomFile file;
        ASSERT_TRUE(Load(w, file)) << c.uid;
        EXPECT_EQ(file.IsExplicitVR(), c.explicitVR) << c.uid;
        EXPECT_TRUE(file.IsLittleEndian()) << c.uid;
    }
}

TEST(Loading, BareDataSetSwitchesEncodingAfterItsTransferSyntax) {
    DicomWriter w(true, true);
    w.Element(0x0002, 0x0001, "OB", BytesOf({0, 1}))
        .Element(0x0002, 0x0010, "UI", std::string("1.2.840.10008.1.2.2\0", 20))
        .Mode(true, false).Filler(8).US(0x0028, 0x0010, 258);
    ASSERT_GE(w.Size(), 132u);  // smaller bare files are always read as implicit VR
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    EXPECT_FALSE(file.HasPreamble());
    EXPECT_FALSE(file.IsLittleEndian());
    EXPECT_EQ(file.FindElement(0x0028, 0x0010)->GetNumericValue(), 258);
}

TEST(Loading, GroupZeroAfterFiftyElementsAndGroup8000AreRefused) {
    DicomWriter many;
    many.Preamble().Meta("1.2.840.10008.1.2.1").Filler(47).Element(0x0000, 0x0001, "UL", BytesOf({0, 0, 0, 0}));
    CDicomFile file;
    EXPECT_FALSE(Load(many, file));
    DicomWriter fewer;
    fewer.Preamble().Meta("1.2.840.10008.1.2.1").Filler(46).Element(0x0000, 0x0001, "UL", BytesOf({0, 0, 0, 0}));
    EXPECT_TRUE(Load(fewer, file));
    DicomWriter group8000;
    group8000.Preamble().Meta("1.2.840.10008.1.2.1").Filler().Element(0x8000, 0x0001, "LO", std::string("ab"));
    EXPECT_FALSE(Load(group8000, file));
}

TEST(Loading, AFailedLoadLeavesTheObjectEmpty) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1").Filler();
    const std::string path = w.WriteTempFile("names.dcm");
    CDicomFile file;
    ASSERT_TRUE(file.LoadFile(WidePath(path)));
    EXPECT_EQ(file.GetFileSize(), static_cast<int64_t>(w.Size()));

    // Loading the same object again with a bad file empties it, its size included.
    EXPECT_FALSE(file.LoadFile(WidePath(path + ".missing")));
    EXPECT_TRUE(file.GetElements().empty());
    EXPECT_EQ(file.GetFileSize(), 0);
    EXPECT_FALSE(file.LoadFile(L""));
    std::remove(path.c_str());
}

TEST(Loading, FilesOfTwoGibibytesOrMoreAreRefusedBeforeParsing) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1").Filler();
    const std::string path = w.WriteTempFile("huge.dcm");
    std::filesystem::resize_file(path, 0x80000000ull);  // sparse on the file systems we use
    CDicomFile file;
    EXPECT_FALSE(file.LoadFile(WidePath(path)));
    std::filesystem::resize_file(path, 0x7FFFFFFFull);
    EXPECT_FALSE(file.LoadFile(WidePath(path)));  // parsed: the zeros after the fillers fail it
    std::remove(path.c_str());
}

// The mapping --check and --diff read large files through: the bytes as stored, nothing for an
// empty or missing file, and a file beyond the address space refused rather than cut short.
TEST(Loading, FileMappingShowsTheBytesAndRefusesWhatItCannotHold) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1").Filler();
    const std::string path = w.WriteTempFile("mapped.dcm");
    FileMapping mapping;
    ASSERT_TRUE(mapping.Open(WidePath(path)));
    ASSERT_EQ(mapping.Size(), w.Size());
    EXPECT_EQ(std::vector<uint8_t>(mapping.Data(), mapping.Data() + mapping.Size()), w.Bytes());

    // Sparse: 5 GiB that take no disk space. Past 4 GiB a 32-bit program cannot map it whole.
    std::filesystem::resize_file(path, 5ull << 30);
    const bool opened = mapping.Open(WidePath(path));
    if (sizeof(void*) == 4) {
        EXPECT_FALSE(opened);
        EXPECT_EQ(mapping.Data(), nullptr);
        EXPECT_EQ(mapping.Size(), 0u);
    } else {
        ASSERT_TRUE(opened);
        EXPECT_EQ(mapping.Size(), 5ull << 30);
        EXPECT_EQ(mapping.Data()[mapping.Size() - 1], 0);
        EXPECT_EQ(mapping.Data()[131], 'M');
    }
    mapping.Close();

    std::filesystem::resize_file(path, 0);
    EXPECT_FALSE(mapping.Open(WidePath(path)));
    std::remove(path.c_str());
    EXPECT_FALSE(mapping.Open(WidePath(path)));
    EXPECT_FALSE(mapping.Open(L""));
}

// A file cut short under its mapping: touching a lost page ends the program with the message
// and status given, not with a bus error.
TEST(Loading, FileMappingCutShortEndsWithTheMessageGiven) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows does not let a mapped file be cut";
#else
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1").Filler();
    const std::string path = w.WriteTempFile("cut-under-mapping.dcm");
    std::filesystem::resize_file(path, 1 << 16);
    EXPECT_EXIT(
        {
            FileMapping::ExitWhenCutShort("the file was cut\n", 7);
            FileMapping mapping;
            if (!mapping.Open(WidePath(path))) std::exit(2);
            std::filesystem::resize_file(path, 0);
            volatile uint8_t byte = mapping.Data()[40000];
            std::exit(byte == 0 ? 3 : 4);
        },
        testing::ExitedWithCode(7), "the file was cut");
    std::remove(path.c_str());
#endif
}

// Bytes the file's size promised that do not come are the system's fault, not the format's: the
// refusal carries the system's reason, which orveldump reports as an I/O error.
#ifdef __GLIBC__
namespace {
struct FailingBytes {
    std::vector<uint8_t> bytes;
    size_t failAt;  // reads from here fail with `error`, or end early when it is 0
    int error;
    size_t position = 0;
};

ssize_t ReadFailing(void* cookie, char* buffer, size_t size) {
    FailingBytes& data = *static_cast<FailingBytes*>(cookie);
    if (data.position >= data.failAt) {
        if (data.error == 0) return 0;
        errno = data.error;
        return -1;
    }
    const size_t count = std::min(size, data.failAt - data.position);
    std::memcpy(buffer, data.bytes.data() + data.position, count);
    data.position += count;
    return static_cast<ssize_t>(count);
}

int SeekFailing(void* cookie, off64_t* offset, int whence) {
    FailingBytes& data = *static_cast<FailingBytes*>(cookie);
    const off64_t base = whence == SEEK_END ? static_cast<off64_t>(data.bytes.size())
                         : whence == SEEK_CUR ? static_cast<off64_t>(data.position) : 0;
    data.position = static_cast<size_t>(base + *offset);
    *offset = base + *offset;
    return 0;
}

const ParseFailure* ParseFailing(FailingBytes& data, CDicomFile& file) {
    FILE* stream = fopencookie(&data, "rb", cookie_io_functions_t{ReadFailing, nullptr, SeekFailing, nullptr});
    EXPECT_NE(stream, nullptr);
    EXPECT_FALSE(file.ParseStream(stream));
    std::fclose(stream);
    return file.GetFailure();
}
}  // namespace

TEST(Loading, ReadErrorsAndMissingFilesGiveTheSystemsReason) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1").Filler().Element(0x0011, 0x2000, "LO", std::string(40000, 'x'));
    CDicomFile file;
    FailingBytes failing{w.Bytes(), 300, EIO};
    const ParseFailure* failure = ParseFailing(failing, file);
    ASSERT_NE(failure, nullptr);
    EXPECT_EQ(failure->ioError, std::strerror(EIO));
    // A large value read straight from the stream, past the read-ahead block.
    FailingBytes late{w.Bytes(), static_cast<size_t>(w.Size() - 100), EIO};
    failure = ParseFailing(late, file);
    ASSERT_NE(failure, nullptr);
    EXPECT_EQ(failure->ioError, std::strerror(EIO));
    FailingBytes shorter{w.Bytes(), 300, 0};
    failure = ParseFailing(shorter, file);
    ASSERT_NE(failure, nullptr);
    EXPECT_EQ(failure->ioError, "the file became shorter while it was read");

    // Refusals for what the bytes hold carry none.
    DicomWriter bad;
    bad.Preamble().Meta("1.2.840.10008.1.2.1").Raw(std::string("\x08\x00\x20\x00ZZ\x02\x00", 8));
    EXPECT_FALSE(Load(bad, file));
    ASSERT_NE(file.GetFailure(), nullptr);
    EXPECT_TRUE(file.GetFailure()->ioError.empty());

    const std::string path = w.WriteTempFile("io-error.dcm");
    EXPECT_FALSE(file.LoadFile(WidePath(path + ".missing")));
    EXPECT_EQ(file.GetFailure()->ioError, std::strerror(ENOENT));
    const std::filesystem::path folder = path + ".folder";
    std::filesystem::create_directory(folder);
    EXPECT_FALSE(file.LoadFile(WidePath(folder.string())));
    EXPECT_EQ(file.GetFailure()->ioError, std::strerror(EISDIR));
    std::filesystem::remove(folder);
    std::remove(path.c_str());
}
#endif
