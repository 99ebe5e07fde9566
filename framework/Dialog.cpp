#include "framework/Dialog.h"

namespace {

// One message-filter hook per thread while any modal dialog runs on it: the
// dialog manager's modal loop passes each message to it (MSGF_DIALOGBOX)
// before IsDialogMessage, which is where PreTranslateMessage comes in.
thread_local HHOOK t_filterHook = nullptr;
thread_local int t_modalDialogs = 0;

LRESULT CALLBACK MessageFilterProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == MSGF_DIALOGBOX && lParam != 0) {
        MSG* msg = reinterpret_cast<MSG*>(lParam);
        HWND root = msg->hwnd != nullptr ? ::GetAncestor(msg->hwnd, GA_ROOT) : nullptr;
        if (CDialog* dialog = dynamic_cast<CDialog*>(CWnd::FromHandle(root))) {
            try {
                if (dialog->PreTranslateMessage(msg)) {
                    return 1;
                }
            } catch (...) {
            }
        }
    }
    return ::CallNextHookEx(t_filterHook, code, wParam, lParam);
}

class ModalFilter {
public:
    ModalFilter() {
        if (t_modalDialogs++ == 0) {
            t_filterHook = ::SetWindowsHookExW(WH_MSGFILTER, &MessageFilterProc, nullptr, ::GetCurrentThreadId());
        }
    }
    ~ModalFilter() {
        if (--t_modalDialogs == 0 && t_filterHook != nullptr) {
            ::UnhookWindowsHookEx(t_filterHook);
            t_filterHook = nullptr;
        }
    }
    ModalFilter(const ModalFilter&) = delete;
    ModalFilter& operator=(const ModalFilter&) = delete;
};

// Messages whose dialog-procedure result is the answer itself rather than a
// handled flag with the answer in DWLP_MSGRESULT.
bool AnswersDirectly(UINT message) {
    switch (message) {
    case WM_INITDIALOG:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
        return true;
    default:
        return false;
    }
}

}  // namespace

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (control.m_hWnd == nullptr) {
        control.SubclassWindow(::GetDlgItem(dx->m_dialog->m_hWnd, id));
    }
}

void DDX_Text(CDataExchange* dx, int id, std::wstring& text) {
    HWND item = ::GetDlgItem(dx->m_dialog->m_hWnd, id);
    if (item == nullptr) {
        return;
    }
    if (dx->m_saveAndValidate) {
        const int length = ::GetWindowTextLengthW(item);
        std::wstring value(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        const int copied = ::GetWindowTextW(item, &value[0], static_cast<int>(value.size()));
        value.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
        text = value;
    } else {
        ::SetWindowTextW(item, text.c_str());
    }
}

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}

const MessageMap* CDialog::GetMessageMap() const {
    static const MessageEntry entries[] = {
        OnMessage(WM_INITDIALOG, &CDialog::HandleInitDialog),
        OnCommand(BN_CLICKED, IDOK, &CDialog::HandleOk),
        OnCommand(BN_CLICKED, IDCANCEL, &CDialog::HandleCancel),
    };
    static const MessageMap map{CWnd::GetMessageMap(), entries, sizeof entries / sizeof entries[0]};
    return &map;
}

INT_PTR CDialog::DoModal() {
    if (m_hWnd != nullptr) {
        return -1;
    }
    ModalFilter filter;
    HWND owner = m_parent != nullptr ? m_parent->m_hWnd : nullptr;
    const INT_PTR result = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), owner,
                                             &CDialog::DialogProcedure, reinterpret_cast<LPARAM>(this));
    if (m_hWnd != nullptr) {
        Unbind();
    }
    return result;
}

void CDialog::EndDialog(INT_PTR result) {
    if (m_hWnd != nullptr) {
        ::EndDialog(m_hWnd, result);
    }
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    if (m_hWnd == nullptr) {
        return FALSE;
    }
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::PreTranslateMessage(MSG*) {
    return FALSE;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

LRESULT CDialog::DefWindowProc(UINT, WPARAM, LPARAM) {
    m_defaultWanted = true;
    return 0;
}

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM) {
    return OnInitDialog();
}

LRESULT CDialog::HandleOk(WPARAM, LPARAM) {
    OnOK();
    return 0;
}

LRESULT CDialog::HandleCancel(WPARAM, LPARAM) {
    OnCancel();
    return 0;
}

INT_PTR CALLBACK CDialog::DialogProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* dialog = dynamic_cast<CDialog*>(FromHandle(hwnd));
    if (dialog == nullptr && message == WM_INITDIALOG && lParam != 0) {
        dialog = reinterpret_cast<CDialog*>(lParam);
        dialog->Bind(hwnd);
    }
    if (dialog == nullptr) {
        return FALSE;
    }

    const bool outerDefaultWanted = dialog->m_defaultWanted;
    dialog->m_defaultWanted = false;
    LRESULT result = 0;
    try {
        result = dialog->WindowProc(message, wParam, lParam);
    } catch (...) {
        // No exception may unwind through the dialog manager: the message
        // gets its default handling instead.
        dialog->m_defaultWanted = true;
    }
    const bool handled = !dialog->m_defaultWanted;
    dialog->m_defaultWanted = outerDefaultWanted;

    if (message == WM_NCDESTROY) {
        dialog->Unbind();
        return FALSE;
    }
    if (!handled) {
        return FALSE;
    }
    if (AnswersDirectly(message)) {
        return static_cast<INT_PTR>(result);
    }
    ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}
