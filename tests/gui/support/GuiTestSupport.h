// Pieces every window test needs: a bitmap to paint into and read back (and
// save for a look), and a window class for the test's own parent windows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

namespace guitest {

// A 32-bit top-down bitmap, black at first, to paint into and read pixels from.
class Canvas {
public:
    Canvas(int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC Dc() const { return dc_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    COLORREF At(int x, int y) const;
    // How many pixels of each colour the rectangle holds (clipped to the bitmap).
    std::map<COLORREF, int> Colours(const RECT& r) const;
    COLORREF MostCommon(const RECT& r) const;
    bool Holds(const RECT& r, COLORREF colour) const { return Colours(r).count(colour) != 0; }
    // Writes the bitmap as a 24-bit BMP file.
    bool SaveBmp(const std::wstring& path) const;

private:
    int width_;
    int height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    uint32_t* bits_ = nullptr;
};

// Registers (once per name) a window class for CWnd objects made by the test,
// with the arrow cursor and the dialog background; its name.
const wchar_t* RegisterTestWindowClass(const wchar_t* name);

}  // namespace guitest
