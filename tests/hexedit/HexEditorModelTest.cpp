// The hex view's model without a window: layout, hit testing, scrolling,
// selection, keys and cell colours.
#include <gtest/gtest.h>

#include <vector>

#include "hexedit/HexEditorModel.h"

namespace {

constexpr uint64_t kNone = CHexEditorModel::kNone;

// Text sizes as a small 8-point font measures them: "FFFFFFFFH: " 66 x 13,
// " 00 " 20 x 13, "0" 6 x 13. Rows are 17 pixels; the window shows 20 rows.
constexpr HexTextSize kAddress{66, 13};
constexpr HexTextSize kHexCell{20, 13};
constexpr HexTextSize kZero{6, 13};
constexpr int kLine = 17;
constexpr int kRows = 20;

class HexModel : public ::testing::Test {
protected:
    void SetUp() override { Resize(kRows * kLine); }

    void Resize(int clientHeight) { model.SetLayout(kAddress, kHexCell, kZero, 600, clientHeight); }

    // Shows a buffer of the given size filled with its offsets' low bytes.
    void Show(uint64_t size) {
        bytes.resize(static_cast<size_t>(size));
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
        model.SetData(bytes.data(), size);
    }

    // A buffer too large to allocate, for the arithmetic that never reads it.
    void ShowUnread(uint64_t size) { model.SetData(&unread, size); }

    // Client point in the middle of cell k of a visible row.
    int HexX(int k) const {
        const HexSpan c = model.Geometry().hexCells[k];
        return (c.left + c.right) / 2;
    }
    int CharX(int k) const {
        const HexSpan c = model.Geometry().charCells[k];
        return (c.left + c.right) / 2;
    }
    static int RowY(int visibleRow) { return visibleRow * kLine + kLine / 2; }

    CHexEditorModel model;
    std::vector<uint8_t> bytes;
    uint8_t unread = 0;
};

// --- Layout ----------------------------------------------------------------

TEST_F(HexModel, ColumnsFollowTheMeasuredTexts) {
    const HexGeometry& g = model.Geometry();
    EXPECT_EQ(g.lineHeight, 17);
    EXPECT_EQ(g.addressRight, 66);
    EXPECT_EQ(g.hexCells[0].left, 66);
    EXPECT_EQ(g.hexCells[15].right, 66 + 16 * 20);
    for (int k = 1; k < 16; ++k) EXPECT_EQ(g.hexCells[k].left, g.hexCells[k - 1].right);
    EXPECT_EQ(g.charCells[0].left, g.hexCells[15].right + 4);  // the gap between the blocks
    EXPECT_EQ(g.charCells[0].right - g.charCells[0].left, 8);  // "0" + 2
    EXPECT_EQ(model.BytesRight(), 66 + 320 + 4 + 16 * 8);
    EXPECT_EQ(g.header.bottom, 17);
    model.SetHeaderForWindow(640);
    EXPECT_EQ(g.header.right, 640);
    EXPECT_EQ(g.header.bottom, 19);
}

TEST_F(HexModel, OnlyWholeRowsCountAsVisible) {
    EXPECT_EQ(model.VisibleRowCount(), 20u);
    Resize(kRows * kLine - 1);
    EXPECT_EQ(model.VisibleRowCount(), 19u);
    Resize(kLine - 1);
    EXPECT_EQ(model.VisibleRowCount(), 0u);
    CHexEditorModel unmeasured;  // before the first layout there is no row height to divide by
    EXPECT_EQ(unmeasured.VisibleRowCount(), 0u);
}

// --- Hit testing -------------------------------------------------------------

TEST_F(HexModel, EveryCellOfBothBlocksMapsToItsByte) {
    Show(4096);
    model.SetScrollPosition(3);
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(model.HitTest(HexX(k), RowY(2)), (3u + 2u) * 16u + k) << "hex cell " << k;
        EXPECT_FALSE(model.TextSide());
        EXPECT_EQ(model.HitTest(CharX(k), RowY(2)), (3u + 2u) * 16u + k) << "char cell " << k;
        EXPECT_TRUE(model.TextSide());
    }
}

TEST_F(HexModel, CellBordersBelongToTheLeftCell) {
    Show(256);
    const HexGeometry& g = model.Geometry();
    EXPECT_EQ(model.HitTest(g.hexCells[4].right, 0), 4u);
    EXPECT_EQ(model.HitTest(g.hexCells[4].right + 1, 0), 5u);
    EXPECT_EQ(model.HitTest(g.charCells[0].left, 0), 0u);
    EXPECT_EQ(model.HitTest(g.charCells[14].right, 0), 14u);
    EXPECT_EQ(model.HitTest(g.addressWidth + 1, kLine), 16u);
}

TEST_F(HexModel, AddressColumnGapAndMarginHitNothing) {
    Show(256);
    const HexGeometry& g = model.Geometry();
    model.HitTest(CharX(3), 0);  // text side true from here on
    for (int x : {0, g.addressWidth, g.hexCells[15].right, g.charCells[0].left - 1,
                  g.charCells[15].right, model.BytesRight() + 30}) {
        EXPECT_EQ(model.HitTest(x, RowY(1)), kNone) << "x = " << x;
        EXPECT_TRUE(model.TextSide()) << "x = " << x;  // a miss leaves the side as it was
    }
    EXPECT_EQ(model.HitTest(HexX(0), -1), kNone);  // above the client area
}

TEST_F(HexModel, PointsBelowTheDataGiveOffsetsPastItsEnd) {
    Show(17);
    EXPECT_EQ(model.HitTest(HexX(5), RowY(1)), 21u);
    EXPECT_EQ(model.HitTest(HexX(0), RowY(10)), 160u);
}

TEST_F(HexModel, ClickSetsACaretOnlyForItsNotification) {
    Show(256);
    model.SetSelection(16, 31);
    model.Click(CharX(7), RowY(2));
    EXPECT_EQ(model.Caret(), 39u);
    EXPECT_EQ(model.CaretLine(), kNone);
    EXPECT_FALSE(model.HasCompleteSelection());
    EXPECT_EQ(model.SelectionStart(), kNone);
    model.EndClick();
    EXPECT_EQ(model.Caret(), kNone);

    CHexEditorModel empty;
    empty.SetLayout(kAddress, kHexCell, kZero, 600, 340);
    empty.Click(CharX(7), RowY(2));
    EXPECT_EQ(empty.Caret(), kNone);
    EXPECT_FALSE(empty.TextSide());  // no hit test without data
}

// --- Data and scroll range -----------------------------------------------------

TEST_F(HexModel, RowsOfSixteenAndAPartialOne) {
    for (auto [size, rows] : std::vector<std::pair<uint64_t, uint64_t>>{{1, 1}, {16, 1}, {17, 2}, {33, 3}}) {
        Show(size);
        EXPECT_EQ(model.LineCount(), rows) << size << " bytes";
    }
}

TEST_F(HexModel, NullDataOrNoBytesShowNothing) {
    model.SetData(nullptr, 1000);
    EXPECT_FALSE(model.HasData());
    EXPECT_EQ(model.LineCount(), 0u);
    uint8_t byte = 0;
    model.SetData(&byte, 0);
    EXPECT_FALSE(model.HasData());
    EXPECT_FALSE(model.Key(HexKey::End));  // no caret at "size - 1" of nothing
    EXPECT_EQ(model.Caret(), kNone);
}

TEST_F(HexModel, NewDataDropsTheCaretKeepsTheSelectionAndScrollsToTheTop) {
    Show(4096);
    model.Key(HexKey::End);
    model.SetSelection(100, 200);
    model.Key(HexKey::End);
    ASSERT_NE(model.ScrollPosition(), 0u);
    Show(2048);
    EXPECT_EQ(model.Caret(), kNone);
    EXPECT_EQ(model.CaretLine(), kNone);
    EXPECT_EQ(model.SelectionStart(), 100u);
    EXPECT_EQ(model.SelectionEnd(), 200u);
    EXPECT_EQ(model.ScrollPosition(), 0u);
}

TEST_F(HexModel, ScrollRangeIsRowsLessThoseOnScreen) {
    Show(10 * 16);  // fewer rows than fit
    EXPECT_EQ(model.ScrollMaximum(), 0u);
    Show(20 * 16);
    EXPECT_EQ(model.ScrollMaximum(), 0u);
    ShowUnread(0x7FE1ull * 16);  // 32737 rows
    EXPECT_EQ(model.ScrollScale(), 1u);
    EXPECT_EQ(model.ScrollMaximum(), 32717u);
    ShowUnread((32736ull + 20) * 16);  // the largest range that needs no grouping
    EXPECT_EQ(model.ScrollScale(), 1u);
    EXPECT_EQ(model.ScrollMaximum(), 32736u);
}

TEST_F(HexModel, ManyRowsAreGroupedPerScrollUnit) {
    ShowUnread(100000ull * 16);
    EXPECT_EQ(model.ScrollScale(), 4u);
    EXPECT_EQ(model.ScrollMaximum(), 25000u);  // all rows, not rows less those on screen
    model.SetScrollPosition(25000);
    EXPECT_EQ(model.FirstVisibleRow(), 99999u);  // only the last row shows, at the top
    model.SetScrollPosition(100);
    EXPECT_EQ(model.FirstVisibleRow(), 400u);

    ShowUnread((32736ull + 21) * 16);  // one row too many for one unit per row
    EXPECT_EQ(model.ScrollScale(), 2u);
    EXPECT_EQ(model.ScrollMaximum(), 16379u);  // 32757 / 2 rounded

    ShowUnread(0x40000000ull);  // 1 GiB: 67108864 rows
    EXPECT_EQ(model.ScrollScale(), 2051u);
    EXPECT_LE(model.ScrollMaximum(), CHexEditorModel::kMaxScrollUnits);
}

// --- Scroll bar ------------------------------------------------------------

TEST_F(HexModel, ScrollBarCodes) {
    ShowUnread(100 * 16);  // maximum 80
    EXPECT_FALSE(model.Scroll(HexScroll::LineUp, 0));
    EXPECT_TRUE(model.Scroll(HexScroll::LineDown, 0));
    EXPECT_EQ(model.ScrollPosition(), 1u);
    EXPECT_TRUE(model.Scroll(HexScroll::PageDown, 0));
    EXPECT_EQ(model.ScrollPosition(), 11u);
    EXPECT_TRUE(model.Scroll(HexScroll::PageUp, 0));
    EXPECT_TRUE(model.Scroll(HexScroll::PageUp, 0));
    EXPECT_EQ(model.ScrollPosition(), 0u);
    EXPECT_TRUE(model.Scroll(HexScroll::ThumbTrack, 42));
    EXPECT_EQ(model.ScrollPosition(), 42u);
    EXPECT_FALSE(model.Scroll(HexScroll::ThumbPosition, 101));  // past the line count
    EXPECT_TRUE(model.Scroll(HexScroll::ThumbPosition, 95));    // the scroll bar stops at its maximum
    EXPECT_EQ(model.ScrollPosition(), 80u);
    EXPECT_FALSE(model.Scroll(HexScroll::LineDown, 0));
    EXPECT_FALSE(model.Scroll(HexScroll::EndScroll, 0));
    EXPECT_TRUE(model.Scroll(HexScroll::Top, 0));
    EXPECT_EQ(model.ScrollPosition(), 0u);
    EXPECT_TRUE(model.Scroll(HexScroll::Bottom, 0));
    EXPECT_EQ(model.ScrollPosition(), 79u);  // one short of the maximum
}

TEST_F(HexModel, ScrollingWithoutARangeStaysAtTheTop) {
    Show(32);
    EXPECT_FALSE(model.Scroll(HexScroll::Bottom, 0));
    EXPECT_FALSE(model.Scroll(HexScroll::PageDown, 0));
    EXPECT_EQ(model.ScrollPosition(), 0u);
}

// --- Selection -------------------------------------------------------------

TEST_F(HexModel, SelectionScrollsItsFirstRowToTheTopUnlessItIsOnScreen) {
    Show(1000 * 16);
    model.SetSelection(5 * 16, 300 * 16);  // first row visible, end far below
    EXPECT_EQ(model.ScrollPosition(), 0u);
    model.SetSelection(500 * 16 + 3, 500 * 16 + 40);
    EXPECT_EQ(model.ScrollPosition(), 500u);
    model.SetSelection(499 * 16, 499 * 16);  // just above
    EXPECT_EQ(model.ScrollPosition(), 499u);
    model.SetSelection(499 * 16 + 19 * 16, 499 * 16 + 19 * 16);  // last whole row
    EXPECT_EQ(model.ScrollPosition(), 499u);
    model.SetSelection(499 * 16 + 20 * 16, 499 * 16 + 20 * 16);  // first row not on screen
    EXPECT_EQ(model.ScrollPosition(), 519u);
    model.SetSelection(999 * 16, 999 * 16 + 15);  // as near the top as the range allows
    EXPECT_EQ(model.ScrollPosition(), 980u);
}

TEST_F(HexModel, GroupedRowsStillScrollToTheExactRow) {
    ShowUnread(1000000ull * 16);  // 31 rows per scroll unit
    ASSERT_EQ(model.ScrollScale(), 31u);
    model.SetSelection(500010ull * 16, 500010ull * 16 + 4);
    EXPECT_EQ(model.FirstVisibleRow(), 500010u);  // not the unit's first row, 30 rows earlier
    EXPECT_EQ(model.ScrollPosition(), 16129u);
    EXPECT_TRUE(model.Scroll(HexScroll::LineDown, 0));
    EXPECT_EQ(model.FirstVisibleRow(), 500011u);
    EXPECT_TRUE(model.Scroll(HexScroll::PageUp, 0));
    EXPECT_EQ(model.FirstVisibleRow(), 500001u);
    EXPECT_TRUE(model.Scroll(HexScroll::ThumbTrack, 3));
    EXPECT_EQ(model.FirstVisibleRow(), 93u);
    EXPECT_TRUE(model.Scroll(HexScroll::Bottom, 0));
    EXPECT_EQ(model.FirstVisibleRow(), (model.ScrollMaximum() - 1) * 31);
}

TEST_F(HexModel, RangesOutsideTheDataNeverReplaceAShownSelection) {
    Show(100);
    model.SetSelection(100, 120);  // nothing shown yet: taken as given
    EXPECT_EQ(model.SelectionStart(), 100u);
    model.SetSelection(10, 20);
    model.SetSelection(50, 100);
    model.SetSelection(kNone, kNone);
    EXPECT_EQ(model.SelectionStart(), 10u);
    EXPECT_EQ(model.SelectionEnd(), 20u);
}

TEST_F(HexModel, NoSelectionScrollsToTheTop) {
    Show(1000 * 16);
    model.Key(HexKey::End);
    ASSERT_EQ(model.ScrollPosition(), 980u);
    model.SetSelection(kNone, kNone);  // nothing shown, so accepted
    EXPECT_EQ(model.ScrollPosition(), 0u);
    EXPECT_EQ(model.Caret(), kNone);
    EXPECT_FALSE(model.HasCompleteSelection());
}

TEST_F(HexModel, ClearSelectionRemovesAShownHighlightAndTheCaret) {
    Show(1000 * 16);
    model.SetSelection(500 * 16, 500 * 16 + 40);
    ASSERT_NE(model.ScrollPosition(), 0u);
    model.ClearSelection();
    EXPECT_EQ(model.SelectionStart(), kNone);
    EXPECT_EQ(model.SelectionEnd(), kNone);
    EXPECT_EQ(model.ScrollPosition(), 0u);
    model.Key(HexKey::End);
    ASSERT_NE(model.Caret(), kNone);
    model.ClearSelection();
    EXPECT_EQ(model.Caret(), kNone);
    EXPECT_EQ(model.CaretLine(), kNone);
    // Afterwards an ordinary selection is taken again.
    model.SetSelection(3, 4);
    EXPECT_EQ(model.SelectionStart(), 3u);
}

// --- Keys --------------------------------------------------------------------

TEST_F(HexModel, KeysNeedData) {
    for (HexKey key : {HexKey::Up, HexKey::Down, HexKey::Left, HexKey::Right, HexKey::PageUp,
                       HexKey::PageDown, HexKey::Home, HexKey::End}) {
        EXPECT_FALSE(model.Key(key));
    }
    EXPECT_EQ(model.Caret(), kNone);
}

TEST_F(HexModel, WithoutACaretOnlyPageDownHomeAndEndPlaceOne) {
    Show(1000);
    for (HexKey key : {HexKey::Up, HexKey::Left, HexKey::PageUp, HexKey::Down, HexKey::Right}) {
        EXPECT_FALSE(model.Key(key));
        EXPECT_EQ(model.Caret(), kNone);
    }
    EXPECT_TRUE(model.Key(HexKey::PageDown));
    EXPECT_EQ(model.Caret(), 999u);
    model.SetSelection(kNone, kNone);
    EXPECT_TRUE(model.Key(HexKey::Home));
    EXPECT_EQ(model.Caret(), 0u);
    EXPECT_EQ(model.CaretLine(), 0u);
}

TEST_F(HexModel, EndOnThirtyThreeBytes) {
    Resize(kLine);  // one row on screen, so the range reaches row 2
    Show(33);
    EXPECT_TRUE(model.Key(HexKey::End));
    EXPECT_EQ(model.Caret(), 32u);
    EXPECT_EQ(model.CaretLine(), 2u);
    EXPECT_EQ(model.FirstVisibleRow(), 2u);
}

TEST_F(HexModel, ArrowsWalkTheCaretAndItsRow) {
    Show(40);
    model.Key(HexKey::Home);
    EXPECT_FALSE(model.Key(HexKey::Left));
    EXPECT_FALSE(model.Key(HexKey::Up));
    for (int i = 0; i < 16; ++i) EXPECT_TRUE(model.Key(HexKey::Right));
    EXPECT_EQ(model.Caret(), 16u);
    EXPECT_EQ(model.CaretLine(), 1u);
    EXPECT_TRUE(model.Key(HexKey::Left));
    EXPECT_EQ(model.Caret(), 15u);
    EXPECT_EQ(model.CaretLine(), 0u);
    EXPECT_TRUE(model.Key(HexKey::Down));
    EXPECT_TRUE(model.Key(HexKey::Down));  // row 2 holds only 8 bytes
    EXPECT_EQ(model.Caret(), 39u);
    EXPECT_EQ(model.CaretLine(), 2u);
    EXPECT_FALSE(model.Key(HexKey::Down));
    EXPECT_FALSE(model.Key(HexKey::Right));
    EXPECT_TRUE(model.Key(HexKey::Up));
    EXPECT_EQ(model.Caret(), 23u);
    EXPECT_EQ(model.CaretLine(), 1u);
}

TEST_F(HexModel, PageKeysMoveByTheRowsOnScreenAndScrollTheCaretRowUp) {
    Show(100 * 16);
    model.Key(HexKey::Home);
    model.Key(HexKey::Right);
    EXPECT_TRUE(model.Key(HexKey::PageDown));
    EXPECT_EQ(model.Caret(), 20u * 16 + 1);
    EXPECT_EQ(model.CaretLine(), 20u);
    EXPECT_EQ(model.ScrollPosition(), 20u);
    EXPECT_TRUE(model.Key(HexKey::PageDown));
    EXPECT_TRUE(model.Key(HexKey::PageDown));
    EXPECT_TRUE(model.Key(HexKey::PageDown));
    EXPECT_TRUE(model.Key(HexKey::PageDown));  // limited to the last byte
    EXPECT_EQ(model.Caret(), 1599u);
    EXPECT_EQ(model.CaretLine(), 99u);
    EXPECT_EQ(model.ScrollPosition(), 80u);  // as far as the range allows
    EXPECT_TRUE(model.Key(HexKey::PageUp));
    EXPECT_EQ(model.Caret(), 1599u - 320);
    EXPECT_EQ(model.CaretLine(), 79u);
    EXPECT_EQ(model.ScrollPosition(), 79u);
    model.Key(HexKey::Home);
    model.Key(HexKey::Down);
    EXPECT_TRUE(model.Key(HexKey::PageUp));  // less than a page from the top
    EXPECT_EQ(model.Caret(), 0u);
}

TEST_F(HexModel, KeysScrollInGroupedUnits) {
    ShowUnread(100000ull * 16);
    EXPECT_TRUE(model.Key(HexKey::End));
    EXPECT_EQ(model.CaretLine(), 99999u);
    EXPECT_EQ(model.ScrollPosition(), 24999u);
    EXPECT_EQ(model.FirstVisibleRow(), 99999u);
}

TEST_F(HexModel, OffsetsPastFourGibibytesAreOrdinaryOffsets) {
    const uint64_t size = 6ull << 30;
    ShowUnread(size);
    EXPECT_TRUE(model.Key(HexKey::End));
    EXPECT_EQ(model.Caret(), size - 1);
    EXPECT_TRUE(model.Key(HexKey::Up));
    EXPECT_EQ(model.Caret(), size - 17);
    const uint64_t start = 5ull << 30;
    model.SetSelection(start, start + 100);
    EXPECT_TRUE(model.HasCompleteSelection());
    EXPECT_EQ(model.FirstVisibleRow(), start / 16);
    HexColor fill;
    EXPECT_TRUE(model.SelectionFill(start + 5, HexColumn::Hex, &fill));
    EXPECT_EQ(model.ByteStyle(start + 5, HexColumn::Hex).background, hexcolor::kSelectionStrong);
}

// --- Colours -------------------------------------------------------------------

TEST_F(HexModel, CaretRowWithoutSelection) {
    Show(64);
    model.Key(HexKey::Home);
    model.Key(HexKey::Down);
    model.Key(HexKey::Right);  // caret 17 in row 1; the hex column is active
    const HexCellStyle caretHex = model.ByteStyle(17, HexColumn::Hex);
    EXPECT_EQ(caretHex.text, hexcolor::kCaretText);
    EXPECT_EQ(caretHex.background, hexcolor::kCaretRow);
    const HexCellStyle caretChar = model.ByteStyle(17, HexColumn::Text);
    EXPECT_EQ(caretChar.text, hexcolor::kCaretText);
    EXPECT_EQ(caretChar.background, hexcolor::kMargin);  // its mirror in the inactive column
    EXPECT_EQ(model.ByteStyle(20, HexColumn::Text).background, hexcolor::kCaretRow);
    EXPECT_EQ(model.ByteStyle(20, HexColumn::Text).text, hexcolor::kBlack);
    EXPECT_EQ(model.ByteStyle(32, HexColumn::Hex).background, hexcolor::kWhite);

    HexRect band;
    ASSERT_TRUE(model.CaretBand(&band));  // four rows: nothing to scroll
    EXPECT_EQ(band.left, 66);
    EXPECT_EQ(band.top, kLine);
    EXPECT_EQ(band.right, model.BytesRight());
    EXPECT_EQ(band.bottom, 2 * kLine);
}

TEST_F(HexModel, CaretMirrorFollowsTheClickedColumn) {
    Show(64);
    model.HitTest(CharX(0), 0);  // text side
    model.Key(HexKey::Home);
    EXPECT_EQ(model.ByteStyle(0, HexColumn::Hex).background, hexcolor::kMargin);
    EXPECT_EQ(model.ByteStyle(0, HexColumn::Text).background, hexcolor::kCaretRow);
}

TEST_F(HexModel, SelectionColoursSwapWithTheActiveColumn) {
    Show(64);
    model.SetSelection(4, 20);
    HexColor fill;
    const HexCellStyle hex = model.ByteStyle(4, HexColumn::Hex);
    EXPECT_EQ(hex.background, hexcolor::kSelectionStrong);
    EXPECT_EQ(hex.text, hexcolor::kWhite);
    EXPECT_EQ(model.ByteStyle(20, HexColumn::Text).background, hexcolor::kSelectionWeak);
    EXPECT_EQ(model.ByteStyle(21, HexColumn::Hex).background, hexcolor::kWhite);
    ASSERT_TRUE(model.SelectionFill(20, HexColumn::Hex, &fill));
    EXPECT_EQ(fill, hexcolor::kSelectionStrong);
    ASSERT_TRUE(model.SelectionFill(20, HexColumn::Text, &fill));
    EXPECT_EQ(fill, hexcolor::kSelectionWeak);
    EXPECT_FALSE(model.SelectionFill(3, HexColumn::Hex, &fill));

    model.Click(CharX(2), 0);
    model.EndClick();
    model.SetSelection(4, 20);
    EXPECT_EQ(model.ByteStyle(4, HexColumn::Text).background, hexcolor::kSelectionStrong);
    EXPECT_EQ(model.ByteStyle(4, HexColumn::Text).text, hexcolor::kWhite);
    EXPECT_EQ(model.ByteStyle(4, HexColumn::Hex).background, hexcolor::kSelectionWeak);
    EXPECT_EQ(model.ByteStyle(4, HexColumn::Hex).text, hexcolor::kBlack);
    ASSERT_TRUE(model.SelectionFill(4, HexColumn::Text, &fill));
    EXPECT_EQ(fill, hexcolor::kSelectionStrong);
}

TEST_F(HexModel, ACompleteSelectionHidesTheCaretBand) {
    Show(64);
    model.Key(HexKey::End);
    model.SetSelection(0, 3);
    model.Key(HexKey::Home);  // keys move the caret but keep the selection
    HexRect band;
    EXPECT_FALSE(model.CaretBand(&band));
    EXPECT_EQ(model.ByteStyle(8, HexColumn::Hex).background, hexcolor::kWhite);
    EXPECT_EQ(model.ByteStyle(0, HexColumn::Hex).text, hexcolor::kWhite);  // selected caret byte
    EXPECT_EQ(model.ByteStyle(0, HexColumn::Text).background, hexcolor::kMargin);
}

TEST_F(HexModel, AHalfSetSelectionDrawsAsNone) {
    Show(64);
    model.SetSelection(8, kNone);
    HexColor fill;
    EXPECT_FALSE(model.HasCompleteSelection());
    EXPECT_FALSE(model.SelectionFill(8, HexColumn::Hex, &fill));
    EXPECT_EQ(model.ByteStyle(8, HexColumn::Hex).background, hexcolor::kWhite);
}

TEST_F(HexModel, SelectionFillCoversOnlyPaintedRows) {
    Show(1000 * 16 + 3);  // the last row holds 3 bytes
    model.SetSelection(0, 1000 * 16 + 2);
    HexColor fill;
    EXPECT_TRUE(model.SelectionFill(19 * 16 + 15, HexColumn::Hex, &fill));
    EXPECT_FALSE(model.SelectionFill(20 * 16, HexColumn::Hex, &fill));
    model.Click(HexX(0), 0);  // drops the selection, so one reaching past the data is taken
    model.EndClick();
    model.SetSelection(999 * 16, 1000 * 16 + 15);  // ends past the data, in the last row
    EXPECT_EQ(model.FirstVisibleRow(), 981u);
    EXPECT_TRUE(model.SelectionFill(1000 * 16 + 15, HexColumn::Text, &fill));
    Resize(kLine - 1);  // no whole row on screen: nothing painted
    EXPECT_FALSE(model.SelectionFill(999 * 16, HexColumn::Hex, &fill));
}

TEST_F(HexModel, CaretBandOnlyForAVisibleCaretRow) {
    Show(100 * 16);
    model.Key(HexKey::End);  // caret row 99, scrolled to position 80
    HexRect band;
    ASSERT_TRUE(model.CaretBand(&band));
    EXPECT_EQ(band.top, 19 * kLine);
    model.Scroll(HexScroll::Top, 0);
    EXPECT_FALSE(model.CaretBand(&band));
}

// --- Texts -------------------------------------------------------------------

TEST(HexModelText, LabelsAndCells) {
    EXPECT_EQ(CHexEditorModel::AddressLabel(0), L"00000000H:");
    EXPECT_EQ(CHexEditorModel::AddressLabel(1), L"00000010H:");
    EXPECT_EQ(CHexEditorModel::AddressLabel(0xABCDEF), L"0ABCDEF0H:");
    EXPECT_EQ(CHexEditorModel::AddressLabel(0x10000001), L"00000010H:");  // printed as 32 bits
    EXPECT_EQ(CHexEditorModel::HexText(0x0A), L"0A");
    EXPECT_EQ(CHexEditorModel::HexText(0xFF), L"FF");
    EXPECT_EQ(CHexEditorModel::ColumnDigit(11), L'B');
}

TEST(HexModelText, OnlySpaceToLowercaseZShowAsThemselves) {
    EXPECT_EQ(CHexEditorModel::CharText(0x20), L' ');
    EXPECT_EQ(CHexEditorModel::CharText(0x26), L'&');
    EXPECT_EQ(CHexEditorModel::CharText(0x7A), L'z');
    for (int byte : {0x00, 0x1F, 0x7B, 0x7E, 0x7F, 0x80, 0xFF}) {
        EXPECT_EQ(CHexEditorModel::CharText(static_cast<uint8_t>(byte)), L'.') << byte;
    }
}

}  // namespace
