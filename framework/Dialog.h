// CDialog: a modal dialog from a template resource, whose dialog procedure
// dispatches through the object's message table, with data exchange between
// members and controls (DoDataExchange, UpdateData).
#pragma once

#include <windows.h>

#include <string>

#include "framework/Wnd.h"

class CDialog;

// The direction and target of one data exchange.
class CDataExchange {
public:
    CDataExchange(CDialog* dialog, BOOL saveAndValidate) : m_dialog(dialog), m_saveAndValidate(saveAndValidate) {}

    CDialog* m_dialog;
    BOOL m_saveAndValidate;  // TRUE: controls to members; FALSE: members to controls
};

// Binds control `id` to `control` by subclassing it, the first time only.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);
// Transfers the text of control `id` to or from `text`.
void DDX_Text(CDataExchange* dx, int id, std::wstring& text);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);

    // Shows the dialog and runs its modal loop; the result given to
    // EndDialog, or -1 when the dialog could not be created.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

    // Runs DoDataExchange: controls to members when saveAndValidate is TRUE,
    // members to controls otherwise.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // Sees every message of the dialog's modal loop before the dialog
    // manager does; TRUE when it handled the message.
    virtual BOOL PreTranslateMessage(MSG* msg);

    // The dialog procedure of every CDialog; returns results through DWLP_MSGRESULT.
    static INT_PTR CALLBACK DialogProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    // Called at WM_INITDIALOG; transfers the members to the controls. TRUE
    // lets the dialog manager give the focus to the first control.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange*) {}
    // Enter and the OK button; Esc, the close box and the Cancel button.
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    const MessageMap* GetMessageMap() const override;
    // The dialog manager's own handling: the dialog procedure answers FALSE.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT HandleInitDialog(WPARAM wParam, LPARAM lParam);  // the dialog is created, not yet shown
    LRESULT HandleOk(WPARAM wParam, LPARAM lParam);          // the OK command
    LRESULT HandleCancel(WPARAM wParam, LPARAM lParam);      // the Cancel command

    UINT m_templateId;
    CWnd* m_parent;
    bool m_defaultWanted = false;  // the message being handled goes on to the dialog manager
};
