#include "tests/gui/support/GuiTestSupport.h"

#include <algorithm>
#include <vector>

#include "framework/Wnd.h"

namespace guitest {

Canvas::Canvas(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = ::CreateCompatibleDC(nullptr);
    bitmap_ = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    old_ = ::SelectObject(dc_, bitmap_);
    RECT all{0, 0, width, height};
    ::FillRect(dc_, &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
}

Canvas::~Canvas() {
    ::SelectObject(dc_, old_);
    ::DeleteObject(bitmap_);
    ::DeleteDC(dc_);
}

COLORREF Canvas::At(int x, int y) const {
    ::GdiFlush();
    const uint32_t p = bits_[static_cast<size_t>(y) * width_ + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

std::map<COLORREF, int> Canvas::Colours(const RECT& r) const {
    std::map<COLORREF, int> count;
    for (int y = std::max<LONG>(r.top, 0); y < std::min<LONG>(r.bottom, height_); ++y)
        for (int x = std::max<LONG>(r.left, 0); x < std::min<LONG>(r.right, width_); ++x) ++count[At(x, y)];
    return count;
}

bool Canvas::SaveBmp(const std::wstring& path) const {
    const int rowBytes = (width_ * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width_;
    info.biHeight = height_;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(rowBytes * height_);
    std::vector<BYTE> out(static_cast<size_t>(rowBytes) * height_);
    for (int y = 0; y < height_; ++y) {
        BYTE* row = &out[static_cast<size_t>(height_ - 1 - y) * rowBytes];
        for (int x = 0; x < width_; ++x) {
            const COLORREF c = At(x, y);
            row[3 * x] = GetBValue(c);
            row[3 * x + 1] = GetGValue(c);
            row[3 * x + 2] = GetRValue(c);
        }
    }
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = ::WriteFile(h, &file, sizeof file, &written, nullptr) &&
                    ::WriteFile(h, &info, sizeof info, &written, nullptr) &&
                    ::WriteFile(h, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
    ::CloseHandle(h);
    return ok;
}

COLORREF Canvas::MostCommon(const RECT& r) const {
    COLORREF best = 0;
    int most = -1;
    for (const auto& [colour, n] : Colours(r))
        if (n > most) best = colour, most = n;
    return best;
}

const wchar_t* RegisterTestWindowClass(const wchar_t* name) {
    WNDCLASSW wc{};
    if (::GetClassInfoW(::GetModuleHandleW(nullptr), name, &wc)) {
        return name;
    }
    wc.lpfnWndProc = &CWnd::WindowProcedure;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    ::RegisterClassW(&wc);
    return name;
}

}  // namespace guitest
