#include "app/DicomLib.h"

#include <gdiplus.h>

CDicomLib::CDicomLib() {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) {
        m_token = token;
    }
}

CDicomLib::~CDicomLib() {
    if (m_token != 0) {
        Gdiplus::GdiplusShutdown(m_token);
        m_token = 0;
    }
}
