// CFont: owns one GDI font, deleted with the object.
#pragma once

#include <windows.h>

class CFont {
public:
    CFont() = default;
    ~CFont() { DeleteObject(); }

    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;

    // A font of the given size in tenths of a point (80 = 8 points) for the
    // device context dc, or the screen when dc is null: the height follows
    // the device's vertical resolution (LOGPIXELSY). Default character set.
    BOOL CreatePointFont(int pointTenths, LPCWSTR faceName, HDC dc = nullptr);

    BOOL DeleteObject();

    HFONT GetSafeHandle() const { return m_hFont; }
    operator HFONT() const { return m_hFont; }

private:
    HFONT m_hFont = nullptr;
};
