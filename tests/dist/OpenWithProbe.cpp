// Opens a file the way Explorer's "Open with" does for a registered ProgID, and reports the
// window that comes up: which program it is, the file in its combo box and its size line.
// The shell is handed the ProgID's key of the user's classes (HKCU\Software\Classes), where a
// per-user installation registers it; Wine does not merge that key into HKEY_CLASSES_ROOT.
//   dist_open_probe PROGID FILE [HOLD_MS]
// Prints "process:", "combo:", "size:" and "loaded" lines (HOLD_MS milliseconds pass after
// "loaded", for a screenshot), then ends the viewer with its Exit button and prints "exit:"
// with its exit code. Exits 0 when the window came up and ended, 1 otherwise; the caller
// judges the texts. Used by scripts/dist_test.py against the installed viewer.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "app/resource.h"

namespace {

const wchar_t kTitle[] = L"Orvel DICOM Hexadecimal Viewer";

void Line(const char* key, const std::wstring& value) {
    char text[4096];
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, value.c_str(), -1, text, sizeof text, nullptr, nullptr);
    std::printf("%s: %s\n", key, n > 0 ? text : "");
    std::fflush(stdout);
}

struct Search {
    DWORD processId;
    HWND window;
};

BOOL CALLBACK FindViewer(HWND window, LPARAM param) {
    Search* search = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    wchar_t title[128] = L"";
    ::GetWindowTextW(window, title, 128);
    if (owner == search->processId && std::wcscmp(title, kTitle) == 0 && ::IsWindowVisible(window)) {
        search->window = window;
        return FALSE;
    }
    return TRUE;
}

std::wstring ItemText(HWND window, int id) {
    wchar_t text[2048] = L"";
    ::GetDlgItemTextW(window, id, text, 2048);
    return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fputs("usage: dist_open_probe PROGID FILE [HOLD_MS]\n", stderr);
        return 2;
    }
    const DWORD hold = argc > 3 ? static_cast<DWORD>(_wtoi(argv[3])) : 0;

    HKEY progId = nullptr;
    const std::wstring keyName = std::wstring(L"Software\\Classes\\") + argv[1];
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, keyName.c_str(), 0, KEY_READ, &progId) != ERROR_SUCCESS) {
        std::puts("error: the ProgID is not registered for the user");
        return 1;
    }
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_CLASSKEY | SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.hkeyClass = progId;
    info.lpVerb = L"open";
    info.lpFile = argv[2];
    info.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExW(&info) || info.hProcess == nullptr) {
        std::printf("error: ShellExecuteEx failed (%lu)\n", ::GetLastError());
        return 1;
    }
    ::RegCloseKey(progId);
    wchar_t image[MAX_PATH] = L"";
    DWORD length = MAX_PATH;
    ::QueryFullProcessImageNameW(info.hProcess, 0, image, &length);
    Line("process", image);

    // The window, once it shows the file's size: the file has then been read. After 20 s
    // whatever it shows is reported.
    WIN32_FILE_ATTRIBUTE_DATA file{};
    ::GetFileAttributesExW(argv[2], GetFileExInfoStandard, &file);
    const std::wstring loaded = L"Size : " + std::to_wstring(file.nFileSizeLow);
    Search search{::GetProcessId(info.hProcess), nullptr};
    std::wstring size;
    for (int i = 0; i < 400; ++i) {
        search.window = nullptr;
        ::EnumWindows(FindViewer, reinterpret_cast<LPARAM>(&search));
        if (search.window != nullptr) {
            size = ItemText(search.window, IDC_SIZE_TEXT);
            if (size == loaded) break;
        }
        if (::WaitForSingleObject(info.hProcess, 50) == WAIT_OBJECT_0) break;
    }
    if (search.window == nullptr) {
        std::puts("error: no viewer window");
        ::TerminateProcess(info.hProcess, 1);
        return 1;
    }
    Line("combo", ItemText(search.window, IDC_FILE_COMBO));
    Line("size", size);
    std::puts("loaded");
    std::fflush(stdout);
    ::Sleep(hold);

    ::PostMessageW(search.window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    if (::WaitForSingleObject(info.hProcess, 10000) != WAIT_OBJECT_0) {
        std::puts("error: the viewer did not end");
        ::TerminateProcess(info.hProcess, 1);
        return 1;
    }
    DWORD code = 1;
    ::GetExitCodeProcess(info.hProcess, &code);
    std::printf("exit: %lu\n", code);
    ::CloseHandle(info.hProcess);
    return 0;
}
