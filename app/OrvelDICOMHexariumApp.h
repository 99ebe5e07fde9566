// COrvelDICOMHexariumApp: the application object. It runs the main dialog
// modally and ends the program when the dialog ends.
#pragma once

#include <string>

#include "framework/WinApp.h"

// The registry key the settings live under: HKCU\Software\Quillborn\<exe name>.
extern const wchar_t* const kRegistryKey;

// The file path given on a command line, or empty: the first argument after the program's name.
std::wstring StartupPathFromCommandLine(const wchar_t* commandLine);

class COrvelDICOMHexariumApp : public CWinApp {
public:
    BOOL InitInstance() override;
    // The Help command goes to the default help handler.
    BOOL OnCommand(UINT id, UINT code) override;
};
