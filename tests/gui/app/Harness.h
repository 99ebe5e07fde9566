// Driving the real dialogs under test: a modal dialog runs its own loop, so
// the test's steps run from a thread timer inside that loop, one step per
// tick; message boxes and other modal windows the steps open are found on the
// thread and answered from another timer.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "framework/Dialog.h"
#include "tests/gui/support/GuiTestSupport.h"

namespace harness {

using Step = std::function<void()>;

// Runs the dialog modally; each step runs in the dialog's modal loop, with the
// loop running between steps. After the last step the dialog is cancelled.
// The dialog's result.
INT_PTR RunModal(CDialog& dialog, std::vector<Step> steps);

// Lets the thread's messages through for about `ms` milliseconds, the way the
// dialog manager's modal loop does (message filter, then IsDialogMessage).
void Pump(HWND dialog, DWORD ms = 50);

// What a modal window that popped up looked like.
struct SeenWindow {
    std::wstring className;
    std::wstring caption;
    std::vector<std::wstring> texts;  // texts of its static controls, in order
    HICON icon = nullptr;             // the image of its icon control, if any
    std::map<int, std::wstring> itemTexts;  // control id -> text, for every child
};

// Runs action; every other top-level window of the thread that appears
// meanwhile is recorded and then handled by `answer` (default: the OK command).
std::vector<SeenWindow> WhileAnswering(const std::function<void()>& action,
                                       const std::function<void(HWND)>& answer = nullptr);

// The thread's visible top-level windows.
std::vector<HWND> ThreadWindows();

using Canvas = guitest::Canvas;

// Copies what the screen shows of a window (its whole rectangle) into a canvas.
bool CaptureWindow(HWND hwnd, Canvas& canvas);

}  // namespace harness
