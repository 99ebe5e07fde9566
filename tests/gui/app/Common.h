// Shared pieces of the viewer's dialog tests: the test files, the registry
// section, tree and list read-back, clicks on the hex view.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/OrvelDICOMHexariumDlg.h"
#include "tests/support/DicomWriter.h"

namespace apptest {

// pydicom's sample files, seen from Wine.
std::wstring CorpusFile(const wchar_t* name);

// The registry key of this test program's settings (the application name is
// the executable's), and helpers to set it up.
std::wstring RecentFilesKey();
void ClearRecentFiles();
void WriteRecentFile(int slot, const std::wstring& path);
// URL1..URL8 as stored; absent values read as "<absent>".
std::vector<std::wstring> ReadRecentFiles();

// Writes a file of bytes under the temporary folder; its wide path.
std::wstring WriteTemp(const std::string& name, const std::vector<uint8_t>& bytes);

// A loadable file made by the test writer, with the positions tests check.
struct NestedFile {
    std::vector<uint8_t> bytes;
    uint64_t sequenceTag = 0;      // (0008,1140) SQ, undefined length
    uint64_t sequenceEnd = 0;      // one past its delimiter
    uint64_t firstItemTag = 0;     // undefined-length item with its own (0008,0005)
    uint64_t nameInItemTag = 0;    // (0010,0010) PN inside the first item
    uint64_t emptyElementTag = 0;  // (0020,0013) IS of length 0
    uint64_t binaryTag = 0;        // (0009,1010) OB holding 0D 0A 1A bytes
};
NestedFile MakeNestedFile();

// Tree read-back.
std::vector<HTREEITEM> Children(CTreeCtrl& tree, HTREEITEM parent);
std::vector<std::wstring> ChildLabels(CTreeCtrl& tree, HTREEITEM parent);
HTREEITEM ChildWithLabel(CTreeCtrl& tree, HTREEITEM parent, const std::wstring& label);

// The seven value texts of the property list.
std::vector<std::wstring> Properties(COrvelDICOMHexariumDlg& dialog);

// Clicks the hex cell of a byte, scrolling its row into view first.
void ClickByte(MCWndHexEditor& view, uint64_t offset);

// Puts a path in the combo's edit field (no selection) and opens it; returns
// the message boxes it raised.
struct Box {
    std::wstring caption;
    std::wstring text;
    bool errorIcon = false;
};
std::vector<Box> OpenTyped(COrvelDICOMHexariumDlg& dialog, const std::wstring& path);
// A refused open: one error box "Invalid DICOM file    " captioned with the
// application's name, and nothing open afterwards (parse, bytes, node table,
// tree, hex view).
void ExpectRefusedWithNothingOpen(COrvelDICOMHexariumDlg& dialog, const std::vector<Box>& boxes);

// An HDROP holding the given paths, as the shell hands it over (the receiver frees it).
HDROP MakeDrop(const std::vector<std::wstring>& files);

// Real mouse input through the thread's input queue, as a user's hand gives
// it, at screen points; the dialog's loop runs a little afterwards, so the
// windows have seen it on return.
void ClickMouse(HWND dialog, POINT screen);
void DoubleClickMouse(HWND dialog, POINT screen);
// Press at `from`, move to `to` in a few steps, release there.
void DragMouse(HWND dialog, POINT from, POINT to);

// The seven property values are all blank (empty or a single blank each).
bool PropertiesBlank(COrvelDICOMHexariumDlg& dialog);

// What the screen shows of a window, repainted first, saved as a BMP file of
// that name in the screenshot folder.
void SaveScreenshot(HWND window, const wchar_t* name);

}  // namespace apptest
