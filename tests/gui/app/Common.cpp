#include "tests/gui/app/Common.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>

#include "framework/WinApp.h"
#include "tests/gui/app/Harness.h"

namespace apptest {

std::wstring CorpusFile(const wchar_t* name) {
    return std::wstring(L"Z:\\usr\\lib\\python3\\dist-packages\\pydicom\\data\\test_files\\") + name;
}

std::wstring RecentFilesKey() {
    return AfxGetApp()->GetSectionKeyPath(kRecentFilesSection);
}

void ClearRecentFiles() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, RecentFilesKey().c_str());
}

void WriteRecentFile(int slot, const std::wstring& path) {
    AfxGetApp()->WriteProfileString(kRecentFilesSection, L"URL" + std::to_wstring(slot + 1), path);
}

std::vector<std::wstring> ReadRecentFiles() {
    std::vector<std::wstring> values;
    for (int slot = 0; slot < kRecentFileCount; ++slot) {
        values.push_back(
            AfxGetApp()->GetProfileString(kRecentFilesSection, L"URL" + std::to_wstring(slot + 1), L"<absent>"));
    }
    return values;
}

std::wstring WriteTemp(const std::string& name, const std::vector<uint8_t>& bytes) {
    DicomWriter writer;
    writer.Raw(bytes);
    return WidePath(writer.WriteTempFile(name));
}

NestedFile MakeNestedFile() {
    NestedFile f;
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1");
    w.Element(0x0008, 0x0005, "CS", std::string("ISO_IR 192"));
    w.Element(0x0008, 0x0016, "UI", std::string("1.2.840.10008.5.1.4.1.1.7"));
    f.sequenceTag = w.Size();
    w.BeginSequence(0x0008, 0x1140, true);
    f.firstItemTag = w.Size();
    w.BeginItem(true);
    w.Element(0x0008, 0x0005, "CS", std::string("ISO_IR 100"));
    f.nameInItemTag = w.Size();
    w.Element(0x0010, 0x0010, "PN", std::string("M\xFCller^Ann"));
    w.EndItem();
    w.BeginItem(false);
    w.Element(0x0008, 0x1150, "UI", std::string("1.2.3.4"));
    w.EndItem();
    w.EndSequence();
    f.sequenceEnd = w.Size();
    f.binaryTag = w.Size();
    w.Element(0x0009, 0x1010, "OB", BytesOf({0x0D, 0x0A, 0x1A, 0x00}));
    w.Element(0x0010, 0x0010, "PN", std::string("Test^Name "));
    f.emptyElementTag = w.Size();
    w.Element(0x0020, 0x0013, "IS", std::string());
    w.Filler(6);
    f.bytes = w.Bytes();
    return f;
}

std::vector<HTREEITEM> Children(CTreeCtrl& tree, HTREEITEM parent) {
    // A node's children are put in the tree when it is first opened: open
    // and close it the way a user looking at them would.
    if (parent != nullptr && !(tree.GetItemState(parent, TVIS_EXPANDED) & TVIS_EXPANDED)) {
        tree.Expand(parent, TVE_EXPAND);
        tree.Expand(parent, TVE_COLLAPSE);
    }
    std::vector<HTREEITEM> items;
    for (HTREEITEM item = tree.GetChildItem(parent); item != nullptr; item = tree.GetNextSiblingItem(item)) {
        items.push_back(item);
    }
    return items;
}

std::vector<std::wstring> ChildLabels(CTreeCtrl& tree, HTREEITEM parent) {
    std::vector<std::wstring> labels;
    for (HTREEITEM item : Children(tree, parent)) labels.push_back(tree.GetItemText(item));
    return labels;
}

HTREEITEM ChildWithLabel(CTreeCtrl& tree, HTREEITEM parent, const std::wstring& label) {
    for (HTREEITEM item : Children(tree, parent)) {
        if (tree.GetItemText(item) == label) return item;
    }
    return nullptr;
}

std::vector<std::wstring> Properties(COrvelDICOMHexariumDlg& dialog) {
    std::vector<std::wstring> values;
    for (int row = 0; row < kPropertyRowCount; ++row) values.push_back(dialog.GetPropertyList().GetItemText(row, 1));
    return values;
}

void ClickByte(MCWndHexEditor& view, uint64_t offset) {
    const CHexEditorModel& model = view.GetModel();
    const uint64_t row = offset / 16;
    if (row < model.FirstVisibleRow() || row >= model.FirstVisibleRow() + model.VisibleRowCount()) {
        view.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(row / model.ScrollScale())));
    }
    ASSERT_GE(row, model.FirstVisibleRow());
    const HexSpan cell = model.Cell(HexColumn::Hex, static_cast<int>(offset % 16));
    const int x = (cell.left + cell.right) / 2;
    const int y = static_cast<int>(row - model.FirstVisibleRow()) * model.Geometry().lineHeight +
                  model.Geometry().lineHeight / 2;
    view.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    view.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

std::vector<Box> OpenTyped(COrvelDICOMHexariumDlg& dialog, const std::wstring& path) {
    dialog.GetFileCombo().SetCurSel(-1);
    dialog.GetFileCombo().SetWindowText(path);
    const std::vector<harness::SeenWindow> seen = harness::WhileAnswering([&] { dialog.OpenFileFromCombo(); });
    std::vector<Box> boxes;
    for (const harness::SeenWindow& window : seen) {
        Box box;
        box.caption = window.caption;
        for (const std::wstring& text : window.texts) box.text += text;
        box.errorIcon = window.icon != nullptr && window.icon == ::LoadIconW(nullptr, IDI_HAND);
        boxes.push_back(box);
    }
    return boxes;
}

// An HDROP holding the given paths, as the shell hands it over.
HDROP MakeDrop(const std::vector<std::wstring>& files) {
    size_t chars = 1;
    for (const std::wstring& f : files) chars += f.size() + 1;
    HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    DROPFILES* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    wchar_t* out = reinterpret_cast<wchar_t*>(drop + 1);
    for (const std::wstring& f : files) {
        std::copy(f.begin(), f.end(), out);
        out += f.size() + 1;
    }
    ::GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

namespace {

INPUT MouseInput(DWORD flags, POINT screen = POINT{0, 0}) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    if (flags & MOUSEEVENTF_ABSOLUTE) {
        // Absolute input is in 0..65535 over the primary screen.
        const int width = ::GetSystemMetrics(SM_CXSCREEN);
        const int height = ::GetSystemMetrics(SM_CYSCREEN);
        input.mi.dx = static_cast<LONG>((screen.x * 65536LL + width / 2) / width);
        input.mi.dy = static_cast<LONG>((screen.y * 65536LL + height / 2) / height);
    }
    return input;
}

INPUT MoveTo(POINT screen) {
    return MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, screen);
}

// The whole gesture goes into the queue before any of it is handled: a press
// may start a modal loop (a window move) that reads the rest from the queue.
void Send(HWND dialog, std::vector<INPUT> inputs) {
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    harness::Pump(dialog, 150);
}

}  // namespace

void DragMouse(HWND dialog, POINT from, POINT to) {
    std::vector<INPUT> inputs{MoveTo(from), MouseInput(MOUSEEVENTF_LEFTDOWN)};
    for (int step = 1; step <= 4; ++step) {
        inputs.push_back(MoveTo(POINT{from.x + (to.x - from.x) * step / 4, from.y + (to.y - from.y) * step / 4}));
    }
    inputs.push_back(MouseInput(MOUSEEVENTF_LEFTUP));
    Send(dialog, inputs);
}

void ClickMouse(HWND dialog, POINT screen) {
    Send(dialog, {MoveTo(screen), MouseInput(MOUSEEVENTF_LEFTDOWN), MouseInput(MOUSEEVENTF_LEFTUP)});
}

void DoubleClickMouse(HWND dialog, POINT screen) {
    Send(dialog, {MoveTo(screen), MouseInput(MOUSEEVENTF_LEFTDOWN), MouseInput(MOUSEEVENTF_LEFTUP),
                  MouseInput(MOUSEEVENTF_LEFTDOWN), MouseInput(MOUSEEVENTF_LEFTUP)});
}

bool PropertiesBlank(COrvelDICOMHexariumDlg& dialog) {
    for (const std::wstring& value : Properties(dialog)) {
        if (value.find_first_not_of(L' ') != std::wstring::npos) return false;
    }
    return true;
}

void SaveScreenshot(HWND window, const wchar_t* name) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    harness::Pump(window, 200);
    RECT rect{};
    ::GetWindowRect(window, &rect);
    harness::Canvas canvas(rect.right - rect.left, rect.bottom - rect.top);
    ASSERT_TRUE(harness::CaptureWindow(window, canvas));
    EXPECT_TRUE(canvas.SaveBmp(WidePath(ORVEL_SCREENSHOT_DIR) + L"\\" + name));
}

void ExpectRefusedWithNothingOpen(COrvelDICOMHexariumDlg& dialog, const std::vector<Box>& boxes) {
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"Invalid DICOM file    ");
    EXPECT_EQ(boxes[0].caption, AfxGetApp()->GetAppName());
    EXPECT_TRUE(boxes[0].errorIcon);
    EXPECT_EQ(dialog.GetDicomFile(), nullptr);
    EXPECT_EQ(dialog.GetFileData(), nullptr);
    EXPECT_EQ(dialog.GetFileLength(), 0u);
    EXPECT_TRUE(dialog.GetNodeTable().empty());
    EXPECT_EQ(dialog.GetTagTree().GetCount(), 0u);
    EXPECT_EQ(dialog.GetRootNode(), nullptr);
    EXPECT_FALSE(dialog.GetHexEditor().GetModel().HasData());
}

}  // namespace apptest
