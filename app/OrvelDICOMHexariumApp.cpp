#include "app/OrvelDICOMHexariumApp.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "app/OrvelDICOMHexariumDlg.h"

const wchar_t* const kRegistryKey = L"Quillborn";

std::wstring StartupPathFromCommandLine(const wchar_t* commandLine) {
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(commandLine, &count);
    if (arguments == nullptr) {
        return std::wstring();
    }
    std::wstring path = count > 1 ? arguments[1] : L"";
    ::LocalFree(arguments);
    return path;
}

BOOL COrvelDICOMHexariumApp::InitInstance() {
    // List, tree, bar, tab, up-down, progress, hot-key and animation controls.
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = 0xFF;
    ::InitCommonControlsEx(&controls);

    CWinApp::InitInstance();
    SetRegistryKey(kRegistryKey);

    COrvelDICOMHexariumDlg dialog;
    m_pMainWnd = &dialog;
    dialog.SetStartupPath(StartupPathFromCommandLine(::GetCommandLineW()));
    dialog.DoModal();
    m_pMainWnd = nullptr;
    // No message loop: the program ends with the dialog.
    return FALSE;
}

BOOL COrvelDICOMHexariumApp::OnCommand(UINT id, UINT code) {
    if (id == ID_HELP) {
        OnHelp();
        return TRUE;
    }
    return CWinApp::OnCommand(id, code);
}
