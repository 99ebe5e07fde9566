// The application object the dialogs under test run in: settings under
// HKCU\Software\Quillborn\<this test program's name>, so the tests never touch
// the viewer's own recent files.
#include <windows.h>
#include <commctrl.h>

#include "app/OrvelDICOMHexariumApp.h"
#include "framework/WinApp.h"

namespace {

// The program's own application class (its InitInstance is not run), so the
// commands it takes over reach it as in the program.
class TestApplication : public COrvelDICOMHexariumApp {
public:
    TestApplication() {
        INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
        ::InitCommonControlsEx(&controls);
        SetRegistryKey(kRegistryKey);
    }
};

TestApplication g_application;

}  // namespace
