// MCDropFilesCombo and MCHyperLink in a plain parent window: the combo's
// commands to its parent, the link's colours, hot area, cursor and failures.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "app/DropFilesCombo.h"
#include "app/HyperLink.h"
#include "framework/WinApp.h"
#include "tests/gui/app/Common.h"
#include "tests/gui/app/Harness.h"

using apptest::MakeDrop;

namespace {

const wchar_t* ParentClass() { return guitest::RegisterTestWindowClass(L"OrvelControlsTestParent"); }

// Records the combo's commands and the combo notifications that reach it.
class Parent : public CWnd {
public:
    std::vector<UINT> comboCommands;  // notification codes of FCN_COMMAND
    int plainComboNotifications = 0;  // CBN_* that were not consumed by the combo

    BOOL Create() {
        return CreateEx(0, ParentClass(), L"controls test", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                        RECT{0, 0, 500, 200}, nullptr, 0);
    }

protected:
    const MessageMap* GetMessageMap() const override {
        static const MessageEntry entries[] = {
            OnCommand(FCN_DROPPED, FCN_COMMAND, &Parent::OnComboCommand),
            OnCommand(FCN_SELECTED, FCN_COMMAND, &Parent::OnComboCommand),
            OnCommand(FCN_EDITED, FCN_COMMAND, &Parent::OnComboCommand),
            OnCommand(FCN_BROWSED, FCN_COMMAND, &Parent::OnComboCommand),
            OnCommand(CBN_EDITCHANGE, 1002, &Parent::OnPlainNotification),
            OnCommand(CBN_SELCHANGE, 1002, &Parent::OnPlainNotification),
        };
        static const MessageMap map{CWnd::GetMessageMap(), entries, sizeof entries / sizeof entries[0]};
        return &map;
    }

private:
    LRESULT OnComboCommand(WPARAM wParam, LPARAM lParam) {
        EXPECT_NE(lParam, 0);
        comboCommands.push_back(HIWORD(wParam));
        return 0;
    }
    LRESULT OnPlainNotification(WPARAM, LPARAM) {
        ++plainComboNotifications;
        return 0;
    }
};


class ComboInParent : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(parent.Create());
        HWND hwnd = ::CreateWindowExW(WS_EX_ACCEPTFILES, L"ComboBox", L"",
                                      WS_CHILD | WS_VISIBLE | CBS_DROPDOWN | CBS_AUTOHSCROLL | CBS_SORT | WS_VSCROLL,
                                      10, 10, 400, 200, parent.m_hWnd, reinterpret_cast<HMENU>(1002),
                                      ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(combo.SubclassWindow(hwnd));
    }

    Parent parent;
    MCDropFilesCombo combo;
};

}  // namespace

TEST_F(ComboInParent, EveryKeystrokeAndEverySelectionChangeIsOneCommand) {
    combo.AddString(L"C:\\b.dcm");
    combo.AddString(L"C:\\a.dcm");
    HWND edit = ::GetWindow(combo.m_hWnd, GW_CHILD);
    ASSERT_NE(edit, nullptr);
    ::SetFocus(edit);
    for (wchar_t c : std::wstring(L"abc")) ::PostMessageW(edit, WM_CHAR, c, 1);
    harness::Pump(nullptr, 100);
    EXPECT_EQ(parent.comboCommands, (std::vector<UINT>{FCN_EDITED, FCN_EDITED, FCN_EDITED}));
    EXPECT_EQ(combo.GetWindowText(), L"abc");

    parent.comboCommands.clear();
    combo.SetCurSel(1);
    parent.SendMessage(WM_COMMAND, MAKEWPARAM(1002, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo.m_hWnd));
    // A selection change alone is browsing; the choice comes when the list closes.
    EXPECT_EQ(parent.comboCommands, (std::vector<UINT>{FCN_BROWSED}));
    // The combo consumed its own notifications.
    EXPECT_EQ(parent.plainComboNotifications, 0);
}

TEST_F(ComboInParent, ADropPutsTheFirstPathInTheEditFieldCutToTheBuffer) {
    combo.AddString(L"C:\\listed.dcm");
    combo.SetCurSel(0);
    combo.SendMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({L"C:\\one.dcm", L"C:\\two.dcm", L"C:\\three.dcm"})));
    EXPECT_EQ(combo.GetWindowText(), L"C:\\one.dcm");
    EXPECT_EQ(combo.GetCurSel(), CB_ERR);
    EXPECT_EQ(parent.comboCommands, (std::vector<UINT>{FCN_DROPPED}));

    const std::wstring longPath = L"C:\\" + std::wstring(300, L'x') + L".dcm";
    combo.SendMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({longPath})));
    EXPECT_EQ(combo.GetWindowText(), longPath.substr(0, MAX_PATH - 1));
}

TEST(FileCombo, WithoutAParentItSendsNothingAndSurvives) {
    MCDropFilesCombo combo;
    HWND hwnd = ::CreateWindowExW(WS_EX_ACCEPTFILES, L"ComboBox", L"", WS_POPUP | CBS_DROPDOWN, 0, 0, 200, 100,
                                  nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(combo.SubclassWindow(hwnd));
    combo.SendMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({L"C:\\one.dcm"})));
    EXPECT_EQ(combo.GetWindowText(), L"C:\\one.dcm");
    combo.UnsubclassWindow();
    ::DestroyWindow(hwnd);
}

// ---------------------------------------------------------------------------

namespace {

class LinkInParent : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(parent.Create());
        HWND hwnd = ::CreateWindowExW(0, L"Static", L"Quillborn", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOTIFY, 20, 40,
                                      300, 20, parent.m_hWnd, reinterpret_cast<HMENU>(1007),
                                      ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(link.SubclassWindow(hwnd));
        link.SetLinkColors(RGB(0, 0, 255), RGB(128, 0, 128), RGB(255, 0, 0));
        ::SetCursorPos(700, 700);
        harness::Pump(nullptr, 30);
    }

    // The colours the caption is painted in, read from a painting into a bitmap.
    std::map<COLORREF, int> PaintedColours() {
        RECT client{};
        link.GetClientRect(&client);
        harness::Canvas canvas(client.right, client.bottom);
        link.SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT | PRF_ERASEBKGND);
        return canvas.Colours(link.GetLinkRect());
    }

    void MoveMouseTo(POINT client) {
        POINT screen = client;
        ::ClientToScreen(link.m_hWnd, &screen);
        ::SetCursorPos(screen.x, screen.y);
        link.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(client.x, client.y));
        harness::Pump(nullptr, 80);
    }

    Parent parent;
    MCHyperLink link;
};

}  // namespace

TEST_F(LinkInParent, CaptionIsUnderlinedInTheLinkColour) {
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(link.SendMessage(WM_GETFONT)), sizeof font, &font);
    EXPECT_TRUE(font.lfUnderline);
    const auto colours = PaintedColours();
    EXPECT_TRUE(colours.count(RGB(0, 0, 255)));
    EXPECT_FALSE(colours.count(RGB(255, 0, 0)));
}

TEST_F(LinkInParent, OnlyTheCaptionsTextIsTheHotArea) {
    const RECT hot = link.GetLinkRect();
    RECT client{};
    link.GetClientRect(&client);
    EXPECT_EQ(hot.left, 0);
    EXPECT_GT(hot.right, 10);
    EXPECT_LT(hot.right, client.right);

    // Right of the caption: no hover, no hand.
    MoveMouseTo(POINT{(hot.right + client.right) / 2, client.bottom / 2});
    EXPECT_FALSE(link.IsHovering());
    link.SendMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(link.m_hWnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_NE(::GetCursor(), ::LoadCursorW(nullptr, IDC_HAND));

    // Over the text: hover colour and the hand.
    MoveMouseTo(POINT{(hot.left + hot.right) / 2, client.bottom / 2});
    EXPECT_TRUE(link.IsHovering());
    EXPECT_TRUE(PaintedColours().count(RGB(255, 0, 0)));
    link.SendMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(link.m_hWnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_HAND));

    // Away again: the timer notices and the link colour comes back.
    ::SetCursorPos(700, 700);
    harness::Pump(nullptr, 80);
    EXPECT_FALSE(link.IsHovering());
    EXPECT_TRUE(PaintedColours().count(RGB(0, 0, 255)));
}

TEST_F(LinkInParent, AFailedOpenSaysWhyOnceAndTheLinkStaysUnvisited) {
    link.SetLinkAddress(L"Z:\\no\\such\\place\\file.nothing");
    const auto seen = harness::WhileAnswering([&] {
        parent.SendMessage(WM_COMMAND, MAKEWPARAM(1007, STN_CLICKED), reinterpret_cast<LPARAM>(link.m_hWnd));
    });
    ASSERT_EQ(seen.size(), 1u);
    ASSERT_EQ(seen[0].texts.size(), 1u);
    const std::wstring& text = seen[0].texts[0];
    EXPECT_TRUE(text == L"The specified file was not found." || text == L"The specified path was not found.")
        << std::string(text.begin(), text.end());
    EXPECT_EQ(seen[0].caption, AfxGetApp()->GetAppName());
    EXPECT_EQ(seen[0].icon, ::LoadIconW(nullptr, IDI_EXCLAMATION));
    EXPECT_FALSE(link.IsVisited());
    EXPECT_TRUE(PaintedColours().count(RGB(0, 0, 255)));
}

TEST_F(LinkInParent, ASuccessfulOpenTurnsTheLinkVisited) {
    // A program that starts and ends at once.
    wchar_t system[MAX_PATH] = L"";
    ::GetSystemDirectoryW(system, MAX_PATH);
    link.SetLinkAddress(std::wstring(system) + L"\\hostname.exe");
    const auto seen = harness::WhileAnswering([&] {
        parent.SendMessage(WM_COMMAND, MAKEWPARAM(1007, STN_CLICKED), reinterpret_cast<LPARAM>(link.m_hWnd));
    });
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(link.IsVisited());
    EXPECT_TRUE(PaintedColours().count(RGB(128, 0, 128)));
}

TEST(HyperLinkText, ShellErrorCodesHaveTheirTexts) {
    EXPECT_EQ(MCHyperLink::ErrorText(0), L"The operating system is out of memory or resources.");
    EXPECT_EQ(MCHyperLink::ErrorText(11), L"The .exe file is invalid (non-Win32\u00AE .exe or error in .exe image).");
    EXPECT_EQ(MCHyperLink::ErrorText(31), L"There is no application associated with the given file name extension.");
    EXPECT_EQ(MCHyperLink::ErrorText(32), L"The specified dynamic-link library was not found.");
    EXPECT_EQ(MCHyperLink::ErrorText(7), L"An unknown error number 7 occured.");
}
