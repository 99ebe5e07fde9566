// The real hex view in a parent window: creation, notifications, scroll bar,
// and the colours it paints, read back at positions asked from its layout.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "framework/Wnd.h"
#include "hexedit/WndHexEditor.h"
#include "tests/gui/support/GuiTestSupport.h"

namespace {

constexpr uint64_t kNone = CHexEditorModel::kNone;

const wchar_t* ParentClass() { return guitest::RegisterTestWindowClass(L"OrvelHexViewTestParent"); }

// Stands in for the main dialog: records each caret notification with the
// caret the view reports while it is handled, and may answer with a selection.
class Parent : public CWnd {
public:
    MCWndHexEditor* view = nullptr;
    std::vector<uint64_t> carets;  // GetCaret during each HEXN_CARETCHANGED
    int wheelMessages = 0;
    std::function<void(uint64_t caret)> onCaret;

    BOOL Create() {
        return CreateEx(0, ParentClass(), L"hex view test", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN,
                        RECT{0, 0, 760, 560}, nullptr, 0);
    }

protected:
    const MessageMap* GetMessageMap() const override {
        static const MessageEntry entries[] = {
            OnCommand(0, HEXN_CARETCHANGED, &Parent::OnCaretChanged),
            OnMessage(WM_MOUSEWHEEL, &Parent::OnMouseWheel),
        };
        static const MessageMap map{CWnd::GetMessageMap(), entries, sizeof entries / sizeof entries[0]};
        return &map;
    }

private:
    LRESULT OnCaretChanged(WPARAM, LPARAM lParam) {
        EXPECT_EQ(lParam, 0);
        const uint64_t caret = view->GetCaret();
        carets.push_back(caret);
        if (onCaret) onCaret(caret);
        return 0;
    }
    LRESULT OnMouseWheel(WPARAM, LPARAM) {
        ++wheelMessages;
        return 0;
    }
};

using guitest::Canvas;

class HexView : public ::testing::Test {
protected:
    // One visible top-level window for all tests: under Wine each one takes
    // a couple of seconds to appear and go.
    static void SetUpTestSuite() {
        sharedParent = new Parent;
        sharedParent->Create();
    }
    static void TearDownTestSuite() {
        delete sharedParent;
        sharedParent = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(parent.m_hWnd, nullptr);
        parent.carets.clear();
        parent.wheelMessages = 0;
        parent.onCaret = nullptr;
        parent.view = &view;
        ASSERT_TRUE(view.Create(&parent));
        view.MoveWindow(8, 8, 700, 500);
        bytes.resize(4096);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i);
    }
    void TearDown() override {
        view.SetData(nullptr, 0);
        parent.onCaret = nullptr;
    }

    const CHexEditorModel& Model() const { return view.GetModel(); }
    const HexGeometry& Layout() const { return Model().Geometry(); }

    // Centre of a byte's cell in a column, in client coordinates, for a row on screen.
    POINT CellCentre(uint64_t offset, HexColumn column) const {
        const HexSpan cell = Model().Cell(column, static_cast<int>(offset % 16));
        const int row = static_cast<int>(offset / 16 - Model().FirstVisibleRow());
        return POINT{(cell.left + cell.right) / 2, row * Layout().lineHeight + Layout().lineHeight / 2};
    }
    // The whole line-height cell of a byte, and the box its text is drawn in.
    RECT CellRect(uint64_t offset, HexColumn column) const {
        const HexSpan cell = Model().Cell(column, static_cast<int>(offset % 16));
        const int top = static_cast<int>(offset / 16 - Model().FirstVisibleRow()) * Layout().lineHeight;
        return RECT{cell.left, top, cell.right, top + Layout().lineHeight};
    }
    RECT TextBox(uint64_t offset, HexColumn column) const {
        RECT r = CellRect(offset, column);
        r.top += 2;
        return r;
    }
    // A pixel of a cell that no text covers: the top line of its row.
    COLORREF FillOf(const Canvas& c, uint64_t offset, HexColumn column) const {
        const RECT r = CellRect(offset, column);
        return c.At((r.left + r.right) / 2, r.top);
    }

    void Click(POINT p) {
        view.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
        view.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    }
    void Key(WPARAM vk) { view.SendMessage(WM_KEYDOWN, vk, 1); }

    // Paints the client area through WM_PRINTCLIENT, the same path as WM_PAINT.
    void PaintInto(Canvas& canvas) {
        view.SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT);
    }
    RECT Client() const {
        RECT r;
        view.GetClientRect(&r);
        return r;
    }
    // The whole window (frame, header band, scroll bar) as it is on screen.
    void CaptureWindow(Canvas& canvas) {
        ::RedrawWindow(view.m_hWnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
        HDC dc = ::GetWindowDC(view.m_hWnd);
        ::BitBlt(canvas.Dc(), 0, 0, canvas.Width(), canvas.Height(), dc, 0, 0, SRCCOPY);
        ::ReleaseDC(view.m_hWnd, dc);
    }
    SIZE WindowSize() const {
        RECT r;
        view.GetWindowRect(&r);
        return SIZE{r.right - r.left, r.bottom - r.top};
    }
    // Selects the 24 bytes from `from` whenever the user points at one, as the dialog would.
    void AnswerClicksWithASelection() {
        parent.onCaret = [this](uint64_t caret) {
            if (caret != kNone) view.SetSelection(caret, caret + 23);
        };
    }

    static Parent* sharedParent;
    Parent& parent = *sharedParent;
    MCWndHexEditor view;
    std::vector<unsigned char> bytes;
};

Parent* HexView::sharedParent = nullptr;

// --- Creation -----------------------------------------------------------------

TEST_F(HexView, IsAChildOfTheRegisteredClassWithItsId) {
    wchar_t name[64] = {};
    ::GetClassNameW(view.m_hWnd, name, 64);
    EXPECT_STREQ(name, L"MyHexEditor");
    EXPECT_EQ(view.GetDlgCtrlID(), 1000u);
    EXPECT_EQ(view.GetParent(), parent.m_hWnd);
    const LONG style = ::GetWindowLongW(view.m_hWnd, GWL_STYLE);
    EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | WS_CAPTION), WS_CHILD | WS_VISIBLE | WS_CAPTION);
    EXPECT_EQ(style & WS_VSCROLL, 0) << "the scroll bar starts hidden";
    EXPECT_EQ(::GetWindowLongW(view.m_hWnd, GWL_EXSTYLE) & 0x00020080, 0x00020080);
    WNDCLASSW wc{};
    ASSERT_TRUE(::GetClassInfoW(::GetModuleHandleW(nullptr), L"MyHexEditor", &wc));
    EXPECT_EQ(wc.style, static_cast<UINT>(CS_VREDRAW | CS_HREDRAW | CS_GLOBALCLASS));

    MCWndHexEditor second;  // the class is registered already
    EXPECT_TRUE(second.Create(&parent));
}

TEST_F(HexView, LayoutIsMeasuredAndFollowsTheWindowSize) {
    EXPECT_GT(Layout().lineHeight, 4);
    EXPECT_GT(Layout().addressWidth, 0);
    EXPECT_EQ(Model().ClientHeight(), Client().bottom);
    EXPECT_EQ(Model().VisibleRowCount(), static_cast<uint64_t>(Client().bottom / Layout().lineHeight));
    view.MoveWindow(8, 8, 700, 200);
    EXPECT_EQ(Model().VisibleRowCount(), static_cast<uint64_t>(Client().bottom / Layout().lineHeight));
}

// --- Mouse -------------------------------------------------------------------

TEST_F(HexView, EachClickNotifiesOnceWithTheClickedByte) {
    view.SetData(bytes.data(), 256);
    Click(CellCentre(37, HexColumn::Hex));
    Click(CellCentre(100, HexColumn::Text));
    ASSERT_EQ(parent.carets.size(), 2u);
    EXPECT_EQ(parent.carets[0], 37u);
    EXPECT_EQ(parent.carets[1], 100u);
    EXPECT_EQ(view.GetCaret(), kNone);  // the caret of a click lasts for its notification only
    EXPECT_TRUE(Model().TextSide());
}

TEST_F(HexView, ClicksOffTheBytesNotifyWithoutACaret) {
    view.SetData(bytes.data(), 256);
    const int y = Layout().lineHeight / 2;
    Click(POINT{Layout().addressWidth / 2, y});                         // address column
    Click(POINT{Layout().hexCells[15].right + 2, y});                   // gap between the blocks
    Click(POINT{Model().BytesRight() + 5, y});                          // right margin
    view.SetData(nullptr, 0);
    Click(CellCentre(3, HexColumn::Hex));                               // no data
    EXPECT_EQ(parent.carets, (std::vector<uint64_t>{kNone, kNone, kNone, kNone}));
}

TEST_F(HexView, AClickBelowAShortFileGivesAnOffsetPastItsEnd) {
    view.SetData(bytes.data(), 17);
    Click(CellCentre(16 * 5 + 2, HexColumn::Hex));
    ASSERT_EQ(parent.carets.size(), 1u);
    EXPECT_EQ(parent.carets[0], 82u);
}

TEST_F(HexView, TheMouseWheelIsLeftToTheParent) {
    view.SetData(bytes.data(), bytes.size());
    const uint64_t before = Model().ScrollPosition();
    RECT r;
    view.GetWindowRect(&r);
    view.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), MAKELPARAM(r.left + 50, r.top + 50));
    EXPECT_EQ(parent.wheelMessages, 1);
    EXPECT_EQ(Model().ScrollPosition(), before);
    EXPECT_EQ(::GetScrollPos(view.m_hWnd, SB_VERT), 0);
}

// --- Keyboard ------------------------------------------------------------------

TEST_F(HexView, EachHandledKeyNotifiesOnce) {
    view.SetData(bytes.data(), 33);
    Key(VK_UP);    // no caret yet: nothing to move
    Key(VK_LEFT);
    Key(VK_PRIOR);
    Key(VK_DOWN);
    Key(VK_RIGHT);
    EXPECT_TRUE(parent.carets.empty());
    Key(VK_END);
    Key(VK_LEFT);
    Key(VK_UP);
    Key(VK_HOME);
    Key(VK_UP);    // row 0: ignored
    Key(VK_NEXT);
    Key(VK_F5);    // not a navigation key
    EXPECT_EQ(parent.carets, (std::vector<uint64_t>{32, 31, 15, 0, 32}));
    EXPECT_EQ(view.GetCaret(), 32u);  // key carets stay
}

TEST_F(HexView, KeysWithoutDataDoNothing) {
    for (WPARAM vk : {VK_HOME, VK_END, VK_NEXT, VK_DOWN}) Key(vk);
    EXPECT_TRUE(parent.carets.empty());
    EXPECT_EQ(view.GetCaret(), kNone);
}

// --- Scroll bar ------------------------------------------------------------------

TEST_F(HexView, ScrollBarShowsOnlyWhenThereIsSomethingToScroll) {
    view.SetData(bytes.data(), 64);
    EXPECT_EQ(::GetWindowLongW(view.m_hWnd, GWL_STYLE) & WS_VSCROLL, 0);
    view.SetData(bytes.data(), bytes.size());  // 256 rows
    EXPECT_NE(::GetWindowLongW(view.m_hWnd, GWL_STYLE) & WS_VSCROLL, 0);
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    ASSERT_TRUE(::GetScrollInfo(view.m_hWnd, SB_VERT, &info));
    EXPECT_EQ(info.nMin, 0);
    EXPECT_EQ(static_cast<uint64_t>(info.nMax), 256 - Model().VisibleRowCount());
    EXPECT_EQ(info.nPos, 0);
    view.SetData(nullptr, 0);
    EXPECT_EQ(::GetWindowLongW(view.m_hWnd, GWL_STYLE) & WS_VSCROLL, 0);
}

TEST_F(HexView, ScrollCodesMoveTheScrollBar) {
    view.SetData(bytes.data(), bytes.size());
    const int maximum = static_cast<int>(Model().ScrollMaximum());
    auto scroll = [this](WORD code, WORD thumb = 0) {
        view.SendMessage(WM_VSCROLL, MAKEWPARAM(code, thumb), 0);
        return ::GetScrollPos(view.m_hWnd, SB_VERT);
    };
    EXPECT_EQ(scroll(SB_LINEUP), 0);
    EXPECT_EQ(scroll(SB_LINEDOWN), 1);
    EXPECT_EQ(scroll(SB_PAGEDOWN), 11);
    EXPECT_EQ(scroll(SB_THUMBTRACK, 100), 100);
    EXPECT_EQ(Model().FirstVisibleRow(), 100u);
    EXPECT_EQ(scroll(SB_BOTTOM), maximum - 1);
    EXPECT_EQ(scroll(SB_PAGEDOWN), maximum);
    EXPECT_EQ(scroll(SB_TOP), 0);
}

TEST_F(HexView, OneHundredThousandRowsAreGroupedFourPerUnit) {
    std::vector<unsigned char> large(100000 * 16);
    view.SetData(large.data(), large.size());
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE;
    ASSERT_TRUE(::GetScrollInfo(view.m_hWnd, SB_VERT, &info));
    EXPECT_EQ(info.nMax, 25000);
    view.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 25000), 0);
    EXPECT_EQ(Model().FirstVisibleRow(), 99999u);
    view.SetSelection(50001ull * 16, 50001ull * 16 + 3);
    EXPECT_EQ(::GetScrollPos(view.m_hWnd, SB_VERT), 12500);
    EXPECT_EQ(Model().FirstVisibleRow(), 50001u);
    view.SetData(nullptr, 0);
}

TEST_F(HexView, SelectionScrollsItsFirstRowToTheTopUnlessItIsOnScreen) {
    view.SetData(bytes.data(), bytes.size());
    view.SetSelection(16 * 3, 16 * 200);
    EXPECT_EQ(::GetScrollPos(view.m_hWnd, SB_VERT), 0);
    view.SetSelection(16 * 100 + 4, 16 * 101);
    EXPECT_EQ(::GetScrollPos(view.m_hWnd, SB_VERT), 100);
    view.SetSelection(kNone, kNone);  // shown selection: ignored
    EXPECT_EQ(::GetScrollPos(view.m_hWnd, SB_VERT), 100);
}

// --- Painting --------------------------------------------------------------------

TEST_F(HexView, WithoutDataOnlyTheAddressColumnIsPainted) {
    Canvas canvas(Client().right, Client().bottom);
    PaintInto(canvas);
    const HexGeometry& g = Layout();
    const int lastRowTop = static_cast<int>(Model().VisibleRowCount() - 1) * g.lineHeight;
    EXPECT_EQ(canvas.At(g.addressRight / 2, 0), hexcolor::kMargin);
    EXPECT_EQ(canvas.At((g.hexCells[1].left + g.hexCells[1].right) / 2, lastRowTop + 5), hexcolor::kWhite);
    EXPECT_EQ(canvas.At(g.hexCells[3].right, lastRowTop + 5), hexcolor::kMargin);  // separator
    EXPECT_EQ(canvas.At(Model().BytesRight() + 3, 1), hexcolor::kMargin);         // right margin
    // Labels all the way down.
    EXPECT_TRUE(canvas.Holds(RECT{0, lastRowTop, g.addressRight, lastRowTop + g.lineHeight}, RGB(0, 0, 0)));
    EXPECT_FALSE(canvas.Holds(RECT{g.addressRight, 0, Model().BytesRight(), canvas.Height()}, RGB(0, 0, 0)));
}

TEST_F(HexView, CaretRowIsBandedAndTheCaretByteRed) {
    view.SetData(bytes.data(), 64);
    Key(VK_HOME);
    Key(VK_DOWN);
    Key(VK_RIGHT);  // caret 17, hex column active
    Canvas canvas(Client().right, Client().bottom);
    PaintInto(canvas);
    EXPECT_EQ(FillOf(canvas, 20, HexColumn::Hex), hexcolor::kCaretRow);
    EXPECT_EQ(FillOf(canvas, 20, HexColumn::Text), hexcolor::kCaretRow);
    EXPECT_EQ(FillOf(canvas, 4, HexColumn::Hex), hexcolor::kWhite);
    EXPECT_TRUE(canvas.Holds(TextBox(17, HexColumn::Hex), hexcolor::kCaretText));
    EXPECT_TRUE(canvas.Holds(TextBox(17, HexColumn::Text), hexcolor::kCaretText));
    EXPECT_TRUE(canvas.Holds(TextBox(17, HexColumn::Text), hexcolor::kMargin));  // the mirror
    EXPECT_FALSE(canvas.Holds(TextBox(18, HexColumn::Hex), hexcolor::kCaretText));
}

TEST_F(HexView, ASelectionClickedInTheHexColumnIsStrongThere) {
    view.SetData(bytes.data(), 256);
    AnswerClicksWithASelection();
    Click(CellCentre(20, HexColumn::Hex));
    Canvas canvas(Client().right, Client().bottom);
    PaintInto(canvas);
    for (uint64_t offset : {20u, 31u, 32u, 43u}) {
        EXPECT_EQ(FillOf(canvas, offset, HexColumn::Hex), hexcolor::kSelectionStrong) << offset;
        EXPECT_EQ(FillOf(canvas, offset, HexColumn::Text), hexcolor::kSelectionWeak) << offset;
    }
    EXPECT_TRUE(canvas.Holds(TextBox(20, HexColumn::Hex), hexcolor::kWhite));  // white text on blue
    EXPECT_EQ(FillOf(canvas, 19, HexColumn::Hex), hexcolor::kWhite);
    EXPECT_EQ(FillOf(canvas, 44, HexColumn::Text), hexcolor::kWhite);
    EXPECT_FALSE(canvas.Holds(RECT{Layout().addressWidth, 0, Model().BytesRight(), canvas.Height()},
                              hexcolor::kCaretRow));
}

TEST_F(HexView, ASelectionClickedInTheCharacterColumnIsStrongThere) {
    view.SetData(bytes.data(), 256);
    AnswerClicksWithASelection();
    Click(CellCentre(20, HexColumn::Text));
    Canvas canvas(Client().right, Client().bottom);
    PaintInto(canvas);
    EXPECT_EQ(FillOf(canvas, 25, HexColumn::Text), hexcolor::kSelectionStrong);
    EXPECT_EQ(FillOf(canvas, 25, HexColumn::Hex), hexcolor::kSelectionWeak);
    EXPECT_EQ(canvas.MostCommon(TextBox(25, HexColumn::Hex)), hexcolor::kSelectionWeak);
    EXPECT_TRUE(canvas.Holds(TextBox(25, HexColumn::Hex), RGB(0, 0, 0)));
}

TEST_F(HexView, CharacterColumnShowsPrintableBytesAndDotsForTheRest) {
    const unsigned char sample[] = {'&', ' ', '{', 0x1F};
    view.SetData(sample, sizeof sample);
    Canvas canvas(Client().right, Client().bottom);
    PaintInto(canvas);
    const auto inkOf = [&](uint64_t offset) {
        const auto colours = canvas.Colours(TextBox(offset, HexColumn::Text));
        return colours.count(RGB(0, 0, 0)) ? colours.at(RGB(0, 0, 0)) : 0;
    };
    EXPECT_GT(inkOf(0), inkOf(2)) << "an ampersand is drawn, not taken as a prefix";
    EXPECT_EQ(inkOf(1), 0);
    EXPECT_EQ(inkOf(2), inkOf(3)) << "both are dots";
    EXPECT_GT(inkOf(3), 0);
    view.SetData(nullptr, 0);
}

TEST_F(HexView, AWindowLowerThanARowShowsNoRows) {
    view.SetData(bytes.data(), 256);
    const int frame = WindowSize().cy - Client().bottom;
    view.MoveWindow(8, 8, 700, frame + Layout().lineHeight - 1);
    ASSERT_LT(Client().bottom, Layout().lineHeight);
    EXPECT_EQ(Model().VisibleRowCount(), 0u);
    Canvas canvas(Client().right, std::max<int>(Client().bottom, 1));
    PaintInto(canvas);
    EXPECT_FALSE(canvas.Holds(RECT{0, 0, canvas.Width(), canvas.Height()}, RGB(0, 0, 0)));
}

TEST_F(HexView, HeaderBandCoversTheCaptionStrip) {
    const SIZE size = WindowSize();
    Canvas canvas(size.cx, size.cy);
    CaptureWindow(canvas);
    const HexGeometry& g = Layout();
    EXPECT_EQ(canvas.At(5, 0), hexcolor::kHeaderLight);
    EXPECT_EQ(canvas.At(0, 5), hexcolor::kHeaderLight);
    EXPECT_EQ(canvas.At(Model().BytesRight() + 10, 4), hexcolor::kHeaderFace);
    // The bevel darkens downwards, as far as the caption strip reaches: the
    // client area may cover its last lines.
    POINT clientOrigin{0, 0};
    ::ClientToScreen(view.m_hWnd, &clientOrigin);
    RECT window;
    view.GetWindowRect(&window);
    const int clientTop = clientOrigin.y - window.top;
    const COLORREF shades[] = {hexcolor::kHeaderShade1, hexcolor::kHeaderShade2, hexcolor::kHeaderShade3};
    ASSERT_GT(clientTop, g.lineHeight) << "the caption strip holds at least the band's face";
    for (int i = 0; i < 3 && g.lineHeight + i < clientTop; ++i) {
        EXPECT_EQ(canvas.At(5, g.lineHeight + i), shades[i]) << "bevel line " << i;
    }
    for (int k = 0; k < 16; ++k) {
        const HexSpan hex = g.hexCells[k];
        const HexSpan chars = g.charCells[k];
        EXPECT_TRUE(canvas.Holds(RECT{hex.left, 2, hex.right, g.lineHeight - 2}, RGB(0, 0, 0))) << "digit " << k;
        EXPECT_TRUE(canvas.Holds(RECT{chars.left, 2, chars.right, g.lineHeight - 2}, RGB(0, 0, 0))) << k;
        EXPECT_EQ(canvas.At(hex.left + g.hexCellWidth / 2, g.lineHeight - 1), RGB(0, 0, 0)) << "tick " << k;
    }
}

// Screenshots of the whole view, with the header band, for people to look at.
TEST_F(HexView, SavesScreenshots) {
#ifdef ORVEL_SCREENSHOT_DIR
    const std::wstring folder = L"" ORVEL_SCREENSHOT_DIR;
    ::CreateDirectoryW(folder.c_str(), nullptr);
    std::vector<unsigned char> file(3000);
    const char text[] = "DICM\x02\x00\x10\x00UI\x14\x00" "1.2.840.10008.1.2.1\0&{|}~ yz";
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<unsigned char>(i * 37 + (i >> 4));
    std::copy(std::begin(text), std::end(text), file.begin() + 128);
    view.SetData(file.data(), file.size());
    view.MoveWindow(8, 8, Model().BytesRight() + 40, 420);
    AnswerClicksWithASelection();
    const SIZE size = WindowSize();

    view.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 6), 0);
    Click(CellCentre(16 * 8 + 4, HexColumn::Hex));
    Canvas hex(size.cx, size.cy);
    CaptureWindow(hex);
    EXPECT_TRUE(hex.SaveBmp(folder + L"/hexedit-hex-selection.bmp"));

    Click(CellCentre(16 * 10 + 9, HexColumn::Text));
    Canvas chars(size.cx, size.cy);
    CaptureWindow(chars);
    EXPECT_TRUE(chars.SaveBmp(folder + L"/hexedit-text-selection.bmp"));

    parent.onCaret = nullptr;
    view.SetData(file.data(), file.size());
    Click(CellCentre(0, HexColumn::Hex));  // unanswered: drops the selection, hex column active
    Key(VK_HOME);
    Key(VK_DOWN);
    Key(VK_DOWN);
    Key(VK_RIGHT);
    Key(VK_RIGHT);  // caret on offset 34, its row at the top
    Canvas caret(size.cx, size.cy);
    CaptureWindow(caret);
    EXPECT_TRUE(caret.SaveBmp(folder + L"/hexedit-caret.bmp"));

    view.SetData(nullptr, 0);
    Canvas empty(size.cx, size.cy);
    CaptureWindow(empty);
    EXPECT_TRUE(empty.SaveBmp(folder + L"/hexedit-no-data.bmp"));
#else
    GTEST_SKIP() << "built without a screenshot folder";
#endif
}

}  // namespace
