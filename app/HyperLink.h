// MCHyperLink: a static text control that works as a web link. Its caption
// is drawn underlined in link colours, the hand cursor shows over the text,
// and a click (or Space or Enter while it has the focus) opens the address
// with the shell.
#pragma once

#include <string>

#include "framework/Controls.h"

class MCHyperLink : public CStatic {
public:
    MCHyperLink();
    ~MCHyperLink() override;

    void SetLinkAddress(const std::wstring& address) { m_address = address; }
    const std::wstring& GetLinkAddress() const { return m_address; }
    // Colours as 0x00BBGGRR.
    void SetLinkColors(COLORREF link, COLORREF visited, COLORREF hover);
    // Draws the caption with or without underline, in a copy of the window's font.
    void SetUnderlined(bool underlined);
    // Opens address (the stored one when empty) with the shell's "open" verb.
    // On failure it beeps, shows why, and returns false.
    bool OpenLink(const std::wstring& address = std::wstring(), int show = SW_SHOWNORMAL);

    bool IsVisited() const { return m_visited; }
    bool IsHovering() const { return m_hovering; }
    // The colour the caption is drawn in now.
    COLORREF GetTextColor() const;
    // Client rectangle of the caption's text: where the link reacts to the mouse.
    RECT GetLinkRect() const;

    // The text for a ShellExecute error code.
    static std::wstring ErrorText(int code);

protected:
    const MessageMap* GetMessageMap() const override;
    void OnSubclassed() override;

private:
    LRESULT OnCtlColor(WPARAM wParam, LPARAM lParam);    // the parent asks how to draw the caption (reflected)
    LRESULT OnClicked(WPARAM wParam, LPARAM lParam);     // the control was clicked (reflected STN_CLICKED)
    LRESULT OnMouseMove(WPARAM wParam, LPARAM lParam);   // the mouse moved over the control
    LRESULT OnTimer(WPARAM wParam, LPARAM lParam);       // the hover timer ticked
    LRESULT OnSetCursor(WPARAM wParam, LPARAM lParam);   // the cursor shape is asked for
    LRESULT OnKeyDown(WPARAM wParam, LPARAM lParam);     // a key was pressed while the control had the focus
    LRESULT OnGetDlgCode(WPARAM wParam, LPARAM lParam);  // the dialog manager asks which keys the control wants

    bool IsCursorOverLink() const;
    void FollowLink();

    std::wstring m_address;
    HCURSOR m_handCursor;
    HFONT m_underlinedFont = nullptr;
    bool m_openOnClick = true;
    bool m_underlined = true;
    bool m_hovering = false;
    bool m_visited = false;
    COLORREF m_linkColor = RGB(0, 0, 255);
    COLORREF m_hoverColor = RGB(255, 0, 0);
    COLORREF m_visitedColor = RGB(128, 0, 128);
};
