#include "framework/Font.h"

#include <cwchar>
#include <cstdlib>

BOOL CFont::CreatePointFont(int pointTenths, LPCWSTR faceName, HDC dc) {
    DeleteObject();

    LOGFONTW font{};
    font.lfCharSet = DEFAULT_CHARSET;
    if (faceName != nullptr) {
        std::wcsncpy(font.lfFaceName, faceName, LF_FACESIZE - 1);
    }

    // Tenths of a point to device pixels (a point is 1/72 inch), then to
    // logical units of the context; negative: a character height, not a cell height.
    HDC screen = dc == nullptr ? ::GetDC(nullptr) : nullptr;
    HDC target = dc != nullptr ? dc : screen;
    if (target == nullptr) {
        return FALSE;
    }
    POINT size{0, ::MulDiv(::GetDeviceCaps(target, LOGPIXELSY), pointTenths, 720)};
    POINT origin{0, 0};
    ::DPtoLP(target, &size, 1);
    ::DPtoLP(target, &origin, 1);
    font.lfHeight = -std::abs(size.y - origin.y);
    if (screen != nullptr) {
        ::ReleaseDC(nullptr, screen);
    }

    m_hFont = ::CreateFontIndirectW(&font);
    return m_hFont != nullptr;
}

BOOL CFont::DeleteObject() {
    if (m_hFont == nullptr) {
        return FALSE;
    }
    const BOOL deleted = ::DeleteObject(m_hFont);
    m_hFont = nullptr;
    return deleted;
}
