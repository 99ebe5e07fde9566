// CWnd and CFont on real windows: binding, message tables, default handling,
// subclassing, exceptions, unbinding.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <string>

#include "framework/Font.h"
#include "framework/Wnd.h"

namespace {

constexpr UINT WM_FIRST_MATCH = WM_APP + 1;  // two rows in the table; the first wins
constexpr UINT WM_THROWS = WM_APP + 2;       // its handler throws
constexpr UINT WM_BASE_ONLY = WM_APP + 3;    // handled by the base class's table only
constexpr UINT WM_UNHANDLED = WM_APP + 4;
constexpr UINT kClickCode = 1001;  // notification codes of a made-up control
constexpr UINT kOtherCode = 1002;

const wchar_t* TestClass() {
    static const wchar_t* name = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &CWnd::WindowProcedure;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"OrvelFrameworkTest";
        ::RegisterClassW(&wc);
        return wc.lpszClassName;
    }();
    return name;
}

class TestWnd : public CWnd {
public:
    HWND boundAtNcCreate = nullptr;
    bool sawCreate = false;
    bool postNcDestroyed = false;
    std::wstring textSeen;

    BOOL Create(HWND parent = nullptr) {
        return CreateEx(0, TestClass(), L"", parent ? WS_CHILD : WS_OVERLAPPED, RECT{0, 0, 100, 100}, parent, 0);
    }

protected:
    const MessageMap* GetMessageMap() const override {
        static const MessageEntry entries[] = {
            OnMessage(WM_NCCREATE, &TestWnd::OnNcCreate),
            OnMessage(WM_CREATE, &TestWnd::OnCreate),
            OnMessage(WM_SETTEXT, &TestWnd::OnSetText),
            OnMessage(WM_FIRST_MATCH, &TestWnd::OnFirst),
            OnMessage(WM_FIRST_MATCH, &TestWnd::OnSecond),
            OnMessage(WM_THROWS, &TestWnd::OnThrows),
            OnCommand(0, 5, &TestWnd::OnCommandZero),
            OnCommand(BN_CLICKED + 1, 5, &TestWnd::OnCommandOne),
            OnNotify(kClickCode, 7, &TestWnd::OnNotifyClick),
        };
        static const MessageMap map{CWnd::GetMessageMap(), entries, sizeof entries / sizeof entries[0]};
        return &map;
    }
    void PostNcDestroy() override { postNcDestroyed = true; }

private:
    LRESULT OnNcCreate(WPARAM, LPARAM) {
        boundAtNcCreate = m_hWnd;
        return Default();
    }
    LRESULT OnCreate(WPARAM, LPARAM) {
        sawCreate = true;
        return 0;
    }
    // Adds to the default handling, which stores the text.
    LRESULT OnSetText(WPARAM, LPARAM lParam) {
        const LRESULT result = Default();
        textSeen = reinterpret_cast<const wchar_t*>(lParam);
        return result;
    }
    LRESULT OnFirst(WPARAM wParam, LPARAM) { return 100 + static_cast<LRESULT>(wParam); }
    LRESULT OnSecond(WPARAM, LPARAM) { return 200; }
    LRESULT OnThrows(WPARAM, LPARAM) { throw std::runtime_error("handler failed"); }
    LRESULT OnCommandZero(WPARAM, LPARAM) { return 50; }
    LRESULT OnCommandOne(WPARAM, LPARAM) { return 51; }
    LRESULT OnNotifyClick(WPARAM, LPARAM) { return 70; }
};

// A derived window: its own table first, then its base class's.
class DerivedWnd : public TestWnd {
protected:
    const MessageMap* GetMessageMap() const override {
        static const MessageEntry entries[] = {
            OnMessage(WM_FIRST_MATCH, &DerivedWnd::OnFirstHere),
            OnMessage(WM_BASE_ONLY + 100, &DerivedWnd::OnFirstHere),
        };
        static const MessageMap map{TestWnd::GetMessageMap(), entries, sizeof entries / sizeof entries[0]};
        return &map;
    }

private:
    LRESULT OnFirstHere(WPARAM, LPARAM) { return 300; }
};

TEST(Wnd, BindsAtNcCreateAndUnbindsAtNcDestroy) {
    TestWnd wnd;
    ASSERT_TRUE(wnd.Create());
    const HWND hwnd = wnd.m_hWnd;
    EXPECT_EQ(wnd.boundAtNcCreate, hwnd);
    EXPECT_TRUE(wnd.sawCreate);
    EXPECT_EQ(CWnd::FromHandle(hwnd), &wnd);
    EXPECT_TRUE(wnd.DestroyWindow());
    EXPECT_EQ(wnd.m_hWnd, nullptr);
    EXPECT_TRUE(wnd.postNcDestroyed);
    EXPECT_FALSE(::IsWindow(hwnd));
}

TEST(Wnd, DestructorDestroysTheWindowItCreated) {
    HWND hwnd = nullptr;
    {
        TestWnd wnd;
        ASSERT_TRUE(wnd.Create());
        hwnd = wnd.m_hWnd;
    }
    EXPECT_FALSE(::IsWindow(hwnd));
}

TEST(Wnd, ChildDestroyedWithItsParentIsUnbound) {
    TestWnd parent, child;
    ASSERT_TRUE(parent.Create());
    ASSERT_TRUE(child.Create(parent.m_hWnd));
    parent.DestroyWindow();
    EXPECT_EQ(child.m_hWnd, nullptr);  // so its destructor leaves the gone window alone
}

TEST(Wnd, FirstMatchingRowWinsAndTheBaseTableComesLast) {
    TestWnd wnd;
    DerivedWnd derived;
    ASSERT_TRUE(wnd.Create());
    ASSERT_TRUE(derived.Create());
    EXPECT_EQ(wnd.SendMessage(WM_FIRST_MATCH, 5), 105);
    EXPECT_EQ(derived.SendMessage(WM_FIRST_MATCH, 5), 300);
    EXPECT_EQ(derived.SendMessage(WM_COMMAND, MAKEWPARAM(5, 0)), 50);  // from TestWnd's table
    EXPECT_EQ(derived.SendMessage(WM_UNHANDLED), 0);                  // DefWindowProc
}

TEST(Wnd, CommandsAndNotificationsMatchCodeAndControlId) {
    TestWnd wnd;
    ASSERT_TRUE(wnd.Create());
    EXPECT_EQ(wnd.SendMessage(WM_COMMAND, MAKEWPARAM(5, 0)), 50);
    EXPECT_EQ(wnd.SendMessage(WM_COMMAND, MAKEWPARAM(5, BN_CLICKED + 1)), 51);
    EXPECT_EQ(wnd.SendMessage(WM_COMMAND, MAKEWPARAM(6, 0)), 0);
    NMHDR header{};
    header.idFrom = 7;
    header.code = kClickCode;
    EXPECT_EQ(wnd.SendMessage(WM_NOTIFY, 7, reinterpret_cast<LPARAM>(&header)), 70);
    header.code = kOtherCode;
    EXPECT_EQ(wnd.SendMessage(WM_NOTIFY, 7, reinterpret_cast<LPARAM>(&header)), 0);
    header.code = kClickCode;
    header.idFrom = 8;
    EXPECT_EQ(wnd.SendMessage(WM_NOTIFY, 8, reinterpret_cast<LPARAM>(&header)), 0);
}

TEST(Wnd, HandlersCanAddToTheDefaultHandling) {
    TestWnd wnd;
    ASSERT_TRUE(wnd.Create());
    ::SetWindowTextW(wnd.m_hWnd, L"stored by default");
    EXPECT_EQ(wnd.textSeen, L"stored by default");
    wchar_t text[64] = {};
    ::GetWindowTextW(wnd.m_hWnd, text, 64);
    EXPECT_STREQ(text, L"stored by default");
}

TEST(Wnd, AnExceptionEndsAsDefaultHandling) {
    TestWnd wnd;
    ASSERT_TRUE(wnd.Create());
    EXPECT_EQ(wnd.SendMessage(WM_THROWS), 0);
    EXPECT_EQ(wnd.SendMessage(WM_FIRST_MATCH, 1), 101);  // and the window goes on working
}

TEST(Wnd, SubclassingPutsTheTableBeforeTheWindowsOwnProcedure) {
    HWND edit = ::CreateWindowExW(0, L"EDIT", L"", WS_OVERLAPPED, 0, 0, 100, 30, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(edit, nullptr);
    const LONG_PTR ownProcedure = ::GetWindowLongPtrW(edit, GWLP_WNDPROC);
    {
        TestWnd wnd;
        ASSERT_TRUE(wnd.SubclassWindow(edit));
        EXPECT_FALSE(TestWnd().SubclassWindow(edit));  // one object per window
        EXPECT_EQ(wnd.SendMessage(WM_FIRST_MATCH, 2), 102);
        ::SetWindowTextW(edit, L"edit text");
        EXPECT_EQ(wnd.textSeen, L"edit text");
        EXPECT_EQ(::GetWindowTextLengthW(edit), 9);  // the edit control's own handling ran
    }
    // The object is gone; the window is not, and has its own procedure back.
    EXPECT_TRUE(::IsWindow(edit));
    EXPECT_EQ(::GetWindowLongPtrW(edit, GWLP_WNDPROC), ownProcedure);
    EXPECT_EQ(CWnd::FromHandle(edit), nullptr);
    ::DestroyWindow(edit);
}

TEST(Wnd, WindowsWithoutAnObjectGetDefaultHandling) {
    HWND hwnd = ::CreateWindowExW(0, TestClass(), L"plain", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(CWnd::FromHandle(hwnd), nullptr);
    EXPECT_EQ(::SendMessageW(hwnd, WM_FIRST_MATCH, 0, 0), 0);
    ::DestroyWindow(hwnd);
}

TEST(Wnd, CreateFailsForAClassThatDoesNotRouteToObjects) {
    TestWnd wnd;
    EXPECT_FALSE(wnd.CreateEx(0, L"STATIC", L"", WS_OVERLAPPED, RECT{0, 0, 10, 10}, nullptr, 0));
    EXPECT_EQ(wnd.m_hWnd, nullptr);
    EXPECT_FALSE(wnd.CreateEx(0, L"NoSuchClass", L"", WS_OVERLAPPED, RECT{0, 0, 10, 10}, nullptr, 0));
}

TEST(Font, PointSizeFollowsTheDevicesResolution) {
    CFont font;
    ASSERT_TRUE(font.CreatePointFont(80, L"MS Sans Serif"));
    LOGFONTW info{};
    ASSERT_EQ(::GetObjectW(font, sizeof info, &info), static_cast<int>(sizeof info));
    HDC screen = ::GetDC(nullptr);
    EXPECT_EQ(info.lfHeight, -::MulDiv(::GetDeviceCaps(screen, LOGPIXELSY), 80, 720));
    ::ReleaseDC(nullptr, screen);
    EXPECT_STREQ(info.lfFaceName, L"MS Sans Serif");
    EXPECT_EQ(info.lfCharSet, DEFAULT_CHARSET);

    // A context measuring in hundredths of an inch: 8 points are 11 of them.
    HDC dc = ::CreateCompatibleDC(nullptr);
    ::SetMapMode(dc, MM_LOENGLISH);
    ASSERT_TRUE(font.CreatePointFont(80, L"MS Sans Serif", dc));
    ::GetObjectW(font, sizeof info, &info);
    EXPECT_EQ(info.lfHeight, -11);
    ::DeleteDC(dc);
}

}  // namespace
