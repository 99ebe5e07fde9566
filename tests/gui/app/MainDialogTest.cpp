// The main dialog driven in its own modal loop: layout and system menu, the
// open operation with its tree, properties and hex highlight, the look-up from
// a clicked byte, failures and their messages, keys and row colours.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>

#include "app/AboutDlg.h"
#include "app/OrvelDICOMHexariumDlg.h"
#include "app/resource.h"
#include "dicom/read/DicomFile.h"
#include "dicom/model/ElementRange.h"
#include "framework/WinApp.h"
#include "tests/gui/app/Common.h"
#include "tests/gui/app/Harness.h"
#include "tests/support/DicomWriter.h"

using namespace apptest;
using harness::RunModal;

namespace {

constexpr uint64_t kNone = CHexEditorModel::kNone;

class MainDialog : public ::testing::Test {
protected:
    void SetUp() override { ClearRecentFiles(); }
    void TearDown() override { ClearRecentFiles(); }

    COrvelDICOMHexariumDlg dialog;
};

std::wstring MenuText(HMENU menu, int position) {
    wchar_t text[256] = L"";
    ::GetMenuStringW(menu, static_cast<UINT>(position), text, 256, MF_BYPOSITION);
    return text;
}

RECT ClientRectOf(HWND parent, HWND child) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace

TEST_F(MainDialog, StartsEmptyWithItsLayoutMenuAndFocus) {
    RunModal(dialog, {[&] {
        EXPECT_EQ(dialog.GetWindowText(), L"Orvel DICOM Hexadecimal Viewer");
        wchar_t size[64] = L"";
        ::GetDlgItemTextW(dialog.m_hWnd, IDC_SIZE_TEXT, size, 64);
        EXPECT_STREQ(size, L"Size : 0");
        EXPECT_EQ(::GetFocus(), dialog.GetDlgItem(IDCANCEL));

        // The About entry ends the system menu, after a separator.
        HMENU menu = ::GetSystemMenu(dialog.m_hWnd, FALSE);
        const int count = ::GetMenuItemCount(menu);
        ASSERT_GE(count, 2);
        EXPECT_EQ(MenuText(menu, count - 1), L"&About Orvel DICOM HEX Viewer...");
        EXPECT_EQ(::GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE;
        ::GetMenuItemInfoW(menu, static_cast<UINT>(count - 2), TRUE, &info);
        EXPECT_TRUE(info.fType & MFT_SEPARATOR);

        // The hex view lies exactly over its placeholder frame.
        const RECT frame = ClientRectOf(dialog.m_hWnd, dialog.GetDlgItem(IDC_HEX_PLACEHOLDER));
        const RECT view = ClientRectOf(dialog.m_hWnd, dialog.GetHexEditor().m_hWnd);
        EXPECT_EQ(view.left, frame.left);
        EXPECT_EQ(view.top, frame.top);
        EXPECT_EQ(view.right, frame.right);
        EXPECT_EQ(view.bottom, frame.bottom);

        // Property list: two columns, seven named rows with empty values.
        CListCtrl& list = dialog.GetPropertyList();
        EXPECT_EQ(list.SendMessage(LVM_GETCOLUMNWIDTH, 0), 120);
        EXPECT_EQ(list.SendMessage(LVM_GETCOLUMNWIDTH, 1), 360);
        const std::vector<std::wstring> names = {L"Tag", L"Description", L"VR", L"Tag Offset",
                                                 L"Data Offset", L"Data Size", L"Data Value"};
        ASSERT_EQ(list.GetItemCount(), 7);
        for (int row = 0; row < 7; ++row) {
            EXPECT_EQ(list.GetItemText(row, 0), names[row]);
            EXPECT_EQ(list.GetItemText(row, 1), L"");
        }
        const DWORD extended = static_cast<DWORD>(list.SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE));
        EXPECT_EQ(extended & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT), DWORD(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT));

        EXPECT_EQ(dialog.GetWebLink().GetLinkAddress(), L"" ORVEL_WEB_ADDRESS);
        EXPECT_EQ(dialog.GetTagTree().GetCount(), 0u);
        EXPECT_EQ(reinterpret_cast<HICON>(dialog.SendMessage(WM_GETICON, ICON_BIG)),
                  ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)));
    }});
}

TEST_F(MainDialog, AboutBoxOpensFromTheSystemMenuWithTheWordSizeOnce) {
    RunModal(dialog, {[&] {
        for (int round = 0; round < 2; ++round) {
            const auto seen = harness::WhileAnswering(
                [&] { dialog.SendMessage(WM_SYSCOMMAND, IDM_ABOUTBOX | 0x3, 0); });
            ASSERT_EQ(seen.size(), 1u);
            EXPECT_EQ(seen[0].caption, L"About Hexarium");
            EXPECT_EQ(seen[0].itemTexts.at(IDC_VERSION_TEXT),
                      sizeof(void*) == 8 ? L"Version 1.1.3 (64 bit)" : L"Version 1.1.3 (32 bit)");
            EXPECT_EQ(seen[0].itemTexts.at(IDOK), L"OK");
            EXPECT_NE(std::find(seen[0].texts.begin(), seen[0].texts.end(), L"Orvel DICOM Hexadecimal Viewer"),
                      seen[0].texts.end());
        }
    }});
}

TEST_F(MainDialog, OpensAFileIntoTreeSizeLabelAndHexView) {
    const NestedFile file = MakeNestedFile();
    const std::wstring path = WriteTemp("nested.dcm", file.bytes);
    RunModal(dialog, {[&] {
        ASSERT_TRUE(OpenTyped(dialog, path).empty());
        wchar_t size[64] = L"";
        ::GetDlgItemTextW(dialog.m_hWnd, IDC_SIZE_TEXT, size, 64);
        EXPECT_EQ(std::wstring(size), L"Size : " + std::to_wstring(file.bytes.size()));

        // The hex view shows the bytes exactly as on disk, 0D 0A and 1A included.
        const CHexEditorModel& view = dialog.GetHexEditor().GetModel();
        ASSERT_EQ(view.Size(), file.bytes.size());
        EXPECT_TRUE(std::equal(file.bytes.begin(), file.bytes.end(), view.Data()));
        EXPECT_EQ(view.Data()[file.binaryTag + 12], 0x0D);

        CTreeCtrl& tree = dialog.GetTagTree();
        const HTREEITEM root = tree.GetRootItem();
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(root, dialog.GetRootNode());
        EXPECT_EQ(tree.GetItemText(root), path);
        EXPECT_TRUE(tree.GetItemState(root, TVIS_EXPANDED) & TVIS_EXPANDED);
        EXPECT_EQ(tree.GetSelectedItem(), nullptr);

        const std::vector<std::wstring> top = ChildLabels(tree, root);
        ASSERT_GE(top.size(), 13u);
        EXPECT_EQ(top[0], L"(0002,0001)  File Meta Information Version");
        EXPECT_EQ(top[4], L"(0008,0005)  Specific Character Set");
        EXPECT_EQ(top[6], L"(0008,1140)  Referenced Image Sequence");
        const HTREEITEM sequence = ChildWithLabel(tree, root, L"(0008,1140)  Referenced Image Sequence");
        ASSERT_NE(sequence, nullptr);
        EXPECT_FALSE(tree.GetItemState(sequence, TVIS_EXPANDED) & TVIS_EXPANDED);
        const std::vector<HTREEITEM> items = Children(tree, sequence);
        ASSERT_EQ(items.size(), 2u);
        EXPECT_EQ(ChildLabels(tree, sequence),
                  (std::vector<std::wstring>{L"(FFFE,E000)  SQ Item", L"(FFFE,E000)  SQ Item"}));
        EXPECT_EQ(ChildLabels(tree, items[0]),
                  (std::vector<std::wstring>{L"(0008,0005)  Specific Character Set", L"(0010,0010)  Patient's Name"}));
        EXPECT_EQ(ChildLabels(tree, items[1]), (std::vector<std::wstring>{L"(0008,1150)  Referenced SOP Class UID"}));

        // One record per node but the root, in pre-order.
        const auto& table = dialog.GetNodeTable();
        EXPECT_EQ(table.size() + 1, tree.GetCount());
        EXPECT_EQ(table[6].node, sequence);
        EXPECT_EQ(table[7].node, items[0]);
        EXPECT_EQ(table[10].node, items[1]);
    }});
}

TEST_F(MainDialog, PropertiesAndHighlightOfElementsItemsAndRoot) {
    const NestedFile file = MakeNestedFile();
    const std::wstring path = WriteTemp("nested.dcm", file.bytes);
    CDicomFile reference;
    ASSERT_TRUE(reference.LoadFile(path));
    RunModal(dialog, {[&] {
        ASSERT_TRUE(OpenTyped(dialog, path).empty());
        CTreeCtrl& tree = dialog.GetTagTree();
        const CHexEditorModel& view = dialog.GetHexEditor().GetModel();
        const HTREEITEM root = dialog.GetRootNode();
        const HTREEITEM sequence = ChildWithLabel(tree, root, L"(0008,1140)  Referenced Image Sequence");
        ASSERT_NE(sequence, nullptr);

        // A sequence of undefined length: explicit VR, 12-byte header, highlight to its delimiter.
        tree.SelectItem(sequence);
        EXPECT_EQ(Properties(dialog),
                  (std::vector<std::wstring>{L"0008, 1140", L"Referenced Image Sequence", L"SQ",
                                             std::to_wstring(file.sequenceTag), std::to_wstring(file.sequenceTag + 12),
                                             L"FFFFFFFF", reference.GetElements()[6]->GetValueText(L"ISO_IR 192")}));
        EXPECT_EQ(view.SelectionStart(), file.sequenceTag);
        EXPECT_EQ(view.SelectionEnd(), file.sequenceEnd - 1);

        // An item: its tag and "SQ Item" only; the highlight stays.
        tree.Expand(sequence, TVE_EXPAND);
        const HTREEITEM item = tree.GetChildItem(sequence);
        tree.SelectItem(item);
        EXPECT_EQ(Properties(dialog),
                  (std::vector<std::wstring>{L"FFFE, E000", L"SQ Item", L"", L"", L"", L"", L""}));
        EXPECT_EQ(view.SelectionStart(), file.sequenceTag);
        EXPECT_EQ(view.SelectionEnd(), file.sequenceEnd - 1);

        // The name inside the item is decoded with the item's own character set.
        tree.Expand(item, TVE_EXPAND);
        const HTREEITEM name = ChildWithLabel(tree, item, L"(0010,0010)  Patient's Name");
        ASSERT_NE(name, nullptr);
        tree.SelectItem(name);
        const std::vector<std::wstring> nameRows = Properties(dialog);
        EXPECT_EQ(nameRows[2], L"PN");
        EXPECT_EQ(nameRows[3], std::to_wstring(file.nameInItemTag));
        EXPECT_EQ(nameRows[4], std::to_wstring(file.nameInItemTag + 8));
        EXPECT_EQ(nameRows[5], L"10");
        EXPECT_EQ(nameRows[6].substr(0, 6), L"M\u00FCller");
        EXPECT_EQ(view.SelectionStart(), file.nameInItemTag);
        EXPECT_EQ(view.SelectionEnd(), file.nameInItemTag + 8 + 10 - 1);

        // A zero-length element: its header only.
        const HTREEITEM empty = ChildWithLabel(tree, root, L"(0020,0013)  Image Number");
        ASSERT_NE(empty, nullptr);
        tree.SelectItem(empty);
        EXPECT_EQ(Properties(dialog)[5], L"0");
        EXPECT_EQ(view.SelectionStart(), file.emptyElementTag);
        EXPECT_EQ(view.SelectionEnd(), file.emptyElementTag + 7);

        // An OB element: 4-byte length form, 12-byte header.
        const HTREEITEM binary = tree.GetNextSiblingItem(sequence);
        tree.SelectItem(binary);
        EXPECT_EQ(Properties(dialog)[3], std::to_wstring(file.binaryTag));
        EXPECT_EQ(Properties(dialog)[4], std::to_wstring(file.binaryTag + 12));

        // The root blanks every value and takes the highlight away.
        ASSERT_TRUE(view.HasCompleteSelection());
        tree.SelectItem(root);
        EXPECT_EQ(Properties(dialog), std::vector<std::wstring>(7, L" "));
        EXPECT_EQ(view.SelectionStart(), kNone);
        EXPECT_EQ(view.SelectionEnd(), kNone);
        EXPECT_EQ(view.ScrollPosition(), 0u);
    }});
}

TEST_F(MainDialog, ANodesChildrenEnterTheTreeWhenItIsFirstOpened) {
    const NestedFile file = MakeNestedFile();
    const std::wstring path = WriteTemp("nested.dcm", file.bytes);
    RunModal(dialog, {[&] {
        ASSERT_TRUE(OpenTyped(dialog, path).empty());
        CTreeCtrl& tree = dialog.GetTagTree();
        const HTREEITEM root = dialog.GetRootNode();
        const auto& table = dialog.GetNodeTable();
        // Every element has its record at once, in pre-order; only the root's
        // children are in the tree, and nothing is selected by the fill.
        ASSERT_EQ(table.size(), 21u);  // 16 at the top level
        const HTREEITEM sequence = table[6].node;
        ASSERT_NE(sequence, nullptr);
        EXPECT_EQ(tree.GetParentItem(sequence), root);
        EXPECT_EQ(tree.GetCount(), 1u + 16u);
        for (size_t i = 7; i <= 11; ++i) EXPECT_EQ(table[i].node, nullptr) << "record " << i;
        EXPECT_EQ(tree.GetChildItem(sequence), nullptr);
        EXPECT_TRUE(tree.GetItemState(root, TVIS_EXPANDED) & TVIS_EXPANDED);
        EXPECT_EQ(tree.GetSelectedItem(), nullptr);
        EXPECT_EQ(table[6].subtreeEnd, 12u);
        EXPECT_EQ(table[7].subtreeEnd, 10u);

        // The expand button is there before the children are.
        TVITEMW item{};
        item.mask = TVIF_CHILDREN;
        item.hItem = sequence;
        ASSERT_TRUE(tree.SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        EXPECT_EQ(item.cChildren, 1);

        // Opening the sequence inserts its two items (not their elements), once.
        tree.Expand(sequence, TVE_EXPAND);
        EXPECT_EQ(tree.GetCount(), 1u + 16u + 2u);
        EXPECT_EQ(tree.GetChildItem(sequence), table[7].node);
        EXPECT_EQ(tree.GetNextSiblingItem(table[7].node), table[10].node);
        EXPECT_EQ(table[8].node, nullptr);
        tree.Expand(sequence, TVE_COLLAPSE);
        tree.Expand(sequence, TVE_EXPAND);
        EXPECT_EQ(tree.GetCount(), 1u + 16u + 2u);

        // The user's click on the button does the same as the program's Expand.
        RECT button{};
        const HTREEITEM firstItem = table[7].node;
        std::memcpy(&button, &firstItem, sizeof firstItem);  // TVM_GETITEMRECT takes the item in the rectangle
        ASSERT_TRUE(tree.SendMessage(TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&button)));
        const LPARAM point = MAKELPARAM(button.left - 10, (button.top + button.bottom) / 2);
        tree.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, point);
        tree.SendMessage(WM_LBUTTONUP, 0, point);
        EXPECT_TRUE(tree.GetItemState(table[7].node, TVIS_EXPANDED) & TVIS_EXPANDED);
        EXPECT_EQ(ChildLabels(tree, table[7].node),
                  (std::vector<std::wstring>{L"(0008,0005)  Specific Character Set", L"(0010,0010)  Patient's Name"}));
        EXPECT_EQ(tree.GetCount(), 1u + 16u + 2u + 2u);

        // A new open starts again with the top level only.
        ASSERT_TRUE(OpenTyped(dialog, path).empty());
        EXPECT_EQ(tree.GetCount(), 1u + 16u);
        EXPECT_EQ(dialog.GetNodeTable()[7].node, nullptr);
    }});
}

TEST_F(MainDialog, EachNodeKeepsTheCharacterSetInForceWhereItStands) {
    const NestedFile file = MakeNestedFile();
    const std::wstring path = WriteTemp("nested.dcm", file.bytes);
    RunModal(dialog, {[&] {
        ASSERT_TRUE(OpenTyped(dialog, path).empty());
        const auto& table = dialog.GetNodeTable();
        ASSERT_GE(table.size(), 12u);
        for (size_t i = 0; i < table.size(); ++i) {
            // Records 8 and 9 are the first item's elements, its (0008,0005) included.
            const bool insideItem = i == 8 || i == 9;
            EXPECT_EQ(table[i].characterSet, insideItem ? L"ISO_IR 100" : L"ISO_IR 192") << "record " << i;
        }
        EXPECT_TRUE(table[7].element->IsItem());
    }});
}

TEST_F(MainDialog, AClickedByteSelectsTheOutermostElementThatHoldsIt) {
    const NestedFile file = MakeNestedFile();
    const std::wstring path = WriteTemp("nested.dcm", file.bytes);
    RunModal(dialog, {[&] {
        ASSERT_TRUE(OpenTyped(dialog, path).empty());
        CTreeCtrl& tree = dialog.GetTagTree();
        MCWndHexEditor& view = dialog.GetHexEditor();
        const HTREEITEM sequence = ChildWithLabel(tree, dialog.GetRootNode(), L"(0008,1140)  Referenced Image Sequence");

        // A byte of the name inside the first item selects the sequence and
        // opens it, its items now in the tree.
        ClickByte(view, file.nameInItemTag + 9);
        EXPECT_EQ(tree.GetSelectedItem(), sequence);
        EXPECT_TRUE(tree.GetItemState(sequence, TVIS_EXPANDED) & TVIS_EXPANDED);
        EXPECT_EQ(ChildLabels(tree, sequence),
                  (std::vector<std::wstring>{L"(FFFE,E000)  SQ Item", L"(FFFE,E000)  SQ Item"}));
        EXPECT_EQ(::GetFocus(), tree.m_hWnd);
        EXPECT_EQ(view.GetModel().SelectionStart(), file.sequenceTag);
        EXPECT_EQ(view.GetModel().SelectionEnd(), file.sequenceEnd - 1);
        EXPECT_EQ(Properties(dialog)[0], L"0008, 1140");

        // Again inside the same element: the whole element is highlighted again.
        ClickByte(view, file.sequenceTag + 1);
        EXPECT_EQ(tree.GetSelectedItem(), sequence);
        EXPECT_EQ(view.GetModel().SelectionStart(), file.sequenceTag);
        EXPECT_EQ(view.GetModel().SelectionEnd(), file.sequenceEnd - 1);

        // The last byte of the delimiter still belongs to the sequence; the next byte not.
        ClickByte(view, file.sequenceEnd - 1);
        EXPECT_EQ(tree.GetSelectedItem(), sequence);
        ClickByte(view, file.sequenceEnd);
        EXPECT_EQ(tree.GetItemText(tree.GetSelectedItem()), L"(0009,1010)  ");

        // A byte of the preamble lies in no element: the root.
        ClickByte(view, 5);
        EXPECT_EQ(tree.GetSelectedItem(), dialog.GetRootNode());
        EXPECT_EQ(Properties(dialog), std::vector<std::wstring>(7, L" "));
        EXPECT_EQ(view.GetModel().SelectionStart(), kNone);
    }});
}

TEST_F(MainDialog, FailedOpensSayWhyAndLeaveNoFileOpen) {
    const NestedFile file = MakeNestedFile();
    const std::wstring good = WriteTemp("nested.dcm", file.bytes);
    const std::wstring garbage = WriteTemp("garbage.dcm", std::vector<uint8_t>(600, 0x41));
    const std::wstring empty = WriteTemp("empty.dcm", {});
    const std::wstring missing = L"Z:\\no\\such\\folder\\file.dcm";
    const std::wstring locked = WriteTemp("locked.dcm", file.bytes);
    RunModal(dialog, {[&] {
        for (const std::wstring& path : {garbage, empty, missing}) {
            ASSERT_TRUE(OpenTyped(dialog, good).empty());
            ASSERT_NE(dialog.GetDicomFile(), nullptr);
            SCOPED_TRACE(std::string(path.begin(), path.end()));
            // The old file is gone too.
            ExpectRefusedWithNothingOpen(dialog, OpenTyped(dialog, path));
            wchar_t size[64] = L"";
            ::GetDlgItemTextW(dialog.m_hWnd, IDC_SIZE_TEXT, size, 64);
            EXPECT_STREQ(size, L"Size : 0");
            EXPECT_NE(::GetCursor(), ::LoadCursorW(nullptr, IDC_WAIT));
        }

        // A file another program holds without sharing cannot be read.
        HANDLE holder = ::CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        const std::vector<Box> boxes = OpenTyped(dialog, locked);
        ::CloseHandle(holder);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, L"Invalid DICOM file    ");

        // Only successful opens reach the recent files.
        EXPECT_EQ(ReadRecentFiles()[0], good);
        EXPECT_EQ(ReadRecentFiles()[1], L"");

        // An empty path is no failure: no message, nothing open.
        ASSERT_TRUE(OpenTyped(dialog, good).empty());
        EXPECT_TRUE(OpenTyped(dialog, L"").empty());
        EXPECT_EQ(dialog.GetDicomFile(), nullptr);
        EXPECT_EQ(dialog.GetTagTree().GetCount(), 0u);
    }});
}

TEST_F(MainDialog, CorpusFilesShowTheirElementsAndRanges) {
    const std::wstring ct = CorpusFile(L"CT_small.dcm");
    const std::wstring plan = CorpusFile(L"rtplan.dcm");
    CDicomFile reference;
    ASSERT_TRUE(reference.LoadFile(ct));
    RunModal(dialog, {[&] {
        ASSERT_TRUE(OpenTyped(dialog, ct).empty());
        EXPECT_EQ(dialog.GetFileLength(), 39206u);
        CTreeCtrl& tree = dialog.GetTagTree();
        const std::vector<std::wstring> top = ChildLabels(tree, dialog.GetRootNode());
        EXPECT_EQ(top.size(), reference.GetElements().size());
        EXPECT_EQ(top.front(), L"(0002,0000)  Group Length");
        const HTREEITEM name = ChildWithLabel(tree, dialog.GetRootNode(), L"(0010,0010)  Patient's Name");
        ASSERT_NE(name, nullptr);
        tree.SelectItem(name);
        const std::vector<std::wstring> rows = Properties(dialog);
        EXPECT_EQ(rows[0], L"0010, 0010");
        EXPECT_EQ(rows[2], L"PN");
        EXPECT_EQ(rows[6].substr(0, 21), L"CompressedSamples^CT1");

        // Implicit VR: every header is 8 bytes. A byte inside the first item of
        // (300A,0010), which runs from 890 to 898 + 324 - 1, selects it.
        ASSERT_TRUE(OpenTyped(dialog, plan).empty());
        ClickByte(dialog.GetHexEditor(), 1000);
        EXPECT_EQ(tree.GetItemText(tree.GetSelectedItem()), L"(300A,0010)  Dose Reference Sequence");
        const std::vector<std::wstring> sequenceRows = Properties(dialog);
        EXPECT_EQ(sequenceRows[0], L"300A, 0010");
        EXPECT_EQ(sequenceRows[1], L"Dose Reference Sequence");
        EXPECT_EQ(sequenceRows[2], L"SQ");
        EXPECT_EQ(sequenceRows[3], L"890");
        EXPECT_EQ(sequenceRows[4], L"898");
        EXPECT_EQ(sequenceRows[5], L"324");
        EXPECT_EQ(dialog.GetHexEditor().GetModel().SelectionStart(), 890u);
        EXPECT_EQ(dialog.GetHexEditor().GetModel().SelectionEnd(), 898u + 324u - 1u);
    }});
}

TEST_F(MainDialog, ABigEndianFileWithLittleEndianUNItemsOpensAndGoesOnBigEndianAfterThem) {
    // An undefined-length UN element in a big-endian data set: its items are implicit VR little
    // endian, and the data set goes on big endian after its delimiter.
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.2").Mode(true, false);
    w.Element(0x0008, 0x0016, "UI", std::string("1.2.840.10008.5.1.4.1.1.7"));
    const uint64_t unTag = w.Size();
    w.BeginSequence(0x0009, 0x1010, true, "UN").Mode(false, true).BeginItem(true);
    w.US(0x0028, 0x0010, 0x0102).EndItem().EndSequence().Mode(true, false);
    const uint64_t afterTag = w.Size();
    w.US(0x0028, 0x0002, 3);
    w.Filler(6);
    const std::wstring path = WriteTemp("big_endian_un.dcm", w.Bytes());
    RunModal(dialog, {[&] {
        ASSERT_TRUE(OpenTyped(dialog, path).empty());
        CTreeCtrl& tree = dialog.GetTagTree();
        ASSERT_NE(ChildWithLabel(tree, dialog.GetRootNode(), L"(0028,0002)  Samples per Pixel"), nullptr);
        // A click on the first value byte of (0028,0002), past its 8-byte explicit VR header.
        ClickByte(dialog.GetHexEditor(), afterTag + 8);
        const std::vector<std::wstring> rows = Properties(dialog);
        EXPECT_EQ(rows[0], L"0028, 0002");
        EXPECT_EQ(rows[3], std::to_wstring(afterTag));
        EXPECT_EQ(rows[6], L"3 ");
        ClickByte(dialog.GetHexEditor(), unTag + 20);
        EXPECT_EQ(Properties(dialog)[0], L"0009, 1010");
    }});
}

TEST_F(MainDialog, NavigationKeysOnTheHexViewReachItBeforeTheDialogManager) {
    // Bytes shown without a file: no element to select, so the caret stays
    // where the keys put it.
    const std::vector<uint8_t> bytes(1000, 0x20);
    MCWndHexEditor& view = dialog.GetHexEditor();
    RunModal(dialog, {
        [&] {
            view.SetData(bytes.data(), bytes.size());
            view.SetFocus();
            view.PostMessage(WM_KEYDOWN, VK_HOME, 0);
        },
        [&] {
            EXPECT_EQ(view.GetCaret(), 0u);
            view.SetFocus();
            // The dialog manager would take Down for moving to the next control.
            view.PostMessage(WM_KEYDOWN, VK_DOWN, 0);
        },
        [&] {
            EXPECT_EQ(view.GetCaret(), 16u);
            view.SetFocus();
            view.PostMessage(WM_KEYDOWN, VK_DOWN, 0);
        },
        [&] {
            EXPECT_EQ(view.GetCaret(), 32u);
            // Left and Right keep the dialog's own handling.
            view.SetFocus();
            view.PostMessage(WM_KEYDOWN, VK_RIGHT, 0);
        },
        [&] {
            EXPECT_EQ(view.GetCaret(), 32u);
            view.SetData(nullptr, 0);
        },
    });
}

TEST_F(MainDialog, EnterInTheFileFieldEndsTheDialog) {
    HWND edit = nullptr;
    const INT_PTR result = RunModal(dialog, {
        [&] {
            edit = ::GetWindow(dialog.GetFileCombo().m_hWnd, GW_CHILD);
            ASSERT_NE(edit, nullptr);
            ::SetFocus(edit);
            ::PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
        },
        [&] {},
        [&] { ADD_FAILURE() << "the dialog is still running"; },
    });
    EXPECT_EQ(result, IDOK);
}

TEST_F(MainDialog, PropertyRowsAlternateGreyAndWhite) {
    RunModal(dialog, {[&] {
        CListCtrl& list = dialog.GetPropertyList();
        RECT client{};
        list.GetClientRect(&client);
        harness::Canvas canvas(client.right, client.bottom);
        list.SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT | PRF_ERASEBKGND);
        for (int row = 0; row < 7; ++row) {
            for (int column = 0; column < 2; ++column) {
                RECT cell{LVIR_BOUNDS, column, 0, 0};
                cell.top = column;
                cell.left = LVIR_LABEL;
                ASSERT_TRUE(list.SendMessage(LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell)));
                // A strip at the cell's right end, clear of the text and the grid lines.
                const int right = column == 0 ? cell.left + 118 : cell.right - 3;
                const RECT strip{right - 6, cell.top + 2, right, cell.bottom - 2};
                const COLORREF expected = row % 2 == 0 ? RGB(224, 224, 224) : RGB(255, 255, 255);
                const auto colours = canvas.Colours(strip);
                ASSERT_EQ(colours.size(), 1u) << "row " << row << " column " << column;
                EXPECT_EQ(colours.begin()->first, expected) << "row " << row << " column " << column;
            }
        }
    }});
}

// The column band covers the view's caption strip; it is part of the view,
// not a handle that moves it out of its frame.
TEST_F(MainDialog, TheHeaderBandIsNoHandleToMoveTheView) {
    RunModal(dialog, {[&] {
        MCWndHexEditor& view = dialog.GetHexEditor();
        const RECT frame = ClientRectOf(dialog.m_hWnd, dialog.GetDlgItem(IDC_HEX_PLACEHOLDER));
        RECT window{};
        ::GetWindowRect(view.m_hWnd, &window);
        POINT clientTop{0, 0};
        ::ClientToScreen(view.m_hWnd, &clientTop);
        ASSERT_GT(clientTop.y, window.top + 4);
        const int bandY = (window.top + clientTop.y) / 2;
        for (int x : {window.left + 3, (window.left + window.right) / 2, window.right - 3}) {
            EXPECT_EQ(view.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(x, bandY)), HTBORDER) << "x " << x;
        }
        const POINT grip{(window.left + window.right) / 2, bandY};
        DragMouse(dialog.m_hWnd, grip, POINT{grip.x - 300, grip.y + 100});
        DoubleClickMouse(dialog.m_hWnd, grip);
        SaveScreenshot(dialog.m_hWnd, L"band-dragged.bmp");
        const RECT after = ClientRectOf(dialog.m_hWnd, view.m_hWnd);
        EXPECT_EQ(after.left, frame.left);
        EXPECT_EQ(after.top, frame.top);
        EXPECT_EQ(after.right, frame.right);
        EXPECT_EQ(after.bottom, frame.bottom);
        EXPECT_FALSE(::IsZoomed(view.m_hWnd));
    }});
}

// What the tree and the property list show of elements a user looks at:
// Korean names without their escape sequences, and every group length named,
// a private group's too.
TEST_F(MainDialog, KoreanNamesAndPrivateGroupLengthsShowAsAUserExpects) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1");
    w.Element(0x0008, 0x0016, "UI", std::string("1.2.840.10008.5.1.4.1.1.7"));
    w.Element(0x0008, 0x0018, "UI", std::string("1.2.3.4"));
    const uint64_t privateLength = w.Size();
    w.Element(0x0009, 0x0000, "UL", BytesOf({14, 0, 0, 0}));
    w.Element(0x0009, 0x0010, "LO", std::string("ACME  "));
    w.Element(0x0010, 0x0010, "PN", std::string("Test^Name "));
    w.Element(0x0019, 0x0000, "UL", BytesOf({14, 0, 0, 0}));
    w.Element(0x0019, 0x0010, "LO", std::string("ACME  "));
    w.Element(0x0020, 0x000D, "UI", std::string("1.2.3.4.5"));
    const std::wstring lengths = WriteTemp("private-lengths.dcm", w.Bytes());
    const std::wstring korean =
        L"Z:\\usr\\lib\\python3\\dist-packages\\pydicom\\data\\charset_files\\chrKoreanMulti.dcm";
    RunModal(dialog, {[&] {
        MCDropFilesCombo& combo = dialog.GetFileCombo();
        CTreeCtrl& tree = dialog.GetTagTree();
        MCWndHexEditor& view = dialog.GetHexEditor();

        combo.SendMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({lengths})));
        ASSERT_NE(dialog.GetDicomFile(), nullptr);
        const std::vector<std::wstring> labels = ChildLabels(tree, dialog.GetRootNode());
        for (const wchar_t* label : {L"(0009,0000)  Group Length", L"(0019,0000)  Group Length"}) {
            EXPECT_NE(std::find(labels.begin(), labels.end(), label), labels.end()) << "no node " << label;
        }
        ClickByte(view, privateLength + 2);
        EXPECT_EQ(Properties(dialog)[0], L"0009, 0000");
        EXPECT_EQ(Properties(dialog)[1], L"Group Length");

        combo.SendMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({korean})));
        ASSERT_NE(dialog.GetDicomFile(), nullptr);
        const std::wstring kim = L"\uAE40\uD76C\uC911";
        const struct {
            uint16_t group, element;
            std::wstring text;
        } names[] = {{0x0008, 0x1070, kim}, {0x0010, 0x0010, kim}, {0x0010, 0x1001, kim + L"\\" + kim},
                     {0x0010, 0x21B0, kim}};
        for (const auto& name : names) {
            const CDicomTag* element = nullptr;
            for (const CDicomTag* top : dialog.GetDicomFile()->GetElements()) {
                if (top->GetGroup() == name.group && top->GetElement() == name.element) element = top;
            }
            ASSERT_NE(element, nullptr);
            ClickByte(view, GetElementByteRange(*element).first + 9);
            const std::wstring shown = Properties(dialog)[6];
            EXPECT_EQ(shown.substr(0, shown.find_last_not_of(L' ') + 1), name.text)
                << std::hex << name.group << "," << name.element << ": " << shown;
        }
    }});
}

// The icon control of the About box, as compiled into the program: the
// resource compiler must keep its size.
TEST(AboutBoxTemplate, IconControlIsTwentyByTwentyDialogUnits) {
    HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_ABOUTBOX), RT_DIALOG);
    ASSERT_NE(found, nullptr);
    const WORD* p = static_cast<const WORD*>(::LockResource(::LoadResource(nullptr, found)));
    ASSERT_EQ(p[1], 0xFFFF) << "not an extended dialog template";
    const auto skipText = [](const WORD* at) {  // a name or an ordinal
        if (*at == 0xFFFF) return at + 2;
        while (*at != 0) ++at;
        return at + 1;
    };
    const DWORD style = *reinterpret_cast<const DWORD*>(p + 6);
    const WORD count = p[8];
    p = skipText(skipText(skipText(p + 13)));  // menu, class, caption
    if (style & DS_SETFONT) p = skipText(p + 3);
    int icons = 0;
    for (WORD i = 0; i < count; ++i) {
        p = reinterpret_cast<const WORD*>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t(3));
        const DWORD itemStyle = *reinterpret_cast<const DWORD*>(p + 4);
        const short* box = reinterpret_cast<const short*>(p + 6);
        const WORD* itemClass = p + 12;
        // The static class by its ordinal, or by its name.
        const wchar_t* className = reinterpret_cast<const wchar_t*>(itemClass);
        const bool isStatic = itemClass[0] == 0xFFFF ? itemClass[1] == 0x0082 : _wcsicmp(className, L"Static") == 0;
        if (isStatic && (itemStyle & SS_TYPEMASK) == SS_ICON) {
            ++icons;
            EXPECT_EQ(box[0], 11);
            EXPECT_EQ(box[1], 17);
            EXPECT_EQ(box[2], 20);
            EXPECT_EQ(box[3], 20);
            const WORD* text = skipText(itemClass);
            EXPECT_EQ(text[0], 0xFFFF);
            EXPECT_EQ(text[1], IDR_MAINFRAME);
        }
        p = skipText(skipText(itemClass));
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p + 1) + *p);  // creation data
    }
    EXPECT_EQ(icons, 1);
}
