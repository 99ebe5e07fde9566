// Wrappers of the common controls the program uses. Each holds only its
// window (bound by subclassing, usually through DDX_Control); each call is one
// message to it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "framework/Wnd.h"

class CStatic : public CWnd {};

class CComboBox : public CWnd {
public:
    // Attributes
    int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int index) { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index))); }
    // The text of list item `index`; empty for an index out of range.
    std::wstring GetLBText(int index) const {
        const LRESULT length = SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
        if (length == CB_ERR || length <= 0) return std::wstring();
        std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
        SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
        return std::wstring(text.data());
    }
    BOOL GetDroppedState() const { return static_cast<BOOL>(SendMessage(CB_GETDROPPEDSTATE)); }

    // Operations
    int AddString(const std::wstring& text) {
        return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    }
    // The first item equal to text as a whole, ignoring letter case, searching
    // after item `startAfter` (-1: from the top); CB_ERR when there is none.
    int FindStringExact(int startAfter, const std::wstring& text) const {
        return static_cast<int>(
            SendMessage(CB_FINDSTRINGEXACT, static_cast<WPARAM>(startAfter), reinterpret_cast<LPARAM>(text.c_str())));
    }
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
};

class CTreeCtrl : public CWnd {
public:
    // Attributes
    HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
    HTREEITEM GetChildItem(HTREEITEM item) const { return GetNextItem(item, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXT); }
    HTREEITEM GetParentItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PARENT); }
    HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
    HTREEITEM GetNextItem(HTREEITEM item, UINT code) const {
        return reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
    }
    UINT GetCount() const { return static_cast<UINT>(SendMessage(TVM_GETCOUNT)); }
    UINT GetItemState(HTREEITEM item, UINT mask) const {
        return static_cast<UINT>(SendMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), mask));
    }
    std::wstring GetItemText(HTREEITEM item) const {
        wchar_t text[1024] = L"";
        TVITEMW tv{};
        tv.mask = TVIF_TEXT;
        tv.hItem = item;
        tv.pszText = text;
        tv.cchTextMax = 1024;
        SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
        return text;
    }

    // Operations
    // Inserts a text-only item (item data 0) under parent, after `after`.
    HTREEITEM InsertItem(const std::wstring& text, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST) {
        TVINSERTSTRUCTW insert{};
        insert.hParent = parent;
        insert.hInsertAfter = after;
        insert.item.mask = TVIF_TEXT;
        insert.item.pszText = const_cast<wchar_t*>(text.c_str());
        return reinterpret_cast<HTREEITEM>(SendMessage(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    }
    // Inserts an item with text and item data under parent, after `after`;
    // hasChildren shows the expand button before any child is inserted.
    HTREEITEM InsertItem(const std::wstring& text, LPARAM data, bool hasChildren, HTREEITEM parent,
                         HTREEITEM after = TVI_LAST) {
        TVINSERTSTRUCTW insert{};
        insert.hParent = parent;
        insert.hInsertAfter = after;
        insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
        insert.item.pszText = const_cast<wchar_t*>(text.c_str());
        insert.item.lParam = data;
        insert.item.cChildren = hasChildren ? 1 : 0;
        return reinterpret_cast<HTREEITEM>(SendMessage(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    }
    // The item data of an item; 0 when there is none.
    LPARAM GetItemData(HTREEITEM item) const {
        TVITEMW tv{};
        tv.mask = TVIF_PARAM;
        tv.hItem = item;
        return SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv)) ? tv.lParam : 0;
    }
    BOOL DeleteItem(HTREEITEM item) {
        return static_cast<BOOL>(SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)));
    }
    BOOL DeleteAllItems() { return DeleteItem(TVI_ROOT); }
    BOOL Expand(HTREEITEM item, UINT code) {
        return static_cast<BOOL>(SendMessage(TVM_EXPAND, code, reinterpret_cast<LPARAM>(item)));
    }
    // Makes item the selection (and visible); null clears the selection.
    BOOL SelectItem(HTREEITEM item) {
        return static_cast<BOOL>(SendMessage(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)));
    }
};

class CListCtrl : public CWnd {
public:
    // Attributes
    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    DWORD SetExtendedStyle(DWORD style) {
        return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style));
    }
    std::wstring GetItemText(int item, int subItem) const {
        wchar_t text[1024] = L"";
        LVITEMW lv{};
        lv.iSubItem = subItem;
        lv.pszText = text;
        lv.cchTextMax = 1024;
        SendMessage(LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lv));
        return text;
    }

    // Operations
    int InsertColumn(int column, const std::wstring& heading, int format, int width) {
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
        col.fmt = format;
        col.cx = width;
        col.pszText = const_cast<wchar_t*>(heading.c_str());
        col.iSubItem = column;
        return static_cast<int>(SendMessage(LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&col)));
    }
    int InsertItem(int item, const std::wstring& text) {
        LVITEMW lv{};
        lv.mask = LVIF_TEXT;
        lv.iItem = item;
        lv.pszText = const_cast<wchar_t*>(text.c_str());
        return static_cast<int>(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&lv)));
    }
    BOOL SetItemText(int item, int subItem, const std::wstring& text) {
        LVITEMW lv{};
        lv.iSubItem = subItem;
        lv.pszText = const_cast<wchar_t*>(text.c_str());
        return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lv)));
    }
};

// Shows the wait cursor from construction to destruction, then the cursor
// that was there before.
class CWaitCursor {
public:
    CWaitCursor() : m_previous(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
    ~CWaitCursor() { Restore(); }
    void Restore() {
        if (!m_restored) {
            ::SetCursor(m_previous != nullptr ? m_previous : ::LoadCursorW(nullptr, IDC_ARROW));
            m_restored = true;
        }
    }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    HCURSOR m_previous;
    bool m_restored = false;
};
