// The viewer program itself, started as a user would with a file on its
// command line; and a screenshot of the main window in use.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/OrvelDICOMHexariumApp.h"
#include "app/OrvelDICOMHexariumDlg.h"
#include "app/resource.h"
#include "tests/gui/app/Common.h"
#include "tests/gui/app/Harness.h"

using namespace apptest;

namespace {

std::wstring Backslashes(std::wstring path) {
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

std::wstring Wide(const char* text) {
    return WidePath(text);
}

// The program runs as a copy under a name of its own, so its settings go to a
// key of their own and the viewer's recent files stay as they are.
const wchar_t* const kCopyName = L"orvelhex-cmdline-test";
const wchar_t* const kViewerKey = L"Software\\Quillborn\\orvelhex-cmdline-test";

}  // namespace

TEST(Program, OpensTheFileNamedOnItsCommandLineAndEndsWithTheDialog) {
    if (sizeof(void*) != 8) GTEST_SKIP() << "the 64-bit viewer runs only from 64-bit tests";
    const std::wstring program = Backslashes(Wide(ORVEL_VIEWER_EXE));
    const std::wstring exe = program.substr(0, program.find_last_of(L'\\') + 1) + kCopyName + L".exe";
    ASSERT_TRUE(::CopyFileW(program.c_str(), exe.c_str(), FALSE));
    const std::wstring sample = Backslashes(Wide(ORVEL_SAMPLE_FILE));
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kViewerKey);

    std::wstring commandLine = L"\"" + exe + L"\" \"" + sample + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &process));

    HWND window = nullptr;
    std::wstring size;
    for (int i = 0; i < 200 && size != L"Size : 5050"; ++i) {
        ::Sleep(50);
        window = ::FindWindowW(nullptr, L"Orvel DICOM Hexadecimal Viewer");
        if (window != nullptr) {
            wchar_t text[64] = L"";
            ::GetDlgItemTextW(window, IDC_SIZE_TEXT, text, 64);
            size = text;
        }
    }
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(size, L"Size : 5050");
    wchar_t combo[1024] = L"";
    ::GetDlgItemTextW(window, IDC_FILE_COMBO, combo, 1024);
    EXPECT_EQ(_wcsicmp(combo, sample.c_str()), 0);
    HWND hex = ::FindWindowExW(window, nullptr, L"MyHexEditor", nullptr);
    EXPECT_NE(hex, nullptr);

    // The program's settings: under its own name.
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, (std::wstring(kViewerKey) + L"\\Recent DICOM HEX File").c_str(), 0,
                              KEY_QUERY_VALUE, &key),
              ERROR_SUCCESS);
    wchar_t first[1024] = L"";
    DWORD bytes = sizeof first;
    EXPECT_EQ(::RegQueryValueExW(key, L"URL1", nullptr, nullptr, reinterpret_cast<BYTE*>(first), &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(_wcsicmp(first, sample.c_str()), 0);
    ::RegCloseKey(key);

    // Exit ends the program.
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(::WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kViewerKey);
    ::DeleteFileW(exe.c_str());
}

TEST(Program, StartupPathIsTheFirstArgument) {
    EXPECT_EQ(StartupPathFromCommandLine(L"orvelhex64.exe"), L"");
    EXPECT_EQ(StartupPathFromCommandLine(L"\"C:\\a b\\orvelhex64.exe\" \"C:\\my files\\x.dcm\" more"),
              L"C:\\my files\\x.dcm");
}

TEST(Program, ScreenshotOfTheMainWindowWithAnElementSelected) {
    ClearRecentFiles();
    const std::wstring sample = Backslashes(Wide(ORVEL_SAMPLE_FILE));
    COrvelDICOMHexariumDlg dialog;
    dialog.SetStartupPath(sample);
    harness::RunModal(dialog, {
        [&] {},
        [&] {
            ASSERT_NE(dialog.GetDicomFile(), nullptr);
            CTreeCtrl& tree = dialog.GetTagTree();
            const HTREEITEM name = ChildWithLabel(tree, dialog.GetRootNode(), L"(0010,0010)  Patient's Name");
            ASSERT_NE(name, nullptr);
            tree.SelectItem(name);
            EXPECT_EQ(Properties(dialog)[6].substr(0, 14), L"Sample^Patient");
            EXPECT_EQ(::GetFocus(), tree.m_hWnd);
            harness::Pump(dialog.m_hWnd, 300);
            ::RedrawWindow(dialog.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            harness::Pump(dialog.m_hWnd, 300);
            RECT rect{};
            ::GetWindowRect(dialog.m_hWnd, &rect);
            harness::Canvas canvas(rect.right - rect.left, rect.bottom - rect.top);
            ASSERT_TRUE(harness::CaptureWindow(dialog.m_hWnd, canvas));
            EXPECT_TRUE(canvas.SaveBmp(Wide(ORVEL_SCREENSHOT_DIR) + L"\\main-window.bmp"));
        },
    });
    ClearRecentFiles();
}
