#include "tests/gui/app/Harness.h"

#include <algorithm>

namespace harness {
namespace {

struct ModalRun {
    CDialog* dialog = nullptr;
    std::vector<Step> steps;
    size_t next = 0;
    bool finished = false;
};
thread_local ModalRun* t_run = nullptr;

void CALLBACK StepTimer(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    ModalRun* run = t_run;
    if (run == nullptr || run->finished || run->dialog->m_hWnd == nullptr) {
        return;
    }
    if (run->next < run->steps.size()) {
        Step step = run->steps[run->next++];
        step();
        if (!run->finished && run->dialog->m_hWnd != nullptr) {
            ::SetTimer(nullptr, 0, 10, &StepTimer);
        }
        return;
    }
    run->finished = true;
    run->dialog->EndDialog(IDCANCEL);
}

struct Answering {
    std::vector<HWND> before;
    std::vector<HWND> handled;
    std::vector<SeenWindow> seen;
    std::function<void(HWND)> answer;
};
thread_local Answering* t_answering = nullptr;

std::wstring TextOf(HWND hwnd) {
    wchar_t text[2048] = L"";
    ::GetWindowTextW(hwnd, text, 2048);
    return text;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[256] = L"";
    ::GetClassNameW(hwnd, name, 256);
    return name;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM lParam) {
    SeenWindow* seen = reinterpret_cast<SeenWindow*>(lParam);
    const int id = ::GetDlgCtrlID(child);
    seen->itemTexts[id] = TextOf(child);
    if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0) {
        const LONG style = ::GetWindowLongW(child, GWL_STYLE);
        if ((style & SS_TYPEMASK) == SS_ICON) {
            seen->icon = reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0));
        } else if (!TextOf(child).empty()) {
            seen->texts.push_back(TextOf(child));
        }
    }
    return TRUE;
}

void CALLBACK AnswerTimer(HWND, UINT, UINT_PTR, DWORD) {
    Answering* answering = t_answering;
    if (answering == nullptr) {
        return;
    }
    for (HWND hwnd : ThreadWindows()) {
        const auto known = [hwnd](const std::vector<HWND>& list) {
            return std::find(list.begin(), list.end(), hwnd) != list.end();
        };
        if (known(answering->before) || known(answering->handled) || !::IsWindowEnabled(hwnd)) {
            continue;
        }
        answering->handled.push_back(hwnd);
        SeenWindow seen;
        seen.className = ClassOf(hwnd);
        seen.caption = TextOf(hwnd);
        ::EnumChildWindows(hwnd, &CollectChild, reinterpret_cast<LPARAM>(&seen));
        answering->seen.push_back(seen);
        if (answering->answer) {
            answering->answer(hwnd);
        } else {
            ::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
    }
}

BOOL CALLBACK CollectThreadWindow(HWND hwnd, LPARAM lParam) {
    if (::IsWindowVisible(hwnd)) {
        reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
    }
    return TRUE;
}

}  // namespace

INT_PTR RunModal(CDialog& dialog, std::vector<Step> steps) {
    ModalRun run;
    run.dialog = &dialog;
    run.steps = std::move(steps);
    ModalRun* outer = t_run;
    t_run = &run;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 10, &StepTimer);
    const INT_PTR result = dialog.DoModal();
    run.finished = true;
    ::KillTimer(nullptr, timer);
    t_run = outer;
    return result;
}

void Pump(HWND dialog, DWORD ms) {
    const DWORD start = ::GetTickCount();
    do {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (::CallMsgFilterW(&msg, MSGF_DIALOGBOX)) {
                continue;
            }
            if (dialog != nullptr && ::IsWindow(dialog) && ::IsDialogMessageW(dialog, &msg)) {
                continue;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(5);
    } while (::GetTickCount() - start < ms);
}

std::vector<HWND> ThreadWindows() {
    std::vector<HWND> windows;
    ::EnumThreadWindows(::GetCurrentThreadId(), &CollectThreadWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<SeenWindow> WhileAnswering(const std::function<void()>& action, const std::function<void(HWND)>& answer) {
    Answering answering;
    answering.before = ThreadWindows();
    answering.answer = answer;
    Answering* outer = t_answering;
    t_answering = &answering;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 30, &AnswerTimer);
    action();
    ::KillTimer(nullptr, timer);
    t_answering = outer;
    return answering.seen;
}


bool CaptureWindow(HWND hwnd, Canvas& canvas) {
    RECT rect{};
    ::GetWindowRect(hwnd, &rect);
    HDC screen = ::GetDC(nullptr);
    const BOOL copied = ::BitBlt(canvas.Dc(), 0, 0, std::min<LONG>(rect.right - rect.left, canvas.Width()),
                                 std::min<LONG>(rect.bottom - rect.top, canvas.Height()), screen, rect.left,
                                 rect.top, SRCCOPY);
    ::ReleaseDC(nullptr, screen);
    return copied != FALSE;
}

}  // namespace harness
