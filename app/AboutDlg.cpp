#include "app/AboutDlg.h"

#include "app/resource.h"

const wchar_t* BuildWordSizeSuffix() {
    return sizeof(void*) == 8 ? L" (64 bit)" : L" (32 bit)";
}

CAboutDlg::CAboutDlg(CWnd* parent) : CDialog(IDD_ABOUTBOX, parent) {}

BOOL CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // The template's text, each time anew, so the suffix is never doubled.
    HWND item = GetDlgItem(IDC_VERSION_TEXT);
    wchar_t text[256] = L"";
    ::GetWindowTextW(item, text, 256);
    m_version = text;
    m_version += BuildWordSizeSuffix();
    ::SetWindowTextW(item, m_version.c_str());
    return TRUE;
}
