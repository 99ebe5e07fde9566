// COrvelDICOMHexariumDlg: the main window. It owns the open file (its bytes
// and its parse), the tag tree with its node table, the property list, the
// file combo with the recent files, the hex view and the web link.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/DropFilesCombo.h"
#include "app/HyperLink.h"
#include "dicom/read/DicomFile.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "hexedit/WndHexEditor.h"

// The message-box texts of the open operation; each ends in four blanks.
extern const wchar_t* const kInvalidFileText;        // "Invalid DICOM file    "
extern const wchar_t* const kEmptyFileText;          // "File does not contain data    "
extern const wchar_t* const kMemoryErrorText;        // "Memory allocation error    "
extern const wchar_t* const kNoEditorText;           // "I can not create editor window    "
// Registry section of the recent files, values "URL1" to "URL8".
extern const wchar_t* const kRecentFilesSection;
constexpr int kRecentFileCount = 8;
// Rows of the property list.
constexpr int kPropertyRowCount = 7;

// The record of one element in the node table: its tree node, the element and
// the Specific Character Set in force where the element stands. The table
// holds every element of the file in depth-first pre-order; a node is put in
// the tree when its parent is first expanded (the top-level ones at once), so
// `node` is null until then.
struct CTagNode {
    HTREEITEM node;
    const CDicomTag* element;    // owned by the dialog's CDicomFile
    std::wstring characterSet;   // at most 255 characters
    size_t subtreeEnd;           // index just past the records of the element's descendants
};

class COrvelDICOMHexariumDlg : public CDialog {
public:
    explicit COrvelDICOMHexariumDlg(CWnd* parent = nullptr);
    ~COrvelDICOMHexariumDlg() override;

    // A path to open as soon as the dialog is shown, as if chosen with "Open...".
    void SetStartupPath(const std::wstring& path) { m_startupPath = path; }

    BOOL PreTranslateMessage(MSG* msg) override;

    // Opens the file the combo names: its selected item, else its edit text.
    void OpenFileFromCombo();
    // Adds path to the combo's list unless it is there (ignoring case),
    // selects it and opens it: what "Open..." does with a chosen file.
    void OpenChosenPath(const std::wstring& path);
    // Rebuilds the tag tree and the node table from the open file.
    void FillTagTree();
    // Fills the property list for a tree node and highlights its bytes.
    void ShowTagProperties(HTREEITEM node);
    // Selects the node of the outermost element under the hex view's caret.
    void SelectTagAtCaret();

    // State, for those who show or check it.
    const unsigned char* GetFileData() const { return fileData.get(); }
    uint32_t GetFileLength() const { return fileLength; }
    const CDicomFile* GetDicomFile() const { return dicomFile.get(); }
    const std::wstring& GetRecentFile(int slot) const { return recentFiles[slot]; }
    const std::vector<CTagNode>& GetNodeTable() const { return nodeTable; }
    const std::wstring& GetCurrentPath() const { return currentPath; }
    HTREEITEM GetRootNode() const { return rootNode; }
    MCWndHexEditor& GetHexEditor() { return hexEditor; }
    CTreeCtrl& GetTagTree() { return tagTree; }
    CListCtrl& GetPropertyList() { return propertyList; }
    MCDropFilesCombo& GetFileCombo() { return fileCombo; }
    MCHyperLink& GetWebLink() { return webLink; }

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    const MessageMap* GetMessageMap() const override;

private:
    LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam);        // a system-menu command was chosen
    LRESULT OnPaint(WPARAM wParam, LPARAM lParam);             // the window needs painting
    LRESULT OnQueryDragIcon(WPARAM wParam, LPARAM lParam);     // the minimised window is dragged
    LRESULT OnOpenButton(WPARAM wParam, LPARAM lParam);        // "Open..." was clicked
    LRESULT OnTreeSelChanged(WPARAM wParam, LPARAM lParam);    // the tree's selection changed
    LRESULT OnHexCaretChanged(WPARAM wParam, LPARAM lParam);   // the hex view's caret moved or a byte was clicked
    LRESULT OnComboOpens(WPARAM wParam, LPARAM lParam);        // a file was dropped on the combo or chosen in its list
    LRESULT OnComboEdited(WPARAM wParam, LPARAM lParam);       // the combo's edit text was changed
    LRESULT OnComboBrowsed(WPARAM wParam, LPARAM lParam);      // the arrows moved the combo's selection
    LRESULT OnListCustomDraw(WPARAM wParam, LPARAM lParam);    // the property list paints a part
    LRESULT OnOpenStartupPath(WPARAM wParam, LPARAM lParam);   // the dialog is shown: open the command line's file

    void InitPropertyList();
    void LoadRecentFiles();
    // Records path among the recent files (unless there, ignoring case) and
    // writes all eight slots.
    void RememberRecentFile(const std::wstring& path);
    // Detaches the hex view and frees the bytes, the parse and the node table.
    void ReleaseFile();
    // Reads the file's bytes into fileData; the message to show on failure, or null.
    const wchar_t* ReadFileBytes(const std::wstring& path);
    void ReportOpenFailure(const wchar_t* text);
    // Appends the records of element and, after it, of its descendants; the
    // element's node goes in the tree under parentNode unless that is null
    // (its parent is not expanded yet). False when the table could not grow or
    // the node could not be inserted; the record is then not in the table.
    bool AddTagNode(const CDicomTag* element, HTREEITEM parentNode, const std::wstring& characterSet);
    // Puts the node of record `index` in the tree under parent.
    HTREEITEM InsertTreeNode(size_t index, HTREEITEM parent);
    // Puts the children of record `index` in the tree, once, when it is shown.
    void InsertChildNodes(size_t index);
    // The record of a tree node, or kNoRecord (the root, no node).
    size_t RecordOfNode(HTREEITEM node) const;
    LRESULT OnTreeItemExpanding(WPARAM wParam, LPARAM lParam);  // a tree node is about to open or close
    void SetPropertyValue(int row, const std::wstring& text);
    void BlankProperties();

    // Declared in the order of construction.
    std::unique_ptr<unsigned char[]> fileData;
    uint32_t fileLength = 0;
    std::unique_ptr<CDicomFile> dicomFile;
    std::wstring recentFiles[kRecentFileCount];
    MCWndHexEditor hexEditor;
    std::wstring currentPath;
    std::vector<CTagNode> nodeTable;
    HTREEITEM rootNode = nullptr;
    HICON bigIcon = nullptr;
    CTreeCtrl tagTree;
    CListCtrl propertyList;
    MCDropFilesCombo fileCombo;
    std::wstring sizeText;
    MCHyperLink webLink;
    std::wstring m_startupPath;
};
