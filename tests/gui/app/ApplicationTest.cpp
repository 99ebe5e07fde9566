// The application object's part in the running dialog: the Help command, the
// GDI+ session, and the main window while it is minimised.
#include <gtest/gtest.h>

#include <windows.h>
#include <gdiplus.h>

#include "app/DicomLib.h"
#include "app/OrvelDICOMHexariumApp.h"
#include "app/OrvelDICOMHexariumDlg.h"
#include "app/resource.h"
#include "framework/WinApp.h"
#include "tests/gui/app/Common.h"
#include "tests/gui/app/Harness.h"

using harness::RunModal;

namespace {

// The main dialog with an answer to the help handler's question.
class HelpAnsweringDlg : public COrvelDICOMHexariumDlg {
public:
    int helpQuestions = 0;
    bool answer = true;

protected:
    const MessageMap* GetMessageMap() const override {
        static const MessageEntry entries[] = {
            OnMessage(WM_COMMANDHELP, &HelpAnsweringDlg::OnCommandHelp),
        };
        static const MessageMap map{COrvelDICOMHexariumDlg::GetMessageMap(), entries, 1};
        return &map;
    }

private:
    LRESULT OnCommandHelp(WPARAM, LPARAM) {
        ++helpQuestions;
        return answer ? TRUE : FALSE;
    }
};

// Makes dialog the application's main window for the test's duration.
class MainWindowScope {
public:
    explicit MainWindowScope(CWnd* window) : app_(AfxGetApp()) {
        previous_ = app_->m_pMainWnd;
        app_->m_pMainWnd = window;
    }
    ~MainWindowScope() { app_->m_pMainWnd = previous_; }

private:
    CWinApp* app_;
    CWnd* previous_ = nullptr;
};

}  // namespace

TEST(Application, IsTheProgramsOwnClass) {
    EXPECT_NE(dynamic_cast<COrvelDICOMHexariumApp*>(AfxGetApp()), nullptr);
}

TEST(Application, TheHelpCommandOfTheMainWindowReachesTheDefaultHelpHandler) {
    HelpAnsweringDlg dialog;
    MainWindowScope scope(&dialog);
    RunModal(dialog, {[&] {
        dialog.SendMessage(WM_COMMAND, MAKEWPARAM(ID_HELP, 0), 0);
        EXPECT_EQ(dialog.helpQuestions, 1);
        // Other commands the dialog has no entry for are not help.
        dialog.SendMessage(WM_COMMAND, MAKEWPARAM(ID_HELP + 1, 0), 0);
        EXPECT_EQ(dialog.helpQuestions, 1);

        // Unanswered, and with no help file beside the program, nothing opens.
        dialog.answer = false;
        ASSERT_EQ(::GetFileAttributesW(AfxGetApp()->GetHelpFilePath().c_str()), INVALID_FILE_ATTRIBUTES);
        const auto seen = harness::WhileAnswering(
            [&] { dialog.SendMessage(WM_COMMAND, MAKEWPARAM(ID_HELP, 0), 0); });
        EXPECT_EQ(dialog.helpQuestions, 2);
        EXPECT_TRUE(seen.empty());
        EXPECT_TRUE(::IsWindowVisible(dialog.m_hWnd));
    }});
}

TEST(Application, OnlyTheMainWindowPassesCommandsOn) {
    HelpAnsweringDlg dialog;
    RunModal(dialog, {[&] {
        // Not the application's main window: the command stays the dialog's.
        dialog.SendMessage(WM_COMMAND, MAKEWPARAM(ID_HELP, 0), 0);
        EXPECT_EQ(dialog.helpQuestions, 0);
    }});
}

TEST(Application, HelpFileIsTheProgramsPathWithTheHelpExtension) {
    const std::wstring path = AfxGetApp()->GetHelpFilePath();
    ASSERT_GE(path.size(), 4u);
    EXPECT_EQ(path.substr(path.size() - 4), L".chm");
    const size_t slash = path.find_last_of(L"\\/");
    EXPECT_EQ(path.substr(slash + 1, path.size() - slash - 1 - 4), AfxGetApp()->GetAppName());
}

TEST(Application, TheGdiPlusSessionLivesAsLongAsItsHolder) {
    CDicomLib library;
    ASSERT_NE(library.GetToken(), 0u);
    Gdiplus::GpBitmap* bitmap = nullptr;
    EXPECT_EQ(Gdiplus::DllExports::GdipCreateBitmapFromScan0(4, 4, 0, PixelFormat32bppARGB, nullptr, &bitmap),
              Gdiplus::Ok);
    if (bitmap != nullptr) {
        Gdiplus::DllExports::GdipDisposeImage(bitmap);
    }
}

TEST(Application, MinimisedTheMainWindowPaintsItsIconAndKeepsItsState) {
    COrvelDICOMHexariumDlg dialog;
    RunModal(dialog, {[&] {
        const HICON icon = reinterpret_cast<HICON>(dialog.SendMessage(WM_QUERYDRAGICON));
        EXPECT_NE(icon, nullptr);
        EXPECT_EQ(icon, reinterpret_cast<HICON>(dialog.SendMessage(WM_GETICON, ICON_BIG)));

        ::ShowWindow(dialog.m_hWnd, SW_MINIMIZE);
        harness::Pump(dialog.m_hWnd);
        ASSERT_TRUE(::IsIconic(dialog.m_hWnd));
        // The paint handler validates what it was asked to paint.
        ::InvalidateRect(dialog.m_hWnd, nullptr, TRUE);
        ::UpdateWindow(dialog.m_hWnd);
        EXPECT_FALSE(::GetUpdateRect(dialog.m_hWnd, nullptr, FALSE));

        ::ShowWindow(dialog.m_hWnd, SW_RESTORE);
        harness::Pump(dialog.m_hWnd);
        EXPECT_FALSE(::IsIconic(dialog.m_hWnd));
        EXPECT_TRUE(::IsWindowVisible(dialog.GetHexEditor().m_hWnd));
    }});
}
