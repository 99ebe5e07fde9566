#include "app/DropFilesCombo.h"

#include <shellapi.h>

namespace {

// Posted to the combo itself, so that the parent hears of a choice after the
// combo has finished closing its list and shows the chosen item.
constexpr UINT WM_CHOICE_MADE = WM_APP + 1;

}  // namespace

const MessageMap* MCDropFilesCombo::GetMessageMap() const {
    static const MessageEntry entries[] = {
        OnMessage(WM_DROPFILES, &MCDropFilesCombo::OnDropFiles),
        OnReflectedCommand(CBN_EDITCHANGE, &MCDropFilesCombo::OnEditChange),
        OnReflectedCommand(CBN_SELCHANGE, &MCDropFilesCombo::OnSelChange),
        OnReflectedCommand(CBN_DROPDOWN, &MCDropFilesCombo::OnDropDown),
        OnReflectedCommand(CBN_SELENDOK, &MCDropFilesCombo::OnSelEndOk),
        OnReflectedCommand(CBN_CLOSEUP, &MCDropFilesCombo::OnCloseUp),
        OnMessage(WM_CHOICE_MADE, &MCDropFilesCombo::OnChoiceMade),
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
    // Every step of the arrows changes the selection, in the closed combo as
    // in the dropped list: that is browsing, not yet a choice.
    OnContentChanged(FCN_BROWSED);
    return 0;
}

LRESULT MCDropFilesCombo::OnDropDown(WPARAM, LPARAM) {
    m_dropped = true;
    m_accepted = false;
    m_selectionAtDrop = GetCurSel();
    return 0;
}

LRESULT MCDropFilesCombo::OnSelEndOk(WPARAM, LPARAM) {
    // Also sent for each arrow step in the closed combo; only an accepted
    // item of the dropped list counts.
    if (m_dropped) {
        m_accepted = true;
    }
    return 0;
}

LRESULT MCDropFilesCombo::OnCloseUp(WPARAM, LPARAM) {
    const int selected = GetCurSel();
    const bool chosen = m_dropped && selected != CB_ERR && (m_accepted || selected != m_selectionAtDrop);
    m_dropped = false;
    m_accepted = false;
    if (chosen) {
        PostMessage(WM_CHOICE_MADE);
    }
    return 0;
}

LRESULT MCDropFilesCombo::OnChoiceMade(WPARAM, LPARAM) {
    if (GetCurSel() != CB_ERR) {
        NotifyParent(FCN_SELECTED);
    }
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
