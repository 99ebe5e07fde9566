#include "app/DropFilesCombo.h"

#include <shellapi.h>

const MessageMap* MCDropFilesCombo::GetMessageMap() const {
    static const MessageEntry entries[] = {
        OnMessage(WM_DROPFILES, &MCDropFilesCombo::OnDropFiles),
        OnReflectedCommand(CBN_EDITCHANGE, &MCDropFilesCombo::OnEditChange),
        OnReflectedCommand(CBN_SELCHANGE, &MCDropFilesCombo::OnSelChange),
    };
    static const MessageMap map{CComboBox::GetMessageMap(), entries, sizeof entries / sizeof entries[0]};
    return &map;
}

LRESULT MCDropFilesCombo::OnDropFiles(WPARAM wParam, LPARAM) {
    HDROP drop = reinterpret_cast<HDROP>(wParam);
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    if (count > 0) {
        // Only the first file counts; a longer path is cut to the buffer.
        wchar_t path[MAX_PATH] = L"";
        ::DragQueryFileW(drop, 0, path, MAX_PATH);
        // Without a list selection the parent reads the edit field, which now
        // holds the dropped path.
        SetCurSel(-1);
        SetWindowText(path);
    }
    ::DragFinish(drop);
    NotifyParent(FCN_DROPPED);
    return 0;
}

LRESULT MCDropFilesCombo::OnEditChange(WPARAM, LPARAM) {
    OnContentChanged(FCN_EDITED);
    return 0;
}

LRESULT MCDropFilesCombo::OnSelChange(WPARAM, LPARAM) {
    OnContentChanged(FCN_SELECTED);
    return 0;
}

void MCDropFilesCombo::OnContentChanged(UINT code) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the end of the program to the loop that waits for it.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    NotifyParent(code);
}

void MCDropFilesCombo::NotifyParent(UINT code) {
    HWND parent = GetParent();
    if (parent != nullptr && m_hWnd != nullptr) {
        ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(FCN_COMMAND, code), reinterpret_cast<LPARAM>(m_hWnd));
    }
}
