// CWinApp: the program's one application object. The entry point (WinMain.cpp)
// runs its InitInstance; settings live in the per-user registry under
// HKEY_CURRENT_USER\Software\<registry key>\<application name>\<section>.
#pragma once

#include <windows.h>

#include <string>

class CWnd;

// The Help command, and the message the default help handler first asks the
// main window with (answer nonzero when it has shown help itself).
constexpr UINT ID_HELP = 0xE146;
constexpr UINT WM_COMMANDHELP = 0x0365;

class CWinApp {
public:
    // The application name is the executable's file name without its extension.
    CWinApp();
    virtual ~CWinApp();

    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Sets the program up; FALSE ends the program without a message loop.
    virtual BOOL InitInstance() { return TRUE; }
    // The message loop, for programs whose InitInstance returns TRUE.
    virtual int Run();
    // The program's exit code.
    virtual int ExitInstance() { return 0; }

    const std::wstring& GetAppName() const { return m_appName; }
    void SetAppName(const std::wstring& name) { m_appName = name; }
    // Settings go under HKEY_CURRENT_USER\Software\<key>\<application name>.
    void SetRegistryKey(const std::wstring& key) { m_registryKey = key; }
    const std::wstring& GetRegistryKey() const { return m_registryKey; }
    // The settings key of a section, relative to HKEY_CURRENT_USER.
    std::wstring GetSectionKeyPath(const std::wstring& section) const;

    // A string value of a section, or defaultValue when it is absent or not a string.
    std::wstring GetProfileString(const std::wstring& section, const std::wstring& entry,
                                  const std::wstring& defaultValue = std::wstring()) const;
    // Writes a string value, creating the keys on the way. FALSE on failure.
    BOOL WriteProfileString(const std::wstring& section, const std::wstring& entry,
                            const std::wstring& value);

    // A command no entry of the main window's table took, from a menu, an
    // accelerator or a control. TRUE when the application handled it.
    virtual BOOL OnCommand(UINT id, UINT code);
    // The default help handler: the main window may answer WM_COMMANDHELP
    // itself; otherwise the program's help file (its own path with the
    // extension .chm) is opened when there is one, and without one the
    // command only beeps.
    void OnHelp();
    std::wstring GetHelpFilePath() const;

    CWnd* m_pMainWnd = nullptr;

private:
    std::wstring m_appName;
    std::wstring m_registryKey;
};

// The application object of the program, or null before it is constructed.
CWinApp* AfxGetApp();
