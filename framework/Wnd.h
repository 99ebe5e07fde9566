// CWnd: a C++ object bound to one window. It either creates the window
// (CreateEx, with a class whose window procedure is CWnd::WindowProcedure) or
// subclasses an existing one (SubclassWindow). Messages reach the object's
// message table; the first entry that matches handles the message, anything
// else gets the window's default handling.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

class CWnd;

// A message handler: it gets the message's parameters and returns its result.
// Handlers of derived classes are entered with the OnMessage/OnCommand/
// OnNotify helpers below, which convert them to this type.
using MessageHandler = LRESULT (CWnd::*)(WPARAM wParam, LPARAM lParam);

// One row of a message table. For WM_COMMAND the row matches the
// notification code (HIWORD(wParam)) and control id (LOWORD(wParam)); for
// WM_NOTIFY the NMHDR's code and idFrom; for other messages only the message.
struct MessageEntry {
    UINT message;
    UINT code;
    UINT id;
    MessageHandler handler;
};

// Control notifications a parent reflects back to the control that sent them
// before it handles them itself: WM_COMMAND, WM_NOTIFY and WM_CTLCOLOR*
// arrive in the control's table as WM_REFLECT_BASE + message. A handler found
// there consumes the notification; the parent never sees it.
constexpr UINT WM_REFLECT_BASE = 0xBC00;

// A class's table, chained to its base class's table, which is searched after it.
struct MessageMap {
    const MessageMap* base;
    const MessageEntry* entries;
    size_t count;
};

template <class T>
MessageEntry OnMessage(UINT message, LRESULT (T::*handler)(WPARAM, LPARAM)) {
    return MessageEntry{message, 0, 0, static_cast<MessageHandler>(handler)};
}

template <class T>
MessageEntry OnCommand(UINT code, UINT id, LRESULT (T::*handler)(WPARAM, LPARAM)) {
    return MessageEntry{WM_COMMAND, code, id, static_cast<MessageHandler>(handler)};
}

template <class T>
MessageEntry OnNotify(UINT code, UINT id, LRESULT (T::*handler)(WPARAM, LPARAM)) {
    return MessageEntry{WM_NOTIFY, code, id, static_cast<MessageHandler>(handler)};
}

// Rows of a control's own table for notifications it sent and gets back from
// its parent: matched by notification code (or message) alone.
template <class T>
MessageEntry OnReflectedCommand(UINT code, LRESULT (T::*handler)(WPARAM, LPARAM)) {
    return MessageEntry{WM_REFLECT_BASE + WM_COMMAND, code, 0, static_cast<MessageHandler>(handler)};
}

template <class T>
MessageEntry OnReflectedNotify(UINT code, LRESULT (T::*handler)(WPARAM, LPARAM)) {
    return MessageEntry{WM_REFLECT_BASE + WM_NOTIFY, code, 0, static_cast<MessageHandler>(handler)};
}

template <class T>
MessageEntry OnReflectedMessage(UINT message, LRESULT (T::*handler)(WPARAM, LPARAM)) {
    return MessageEntry{WM_REFLECT_BASE + message, 0, 0, static_cast<MessageHandler>(handler)};
}

class CWnd {
public:
    CWnd() = default;
    // Destroys a window the object created; gives back a subclassed one.
    virtual ~CWnd();

    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object bound to a window, or null.
    static CWnd* FromHandle(HWND hwnd);

    // The window procedure to register for classes whose windows CWnd
    // objects create. Windows of such a class created without an object get
    // default handling only.
    static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    // Creates the window and binds it to this object (at WM_NCCREATE, so the
    // object sees WM_NCCREATE and WM_CREATE). FALSE when the window could not
    // be created or its class does not route to CWnd::WindowProcedure.
    BOOL CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                  const RECT& rect, HWND parent, UINT_PTR idOrMenu);

    // Routes an existing window's messages through this object; its own
    // window procedure becomes the default handling.
    BOOL SubclassWindow(HWND hwnd);
    // Gives the window its own window procedure back and unbinds it.
    HWND UnsubclassWindow();

    BOOL DestroyWindow();

    // Thin wrappers of the calls the program's windows use.
    BOOL GetClientRect(RECT* rect) const { return ::GetClientRect(m_hWnd, rect); }
    BOOL GetWindowRect(RECT* rect) const { return ::GetWindowRect(m_hWnd, rect); }
    HWND GetParent() const { return ::GetParent(m_hWnd); }
    UINT GetDlgCtrlID() const { return static_cast<UINT>(::GetDlgCtrlID(m_hWnd)); }
    BOOL Invalidate(BOOL erase = TRUE) { return ::InvalidateRect(m_hWnd, nullptr, erase); }
    BOOL MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) {
        return ::MoveWindow(m_hWnd, x, y, width, height, repaint);
    }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    HWND SetFocus() { return ::SetFocus(m_hWnd); }
    BOOL UpdateWindow() { return ::UpdateWindow(m_hWnd); }
    BOOL SetWindowText(const std::wstring& text) { return ::SetWindowTextW(m_hWnd, text.c_str()); }
    std::wstring GetWindowText() const;
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    // Redraws the whole window now: erase, invalidate, update.
    void RedrawNow() { ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_UPDATENOW); }

    HWND m_hWnd = nullptr;

protected:
    // This class's table; derived classes return their own, chained to their base's.
    virtual const MessageMap* GetMessageMap() const;

    // Dispatches a message through the tables; unmatched messages get DefWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The window's default handling: the superseded window procedure of a
    // subclassed window, ::DefWindowProcW otherwise.
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Default handling of the message being handled, for handlers that add to it.
    LRESULT Default();
    // Called after the window is gone and unbound (WM_NCDESTROY).
    virtual void PostNcDestroy() {}
    // Called when SubclassWindow has bound an existing window to the object.
    virtual void OnSubclassed() {}

    void Bind(HWND hwnd);
    void Unbind();

private:
    struct CurrentMessage {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };

    const MessageEntry* FindHandler(UINT message, WPARAM wParam, LPARAM lParam) const;
    // Offers a child's notification to the child's own object; true when it consumed it.
    bool ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    bool HandleReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    WNDPROC m_superWndProc = nullptr;  // the window's own procedure, when subclassed
    bool m_subclassed = false;         // bound by SubclassWindow rather than created
    CurrentMessage m_current{};
};
