// The application object the dialogs under test run in: settings under
// HKCU\Software\Quillborn\<this test program's name>, so the tests never touch
// the viewer's own recent files.
#include <windows.h>
#include <commctrl.h>

#include "app/OrvelDICOMHexariumApp.h"
#include "framework/WinApp.h"

namespace {

class TestApplication : public CWinApp {
public:
    TestApplication() {
        INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
        ::InitCommonControlsEx(&controls);
        SetRegistryKey(kRegistryKey);
    }
};

TestApplication g_application;

}  // namespace
