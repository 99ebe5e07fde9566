// MCWndHexEditor: the hex view window. It shows a byte buffer that its parent
// owns, highlights one byte range, and tells the parent when the user clicks a
// byte or moves the caret with the keyboard. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "framework/Font.h"
#include "framework/Wnd.h"
#include "hexedit/HexEditorModel.h"

// Command id sent to the parent in WM_COMMAND (notification code 0, lParam 0)
// when the user clicked a byte or moved the caret; GetCaret tells where.
constexpr UINT HEXN_CARETCHANGED = 31001;
// The view's control id in its parent.
constexpr UINT HEX_EDITOR_CONTROL_ID = 1000;
// The window class the view registers.
constexpr const wchar_t* HEX_EDITOR_CLASS_NAME = L"MyHexEditor";

class MCWndHexEditor : public CWnd {
public:
    MCWndHexEditor();
    ~MCWndHexEditor() override;

    // Registers the window class (once per process) and creates the view as
    // a child of parent, with an empty rectangle; the parent places it.
    BOOL Create(CWnd* parent);
    BOOL Create(HWND parent);

    // Shows a new buffer, or none (null, 0). The buffer is not copied: the
    // parent keeps it alive and unchanged until it hands over another one.
    void SetData(const unsigned char* data, uint64_t size);
    // Highlights the bytes start to end (inclusive) and scrolls the first of
    // them into view.
    void SetSelection(uint64_t start, uint64_t end);
    // Removes the highlight and the caret and scrolls to the top.
    void ClearSelection();
    // The caret's byte offset, or 0xFFFFFFFF for none. While the parent
    // handles a click's HEXN_CARETCHANGED it is the clicked byte.
    uint64_t GetCaret() const { return m_model.Caret(); }

    // The view's layout and state, for whoever needs to know where a byte is drawn.
    const CHexEditorModel& GetModel() const { return m_model; }

protected:
    const MessageMap* GetMessageMap() const override;

private:
    // Message handlers; each comment says when it is called.
    LRESULT OnPaint(WPARAM wParam, LPARAM lParam);        // the client area needs painting
    LRESULT OnPrintClient(WPARAM wParam, LPARAM lParam);  // asked to paint the client area into a DC
    LRESULT OnEraseBkgnd(WPARAM wParam, LPARAM lParam);   // before painting; painting covers it all
    LRESULT OnNcPaint(WPARAM wParam, LPARAM lParam);      // the frame and caption strip need painting
    LRESULT OnNcHitTest(WPARAM wParam, LPARAM lParam);    // the mouse is over the window: which part is it
    LRESULT OnSizeOrMove(WPARAM wParam, LPARAM lParam);   // the window was resized or moved
    LRESULT OnVScroll(WPARAM wParam, LPARAM lParam);      // the user used the vertical scroll bar
    LRESULT OnLButtonDown(WPARAM wParam, LPARAM lParam);  // the user pressed the left mouse button
    LRESULT OnKeyDown(WPARAM wParam, LPARAM lParam);      // a key was pressed while the view had the focus

    void RecalcLayout();
    void PaintClient(HDC target);
    void DrawAddressColumn(HDC dc);
    void DrawSeparators(HDC dc);
    void DrawHighlights(HDC dc);
    void DrawBytes(HDC dc);
    void DrawHeader(HDC dc);

    void UpdateScrollPosition();
    void NotifyCaretChanged();

    CHexEditorModel m_model;
    CFont m_font;
};
