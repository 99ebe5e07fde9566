// The top-level data set of a file and the image attributes collected from it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dicom/model/DicomTag.h"
#include "dicom/model/NodeStore.h"
#include "dicom/dictionary/TransferSyntax.h"
#include "dicom/io/ValueSource.h"

// Image description filled from the top-level elements up to group 0028.
class CPixelModule {
public:
    CPixelModule() = default;
    CPixelModule(const CPixelModule&) = delete;
    CPixelModule& operator=(const CPixelModule&) = delete;
    virtual ~CPixelModule();

    // Clears every field and frees the palette blocks.
    void ResetPixelModule();

    uint32_t m_numberOfFrames = 0;
    uint32_t m_rows = 0;
    int32_t m_columns = 0;
    uint16_t m_bitsAllocated = 0;
    uint16_t m_samplesPerPixel = 0;
    double m_pixelAspectRatio = 0.0;
    uint8_t m_pixelRepresentation = 0;
    uint32_t m_paletteEntries[3] = {};      // red, green, blue
    uint16_t m_paletteBits[3] = {};
    std::unique_ptr<uint8_t[]> m_paletteData[3];
    uint32_t m_paletteDataLength[3] = {};
};

class CTagArray : public CPixelModule {
public:
    CTagArray() = default;
    ~CTagArray() override;

    const std::vector<CDicomTag*>& GetElements() const { return m_elements; }
    // Where a parse makes the nodes of this tree.
    CNodeStore& GetNodeStore() { return m_nodeStore; }
    // Appends a top-level element (the array owns it); null is ignored.
    bool AddElement(CDicomTag* tag);
    // Deletes every top-level element, and with them every node of the node store.
    void DeleteAllElements();
    // Takes the elements of another data set, the node store that holds them and the source their
    // deferred values read from, leaving it with whatever this one held (the image attributes
    // stay where they are).
    void TakeTree(CTagArray& from) noexcept;
    // Where the values left in the file are read from; null when every value is held.
    CValueSource* GetValueSource() const { return m_valueSource.get(); }
    // Has the values left in the file read from this copy of the file's bytes, which the caller
    // keeps for as long as the tree is used, instead of from the file: false (and the file still
    // read) when it has another size than the parsed file.
    bool ReadValuesFrom(const uint8_t* bytes, uint64_t size);
    // The first top-level element with this tag, or null. Nested elements are never searched.
    CDicomTag* FindElement(uint16_t group, uint16_t element) const;

    std::wstring GetCharacterSet() const;
    std::wstring GetModality() const;
    bool IsUltrasound() const;

    // The row of the first top-level (0002,0010), trimmed; null without one or for an unknown UID.
    const TransferSyntax* GetTransferSyntax() const;

    // Photometric interpretation, from the first top-level (0028,0004); term such as "RGB".
    bool IsPhotometric(const wchar_t* term) const;

    // Resets the image attributes and collects them from the top-level elements up to group 0028.
    void FillPixelModule();
    void CollectImageAttribute(CDicomTag* element);
    // Reads the palette descriptors and data; true when complete and the three counts agree.
    bool ReadPaletteTables();

protected:
    std::vector<CDicomTag*> m_elements;
    // The nodes the parser makes live here; they go when the elements are deleted.
    CNodeStore m_nodeStore;
    // The file that values left in it are read from; it stays when the elements are deleted
    // (a parse that reads a data set twice keeps it) and goes with the tree's owner.
    std::unique_ptr<CValueSource> m_valueSource;

private:
    std::wstring TrimmedValue(uint16_t group, uint16_t element) const;
};

// The Specific Character Set in force for the children of `element`: the value of the first
// (0008,0005) among its children (read with no character set), else `inherited`. Cut to the
// 255 characters a tree record keeps, so that every reader agrees with the tree.
std::wstring CharacterSetForChildren(const CDicomTag& element, const std::wstring& inherited);
// The character set of the top level of a data set, cut the same way.
std::wstring TopLevelCharacterSet(const CTagArray& dataSet);
