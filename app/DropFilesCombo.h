// MCDropFilesCombo: the file row's combo box. It accepts files dropped from
// the shell and tells its parent of every change of its content with one
// WM_COMMAND: command id FCN_COMMAND in the low word, what changed in the high
// word, its own window in lParam. A file is to be opened after a drop and
// after a choice completed in the dropped list, never while the arrows step
// through the closed combo.
#pragma once

#include "framework/Controls.h"

// The command id the combo sends. The hex view sends the same id
// (HEXN_CARETCHANGED) with code 0; the codes below tell the combo's apart.
constexpr UINT FCN_COMMAND = 31001;
constexpr UINT FCN_DROPPED = 1;   // a file was dropped: its path is in the edit field
constexpr UINT FCN_SELECTED = 2;  // an item was chosen in the dropped list: clicked, Enter, or closed on another
constexpr UINT FCN_EDITED = 3;    // the text in the edit field changed
constexpr UINT FCN_BROWSED = 4;   // the list selection moved (arrows), no choice made yet

class MCDropFilesCombo : public CComboBox {
protected:
    const MessageMap* GetMessageMap() const override;

private:
    LRESULT OnDropFiles(WPARAM wParam, LPARAM lParam);   // files were dropped on the combo
    LRESULT OnEditChange(WPARAM wParam, LPARAM lParam);  // the user changed the edit text (reflected CBN_EDITCHANGE)
    LRESULT OnSelChange(WPARAM wParam, LPARAM lParam);   // the list selection changed (reflected CBN_SELCHANGE)
    LRESULT OnDropDown(WPARAM wParam, LPARAM lParam);    // the list is about to drop (reflected CBN_DROPDOWN)
    LRESULT OnSelEndOk(WPARAM wParam, LPARAM lParam);    // the selection was accepted (reflected CBN_SELENDOK)
    LRESULT OnCloseUp(WPARAM wParam, LPARAM lParam);     // the dropped list closed (reflected CBN_CLOSEUP)
    LRESULT OnChoiceMade(WPARAM wParam, LPARAM lParam);  // posted at a close-up that completed a choice

    // Lets every waiting message of the thread through, so the edit field and
    // the list show their new state, then notifies the parent.
    void OnContentChanged(UINT code);
    void NotifyParent(UINT code);

    // While the list is dropped: the selection it dropped with, and whether
    // the user accepted an item (a click on it, Enter).
    bool m_dropped = false;
    bool m_accepted = false;
    int m_selectionAtDrop = -1;
};
