// Notifications reflected from a parent to the control that sent them, and
// the application object's profile strings in the registry.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "framework/Controls.h"
#include "framework/WinApp.h"
#include "framework/Wnd.h"

namespace {

constexpr UINT kChildId = 77;
constexpr UINT kConsumedCode = 5;
constexpr UINT kPassedCode = 6;
constexpr UINT kForeignCommand = 31001;

const wchar_t* WindowClass() {
    static const wchar_t* name = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &CWnd::WindowProcedure;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"OrvelReflectionTest";
        ::RegisterClassW(&wc);
        return wc.lpszClassName;
    }();
    return name;
}

// A control that consumes one of its own notification codes and one colour message.
class Child : public CStatic {
public:
    int consumed = 0;
    int colours = 0;

protected:
    const MessageMap* GetMessageMap() const override {
        static const MessageEntry entries[] = {
            OnReflectedCommand(kConsumedCode, &Child::OnConsumed),
            OnReflectedNotify(NM_CLICK, &Child::OnConsumed),
            OnReflectedMessage(WM_CTLCOLORSTATIC, &Child::OnColour),
        };
        static const MessageMap map{CStatic::GetMessageMap(), entries, sizeof entries / sizeof entries[0]};
        return &map;
    }

private:
    LRESULT OnConsumed(WPARAM, LPARAM) {
        ++consumed;
        return 41;
    }
    LRESULT OnColour(WPARAM, LPARAM) {
        ++colours;
        return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
    }
};

class Parent : public CWnd {
public:
    int passed = 0;
    int foreign = 0;
    int notified = 0;

    BOOL Create() { return CreateEx(0, WindowClass(), L"", WS_OVERLAPPED, RECT{0, 0, 200, 200}, nullptr, 0); }

protected:
    const MessageMap* GetMessageMap() const override {
        static const MessageEntry entries[] = {
            OnCommand(kConsumedCode, kChildId, &Parent::OnPassed),
            OnCommand(kPassedCode, kChildId, &Parent::OnPassed),
            OnCommand(0, kForeignCommand, &Parent::OnForeign),
            OnNotify(NM_CLICK, kChildId, &Parent::OnNotified),
            OnNotify(NM_DBLCLK, kChildId, &Parent::OnNotified),
        };
        static const MessageMap map{CWnd::GetMessageMap(), entries, sizeof entries / sizeof entries[0]};
        return &map;
    }

private:
    LRESULT OnPassed(WPARAM, LPARAM) {
        ++passed;
        return 7;
    }
    LRESULT OnForeign(WPARAM, LPARAM) {
        ++foreign;
        return 8;
    }
    LRESULT OnNotified(WPARAM, LPARAM) {
        ++notified;
        return 9;
    }
};

class Reflection : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(parent.Create());
        HWND hwnd = ::CreateWindowExW(0, L"Static", L"x", WS_CHILD, 0, 0, 50, 20, parent.m_hWnd,
                                      reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kChildId)),
                                      ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(child.SubclassWindow(hwnd));
    }

    LRESULT Command(UINT id, UINT code, HWND from) {
        return parent.SendMessage(WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(from));
    }
    LRESULT Notify(UINT code) {
        NMHDR header{child.m_hWnd, kChildId, code};
        return parent.SendMessage(WM_NOTIFY, kChildId, reinterpret_cast<LPARAM>(&header));
    }

    Parent parent;
    Child child;
};

}  // namespace

TEST_F(Reflection, AControlConsumesItsOwnNotificationsBeforeTheParent) {
    EXPECT_EQ(Command(kChildId, kConsumedCode, child.m_hWnd), 41);
    EXPECT_EQ(child.consumed, 1);
    EXPECT_EQ(parent.passed, 0);
    EXPECT_EQ(Notify(NM_CLICK), 41);
    EXPECT_EQ(child.consumed, 2);
    EXPECT_EQ(parent.notified, 0);
    EXPECT_EQ(parent.SendMessage(WM_CTLCOLORSTATIC, 0, reinterpret_cast<LPARAM>(child.m_hWnd)),
              reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH)));
    EXPECT_EQ(child.colours, 1);
}

TEST_F(Reflection, WhatTheControlDoesNotHandleReachesTheParent) {
    EXPECT_EQ(Command(kChildId, kPassedCode, child.m_hWnd), 7);
    EXPECT_EQ(parent.passed, 1);
    EXPECT_EQ(Notify(NM_DBLCLK), 9);
    EXPECT_EQ(parent.notified, 1);
    EXPECT_EQ(child.consumed, 0);
}

TEST_F(Reflection, ACommandTheControlSendsUnderAnotherIdIsTheParents) {
    // Code 5 would be consumed if it came back to the control.
    EXPECT_EQ(parent.SendMessage(WM_COMMAND, MAKEWPARAM(kForeignCommand, 0), reinterpret_cast<LPARAM>(child.m_hWnd)), 8);
    EXPECT_EQ(Command(kChildId, kConsumedCode, nullptr), 7);
    EXPECT_EQ(child.consumed, 0);
    EXPECT_EQ(parent.foreign, 1);
    EXPECT_EQ(parent.passed, 1);
}

TEST(WinApp, ProfileStringsLiveUnderKeyApplicationAndSection) {
    CWinApp app;
    EXPECT_EQ(AfxGetApp(), &app);
    EXPECT_EQ(app.GetAppName(), L"gui_framework_tests");
    app.SetRegistryKey(L"OrvelFrameworkTest");
    const std::wstring key = L"Software\\OrvelFrameworkTest";
    ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());

    EXPECT_EQ(app.GetProfileString(L"Section", L"Entry", L"fallback"), L"fallback");
    EXPECT_TRUE(app.WriteProfileString(L"Section", L"Entry", L"value \u00E9"));
    EXPECT_TRUE(app.WriteProfileString(L"Section", L"Empty", L""));
    EXPECT_EQ(app.GetProfileString(L"Section", L"Entry"), L"value \u00E9");
    EXPECT_EQ(app.GetProfileString(L"Section", L"Empty", L"fallback"), L"");

    HKEY section = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, (key + L"\\gui_framework_tests\\Section").c_str(), 0, KEY_QUERY_VALUE,
                              &section),
              ERROR_SUCCESS);
    DWORD type = 0;
    EXPECT_EQ(::RegQueryValueExW(section, L"Entry", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    // A value that is not a string reads as the default.
    const DWORD number = 5;
    ::RegCloseKey(section);
    ::RegCreateKeyExW(HKEY_CURRENT_USER, (key + L"\\gui_framework_tests\\Section").c_str(), 0, nullptr, 0,
                      KEY_SET_VALUE, nullptr, &section, nullptr);
    ::RegSetValueExW(section, L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    ::RegCloseKey(section);
    EXPECT_EQ(app.GetProfileString(L"Section", L"Number", L"fallback"), L"fallback");
    ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}
