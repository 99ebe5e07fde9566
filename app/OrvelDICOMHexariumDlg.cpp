#include "app/OrvelDICOMHexariumDlg.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <new>

#include "app/AboutDlg.h"
#include "app/resource.h"
#include "dicom/model/ElementRange.h"
#include "dicom/model/TagArray.h"
#include "framework/WinApp.h"

const wchar_t* const kInvalidFileText = L"Invalid DICOM file    ";
const wchar_t* const kEmptyFileText = L"File does not contain data    ";
const wchar_t* const kMemoryErrorText = L"Memory allocation error    ";
const wchar_t* const kNoEditorText = L"I can not create editor window    ";
const wchar_t* const kRecentFilesSection = L"Recent DICOM HEX File";

namespace {

// Posted from OnInitDialog so that a file named on the command line is
// opened once the dialog is on screen (its messages then have a window to sit on).
constexpr UINT WM_OPEN_STARTUP_PATH = WM_APP + 1;

constexpr uint64_t kNoOffset = CHexEditorModel::kNone;
constexpr size_t kNoRecord = static_cast<size_t>(-1);
// Longest text a property cell shows; a longer one ends in "...".
constexpr size_t kMaxCellText = 255;

const wchar_t* const kPropertyNames[kPropertyRowCount] = {
    L"Tag", L"Description", L"VR", L"Tag Offset", L"Data Offset", L"Data Size", L"Data Value",
};

std::wstring Format(const wchar_t* format, unsigned a, unsigned b) {
    wchar_t text[64];
    std::swprintf(text, 64, format, a, b);
    return text;
}

std::wstring Decimal(uint64_t value) {
    // Offsets and lengths are shown as signed 32-bit numbers.
    return std::to_wstring(static_cast<int32_t>(static_cast<uint32_t>(value)));
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

std::wstring AppName() {
    const CWinApp* app = AfxGetApp();
    return app != nullptr ? app->GetAppName() : std::wstring();
}

}  // namespace

COrvelDICOMHexariumDlg::COrvelDICOMHexariumDlg(CWnd* parent)
    : CDialog(IDD_ORVELDICOMHEXARIUM_DIALOG, parent), sizeText(L"Size : 0") {
    bigIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

COrvelDICOMHexariumDlg::~COrvelDICOMHexariumDlg() {
    if (hexEditor.m_hWnd != nullptr) {
        hexEditor.SetData(nullptr, 0);
        hexEditor.DestroyWindow();
    }
    // The tree reads its large values from fileData: it goes first.
    dicomFile.reset();
    fileData.reset();
    std::vector<CTagNode>().swap(nodeTable);
    fileLength = 0;
}

const MessageMap* COrvelDICOMHexariumDlg::GetMessageMap() const {
    using Dlg = COrvelDICOMHexariumDlg;
    static const MessageEntry entries[] = {
        OnMessage(WM_SYSCOMMAND, &Dlg::OnSysCommand),
        OnMessage(WM_PAINT, &Dlg::OnPaint),
        OnMessage(WM_QUERYDRAGICON, &Dlg::OnQueryDragIcon),
        OnCommand(BN_CLICKED, IDC_OPEN_BUTTON, &Dlg::OnOpenButton),
        OnNotify(TVN_SELCHANGEDW, IDC_TAG_TREE, &Dlg::OnTreeSelChanged),
        OnNotify(TVN_ITEMEXPANDINGW, IDC_TAG_TREE, &Dlg::OnTreeItemExpanding),
        OnCommand(0, HEXN_CARETCHANGED, &Dlg::OnHexCaretChanged),
        OnCommand(FCN_DROPPED, FCN_COMMAND, &Dlg::OnComboOpens),
        OnCommand(FCN_SELECTED, FCN_COMMAND, &Dlg::OnComboOpens),
        OnCommand(FCN_EDITED, FCN_COMMAND, &Dlg::OnComboEdited),
        OnCommand(FCN_BROWSED, FCN_COMMAND, &Dlg::OnComboBrowsed),
        OnNotify(NM_CUSTOMDRAW, IDC_PROPERTY_LIST, &Dlg::OnListCustomDraw),
        OnMessage(WM_OPEN_STARTUP_PATH, &Dlg::OnOpenStartupPath),
    };
    static const MessageMap map{CDialog::GetMessageMap(), entries, sizeof entries / sizeof entries[0]};
    return &map;
}

void COrvelDICOMHexariumDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_TAG_TREE, tagTree);
    DDX_Control(dx, IDC_PROPERTY_LIST, propertyList);
    DDX_Control(dx, IDC_FILE_COMBO, fileCombo);
    DDX_Text(dx, IDC_SIZE_TEXT, sizeText);
    DDX_Control(dx, IDC_WEB_LINK, webLink);
}

// ---------------------------------------------------------------------------
// Initialisation, system menu, painting, keyboard

BOOL COrvelDICOMHexariumDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    if (HMENU systemMenu = ::GetSystemMenu(m_hWnd, FALSE)) {
        const wchar_t* text = nullptr;
        const int length =
            ::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, reinterpret_cast<LPWSTR>(&text), 0);
        if (length > 0) {
            const std::wstring about(text, static_cast<size_t>(length));
            ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(bigIcon));

    InitPropertyList();
    LoadRecentFiles();

    if (!hexEditor.Create(this)) {
        ::MessageBoxW(m_hWnd, kNoEditorText, AppName().c_str(), MB_ICONERROR | MB_OK);
        EndDialog(-1);
        return TRUE;
    }
    // The view covers the placeholder frame exactly.
    RECT frame{};
    ::GetWindowRect(GetDlgItem(IDC_HEX_PLACEHOLDER), &frame);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&frame), 2);
    hexEditor.MoveWindow(frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top, TRUE);

    webLink.SetLinkAddress(L"" ORVEL_WEB_ADDRESS);
    webLink.SetLinkColors(RGB(0, 0, 255), RGB(128, 0, 128), RGB(255, 0, 0));

    if (!m_startupPath.empty()) {
        PostMessage(WM_OPEN_STARTUP_PATH);
    }
    return TRUE;
}

LRESULT COrvelDICOMHexariumDlg::OnSysCommand(WPARAM wParam, LPARAM) {
    if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.DoModal();
        return 0;
    }
    return Default();
}

LRESULT COrvelDICOMHexariumDlg::OnPaint(WPARAM, LPARAM) {
    if (!IsIconic()) {
        return Default();
    }
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc));
    RECT client{};
    GetClientRect(&client);
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, bigIcon);
    ::EndPaint(m_hWnd, &paint);
    return 0;
}

LRESULT COrvelDICOMHexariumDlg::OnQueryDragIcon(WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>(bigIcon);
}

BOOL COrvelDICOMHexariumDlg::PreTranslateMessage(MSG* msg) {
    // The navigation keys go straight to the hex view while it has the focus,
    // before the dialog manager can take them for moving between controls.
    if (msg->message == WM_KEYDOWN && hexEditor.m_hWnd != nullptr && ::GetFocus() == hexEditor.m_hWnd) {
        switch (msg->wParam) {
        case VK_PRIOR:
        case VK_NEXT:
        case VK_END:
        case VK_HOME:
        case VK_UP:
        case VK_DOWN:
            hexEditor.SendMessage(WM_KEYDOWN, msg->wParam, msg->lParam);
            return TRUE;
        default:
            break;
        }
    }
    return CDialog::PreTranslateMessage(msg);
}

// ---------------------------------------------------------------------------
// Opening a file and the recent files

LRESULT COrvelDICOMHexariumDlg::OnOpenButton(WPARAM, LPARAM) {
    // The last path tried gives the dialog's folder and file name.
    size_t split = currentPath.find_last_of(L'\\');
    if (split == std::wstring::npos) {
        split = currentPath.find_last_of(L'/');
    }
    const std::wstring folder = split == std::wstring::npos ? std::wstring() : currentPath.substr(0, split + 1);
    const std::wstring name = split == std::wstring::npos ? currentPath : currentPath.substr(split + 1);

    std::vector<wchar_t> file(32768, L'\0');
    name.copy(file.data(), std::min(name.size(), file.size() - 1));
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = m_hWnd;
    ofn.lpstrFilter = L"All Files (*.*)\0*.*\0\0";
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
    if (::GetOpenFileNameW(&ofn)) {
        OpenChosenPath(file.data());
    }
    tagTree.SetFocus();
    return 0;
}

void COrvelDICOMHexariumDlg::OpenChosenPath(const std::wstring& path) {
    currentPath = path;
    if (fileCombo.FindStringExact(-1, path) == CB_ERR) {
        fileCombo.AddString(path);
    }
    // The list is sorted: the item's index is known only after the addition.
    fileCombo.SetCurSel(fileCombo.FindStringExact(-1, path));
    OpenFileFromCombo();
}

LRESULT COrvelDICOMHexariumDlg::OnComboOpens(WPARAM, LPARAM) {
    OpenFileFromCombo();
    return 0;
}

LRESULT COrvelDICOMHexariumDlg::OnComboEdited(WPARAM, LPARAM) {
    // A typed path is not opened on each keystroke; "Open..." starts from it.
    currentPath = fileCombo.GetWindowText();
    return 0;
}

LRESULT COrvelDICOMHexariumDlg::OnComboBrowsed(WPARAM, LPARAM) {
    // Nor is each item the arrows pass; "Open..." starts from the one shown.
    const int selected = fileCombo.GetCurSel();
    currentPath = selected != CB_ERR ? fileCombo.GetLBText(selected) : fileCombo.GetWindowText();
    return 0;
}

LRESULT COrvelDICOMHexariumDlg::OnOpenStartupPath(WPARAM, LPARAM) {
    std::wstring path = m_startupPath;
    m_startupPath.clear();
    wchar_t full[32768];
    const DWORD length = ::GetFullPathNameW(path.c_str(), 32768, full, nullptr);
    if (length > 0 && length < 32768) {
        path = full;
    }
    OpenChosenPath(path);
    tagTree.SetFocus();
    return 0;
}

void COrvelDICOMHexariumDlg::ReleaseFile() {
    hexEditor.SetData(nullptr, 0);
    // The tree reads its large values from fileData: it goes first.
    dicomFile.reset();
    fileData.reset();
    fileLength = 0;
    std::vector<CTagNode>().swap(nodeTable);
    // Nothing of the element shown before stays: the tree loses its nodes
    // without telling of a selection change, and a new buffer keeps the
    // highlight. Every open starts with no highlight, the view at the top and
    // the list blank.
    hexEditor.ClearSelection();
    BlankProperties();
}

void COrvelDICOMHexariumDlg::OpenFileFromCombo() {
    CWaitCursor wait;
    currentPath.clear();
    const int selected = fileCombo.GetCurSel();
    currentPath = selected != CB_ERR ? fileCombo.GetLBText(selected) : fileCombo.GetWindowText();
    const std::wstring path = currentPath;

    ReleaseFile();
    const wchar_t* failure = nullptr;
    if (!path.empty()) {
        dicomFile.reset(new (std::nothrow) CDicomFile);
        if (!dicomFile) {
            failure = kMemoryErrorText;
        } else if (!dicomFile->LoadFile(path)) {
            failure = kInvalidFileText;
        } else {
            failure = ReadFileBytes(path);
            // The parse left its large values in the file; from now on they are read from the
            // bytes the hex view shows, and the file is let go. A file whose size changed since
            // it was parsed keeps being read.
            if (failure == nullptr) dicomFile->ReadValuesFrom(fileData.get(), fileLength);
        }
        if (failure == nullptr) {
            RememberRecentFile(path);
            ::LockWindowUpdate(hexEditor.m_hWnd);
            hexEditor.SetData(fileData.get(), fileLength);
            ::LockWindowUpdate(nullptr);
            sizeText = L"Size : " + std::to_wstring(fileLength);
            hexEditor.Invalidate(FALSE);
            FillTagTree();
            UpdateData(FALSE);
            return;
        }
        dicomFile.reset();
        ReportOpenFailure(failure);
    }
    // An empty path or a failure: nothing is open.
    sizeText = L"Size : 0";
    UpdateData(FALSE);
    tagTree.DeleteAllItems();
    rootNode = nullptr;
}

const wchar_t* COrvelDICOMHexariumDlg::ReadFileBytes(const std::wstring& path) {
    const int fd = ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        return kInvalidFileText;
    }
    const int64_t length = ::_lseeki64(fd, 0, SEEK_END);
    ::_lseeki64(fd, 0, SEEK_SET);
    // The length is a 32-bit count: files of 2 GiB and more are refused, as the parser refuses them.
    if (length < 0 || length >= 0x80000000LL) {
        ::_close(fd);
        return kInvalidFileText;
    }
    if (length == 0) {
        ::_close(fd);
        return kEmptyFileText;
    }
    fileData.reset(new (std::nothrow) unsigned char[static_cast<size_t>(length)]());
    if (!fileData) {
        ::_close(fd);
        return kMemoryErrorText;
    }
    int64_t done = 0;
    while (done < length) {
        const int64_t chunk = std::min<int64_t>(length - done, 1 << 30);
        const int read = ::_read(fd, fileData.get() + done, static_cast<unsigned>(chunk));
        if (read <= 0) {
            break;
        }
        done += read;
    }
    ::_close(fd);
    // A file that shrank since it was parsed would show bytes that are not there.
    if (done != length) {
        fileData.reset();
        return kInvalidFileText;
    }
    fileLength = static_cast<uint32_t>(length);
    return nullptr;
}

void COrvelDICOMHexariumDlg::ReportOpenFailure(const wchar_t* text) {
    ::MessageBoxW(m_hWnd, text, AppName().c_str(), MB_ICONERROR | MB_OK);
    hexEditor.Invalidate(FALSE);
    fileLength = 0;
}

void COrvelDICOMHexariumDlg::LoadRecentFiles() {
    CWinApp* app = AfxGetApp();
    for (int slot = 0; slot < kRecentFileCount; ++slot) {
        recentFiles[slot] = app != nullptr ? app->GetProfileString(kRecentFilesSection, L"URL" + std::to_wstring(slot + 1))
                                           : std::wstring();
    }
    for (int slot = kRecentFileCount - 1; slot >= 0; --slot) {
        if (!recentFiles[slot].empty()) {
            fileCombo.AddString(recentFiles[slot]);
        }
    }
}

void COrvelDICOMHexariumDlg::RememberRecentFile(const std::wstring& path) {
    for (const std::wstring& recent : recentFiles) {
        if (!recent.empty() && SamePath(recent, path)) {
            return;
        }
    }
    int free = -1;
    for (int slot = 0; slot < kRecentFileCount && free < 0; ++slot) {
        if (recentFiles[slot].empty()) {
            free = slot;
        }
    }
    if (free < 0) {
        for (int slot = 1; slot < kRecentFileCount; ++slot) {
            recentFiles[slot - 1] = recentFiles[slot];
        }
        free = kRecentFileCount - 1;
    }
    recentFiles[free] = path;

    if (CWinApp* app = AfxGetApp()) {
        for (int slot = 0; slot < kRecentFileCount; ++slot) {
            app->WriteProfileString(kRecentFilesSection, L"URL" + std::to_wstring(slot + 1), recentFiles[slot]);
        }
    }
}

// ---------------------------------------------------------------------------
// Tag tree

void COrvelDICOMHexariumDlg::FillTagTree() {
    // One repaint at the end instead of one per node, removed or added.
    tagTree.SendMessage(WM_SETREDRAW, FALSE);
    tagTree.DeleteAllItems();
    rootNode = nullptr;
    std::vector<CTagNode>().swap(nodeTable);
    if (!dicomFile) {
        tagTree.SendMessage(WM_SETREDRAW, TRUE);
        tagTree.Invalidate();
        return;
    }
    rootNode = tagTree.InsertItem(currentPath, TVI_ROOT, TVI_LAST);
    const std::wstring characterSet = TopLevelCharacterSet(*dicomFile);
    for (const CDicomTag* element : dicomFile->GetElements()) {
        if (!AddTagNode(element, rootNode, characterSet)) {
            break;
        }
    }
    tagTree.Expand(rootNode, TVE_EXPAND);
    tagTree.SendMessage(WM_SETREDRAW, TRUE);
    tagTree.Invalidate();
}

bool COrvelDICOMHexariumDlg::AddTagNode(const CDicomTag* element, HTREEITEM parentNode,
                                       const std::wstring& characterSet) {
    if (element == nullptr) {
        return true;
    }
    const size_t index = nodeTable.size();
    // Every record with a node has its node in the tree: records whose node
    // cannot be inserted are taken out again, and the filling stops there.
    try {
        nodeTable.push_back(CTagNode{nullptr, element, characterSet, index + 1});
    } catch (const std::bad_alloc&) {
        return false;
    }
    const std::wstring childrenCharacterSet = CharacterSetForChildren(*element, characterSet);
    bool complete = true;
    for (const CDicomTag* child : element->GetChildren()) {
        if (!AddTagNode(child, nullptr, childrenCharacterSet)) {
            complete = false;
            break;
        }
    }
    nodeTable[index].subtreeEnd = nodeTable.size();
    // The node goes in once its descendants are counted, so that it shows its
    // expand button exactly when it has children.
    if (parentNode != nullptr && InsertTreeNode(index, parentNode) == nullptr) {
        nodeTable.erase(nodeTable.begin() + static_cast<std::ptrdiff_t>(index), nodeTable.end());
        return false;
    }
    return complete;
}

HTREEITEM COrvelDICOMHexariumDlg::InsertTreeNode(size_t index, HTREEITEM parent) {
    CTagNode& record = nodeTable[index];
    const CDicomTag* element = record.element;
    const std::wstring label = element->IsItem()
                                   ? Format(L"(%04X,%04X)  SQ Item", element->GetGroup(), element->GetElement())
                                   : Format(L"(%04X,%04X)  ", element->GetGroup(), element->GetElement()) +
                                         element->GetTagName();
    // The item data is the record's index + 1, so 0 (the root) names no record.
    record.node = tagTree.InsertItem(label, static_cast<LPARAM>(index + 1), record.subtreeEnd > index + 1, parent);
    return record.node;
}

void COrvelDICOMHexariumDlg::InsertChildNodes(size_t index) {
    if (index >= nodeTable.size() || nodeTable[index].node == nullptr) {
        return;
    }
    const size_t end = nodeTable[index].subtreeEnd;
    size_t child = index + 1;
    if (child >= end || nodeTable[child].node != nullptr) {
        return;  // no children, or they are in the tree already
    }
    const HTREEITEM parent = nodeTable[index].node;
    tagTree.SendMessage(WM_SETREDRAW, FALSE);
    // The children are the records that follow, each followed by its own
    // descendants: the next child starts where the previous one's subtree ends.
    while (child < end) {
        if (InsertTreeNode(child, parent) == nullptr) {
            break;
        }
        child = nodeTable[child].subtreeEnd;
    }
    tagTree.SendMessage(WM_SETREDRAW, TRUE);
}

size_t COrvelDICOMHexariumDlg::RecordOfNode(HTREEITEM node) const {
    if (node == nullptr) {
        return kNoRecord;
    }
    const LPARAM data = tagTree.GetItemData(node);
    if (data <= 0 || static_cast<size_t>(data) > nodeTable.size()) {
        return kNoRecord;
    }
    const size_t index = static_cast<size_t>(data) - 1;
    return nodeTable[index].node == node ? index : kNoRecord;
}

LRESULT COrvelDICOMHexariumDlg::OnTreeItemExpanding(WPARAM, LPARAM lParam) {
    const NMTREEVIEWW* change = reinterpret_cast<const NMTREEVIEWW*>(lParam);
    if ((change->action & TVE_EXPAND) != 0) {
        InsertChildNodes(RecordOfNode(change->itemNew.hItem));
    }
    return 0;  // let it open or close
}

// ---------------------------------------------------------------------------
// Properties and the hex highlight

void COrvelDICOMHexariumDlg::InitPropertyList() {
    propertyList.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    propertyList.InsertColumn(0, L"Property", LVCFMT_LEFT, 120);
    propertyList.InsertColumn(1, L"Value", LVCFMT_LEFT, 360);
    for (int row = 0; row < kPropertyRowCount; ++row) {
        propertyList.InsertItem(row, kPropertyNames[row]);
        propertyList.SetItemText(row, 1, L"");
    }
}

void COrvelDICOMHexariumDlg::SetPropertyValue(int row, const std::wstring& text) {
    if (text.size() <= kMaxCellText) {
        propertyList.SetItemText(row, 1, text);
    } else {
        propertyList.SetItemText(row, 1, text.substr(0, kMaxCellText - 3) + L"...");
    }
}

void COrvelDICOMHexariumDlg::BlankProperties() {
    for (int row = 0; row < kPropertyRowCount; ++row) {
        SetPropertyValue(row, L" ");
    }
}

LRESULT COrvelDICOMHexariumDlg::OnTreeSelChanged(WPARAM, LPARAM lParam) {
    const NMTREEVIEWW* change = reinterpret_cast<const NMTREEVIEWW*>(lParam);
    ShowTagProperties(change->itemNew.hItem);
    return 0;
}

void COrvelDICOMHexariumDlg::ShowTagProperties(HTREEITEM node) {
    if (nodeTable.empty()) {
        BlankProperties();
        return;
    }
    const size_t index = RecordOfNode(node);
    if (index == kNoRecord) {
        BlankProperties();
        // SetSelection(none, none) would keep a shown highlight; the list is
        // blank now, so the highlight goes too.
        hexEditor.ClearSelection();
        return;
    }
    const CTagNode* record = &nodeTable[index];
    const CDicomTag* element = record->element;
    if (element == nullptr) {
        return;
    }
    SetPropertyValue(0, Format(L"%04X, %04X", element->GetGroup(), element->GetElement()));
    if (element->IsItem()) {
        // An item shows only its tag; the highlight stays where it is.
        SetPropertyValue(1, L"SQ Item");
        for (int row = 2; row < kPropertyRowCount; ++row) {
            SetPropertyValue(row, L"");
        }
        return;
    }
    const ElementByteRange range = GetElementByteRange(*element);
    SetPropertyValue(1, element->GetTagName());
    SetPropertyValue(2, element->GetVRText());
    SetPropertyValue(3, Decimal(range.first));
    SetPropertyValue(4, Decimal(element->GetValueOffset()));
    SetPropertyValue(5, element->IsUndefinedLength() ? std::wstring(L"FFFFFFFF") : Decimal(element->GetValueLength()));
    SetPropertyValue(6, element->GetValueText(record->characterSet));
    hexEditor.SetSelection(range.first, range.last);
}

LRESULT COrvelDICOMHexariumDlg::OnHexCaretChanged(WPARAM, LPARAM) {
    SelectTagAtCaret();
    return 0;
}

void COrvelDICOMHexariumDlg::SelectTagAtCaret() {
    HTREEITEM target = rootNode;
    bool expand = false;
    const uint64_t caret = hexEditor.GetCaret();
    if (caret != kNoOffset) {
        // The table is in pre-order: the first range that holds the caret is
        // the outermost element there, a top-level one, whose node is in the
        // tree from the start.
        for (size_t index = 0; index < nodeTable.size(); ++index) {
            const ElementByteRange range = GetElementByteRange(*nodeTable[index].element);
            if (range.first <= caret && caret <= range.last && nodeTable[index].node != nullptr) {
                target = nodeTable[index].node;
                InsertChildNodes(index);
                expand = true;
                break;
            }
        }
    }
    if (target != nullptr && tagTree.GetSelectedItem() == target) {
        // No selection change is coming to refill the list and restore the
        // highlight the click has just removed.
        ShowTagProperties(target);
    } else {
        tagTree.SelectItem(target);
    }
    if (expand) {
        tagTree.Expand(target, TVE_EXPAND);
    }
    tagTree.SetFocus();
}

LRESULT COrvelDICOMHexariumDlg::OnListCustomDraw(WPARAM, LPARAM lParam) {
    NMLVCUSTOMDRAW* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(lParam);
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
    case CDDS_ITEMPREPAINT:
        return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
        // Even rows light grey, odd rows white, black text.
        draw->clrText = RGB(0, 0, 0);
        draw->clrTextBk = (draw->nmcd.dwItemSpec % 2) != 0 ? RGB(255, 255, 255) : RGB(224, 224, 224);
        return CDRF_NEWFONT;
    default:
        return CDRF_DODEFAULT;
    }
}
