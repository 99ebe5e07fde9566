#include "hexedit/HexEditorModel.h"

#include <algorithm>

namespace {

constexpr wchar_t kHexDigits[] = L"0123456789ABCDEF";

// Gap between the last hex cell and the first character cell.
constexpr int kBlockGap = 4;

}  // namespace

// ---------------------------------------------------------------------------
// Layout

void CHexEditorModel::SetLayout(HexTextSize address, HexTextSize hexCell, HexTextSize charCell,
                                int clientWidth, int clientHeight) {
    HexGeometry& g = geometry_;
    g.addressWidth = address.width;
    g.addressTextHeight = address.height + 4;
    g.lineHeight = g.addressTextHeight;
    g.hexCellWidth = hexCell.width;
    g.hexCellHeight = hexCell.height + 4;
    g.charCellWidth = charCell.width + 2;
    g.charCellHeight = charCell.height + 4;
    clientWidth_ = std::max(clientWidth, 0);
    clientHeight_ = std::max(clientHeight, 0);
    g.header = HexRect{0, 0, clientWidth_, g.lineHeight};
    g.addressLeft = 0;
    g.addressRight = g.addressWidth;

    // The hex block starts right after the address column; the character
    // block follows the sixteenth hex cell after a small gap.
    const int charBlockLeft = g.addressWidth + 16 * g.hexCellWidth + kBlockGap;
    for (int k = 0; k < 16; ++k) {
        g.hexCells[k].left = g.addressWidth + k * g.hexCellWidth;
        g.hexCells[k].right = g.hexCells[k].left + g.hexCellWidth;
        g.charCells[k].left = charBlockLeft + k * g.charCellWidth;
        g.charCells[k].right = g.charCells[k].left + g.charCellWidth;
    }
}

void CHexEditorModel::SetHeaderForWindow(int windowWidth) {
    geometry_.header = HexRect{0, 0, windowWidth, geometry_.lineHeight + 2};
}

// ---------------------------------------------------------------------------
// Data and selection

void CHexEditorModel::SetData(const uint8_t* data, uint64_t size) {
    if (data == nullptr || size == 0) {
        // Nothing to show, whichever half of the pair says so.
        data = nullptr;
        size = 0;
    }
    data_ = data;
    size_ = size;
    lineCount_ = size / kBytesPerRow + (size % kBytesPerRow != 0 ? 1 : 0);
    caret_ = kNone;
    caretLine_ = kNone;

    // One scroll unit per row while the scroll bar can count them; beyond
    // that a unit stands for several rows and the range covers all rows.
    const uint64_t fit = VisibleRowCount();
    scrollScale_ = 1;
    scrollMaximum_ = lineCount_ < fit ? 0 : lineCount_ - fit;
    if (scrollMaximum_ > kMaxScrollUnits) {
        const double rows = static_cast<double>(lineCount_);
        scrollScale_ = static_cast<uint64_t>(rows / static_cast<double>(kMaxScrollUnits) + 1.0);
        scrollMaximum_ = static_cast<uint64_t>(rows / static_cast<double>(scrollScale_) + 0.5);
    }
    topRow_ = 0;
}

void CHexEditorModel::SetSelection(uint64_t start, uint64_t end) {
    // A range reaching outside the data never replaces a shown selection.
    const bool outside = start >= size_ || end >= size_;
    if (outside && (IsSet(selectionStart_) || IsSet(selectionEnd_))) {
        return;
    }
    selectionStart_ = start;
    selectionEnd_ = end;
    caret_ = kNone;
    caretLine_ = kNone;

    if (start == kNone && end == kNone) {
        SetScrollPosition(0);
        return;
    }
    // Bring the first row of the range to the top unless it is already one
    // of the rows drawn in full; its end may lie below the window.
    const uint64_t row = start / kBytesPerRow;
    const uint64_t first = FirstVisibleRow();
    if (row < first || row - first >= VisibleRowCount()) {
        ScrollToLine(row);
    }
}

void CHexEditorModel::ClearSelection() {
    selectionStart_ = kNone;
    selectionEnd_ = kNone;
    caret_ = kNone;
    caretLine_ = kNone;
    SetScrollPosition(0);
}

// ---------------------------------------------------------------------------
// Scrolling
//
// The view keeps the exact top row; the scroll bar shows it in its own units
// (top row / scale). While every row has its own unit the two are the same.
// With rows grouped, a row between two units stays reachable: line scrolling,
// keys and selections move by rows, only the thumb moves by whole units.

uint64_t CHexEditorModel::ScrollPosition() const {
    return std::min(topRow_ / scrollScale_, scrollMaximum_);
}

uint64_t CHexEditorModel::MaxTopRow() const {
    if (!HasData()) {
        return 0;
    }
    return std::min(scrollMaximum_ * scrollScale_, lineCount_ - 1);
}

bool CHexEditorModel::SetTopRow(uint64_t row) {
    const uint64_t clamped = std::min(row, MaxTopRow());
    const bool changed = clamped != topRow_;
    topRow_ = clamped;
    return changed;
}

bool CHexEditorModel::SetScrollPosition(int64_t position) {
    if (position <= 0) {
        return SetTopRow(0);
    }
    const uint64_t units = std::min(static_cast<uint64_t>(position), scrollMaximum_);
    return SetTopRow(units * scrollScale_);
}

bool CHexEditorModel::ScrollToLine(uint64_t row) {
    return SetTopRow(row);
}

bool CHexEditorModel::Scroll(HexScroll code, uint64_t thumb) {
    const uint64_t top = topRow_;
    switch (code) {
    case HexScroll::LineUp:
        return top != 0 && SetTopRow(top - 1);
    case HexScroll::LineDown:
        return SetTopRow(top + 1);
    case HexScroll::PageUp:
        return SetTopRow(top > kPageRows ? top - kPageRows : 0);
    case HexScroll::PageDown:
        return SetTopRow(top + kPageRows);
    case HexScroll::ThumbPosition:
    case HexScroll::ThumbTrack:
        if (thumb > lineCount_) return false;
        return SetScrollPosition(static_cast<int64_t>(thumb));
    case HexScroll::Top:
        return SetTopRow(0);
    case HexScroll::Bottom:
        // One unit short of the maximum, as the scroll bar's end has always gone here.
        return SetScrollPosition(static_cast<int64_t>(scrollMaximum_) - 1);
    case HexScroll::EndScroll:
        return false;
    }
    return false;
}

uint64_t CHexEditorModel::FirstVisibleRow() const {
    // Without data the line count is 0 and the limit wraps to "no limit".
    return std::min(topRow_, lineCount_ - 1);
}

uint64_t CHexEditorModel::VisibleRowCount() const {
    if (geometry_.lineHeight <= 0) {
        return 0;
    }
    return static_cast<uint64_t>(clientHeight_ / geometry_.lineHeight);
}

// ---------------------------------------------------------------------------
// Mouse and keyboard

uint64_t CHexEditorModel::HitTest(int x, int y) {
    const HexGeometry& g = geometry_;
    if (x <= g.addressWidth || y < 0 || g.lineHeight <= 0) {
        return kNone;
    }
    const uint64_t row = static_cast<uint64_t>(y / g.lineHeight);
    const uint64_t base = (FirstVisibleRow() + row) * kBytesPerRow;
    if (x < g.hexCells[15].right) {
        for (int k = 0; k < 16; ++k) {
            if (g.hexCells[k].left <= x && x <= g.hexCells[k].right) {
                textSide_ = false;
                return base + static_cast<uint64_t>(k);
            }
        }
    } else if (x < g.charCells[15].right) {
        for (int k = 0; k < 16; ++k) {
            if (g.charCells[k].left <= x && x <= g.charCells[k].right) {
                textSide_ = true;
                return base + static_cast<uint64_t>(k);
            }
        }
    }
    return kNone;  // the gap between the blocks, or the right margin
}

void CHexEditorModel::Click(int x, int y) {
    caret_ = HasData() ? HitTest(x, y) : kNone;
    caretLine_ = kNone;
    selectionStart_ = kNone;
    selectionEnd_ = kNone;
}

void CHexEditorModel::EndClick() {
    caret_ = kNone;
}

bool CHexEditorModel::Key(HexKey key) {
    if (!HasData()) {
        return false;
    }
    const uint64_t last = size_ - 1;
    const uint64_t lastLine = lineCount_ - 1;
    const uint64_t page = VisibleRowCount() * kBytesPerRow;
    // Up, Left and Page Up need a caret to move from; Down and Right have
    // nowhere to go from none either. Only Page Down, Home and End place a
    // caret where there was none.
    const bool hasCaret = IsSet(caret_);
    switch (key) {
    case HexKey::Up:
        if (!hasCaret || caretLine_ == 0 || caret_ < kBytesPerRow) return false;
        caret_ -= kBytesPerRow;
        caretLine_ -= 1;
        break;
    case HexKey::Down:
        if (!hasCaret || caretLine_ >= lastLine) return false;
        caret_ = std::min(caret_ + kBytesPerRow, last);
        caretLine_ += 1;
        break;
    case HexKey::Left:
        if (!hasCaret || caret_ == 0) return false;
        caret_ -= 1;
        if (caret_ % kBytesPerRow == kBytesPerRow - 1 && caretLine_ > 0) caretLine_ -= 1;
        break;
    case HexKey::Right:
        if (!hasCaret || caret_ >= last) return false;
        caret_ += 1;
        if (caret_ % kBytesPerRow == 0 && caretLine_ < lastLine) caretLine_ += 1;
        break;
    case HexKey::PageUp:
        if (!hasCaret) return false;
        caret_ = caret_ > page ? caret_ - page : 0;
        caretLine_ = std::min(caret_ / kBytesPerRow, lastLine);
        break;
    case HexKey::PageDown:
        // Written so that caret + page cannot overflow.
        caret_ = hasCaret && caret_ <= last && last - caret_ > page ? caret_ + page : last;
        caretLine_ = std::min(caret_ / kBytesPerRow, lastLine);
        break;
    case HexKey::Home:
        caret_ = 0;
        caretLine_ = 0;
        break;
    case HexKey::End:
        caret_ = last;
        caretLine_ = lastLine;
        break;
    }
    ScrollToLine(caretLine_);
    return true;
}

// ---------------------------------------------------------------------------
// Painting

uint64_t CHexEditorModel::LastPaintedRow() const {
    return std::min(FirstVisibleRow() + VisibleRowCount(), lineCount_);
}

bool CHexEditorModel::CaretBand(HexRect* band) const {
    if (!HasData() || !IsSet(caretLine_) || HasCompleteSelection()) {
        return false;
    }
    const uint64_t first = FirstVisibleRow();
    if (caretLine_ < first || caretLine_ > LastPaintedRow()) {
        return false;
    }
    const int row = static_cast<int>(caretLine_ - first);
    const int height = geometry_.lineHeight;
    *band = HexRect{geometry_.addressWidth, height * row, BytesRight(), height * (row + 1)};
    return true;
}

bool CHexEditorModel::SelectionFill(uint64_t offset, HexColumn column, HexColor* color) const {
    if (!HasData() || !HasCompleteSelection()) {
        return false;
    }
    const uint64_t first = FirstVisibleRow();
    const uint64_t end = LastPaintedRow();  // one past the last painted row
    if (end <= first) {
        return false;
    }
    const uint64_t from = std::max(selectionStart_, first * kBytesPerRow);
    const uint64_t to = std::min(selectionEnd_, end * kBytesPerRow - 1);
    if (offset < from || offset > to) {
        return false;
    }
    const bool active = (column == HexColumn::Text) == textSide_;
    *color = active ? hexcolor::kSelectionStrong : hexcolor::kSelectionWeak;
    return true;
}

HexCellStyle CHexEditorModel::ByteStyle(uint64_t offset, HexColumn column) const {
    HexCellStyle style;
    style.text = IsCaret(offset) ? hexcolor::kCaretText : hexcolor::kBlack;
    // The column the user last clicked in is the active one.
    const bool active = (column == HexColumn::Text) == textSide_;
    if (!active && IsCaret(offset)) {
        style.background = hexcolor::kMargin;  // the caret's mirror in the other column
    } else if (HasCompleteSelection()) {
        if (IsSelected(offset)) {
            if (active) {
                style.background = hexcolor::kSelectionStrong;
                style.text = hexcolor::kWhite;
            } else {
                style.background = hexcolor::kSelectionWeak;
            }
        }
    } else if (IsSet(caretLine_) && offset / kBytesPerRow == caretLine_) {
        style.background = hexcolor::kCaretRow;
    }
    return style;
}

HexSpan CHexEditorModel::Cell(HexColumn column, int k) const {
    return column == HexColumn::Hex ? geometry_.hexCells[k] : geometry_.charCells[k];
}

std::wstring CHexEditorModel::AddressLabel(uint64_t row) {
    const uint32_t offset = static_cast<uint32_t>(row * kBytesPerRow);
    std::wstring text(8, L'0');
    for (int i = 0; i < 8; ++i) {
        text[7 - i] = kHexDigits[(offset >> (4 * i)) & 0xF];
    }
    return text + L"H:";
}

std::wstring CHexEditorModel::HexText(uint8_t byte) {
    return std::wstring{kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
}

wchar_t CHexEditorModel::CharText(uint8_t byte) {
    return byte >= 32 && byte <= 122 ? static_cast<wchar_t>(byte) : L'.';
}

wchar_t CHexEditorModel::ColumnDigit(int column) {
    return kHexDigits[column & 0xF];
}
