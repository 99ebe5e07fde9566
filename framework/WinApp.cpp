#include "framework/WinApp.h"

#include <shellapi.h>

#include <vector>

#include "framework/Wnd.h"

namespace {

CWinApp* g_app = nullptr;

std::wstring ModulePath() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::wstring();
        }
        if (length < path.size()) {
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.data();
}

std::wstring ModuleBaseName() {
    std::wstring name = ModulePath();
    const size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) {
        name.erase(0, slash + 1);
    }
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot != 0) {
        name.erase(dot);
    }
    return name;
}

}  // namespace

CWinApp* AfxGetApp() {
    return g_app;
}

CWinApp::CWinApp() : m_appName(ModuleBaseName()) {
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) {
        g_app = nullptr;
    }
}

int CWinApp::Run() {
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return ExitInstance();
}

BOOL CWinApp::OnCommand(UINT, UINT) {
    return FALSE;
}

void CWinApp::OnHelp() {
    HWND main = m_pMainWnd != nullptr ? m_pMainWnd->m_hWnd : nullptr;
    if (main != nullptr && ::SendMessageW(main, WM_COMMANDHELP, 0, 0) != 0) {
        return;
    }
    const std::wstring path = GetHelpFilePath();
    const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        ::MessageBeep(MB_OK);
        return;
    }
    ::ShellExecuteW(main, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::wstring CWinApp::GetHelpFilePath() const {
    std::wstring path = ModulePath();
    const size_t slash = path.find_last_of(L"\\/");
    const size_t dot = path.find_last_of(L'.');
    if (path.empty()) {
        return path;
    }
    if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) {
        path.erase(dot);
    }
    return path + L".chm";
}

std::wstring CWinApp::GetSectionKeyPath(const std::wstring& section) const {
    return L"Software\\" + m_registryKey + L"\\" + m_appName + L"\\" + section;
}

std::wstring CWinApp::GetProfileString(const std::wstring& section, const std::wstring& entry,
                                       const std::wstring& defaultValue) const {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, GetSectionKeyPath(section).c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return defaultValue;
    }
    std::wstring value = defaultValue;
    DWORD type = 0;
    DWORD bytes = 0;
    if (::RegQueryValueExW(key, entry.c_str(), nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        // Room for a terminating NUL the stored value may lack.
        std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        if (::RegQueryValueExW(key, entry.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                               &size) == ERROR_SUCCESS) {
            value.assign(buffer.data());
        }
    }
    ::RegCloseKey(key);
    return value;
}

BOOL CWinApp::WriteProfileString(const std::wstring& section, const std::wstring& entry,
                                 const std::wstring& value) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, GetSectionKeyPath(section).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                          nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return FALSE;
    }
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    const LONG status =
        ::RegSetValueExW(key, entry.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS;
}
