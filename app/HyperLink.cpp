#include "app/HyperLink.h"

#include <shellapi.h>

#include <cwchar>

#include "app/resource.h"
#include "framework/WinApp.h"

namespace {

constexpr UINT_PTR kHoverTimer = 1;
constexpr UINT kHoverPeriodMs = 10;

}  // namespace

MCHyperLink::MCHyperLink() {
    m_handCursor = ::LoadCursorW(nullptr, IDC_HAND);
    if (m_handCursor == nullptr) {
        m_handCursor = ::LoadCursorW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_HAND_CURSOR));
    }
}

MCHyperLink::~MCHyperLink() {
    // The window gives up the font before it is deleted.
    if (m_hWnd != nullptr) {
        UnsubclassWindow();
    }
    if (m_underlinedFont != nullptr) {
        ::DeleteObject(m_underlinedFont);
    }
}

const MessageMap* MCHyperLink::GetMessageMap() const {
    static const MessageEntry entries[] = {
        OnReflectedMessage(WM_CTLCOLORSTATIC, &MCHyperLink::OnCtlColor),
        OnReflectedCommand(STN_CLICKED, &MCHyperLink::OnClicked),
        OnMessage(WM_MOUSEMOVE, &MCHyperLink::OnMouseMove),
        OnMessage(WM_TIMER, &MCHyperLink::OnTimer),
        OnMessage(WM_SETCURSOR, &MCHyperLink::OnSetCursor),
        OnMessage(WM_KEYDOWN, &MCHyperLink::OnKeyDown),
        OnMessage(WM_GETDLGCODE, &MCHyperLink::OnGetDlgCode),
    };
    static const MessageMap map{CStatic::GetMessageMap(), entries, sizeof entries / sizeof entries[0]};
    return &map;
}

void MCHyperLink::OnSubclassed() {
    SetUnderlined(m_underlined);
}

void MCHyperLink::SetLinkColors(COLORREF link, COLORREF visited, COLORREF hover) {
    m_linkColor = link;
    m_visitedColor = visited;
    m_hoverColor = hover;
    if (m_hWnd != nullptr) {
        RedrawNow();
    }
}

void MCHyperLink::SetUnderlined(bool underlined) {
    m_underlined = underlined;
    if (m_hWnd == nullptr) {
        return;
    }
    LOGFONTW font{};
    HFONT current = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
    if (current == nullptr || ::GetObjectW(current, sizeof font, &font) == 0) {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        font = metrics.lfMessageFont;
    }
    font.lfUnderline = underlined ? TRUE : FALSE;
    HFONT made = ::CreateFontIndirectW(&font);
    if (made == nullptr) {
        return;
    }
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(made), FALSE);
    if (m_underlinedFont != nullptr) {
        ::DeleteObject(m_underlinedFont);
    }
    m_underlinedFont = made;
    RedrawNow();
}

COLORREF MCHyperLink::GetTextColor() const {
    if (m_hovering || (m_hWnd != nullptr && ::GetFocus() == m_hWnd)) {
        return m_hoverColor;
    }
    return m_visited ? m_visitedColor : m_linkColor;
}

RECT MCHyperLink::GetLinkRect() const {
    RECT rect{};
    GetClientRect(&rect);
    const std::wstring text = GetWindowText();
    SIZE size{};
    if (HDC dc = ::GetDC(m_hWnd)) {
        HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)));
        ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        ::SelectObject(dc, old);
        ::ReleaseDC(m_hWnd, dc);
    }
    const LONG width = rect.right - rect.left;
    const LONG textWidth = size.cx < width ? size.cx : width;
    const LONG style = ::GetWindowLongW(m_hWnd, GWL_STYLE) & SS_TYPEMASK;
    if (style == SS_CENTER) {
        rect.left += (width - textWidth) / 2;
        rect.right = rect.left + textWidth;
    } else if (style == SS_RIGHT) {
        rect.left = rect.right - textWidth;
    } else {
        rect.right = rect.left + textWidth;
    }
    return rect;
}

bool MCHyperLink::IsCursorOverLink() const {
    POINT cursor{};
    if (!::GetCursorPos(&cursor)) {
        return false;
    }
    ::ScreenToClient(m_hWnd, &cursor);
    const RECT link = GetLinkRect();
    return ::PtInRect(&link, cursor) != FALSE;
}

LRESULT MCHyperLink::OnCtlColor(WPARAM wParam, LPARAM lParam) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    // The brush and colours the parent's default handling gives a static
    // control; then the link's text colour over a transparent background.
    const LRESULT brush = ::DefWindowProcW(GetParent(), WM_CTLCOLORSTATIC, wParam, lParam);
    ::SetTextColor(dc, GetTextColor());
    ::SetBkMode(dc, TRANSPARENT);
    return brush;
}

LRESULT MCHyperLink::OnMouseMove(WPARAM, LPARAM) {
    if (IsCursorOverLink()) {
        ::SetTimer(m_hWnd, kHoverTimer, kHoverPeriodMs, nullptr);
    }
    return Default();
}

LRESULT MCHyperLink::OnTimer(WPARAM wParam, LPARAM) {
    if (wParam != kHoverTimer) {
        return Default();
    }
    const bool over = IsCursorOverLink();
    if (over != m_hovering) {
        m_hovering = over;
        RedrawNow();
    }
    if (!over) {
        ::KillTimer(m_hWnd, kHoverTimer);
    }
    return 0;
}

LRESULT MCHyperLink::OnSetCursor(WPARAM, LPARAM) {
    if (m_handCursor != nullptr && IsCursorOverLink()) {
        ::SetCursor(m_handCursor);
        return TRUE;
    }
    return Default();
}

void MCHyperLink::FollowLink() {
    if (m_openOnClick) {
        m_visited = OpenLink(m_address, SW_SHOWNORMAL);
    } else {
        m_visited = true;
    }
    RedrawNow();
}

LRESULT MCHyperLink::OnClicked(WPARAM, LPARAM) {
    FollowLink();
    return 0;
}

LRESULT MCHyperLink::OnKeyDown(WPARAM wParam, LPARAM) {
    if (wParam == VK_SPACE || wParam == VK_RETURN) {
        FollowLink();
        return 0;
    }
    return Default();
}

LRESULT MCHyperLink::OnGetDlgCode(WPARAM, LPARAM lParam) {
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (msg != nullptr) {
        if (msg->message == WM_CHAR && msg->wParam == VK_RETURN) {
            return DLGC_WANTMESSAGE;
        }
        if (msg->message == WM_KEYDOWN && (msg->wParam == VK_SPACE || msg->wParam == VK_RETURN)) {
            return DLGC_WANTARROWS;
        }
    }
    return DLGC_WANTCHARS;
}

bool MCHyperLink::OpenLink(const std::wstring& address, int show) {
    const std::wstring& target = address.empty() ? m_address : address;
    const INT_PTR code = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, show));
    if (code > 32) {
        return true;
    }
    ::MessageBeep(MB_ICONEXCLAMATION);
    const CWinApp* app = AfxGetApp();
    const std::wstring caption = app != nullptr ? app->GetAppName() : std::wstring();
    ::MessageBoxW(GetParent(), ErrorText(static_cast<int>(code)).c_str(), caption.c_str(),
                  MB_ICONEXCLAMATION | MB_OK);
    return false;
}

std::wstring MCHyperLink::ErrorText(int code) {
    UINT id = IDS_LINK_UNKNOWN_ERROR;
    switch (code) {
    case 0: id = IDS_LINK_OUT_OF_MEMORY; break;
    case SE_ERR_FNF: id = IDS_LINK_FILE_NOT_FOUND; break;
    case SE_ERR_PNF: id = IDS_LINK_PATH_NOT_FOUND; break;
    case SE_ERR_ACCESSDENIED: id = IDS_LINK_ACCESS_DENIED; break;
    case SE_ERR_OOM: id = IDS_LINK_NOT_ENOUGH_MEMORY; break;
    case ERROR_BAD_FORMAT: id = IDS_LINK_BAD_FORMAT; break;
    case SE_ERR_SHARE: id = IDS_LINK_SHARING_VIOLATION; break;
    case SE_ERR_ASSOCINCOMPLETE: id = IDS_LINK_ASSOCIATION_INCOMPLETE; break;
    case SE_ERR_DDETIMEOUT: id = IDS_LINK_DDE_TIMEOUT; break;
    case SE_ERR_DDEFAIL: id = IDS_LINK_DDE_FAILED; break;
    case SE_ERR_DDEBUSY: id = IDS_LINK_DDE_BUSY; break;
    case SE_ERR_NOASSOC: id = IDS_LINK_NO_ASSOCIATION; break;
    case SE_ERR_DLLNOTFOUND: id = IDS_LINK_DLL_NOT_FOUND; break;
    default: break;
    }
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    std::wstring message = length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
    if (id == IDS_LINK_UNKNOWN_ERROR) {
        wchar_t formatted[256];
        std::swprintf(formatted, 256, message.c_str(), code);
        message = formatted;
    }
    return message;
}
