// The program's entry point: runs the application object's InitInstance and,
// when it asks for one, the message loop.
#include "framework/WinApp.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) {
        return 1;
    }
    try {
        if (!app->InitInstance()) {
            return app->ExitInstance();
        }
        return app->Run();
    } catch (...) {
        return 1;
    }
}
