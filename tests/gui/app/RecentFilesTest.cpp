// The eight recent files in the registry and in the combo's list, and the
// ways a file gets opened: "Open...", a pick from the list, a drop, typing.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include "app/OrvelDICOMHexariumDlg.h"
#include "app/resource.h"
#include "framework/WinApp.h"
#include "tests/gui/app/Common.h"
#include "tests/gui/app/Harness.h"

using namespace apptest;
using harness::RunModal;

namespace {

constexpr uint64_t kNone = CHexEditorModel::kNone;

class RecentFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ClearRecentFiles();
        const NestedFile file = MakeNestedFile();
        for (int i = 0; i < 10; ++i) paths.push_back(WriteTemp("recent" + std::to_string(i) + ".dcm", file.bytes));
    }
    void TearDown() override { ClearRecentFiles(); }

    std::vector<std::wstring> paths;
    COrvelDICOMHexariumDlg dialog;
};

std::vector<std::wstring> ComboItems(CComboBox& combo) {
    std::vector<std::wstring> items;
    for (int i = 0; i < combo.GetCount(); ++i) items.push_back(combo.GetLBText(i));
    return items;
}

HWND EditOf(CComboBox& combo) {
    return ::GetWindow(combo.m_hWnd, GW_CHILD);
}

// Screen centres of the combo's drop button and of an item of its dropped list.
POINT ButtonCentre(CComboBox& combo) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    ::GetComboBoxInfo(combo.m_hWnd, &info);
    POINT centre{(info.rcButton.left + info.rcButton.right) / 2, (info.rcButton.top + info.rcButton.bottom) / 2};
    ::ClientToScreen(combo.m_hWnd, &centre);
    return centre;
}

POINT ItemCentre(CComboBox& combo, int index) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    ::GetComboBoxInfo(combo.m_hWnd, &info);
    RECT item{};
    ::SendMessageW(info.hwndList, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    POINT centre{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    ::ClientToScreen(info.hwndList, &centre);
    return centre;
}

// A key pressed and released while the window has the focus; the dialog's
// loop (with its message filter and dialog manager) passes it on.
void PressKey(HWND dialog, HWND focus, UINT key) {
    ::PostMessageW(focus, WM_KEYDOWN, key, 1);
    ::PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
    harness::Pump(dialog, 120);
}

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(::towupper(c));
    return text;
}


}  // namespace

TEST_F(RecentFiles, LiveUnderTheApplicationsKey) {
    EXPECT_EQ(RecentFilesKey(), L"Software\\Quillborn\\" + AfxGetApp()->GetAppName() + L"\\Recent DICOM HEX File");
    EXPECT_EQ(AfxGetApp()->GetAppName(), L"gui_app_tests");
}

TEST_F(RecentFiles, AreListedSortedAtStartAndFillTheFirstFreeSlot) {
    WriteRecentFile(0, paths[2]);
    WriteRecentFile(2, paths[0]);
    RunModal(dialog, {[&] {
        EXPECT_EQ(ComboItems(dialog.GetFileCombo()), (std::vector<std::wstring>{paths[0], paths[2]}));
        ASSERT_TRUE(OpenTyped(dialog, paths[5]).empty());
        // Slot 1 was free; all eight values are written.
        EXPECT_EQ(ReadRecentFiles(), (std::vector<std::wstring>{paths[2], paths[5], paths[0], L"", L"", L"", L"", L""}));
        // Opening does not change the list itself.
        EXPECT_EQ(dialog.GetFileCombo().GetCount(), 2);
    }});
}

TEST_F(RecentFiles, AKnownPathInOtherLetterCaseChangesNothing) {
    WriteRecentFile(0, paths[1]);
    WriteRecentFile(1, paths[2]);
    RunModal(dialog, {[&] {
        ASSERT_TRUE(OpenTyped(dialog, Upper(paths[2])).empty());
        EXPECT_EQ(ReadRecentFiles(), (std::vector<std::wstring>{paths[1], paths[2], L"<absent>", L"<absent>",
                                                                L"<absent>", L"<absent>", L"<absent>", L"<absent>"}));
        EXPECT_EQ(dialog.GetRecentFile(1), paths[2]);
    }});
}

TEST_F(RecentFiles, TheNinthFileDropsTheOldest) {
    for (int slot = 0; slot < 8; ++slot) WriteRecentFile(slot, paths[slot]);
    RunModal(dialog, {[&] {
        ASSERT_TRUE(OpenTyped(dialog, paths[8]).empty());
        const std::vector<std::wstring> expected(paths.begin() + 1, paths.begin() + 9);
        EXPECT_EQ(ReadRecentFiles(), expected);
        ASSERT_TRUE(OpenTyped(dialog, paths[9]).empty());
        EXPECT_EQ(ReadRecentFiles(), std::vector<std::wstring>(paths.begin() + 2, paths.begin() + 10));
    }});
}

// Arrows through the closed combo only browse; a choice made in the dropped
// list opens: Enter there, or a click on an item.
TEST_F(RecentFiles, OnlyAChoiceMadeInTheDroppedListOpensAFile) {
    ::DeleteFileW(paths[4].c_str());  // a stale entry between two good ones
    WriteRecentFile(0, paths[3]);
    WriteRecentFile(1, paths[4]);
    WriteRecentFile(2, paths[5]);
    const INT_PTR result = RunModal(dialog, {[&] {
        MCDropFilesCombo& combo = dialog.GetFileCombo();
        const HWND edit = EditOf(combo);
        ::SetFocus(edit);
        auto seen = harness::WhileAnswering([&] {
            PressKey(dialog.m_hWnd, edit, VK_DOWN);
            PressKey(dialog.m_hWnd, edit, VK_DOWN);
        });
        EXPECT_NE(combo.GetCurSel(), CB_ERR);
        EXPECT_TRUE(seen.empty()) << "a message box came up while browsing";
        EXPECT_EQ(dialog.GetDicomFile(), nullptr);

        // Dropped: the arrows still only move; Enter takes the item.
        ClickMouse(dialog.m_hWnd, ButtonCentre(combo));
        ASSERT_TRUE(combo.SendMessage(CB_GETDROPPEDSTATE));
        for (int i = 0; i < 3; ++i) PressKey(dialog.m_hWnd, edit, VK_DOWN);
        EXPECT_EQ(combo.GetCurSel(), 2);
        EXPECT_EQ(dialog.GetDicomFile(), nullptr);
        seen = harness::WhileAnswering([&] { PressKey(dialog.m_hWnd, edit, VK_RETURN); });
        EXPECT_TRUE(seen.empty());
        EXPECT_FALSE(combo.SendMessage(CB_GETDROPPEDSTATE));
        ASSERT_NE(dialog.GetDicomFile(), nullptr);
        EXPECT_EQ(dialog.GetCurrentPath(), paths[5]);

        // A click on an item.
        ClickMouse(dialog.m_hWnd, ButtonCentre(combo));
        ClickMouse(dialog.m_hWnd, ItemCentre(combo, 0));
        EXPECT_FALSE(combo.SendMessage(CB_GETDROPPEDSTATE));
        ASSERT_NE(dialog.GetDicomFile(), nullptr);
        EXPECT_EQ(dialog.GetCurrentPath(), paths[3]);
        EXPECT_EQ(dialog.GetTagTree().GetItemText(dialog.GetRootNode()), paths[3]);
    }});
    // Enter in the dropped list closed the list, not the dialog.
    EXPECT_EQ(result, IDCANCEL);
}

// An open through the combo, by a drop or a pick, leaves nothing of the file
// before: no element selected, the list blank, no highlight, the view at the top.
TEST_F(RecentFiles, EveryOpenThroughTheComboStartsAfresh) {
    const NestedFile file = MakeNestedFile();
    WriteRecentFile(0, paths[1]);
    RunModal(dialog, {[&] {
        MCDropFilesCombo& combo = dialog.GetFileCombo();
        MCWndHexEditor& view = dialog.GetHexEditor();
        const CHexEditorModel& model = view.GetModel();
        const auto selectAnElement = [&] {
            // The sequence, whose highlight is on screen from the top.
            ClickByte(view, file.sequenceTag + 1);
            ASSERT_EQ(model.SelectionStart(), file.sequenceTag);
            ASSERT_FALSE(PropertiesBlank(dialog));
        };
        const auto expectFresh = [&](const std::wstring& path) {
            ASSERT_NE(dialog.GetDicomFile(), nullptr);
            EXPECT_EQ(dialog.GetCurrentPath(), path);
            const HTREEITEM selected = dialog.GetTagTree().GetSelectedItem();
            EXPECT_TRUE(selected == nullptr || selected == dialog.GetRootNode());
            EXPECT_TRUE(PropertiesBlank(dialog));
            EXPECT_EQ(model.SelectionStart(), kNone);
            EXPECT_EQ(model.SelectionEnd(), kNone);
            EXPECT_EQ(model.Caret(), kNone);
            EXPECT_EQ(model.FirstVisibleRow(), 0u);
            EXPECT_EQ(::GetScrollPos(view.m_hWnd, SB_VERT), 0);
        };

        combo.SendMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({paths[2]})));
        selectAnElement();
        combo.SendMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({paths[0]})));
        expectFresh(paths[0]);
        SaveScreenshot(dialog.m_hWnd, L"reopened-by-drop.bmp");

        selectAnElement();
        ClickMouse(dialog.m_hWnd, ButtonCentre(combo));
        ClickMouse(dialog.m_hWnd, ItemCentre(combo, combo.FindStringExact(-1, paths[1])));
        expectFresh(paths[1]);
    }});
}

TEST_F(RecentFiles, TypingNeverOpensButOpenStartsFromTheTypedPath) {
    RunModal(dialog, {[&] {
        HWND edit = ::GetWindow(dialog.GetFileCombo().m_hWnd, GW_CHILD);
        ASSERT_NE(edit, nullptr);
        ::SetFocus(edit);
        std::vector<harness::SeenWindow> seen = harness::WhileAnswering([&] {
            for (wchar_t c : std::wstring(L"Z:\\nope")) {
                ::PostMessageW(edit, WM_CHAR, c, 1);
            }
            harness::Pump(dialog.m_hWnd, 200);
        });
        EXPECT_TRUE(seen.empty());
        EXPECT_EQ(dialog.GetFileCombo().GetWindowText(), L"Z:\\nope");
        EXPECT_EQ(dialog.GetDicomFile(), nullptr);
        EXPECT_EQ(dialog.GetCurrentPath(), L"Z:\\nope");
    }});
}

TEST_F(RecentFiles, ADroppedFileOpensAtOnceAndOnlyTheFirstCounts) {
    WriteRecentFile(0, paths[3]);
    RunModal(dialog, {[&] {
        MCDropFilesCombo& combo = dialog.GetFileCombo();
        combo.SetCurSel(0);
        combo.SendMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({paths[6], paths[7], paths[8]})));
        EXPECT_EQ(combo.GetWindowText(), paths[6]);
        ASSERT_NE(dialog.GetDicomFile(), nullptr);
        EXPECT_EQ(dialog.GetCurrentPath(), paths[6]);
        EXPECT_EQ(ReadRecentFiles()[1], paths[6]);
    }});
}

TEST_F(RecentFiles, OpenButtonAddsAChosenPrefixPathAsItsOwnItem) {
    const std::wstring longer = paths[1] + L".old";
    WriteRecentFile(0, longer);
    RunModal(dialog, {[&] {
        dialog.OpenChosenPath(paths[1]);
        EXPECT_EQ(ComboItems(dialog.GetFileCombo()), (std::vector<std::wstring>{paths[1], longer}));
        EXPECT_EQ(dialog.GetFileCombo().GetCurSel(), 0);
        EXPECT_EQ(dialog.GetCurrentPath(), paths[1]);
        ASSERT_NE(dialog.GetDicomFile(), nullptr);
        // Chosen again in other letter case: no second item.
        dialog.OpenChosenPath(Upper(paths[1]));
        EXPECT_EQ(dialog.GetFileCombo().GetCount(), 2);
    }});
}

TEST_F(RecentFiles, OpenButtonShowsTheFileDialogAndOpensTheChosenFile) {
    RunModal(dialog, {[&] {
        // Cancelled: nothing changes but the focus, which goes to the tree.
        auto seen = harness::WhileAnswering(
            [&] { dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_OPEN_BUTTON, BN_CLICKED), 0); },
            [](HWND box) { ::PostMessageW(box, WM_COMMAND, IDCANCEL, 0); });
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(dialog.GetDicomFile(), nullptr);
        EXPECT_EQ(::GetFocus(), dialog.GetTagTree().m_hWnd);

        // A file name typed into the dialog and confirmed.
        seen = harness::WhileAnswering(
            [&] { dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_OPEN_BUTTON, BN_CLICKED), 0); },
            [&](HWND box) {
                // The file name field of the explorer-style dialog: a combo box
                // with an edit field, or an edit field alone.
                for (HWND field : {::GetDlgItem(box, 0x47C), ::GetDlgItem(box, 0x480)}) {
                    if (field == nullptr) continue;
                    ::SetWindowTextW(field, paths[2].c_str());
                    if (HWND edit = ::GetWindow(field, GW_CHILD)) ::SetWindowTextW(edit, paths[2].c_str());
                }
                ::SendMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            });
        ASSERT_EQ(seen.size(), 1u);
        ASSERT_NE(dialog.GetDicomFile(), nullptr);
        EXPECT_EQ(_wcsicmp(dialog.GetCurrentPath().c_str(), paths[2].c_str()), 0);
        EXPECT_EQ(dialog.GetFileCombo().GetCount(), 1);
        EXPECT_EQ(::GetFocus(), dialog.GetTagTree().m_hWnd);
    }});
}
