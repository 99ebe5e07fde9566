#include "framework/Wnd.h"

#include "framework/WinApp.h"

#include <mutex>
#include <unordered_map>

namespace {

// The link from a window handle to its object. A window property would do, but
// reading one is a round trip to the display server under Wine, and it is read
// for every message; a table in the process costs a hash look-up. Made on
// first use and never destroyed, so that objects outliving main may unbind.
struct ObjectTable {
    std::mutex lock;
    std::unordered_map<HWND, CWnd*> objects;
};

ObjectTable& Objects() {
    static ObjectTable* table = new ObjectTable;
    return *table;
}

// The object whose CreateEx is running on this thread; the window being
// created is bound to it at its WM_NCCREATE.
thread_local CWnd* t_creating = nullptr;

// Restores the object's current message when a (possibly nested) dispatch ends.
template <class T>
class RestoreOnExit {
public:
    RestoreOnExit(T& target, T value) : target_(target), saved_(target) { target_ = value; }
    ~RestoreOnExit() { target_ = saved_; }
    RestoreOnExit(const RestoreOnExit&) = delete;
    RestoreOnExit& operator=(const RestoreOnExit&) = delete;

private:
    T& target_;
    T saved_;
};

}  // namespace

CWnd::~CWnd() {
    if (m_hWnd == nullptr) {
        return;
    }
    if (m_subclassed) {
        UnsubclassWindow();
    } else {
        // The derived parts are gone by now: the last messages get this
        // class's handling, which is the default one.
        ::DestroyWindow(m_hWnd);
    }
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    if (hwnd == nullptr) {
        return nullptr;
    }
    ObjectTable& table = Objects();
    std::lock_guard<std::mutex> lock(table.lock);
    const auto found = table.objects.find(hwnd);
    return found != table.objects.end() ? found->second : nullptr;
}

LRESULT CALLBACK CWnd::WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = FromHandle(hwnd);
    if (wnd == nullptr && message == WM_NCCREATE && t_creating != nullptr) {
        wnd = t_creating;
        t_creating = nullptr;
        wnd->Bind(hwnd);
    }
    if (wnd == nullptr) {
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }

    LRESULT result = 0;
    try {
        result = wnd->WindowProc(message, wParam, lParam);
    } catch (...) {
        // No exception may unwind through the system's code: the message
        // gets the handling it would have had without a handler.
        try {
            result = wnd->DefWindowProc(message, wParam, lParam);
        } catch (...) {
            result = 0;
        }
    }
    if (message == WM_NCDESTROY) {
        wnd->Unbind();
        try {
            wnd->PostNcDestroy();
        } catch (...) {
        }
    }
    return result;
}

const MessageMap* CWnd::GetMessageMap() const {
    static const MessageMap map{nullptr, nullptr, 0};
    return &map;
}

const MessageEntry* CWnd::FindHandler(UINT message, WPARAM wParam, LPARAM lParam) const {
    // Commands and notifications match their code and the sender's id; the
    // reflected ones come from the control itself, so the code alone decides.
    const bool routed = message == WM_COMMAND || message == WM_NOTIFY ||
                        message == WM_REFLECT_BASE + WM_COMMAND || message == WM_REFLECT_BASE + WM_NOTIFY;
    const bool reflected = message >= WM_REFLECT_BASE;
    UINT code = 0;
    UINT id = 0;
    if (message == WM_COMMAND || message == WM_REFLECT_BASE + WM_COMMAND) {
        code = HIWORD(wParam);
        id = LOWORD(wParam);
    } else if (message == WM_NOTIFY || message == WM_REFLECT_BASE + WM_NOTIFY) {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header == nullptr) {
            return nullptr;
        }
        code = header->code;
        id = static_cast<UINT>(header->idFrom);
    }
    if (reflected) {
        id = 0;
    }
    for (const MessageMap* map = GetMessageMap(); map != nullptr; map = map->base) {
        for (size_t i = 0; i < map->count; ++i) {
            const MessageEntry& entry = map->entries[i];
            if (entry.message == message && (!routed || (entry.code == code && entry.id == id))) {
                return &entry;
            }
        }
    }
    return nullptr;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (ReflectToChild(message, wParam, lParam, &result)) {
        return result;
    }
    RestoreOnExit<CurrentMessage> current(m_current, CurrentMessage{message, wParam, lParam});
    if (const MessageEntry* entry = FindHandler(message, wParam, lParam)) {
        return (this->*entry->handler)(wParam, lParam);
    }
    // A command the main window has no entry for goes on to the application.
    if (message == WM_COMMAND) {
        CWinApp* app = AfxGetApp();
        if (app != nullptr && app->m_pMainWnd == this && app->OnCommand(LOWORD(wParam), HIWORD(wParam))) {
            return 0;
        }
    }
    return DefWindowProc(message, wParam, lParam);
}

bool CWnd::ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    HWND child = nullptr;
    switch (message) {
    case WM_COMMAND:
        // Only a control's own notification: its id in the low word. Menu and
        // accelerator commands carry no window; commands that a control sends
        // under another id are meant for the parent.
        child = reinterpret_cast<HWND>(lParam);
        if (child != nullptr && LOWORD(wParam) != static_cast<WORD>(::GetDlgCtrlID(child))) {
            child = nullptr;
        }
        break;
    case WM_NOTIFY:
        if (lParam != 0) {
            child = reinterpret_cast<const NMHDR*>(lParam)->hwndFrom;
        }
        break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
        child = reinterpret_cast<HWND>(lParam);
        break;
    default:
        return false;
    }
    CWnd* target = FromHandle(child);
    if (target == nullptr || target == this || ::GetParent(child) != m_hWnd) {
        return false;
    }
    return target->HandleReflected(WM_REFLECT_BASE + message, wParam, lParam, result);
}

bool CWnd::HandleReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    const MessageEntry* entry = FindHandler(message, wParam, lParam);
    if (entry == nullptr) {
        return false;
    }
    RestoreOnExit<CurrentMessage> current(m_current, CurrentMessage{message, wParam, lParam});
    *result = (this->*entry->handler)(wParam, lParam);
    return true;
}

std::wstring CWnd::GetWindowText() const {
    const int length = ::GetWindowTextLengthW(m_hWnd);
    if (length <= 0) {
        return std::wstring();
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(m_hWnd, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_superWndProc != nullptr) {
        return ::CallWindowProcW(m_superWndProc, m_hWnd, message, wParam, lParam);
    }
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
    return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam);
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                    const RECT& rect, HWND parent, UINT_PTR idOrMenu) {
    if (m_hWnd != nullptr) {
        return FALSE;
    }
    CWnd* const outer = t_creating;
    t_creating = this;
    HWND hwnd = ::CreateWindowExW(exStyle, className, windowName, style, rect.left, rect.top,
                                  rect.right - rect.left, rect.bottom - rect.top, parent,
                                  reinterpret_cast<HMENU>(idOrMenu), ::GetModuleHandleW(nullptr),
                                  nullptr);
    t_creating = outer;
    if (hwnd == nullptr) {
        return FALSE;
    }
    if (m_hWnd != hwnd) {
        // The class does not route its messages to CWnd objects.
        ::DestroyWindow(hwnd);
        return FALSE;
    }
    return TRUE;
}

BOOL CWnd::SubclassWindow(HWND hwnd) {
    if (m_hWnd != nullptr || hwnd == nullptr || FromHandle(hwnd) != nullptr) {
        return FALSE;
    }
    Bind(hwnd);
    const WNDPROC previous = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
        hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::WindowProcedure)));
    if (previous == nullptr) {
        Unbind();
        return FALSE;
    }
    // A window of one of our own classes has no other procedure to fall back on.
    m_superWndProc = previous == &CWnd::WindowProcedure ? nullptr : previous;
    m_subclassed = true;
    OnSubclassed();
    return TRUE;
}

HWND CWnd::UnsubclassWindow() {
    HWND hwnd = m_hWnd;
    if (hwnd == nullptr || !m_subclassed) {
        return nullptr;
    }
    Unbind();
    return hwnd;
}

BOOL CWnd::DestroyWindow() {
    if (m_hWnd == nullptr) {
        return FALSE;
    }
    return ::DestroyWindow(m_hWnd);
}

void CWnd::Bind(HWND hwnd) {
    m_hWnd = hwnd;
    ObjectTable& table = Objects();
    std::lock_guard<std::mutex> lock(table.lock);
    table.objects[hwnd] = this;
}

void CWnd::Unbind() {
    if (m_superWndProc != nullptr &&
        ::GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&CWnd::WindowProcedure)) {
        ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_superWndProc));
    }
    {
        ObjectTable& table = Objects();
        std::lock_guard<std::mutex> lock(table.lock);
        const auto found = table.objects.find(m_hWnd);
        if (found != table.objects.end() && found->second == this) {
            table.objects.erase(found);
        }
    }
    m_superWndProc = nullptr;
    m_subclassed = false;
    m_hWnd = nullptr;
}
