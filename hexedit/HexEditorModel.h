// State and arithmetic of the hex view, free of any window system: column
// geometry from measured text sizes, the visible rows, hit testing, the
// navigation keys, the selection, the scroll scale, and the colours of every
// cell. MCWndHexEditor feeds it window messages and paints what it answers.
#pragma once

#include <cstdint>
#include <string>

// A colour laid out like a Win32 COLORREF (0x00BBGGRR), so the window can hand
// it to GDI unchanged.
using HexColor = uint32_t;

constexpr HexColor HexRgb(unsigned r, unsigned g, unsigned b) {
    return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16);
}

namespace hexcolor {
constexpr HexColor kWhite = HexRgb(255, 255, 255);
constexpr HexColor kBlack = HexRgb(0, 0, 0);
constexpr HexColor kMargin = HexRgb(224, 224, 224);        // side areas, separators, caret mirror
constexpr HexColor kCaretRow = HexRgb(224, 224, 64);       // row of the caret without a selection
constexpr HexColor kSelectionStrong = HexRgb(0, 0, 224);   // selection in the active column
constexpr HexColor kSelectionWeak = HexRgb(164, 255, 255); // selection in the other column
constexpr HexColor kCaretText = HexRgb(255, 0, 0);
constexpr HexColor kHeaderFace = HexRgb(238, 216, 128);
constexpr HexColor kHeaderLight = HexRgb(255, 245, 164);   // top and left edge of the header
constexpr HexColor kHeaderShade1 = HexRgb(214, 194, 115);  // bevel, from top to bottom
constexpr HexColor kHeaderShade2 = HexRgb(190, 172, 102);
constexpr HexColor kHeaderShade3 = HexRgb(142, 129, 76);
}  // namespace hexcolor

struct HexRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct HexSpan {
    int left = 0, right = 0;
};

struct HexTextSize {
    int width = 0, height = 0;
};

// The two byte columns of a row.
enum class HexColumn { Hex, Text };

// What GDI needs to draw one byte's text: its colour and the background
// behind the glyphs.
struct HexCellStyle {
    HexColor text = hexcolor::kBlack;
    HexColor background = hexcolor::kWhite;
};

enum class HexKey { Up, Down, Left, Right, PageUp, PageDown, Home, End };

enum class HexScroll { LineUp, LineDown, PageUp, PageDown, ThumbPosition, ThumbTrack, Top, Bottom, EndScroll };

// Column positions, all in client pixels, filled by SetLayout.
struct HexGeometry {
    int addressWidth = 0;       // width of "FFFFFFFFH: "
    int addressTextHeight = 0;  // its height + 4
    int hexCellWidth = 0;       // width of " 00 "
    int hexCellHeight = 0;      // its height + 4
    int charCellWidth = 0;      // width of "0" + 2
    int charCellHeight = 0;     // its height + 4
    HexRect header;             // the column-number band
    int lineHeight = 0;         // row pitch everywhere: the address text height
    int addressLeft = 0;
    int addressRight = 0;
    HexSpan hexCells[16];
    HexSpan charCells[16];
};

class CHexEditorModel {
public:
    // "No caret", "no selection bound", "no caret row". Only this exact value
    // means none, so offsets above it (files over 4 GiB) still work.
    static constexpr uint64_t kNone = 0xFFFFFFFF;
    static constexpr uint64_t kBytesPerRow = 16;
    // Most rows the scroll bar gets one unit each; beyond it rows are grouped.
    static constexpr uint64_t kMaxScrollUnits = 32736;
    // Rows of a page scroll with the scroll bar, whatever the window height.
    static constexpr uint64_t kPageRows = 10;

    // The texts whose sizes SetLayout needs, measured in the view's font.
    static constexpr const wchar_t* kAddressSample = L"FFFFFFFFH: ";
    static constexpr const wchar_t* kHexCellSample = L" 00 ";
    static constexpr const wchar_t* kCharCellSample = L"0";

    static bool IsSet(uint64_t value) { return value != kNone; }

    // --- Layout -----------------------------------------------------------

    // Places the columns from the sizes of the three sample texts and records
    // the client size.
    void SetLayout(HexTextSize address, HexTextSize hexCell, HexTextSize charCell, int clientWidth,
                   int clientHeight);
    // The header band as the non-client painter draws it: the window's width,
    // one line height + 2 tall.
    void SetHeaderForWindow(int windowWidth);

    const HexGeometry& Geometry() const { return geometry_; }
    int ClientWidth() const { return clientWidth_; }
    int ClientHeight() const { return clientHeight_; }

    // --- Data, caret, selection ---------------------------------------------

    // Shows a new buffer from the top, without caret, and sets the scroll
    // range for it. A null pointer or a size of 0 empties the view.
    void SetData(const uint8_t* data, uint64_t size);
    // Highlights [start, end] and scrolls its first row into view (see .cpp).
    void SetSelection(uint64_t start, uint64_t end);
    // Removes the highlight and the caret, shown or not, and goes back to the
    // top: what SetSelection(kNone, kNone) does when nothing is highlighted.
    // SetSelection itself keeps a shown highlight against any range outside
    // the data, so a caller that means "nothing" uses this.
    void ClearSelection();

    bool HasData() const { return data_ != nullptr; }
    const uint8_t* Data() const { return data_; }
    uint64_t Size() const { return size_; }
    uint64_t LineCount() const { return lineCount_; }
    uint64_t Caret() const { return caret_; }
    uint64_t CaretLine() const { return caretLine_; }
    bool TextSide() const { return textSide_; }
    uint64_t SelectionStart() const { return selectionStart_; }
    uint64_t SelectionEnd() const { return selectionEnd_; }
    bool HasCompleteSelection() const { return IsSet(selectionStart_) && IsSet(selectionEnd_); }

    // --- Scrolling ----------------------------------------------------------

    uint64_t ScrollScale() const { return scrollScale_; }
    uint64_t ScrollMaximum() const { return scrollMaximum_; }
    // The scroll bar's position: the top row in scroll units.
    uint64_t ScrollPosition() const;
    // Moves to a scroll-bar position (in units), kept within 0 .. maximum as
    // a scroll bar keeps it. True when the top row changed.
    bool SetScrollPosition(int64_t position);
    // Scrolls so that row is the top row, as far as the range allows.
    bool ScrollToLine(uint64_t row);
    // A scroll-bar action; thumb is the thumb position for the thumb codes.
    // True when the top row changed and the view must be repainted.
    bool Scroll(HexScroll code, uint64_t thumb);

    // Row shown at the top, at most the last row.
    uint64_t FirstVisibleRow() const;
    // Whole rows that fit in the client area.
    uint64_t VisibleRowCount() const;

    // --- Mouse and keyboard -------------------------------------------------

    // The byte offset under a client point, or kNone for the address column,
    // the gap between the two blocks and the right margin. A hit in a column
    // records which one (TextSide). The offset is not checked against the
    // size: a point below the last row gives an offset past the end.
    uint64_t HitTest(int x, int y);
    // A left click: the caret goes to the clicked byte (none without data)
    // and the selection is dropped. The caret lasts until EndClick.
    void Click(int x, int y);
    void EndClick();
    // A navigation key. True when it moved the caret (the view then scrolls
    // the caret's row to the top, repaints and tells the parent); false when
    // the key is not for the view in this state.
    bool Key(HexKey key);

    // --- Painting -----------------------------------------------------------

    // Rows [first, last) are painted: last is min(first + fit, line count).
    uint64_t LastPaintedRow() const;
    // The band behind the caret's row, when there is a caret row on screen
    // and no complete selection.
    bool CaretBand(HexRect* band) const;
    // The colour a selection cell is filled with, when the byte is selected
    // and its row is painted.
    bool SelectionFill(uint64_t offset, HexColumn column, HexColor* color) const;
    // Text colour and text background of a byte in one column.
    HexCellStyle ByteStyle(uint64_t offset, HexColumn column) const;
    // Left and right of a column's cell k (0 to 15).
    HexSpan Cell(HexColumn column, int k) const;
    // Right edge of the sixteenth character cell: where the right margin starts.
    int BytesRight() const { return geometry_.charCells[15].right; }

    // "%08XH:" of the row's first offset (as 32 bits).
    static std::wstring AddressLabel(uint64_t row);
    // "%02X" of the byte.
    static std::wstring HexText(uint8_t byte);
    // The byte itself when printable (32 to 122), "." otherwise.
    static wchar_t CharText(uint8_t byte);
    // "%X" of a column number 0 to 15.
    static wchar_t ColumnDigit(int column);

private:
    // The largest top row: the row at the scroll bar's maximum.
    uint64_t MaxTopRow() const;
    bool SetTopRow(uint64_t row);
    bool IsCaret(uint64_t offset) const { return IsSet(caret_) && offset == caret_; }
    bool IsSelected(uint64_t offset) const {
        return offset >= selectionStart_ && offset <= selectionEnd_;
    }

    HexGeometry geometry_;
    int clientWidth_ = 0;
    int clientHeight_ = 0;

    const uint8_t* data_ = nullptr;
    uint64_t size_ = 0;
    uint64_t lineCount_ = 0;
    uint64_t caret_ = kNone;
    uint64_t caretLine_ = kNone;
    bool textSide_ = false;
    uint64_t selectionStart_ = kNone;
    uint64_t selectionEnd_ = kNone;
    uint64_t scrollScale_ = 1;
    uint64_t scrollMaximum_ = 0;
    uint64_t topRow_ = 0;  // the row at the top of the window
};
