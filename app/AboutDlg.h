// CAboutDlg: the About box: product name, version with the build's word
// size, legal notice and the maker's addresses.
#pragma once

#include <string>

#include "framework/Dialog.h"

// " (64 bit)" or " (32 bit)": the word size of this build.
const wchar_t* BuildWordSizeSuffix();

class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(CWnd* parent = nullptr);

protected:
    BOOL OnInitDialog() override;

private:
    std::wstring m_version;
};
