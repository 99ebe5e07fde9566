#include "hexedit/WndHexEditor.h"

#include <windowsx.h>

#include <algorithm>
#include <cwchar>
#include <string>

namespace {

// A pen made for one paint and deleted when it goes out of scope; selected
// into the context meanwhile, the previous pen put back first.
class ScopedPen {
public:
    ScopedPen(HDC dc, COLORREF color) : dc_(dc), pen_(::CreatePen(PS_SOLID, 1, color)) {
        old_ = pen_ != nullptr ? ::SelectObject(dc_, pen_) : nullptr;
    }
    ~ScopedPen() {
        if (old_ != nullptr) ::SelectObject(dc_, old_);
        if (pen_ != nullptr) ::DeleteObject(pen_);
    }
    ScopedPen(const ScopedPen&) = delete;
    ScopedPen& operator=(const ScopedPen&) = delete;

private:
    HDC dc_;
    HPEN pen_;
    HGDIOBJ old_;
};

// A GDI object (bitmap, brush) made for one paint, deleted when it goes out of scope.
class OwnedObject {
public:
    explicit OwnedObject(HGDIOBJ object) : object_(object) {}
    ~OwnedObject() {
        if (object_ != nullptr) ::DeleteObject(object_);
    }
    OwnedObject(const OwnedObject&) = delete;
    OwnedObject& operator=(const OwnedObject&) = delete;
    HGDIOBJ Get() const { return object_; }

private:
    HGDIOBJ object_;
};

// A memory device context compatible with another one, deleted when it goes out of scope.
class MemoryDc {
public:
    explicit MemoryDc(HDC compatibleWith) : dc_(::CreateCompatibleDC(compatibleWith)) {}
    ~MemoryDc() {
        if (dc_ != nullptr) ::DeleteDC(dc_);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

// Selects an object into a context and puts the previous one back; the
// object itself belongs to someone else (the view's font, an OwnedObject).
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc) {
        old_ = object != nullptr ? ::SelectObject(dc_, object) : nullptr;
    }
    ~ScopedSelect() {
        if (old_ != nullptr) ::SelectObject(dc_, old_);
    }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

RECT ToRect(const HexRect& r) {
    return RECT{r.left, r.top, r.right, r.bottom};
}

// Fills a rectangle with a solid colour without creating a brush; the text
// background colour is left as it was.
void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
    const COLORREF old = ::SetBkColor(dc, color);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
    ::SetBkColor(dc, old);
}

void Line(HDC dc, int x1, int y1, int x2, int y2) {
    ::MoveToEx(dc, x1, y1, nullptr);
    ::LineTo(dc, x2, y2);
}

// Text flags: no "&" prefix processing, so the byte 0x26 shows as "&".
constexpr UINT kLeftText = DT_LEFT | DT_NOPREFIX;
constexpr UINT kCentredText = DT_CENTER | DT_NOPREFIX;

void DrawTextIn(HDC dc, const std::wstring& text, RECT rect, UINT format) {
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format);
}

HexTextSize MeasureText(HDC dc, const wchar_t* text) {
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text, static_cast<int>(std::wcslen(text)), &size);
    return HexTextSize{size.cx, size.cy};
}

}  // namespace

MCWndHexEditor::MCWndHexEditor() {
    m_font.CreatePointFont(80, L"MS Sans Serif");
}

MCWndHexEditor::~MCWndHexEditor() {
    // The window goes first: it must not outlive the font it was given.
    DestroyWindow();
}

const MessageMap* MCWndHexEditor::GetMessageMap() const {
    static const MessageEntry entries[] = {
        OnMessage(WM_PAINT, &MCWndHexEditor::OnPaint),
        OnMessage(WM_PRINTCLIENT, &MCWndHexEditor::OnPrintClient),
        OnMessage(WM_ERASEBKGND, &MCWndHexEditor::OnEraseBkgnd),
        OnMessage(WM_NCPAINT, &MCWndHexEditor::OnNcPaint),
        OnMessage(WM_NCHITTEST, &MCWndHexEditor::OnNcHitTest),
        OnMessage(WM_SIZE, &MCWndHexEditor::OnSizeOrMove),
        OnMessage(WM_MOVE, &MCWndHexEditor::OnSizeOrMove),
        OnMessage(WM_VSCROLL, &MCWndHexEditor::OnVScroll),
        OnMessage(WM_LBUTTONDOWN, &MCWndHexEditor::OnLButtonDown),
        OnMessage(WM_KEYDOWN, &MCWndHexEditor::OnKeyDown),
    };
    static const MessageMap map{CWnd::GetMessageMap(), entries, sizeof entries / sizeof entries[0]};
    return &map;
}

// ---------------------------------------------------------------------------
// Creation and public operations

BOOL MCWndHexEditor::Create(CWnd* parent) {
    return Create(parent != nullptr ? parent->m_hWnd : static_cast<HWND>(nullptr));
}

BOOL MCWndHexEditor::Create(HWND parent) {
    WNDCLASSW wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_GLOBALCLASS;
    wc.lpfnWndProc = &CWnd::WindowProcedure;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_IBEAM);
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = HEX_EDITOR_CLASS_NAME;
    if (::RegisterClassW(&wc) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return FALSE;
    }

    // The caption gives the non-client strip the column header is painted in.
    const RECT empty{0, 0, 0, 0};
    if (!CreateEx(WS_EX_STATICEDGE | WS_EX_TOOLWINDOW, HEX_EDITOR_CLASS_NAME, L"",
                  WS_CHILD | WS_VISIBLE | WS_CAPTION | WS_VSCROLL, empty, parent,
                  HEX_EDITOR_CONTROL_ID)) {
        return FALSE;
    }
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_font.GetSafeHandle()), FALSE);
    ::ShowScrollBar(m_hWnd, SB_VERT, FALSE);
    RecalcLayout();
    return TRUE;
}

void MCWndHexEditor::SetData(const unsigned char* data, uint64_t size) {
    m_model.SetData(data, size);
    if (m_hWnd == nullptr) {
        return;
    }
    // The maximum never exceeds the model's limit of scroll units, so it fits an int.
    const int maximum = static_cast<int>(m_model.ScrollMaximum());
    ::ShowScrollBar(m_hWnd, SB_VERT, maximum != 0);
    ::SetScrollRange(m_hWnd, SB_VERT, 0, maximum, TRUE);
    UpdateScrollPosition();
    Invalidate(FALSE);
}

void MCWndHexEditor::SetSelection(uint64_t start, uint64_t end) {
    m_model.SetSelection(start, end);
    if (m_hWnd == nullptr) {
        return;
    }
    UpdateScrollPosition();
    Invalidate(FALSE);
}

void MCWndHexEditor::ClearSelection() {
    m_model.ClearSelection();
    if (m_hWnd == nullptr) {
        return;
    }
    UpdateScrollPosition();
    Invalidate(FALSE);
}

void MCWndHexEditor::UpdateScrollPosition() {
    ::SetScrollPos(m_hWnd, SB_VERT, static_cast<int>(m_model.ScrollPosition()), TRUE);
}

void MCWndHexEditor::NotifyCaretChanged() {
    HWND parent = GetParent();
    if (parent != nullptr) {
        ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(HEXN_CARETCHANGED, 0), 0);
    }
}

// ---------------------------------------------------------------------------
// Messages

LRESULT MCWndHexEditor::OnSizeOrMove(WPARAM, LPARAM) {
    const LRESULT result = Default();
    RecalcLayout();
    return result;
}

LRESULT MCWndHexEditor::OnVScroll(WPARAM wParam, LPARAM) {
    HexScroll code;
    switch (LOWORD(wParam)) {
    case SB_LINEUP: code = HexScroll::LineUp; break;
    case SB_LINEDOWN: code = HexScroll::LineDown; break;
    case SB_PAGEUP: code = HexScroll::PageUp; break;
    case SB_PAGEDOWN: code = HexScroll::PageDown; break;
    case SB_THUMBPOSITION: code = HexScroll::ThumbPosition; break;
    case SB_THUMBTRACK: code = HexScroll::ThumbTrack; break;
    case SB_TOP: code = HexScroll::Top; break;
    case SB_BOTTOM: code = HexScroll::Bottom; break;
    case SB_ENDSCROLL: code = HexScroll::EndScroll; break;
    default: return Default();
    }
    // The thumb position fits the message's 16 bits: the range stays below 32768.
    if (m_model.Scroll(code, HIWORD(wParam))) {
        UpdateScrollPosition();
        Invalidate(FALSE);
    }
    return 0;
}

LRESULT MCWndHexEditor::OnLButtonDown(WPARAM, LPARAM lParam) {
    m_model.Click(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    const LRESULT result = Default();
    // The parent reads the clicked offset with GetCaret while it handles
    // this, and normally answers with SetSelection, which repaints.
    NotifyCaretChanged();
    m_model.EndClick();
    return result;
}

LRESULT MCWndHexEditor::OnKeyDown(WPARAM wParam, LPARAM) {
    HexKey key;
    switch (wParam) {
    case VK_UP: key = HexKey::Up; break;
    case VK_DOWN: key = HexKey::Down; break;
    case VK_LEFT: key = HexKey::Left; break;
    case VK_RIGHT: key = HexKey::Right; break;
    case VK_PRIOR: key = HexKey::PageUp; break;
    case VK_NEXT: key = HexKey::PageDown; break;
    case VK_HOME: key = HexKey::Home; break;
    case VK_END: key = HexKey::End; break;
    default: return Default();
    }
    if (!m_model.Key(key)) {
        return Default();
    }
    UpdateScrollPosition();
    Invalidate(FALSE);
    NotifyCaretChanged();
    return 0;
}

// ---------------------------------------------------------------------------
// Layout and painting

void MCWndHexEditor::RecalcLayout() {
    if (m_hWnd == nullptr) {
        return;
    }
    HDC dc = ::GetDC(m_hWnd);
    if (dc == nullptr) {
        return;
    }
    HexTextSize address, hexCell, charCell;
    {
        ScopedSelect font(dc, m_font.GetSafeHandle());
        address = MeasureText(dc, CHexEditorModel::kAddressSample);
        hexCell = MeasureText(dc, CHexEditorModel::kHexCellSample);
        charCell = MeasureText(dc, CHexEditorModel::kCharCellSample);
    }
    ::ReleaseDC(m_hWnd, dc);
    RECT client{};
    GetClientRect(&client);
    m_model.SetLayout(address, hexCell, charCell, client.right, client.bottom);
}

LRESULT MCWndHexEditor::OnEraseBkgnd(WPARAM, LPARAM) {
    return 1;
}

LRESULT MCWndHexEditor::OnPaint(WPARAM, LPARAM) {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    if (dc != nullptr) {
        PaintClient(dc);
    }
    ::EndPaint(m_hWnd, &ps);
    return 0;
}

LRESULT MCWndHexEditor::OnPrintClient(WPARAM wParam, LPARAM) {
    PaintClient(reinterpret_cast<HDC>(wParam));
    return 0;
}

// Paints the whole client area off screen and copies it to target in one go.
// The GDI objects are released on every way out, an exception included.
void MCWndHexEditor::PaintClient(HDC target) {
    RECT client{};
    GetClientRect(&client);
    const int width = client.right;
    const int height = client.bottom;
    if (target == nullptr || width <= 0 || height <= 0) {
        return;
    }
    MemoryDc memory(target);
    OwnedObject bitmap(::CreateCompatibleBitmap(target, width, height));
    if (memory.Get() == nullptr || bitmap.Get() == nullptr) {
        return;
    }
    HDC dc = memory.Get();
    ScopedSelect selectedBitmap(dc, bitmap.Get());
    {
        ScopedPen pen(dc, hexcolor::kWhite);
        OwnedObject brush(::CreateSolidBrush(hexcolor::kWhite));
        ScopedSelect selectedBrush(dc, brush.Get());
        ::Rectangle(dc, 0, 0, width, height);
    }
    {
        ScopedSelect font(dc, m_font.GetSafeHandle());
        DrawAddressColumn(dc);
        if (m_model.HasData()) {
            DrawHighlights(dc);
            DrawBytes(dc);
        }
    }
    ::BitBlt(target, 0, 0, width, height, dc, 0, 0, SRCCOPY);
}

void MCWndHexEditor::DrawAddressColumn(HDC dc) {
    const HexGeometry& g = m_model.Geometry();
    const int width = m_model.ClientWidth();
    const int height = m_model.ClientHeight();
    FillSolid(dc, RECT{0, 0, g.addressRight, height}, hexcolor::kMargin);
    FillSolid(dc, RECT{m_model.BytesRight(), 0, width, height}, hexcolor::kMargin);
    DrawSeparators(dc);

    // Labels run down the whole window, past the end of the data.
    ::SetBkColor(dc, hexcolor::kMargin);
    ::SetTextColor(dc, hexcolor::kBlack);
    const uint64_t first = m_model.FirstVisibleRow();
    const uint64_t fit = m_model.VisibleRowCount();
    int y = 0;
    for (uint64_t r = 0; r < fit; ++r, y += g.addressTextHeight) {
        DrawTextIn(dc, CHexEditorModel::AddressLabel(first + r),
                   RECT{g.addressLeft, y + 2, g.addressRight, y + g.addressTextHeight}, kLeftText);
    }
}

void MCWndHexEditor::DrawSeparators(HDC dc) {
    const HexGeometry& g = m_model.Geometry();
    const int bottom = m_model.ClientHeight();
    ScopedPen pen(dc, hexcolor::kMargin);
    // A line after every fourth hex cell, and the gap before the character
    // block filled with four.
    for (int k : {3, 7, 11}) {
        Line(dc, g.hexCells[k].right, 0, g.hexCells[k].right, bottom);
    }
    for (int dx = 0; dx < 4; ++dx) {
        Line(dc, g.hexCells[15].right + dx, 0, g.hexCells[15].right + dx, bottom);
    }
}

void MCWndHexEditor::DrawHighlights(HDC dc) {
    DrawSeparators(dc);

    HexRect band;
    if (m_model.CaretBand(&band)) {
        FillSolid(dc, ToRect(band), hexcolor::kCaretRow);
    }
    if (!m_model.HasCompleteSelection()) {
        return;
    }
    // The active column first, then its mirror in the other one; only the
    // painted rows are looked at, whatever the size of the selection.
    const HexGeometry& g = m_model.Geometry();
    const uint64_t first = m_model.FirstVisibleRow();
    const uint64_t last = m_model.LastPaintedRow();
    const HexColumn active = m_model.TextSide() ? HexColumn::Text : HexColumn::Hex;
    const HexColumn other = m_model.TextSide() ? HexColumn::Hex : HexColumn::Text;
    for (HexColumn column : {active, other}) {
        for (uint64_t row = first; row < last; ++row) {
            const int top = g.lineHeight * static_cast<int>(row - first);
            for (int k = 0; k < 16; ++k) {
                HexColor color;
                if (m_model.SelectionFill(row * CHexEditorModel::kBytesPerRow + k, column, &color)) {
                    const HexSpan cell = m_model.Cell(column, k);
                    FillSolid(dc, RECT{cell.left, top, cell.right, top + g.lineHeight}, color);
                }
            }
        }
    }
}

void MCWndHexEditor::DrawBytes(HDC dc) {
    const HexGeometry& g = m_model.Geometry();
    const uint8_t* data = m_model.Data();
    const uint64_t size = m_model.Size();
    const uint64_t first = m_model.FirstVisibleRow();
    const uint64_t end = first + m_model.VisibleRowCount();
    const int pitch = std::max(g.hexCellHeight, g.charCellHeight);
    int y = 0;
    for (uint64_t row = first; row < end; ++row, y += pitch) {
        for (int k = 0; k < 16; ++k) {
            const uint64_t i = row * CHexEditorModel::kBytesPerRow + k;
            if (i >= size) {
                return;
            }
            const uint8_t byte = data[i];

            HexCellStyle style = m_model.ByteStyle(i, HexColumn::Hex);
            ::SetTextColor(dc, style.text);
            ::SetBkColor(dc, style.background);
            DrawTextIn(dc, CHexEditorModel::HexText(byte),
                       RECT{g.hexCells[k].left, y + 2, g.hexCells[k].right, y + g.hexCellHeight},
                       kCentredText);

            style = m_model.ByteStyle(i, HexColumn::Text);
            ::SetTextColor(dc, style.text);
            ::SetBkColor(dc, style.background);
            DrawTextIn(dc, std::wstring(1, CHexEditorModel::CharText(byte)),
                       RECT{g.charCells[k].left, y + 2, g.charCells[k].right, y + g.charCellHeight},
                       kCentredText);
        }
    }
}

LRESULT MCWndHexEditor::OnNcPaint(WPARAM, LPARAM) {
    Default();  // the frame, the scroll bar and the caption strip
    RECT window{};
    GetWindowRect(&window);
    m_model.SetHeaderForWindow(window.right - window.left);
    HDC dc = ::GetWindowDC(m_hWnd);
    if (dc != nullptr) {
        {
            ScopedSelect font(dc, m_font.GetSafeHandle());
            DrawHeader(dc);
        }
        ::ReleaseDC(m_hWnd, dc);
    }
    return 0;
}

LRESULT MCWndHexEditor::OnNcHitTest(WPARAM, LPARAM) {
    // The caption strip only holds the column band. As a caption it would
    // move the view out of its place on a drag; answered as the border, it
    // does nothing on a press, a drag or a double click.
    const LRESULT hit = Default();
    switch (hit) {
    case HTCAPTION:
    case HTSYSMENU:
    case HTMINBUTTON:
    case HTMAXBUTTON:
    case HTCLOSE:
    case HTHELP:
        return HTBORDER;
    default:
        return hit;
    }
}

// The column numbers over the caption strip, in window coordinates but at the
// cells' client x positions.
void MCWndHexEditor::DrawHeader(HDC dc) {
    const HexGeometry& g = m_model.Geometry();
    const HexRect& h = g.header;
    FillSolid(dc, ToRect(h), hexcolor::kHeaderFace);
    {
        ScopedPen pen(dc, hexcolor::kHeaderLight);
        Line(dc, 0, 0, h.right, 0);
        Line(dc, 0, 0, 0, h.bottom);
    }
    // A bevel that darkens downwards.
    const COLORREF shades[] = {hexcolor::kHeaderShade1, hexcolor::kHeaderShade2, hexcolor::kHeaderShade3};
    for (int i = 0; i < 3; ++i) {
        ScopedPen pen(dc, shades[i]);
        Line(dc, 1, h.bottom - 2 + i, h.right, h.bottom - 2 + i);
    }

    ::SetBkColor(dc, hexcolor::kHeaderFace);
    ::SetTextColor(dc, hexcolor::kBlack);
    ScopedPen pen(dc, hexcolor::kBlack);
    for (int k = 0; k < 16; ++k) {
        const std::wstring digit(1, CHexEditorModel::ColumnDigit(k));
        DrawTextIn(dc, digit, RECT{g.hexCells[k].left, 2, g.hexCells[k].right, g.lineHeight}, kCentredText);
        DrawTextIn(dc, digit, RECT{g.charCells[k].left, 2, g.charCells[k].right, g.lineHeight}, kCentredText);
        const int hexTick = g.hexCells[k].left + g.hexCellWidth / 2;
        const int charTick = g.charCells[k].left + g.charCellWidth / 2;
        Line(dc, hexTick, g.lineHeight - 2, hexTick, g.lineHeight);
        Line(dc, charTick, g.lineHeight - 2, charTick, g.lineHeight);
    }
}
