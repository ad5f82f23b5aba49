#include "hub_window.h"

#include <string>
#include <vector>

#include "record_printer.h"

namespace {

const int kOpenButtonId = 101;
const int kStatusBarId = 102;
const UINT_PTR kEventTimerId = 1;
const UINT kEventTimerMs = 250; // how soon a status change shows while an entry runs
const int kMargin = 8;
const int kButtonWidth = 96;
const int kButtonHeight = 28;
const int kStatusBarHeight = 20;
const UINT kLineHeight = 20;

std::wstring fieldText(const LP_WCHAR* pField, size_t nChars)
{
    const wchar_t* wcs = reinterpret_cast<const wchar_t*>(pField);
    return std::wstring(wcs, wcsnlen(wcs, nChars));
}
#define FIELD_TEXT(f) fieldText(f, sizeof(f) / sizeof(f[0]))

// One row of the list: an entry of the catalogue, and the event that tells when its status changed.
struct CHubRow {
    LP_FUNCTION_INFO info;
    CKSLScopedHandle hStatusEvent;
    std::wstring wcsStatus;
};

class CHubWindow {
public:
    explicit CHubWindow(const CHubPlugin& plugin) : m_plugin(plugin) {}
    int run();

private:
    static LRESULT CALLBACK windowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT uMsg, WPARAM wParam, LPARAM lParam);

    bool create();
    void loadCatalogue();
    void openStatusEvent(CHubRow& row);
    void refreshStatus(size_t nRow);
    void refreshSignalled();
    void showRow(size_t nRow);
    void layout();
    void measureRow(MEASUREITEMSTRUCT& item) const;
    void drawRow(const DRAWITEMSTRUCT& item);
    void runSelected();
    void setStatusBar(const std::wstring& text);
    std::vector<HANDLE> statusEvents() const;

    const CHubPlugin& m_plugin;
    std::vector<CHubRow> m_rows;
    HWND m_hWnd = nullptr;
    HWND m_hList = nullptr;
    HWND m_hOpen = nullptr;
    HWND m_hStatusBar = nullptr;
    HFONT m_hFont = nullptr;
    int m_nRunning = 0; // entries running now (a user may start one while another waits)
};

std::wstring rowText(const CHubRow& row)
{
    return FIELD_TEXT(row.info.szName) + L"\t" + row.wcsStatus;
}

bool CHubWindow::create()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = HUB_WINDOW_CLASS;
    RegisterClassW(&wc);
    m_hWnd = CreateWindowExW(0, HUB_WINDOW_CLASS, L"Safekeep - hubhost", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                             CW_USEDEFAULT, 480, 340, nullptr, nullptr, wc.hInstance, this);
    if (m_hWnd == nullptr) {
        hostPrint("hubhost: cannot make the window (error %lu): no display?\n", GetLastError());
        return false;
    }
    m_hFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    const DWORD dwListStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_BORDER | WS_TABSTOP | LBS_NOTIFY |
                              LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS | LBS_WANTKEYBOARDINPUT | LBS_NOINTEGRALHEIGHT;
    m_hList = CreateWindowExW(0, L"LISTBOX", nullptr, dwListStyle, 0, 0, 0, 0, m_hWnd,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kHubWindowListId)), wc.hInstance, nullptr);
    m_hOpen = CreateWindowExW(0, L"BUTTON", L"Open", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 0,
                              0, m_hWnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kOpenButtonId)), wc.hInstance,
                              nullptr);
    m_hStatusBar = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP, 0, 0, 0, 0, m_hWnd,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBarId)), wc.hInstance, nullptr);
    for (HWND hChild : {m_hList, m_hOpen, m_hStatusBar})
        SendMessageW(hChild, WM_SETFONT, reinterpret_cast<WPARAM>(m_hFont), FALSE);
    layout();
    return true;
}

// The entries the plug-in offers, in the launcher's order; the first record query also makes the
// plug-in look for the product and create its status events.
void CHubWindow::loadCatalogue()
{
    for (int32_t nFunctionId : kHubFunctionIds) {
        CHubRow row;
        if (!queryFunctionInfo(m_plugin, nFunctionId, row.info, false))
            continue;
        openStatusEvent(row);
        m_rows.push_back(std::move(row));
    }
    for (size_t i = 0; i < m_rows.size(); ++i) {
        SendMessageW(m_hList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L""));
        refreshStatus(i);
    }
    SendMessageW(m_hList, LB_SETCURSEL, 0, 0);
    setStatusBar(m_rows.empty() ? L"Safekeep is not installed here: the plug-in offers no entry"
                                : L"Double-click an entry, or select it and press Enter, to open it");
}

void CHubWindow::openStatusEvent(CHubRow& row)
{
    if (!row.info.bStatusAvailable || row.info.szEventForStatusChange[0] == 0)
        return;
    const std::wstring name = FIELD_TEXT(row.info.szEventForStatusChange);
    row.hStatusEvent.reset(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, name.c_str()));
    if (!row.hStatusEvent)
        hostPrint("hubhost: cannot open %s (error %lu)\n", toUtf8(name).c_str(), GetLastError());
}

// The event is reset before the query, so that a change made during the query is not lost.
void CHubWindow::refreshStatus(size_t nRow)
{
    CHubRow& row = m_rows[nRow];
    if (row.hStatusEvent)
        ResetEvent(row.hStatusEvent.get());
    LP_STATUS_INFO status;
    if (row.info.bStatusAvailable && queryStatus(m_plugin, row.info.nFunctionId, status, false))
        row.wcsStatus = FIELD_TEXT(status.szStatusText);
    showRow(nRow);
}

// Called from the timer while an entry runs, and harmless otherwise: asks again for every entry
// whose event is set.
void CHubWindow::refreshSignalled()
{
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].hStatusEvent && WaitForSingleObject(m_rows[i].hStatusEvent.get(), 0) == WAIT_OBJECT_0)
            refreshStatus(i);
    }
}

void CHubWindow::showRow(size_t nRow)
{
    const std::wstring text = rowText(m_rows[nRow]);
    wchar_t wcsShown[512] = L"";
    if (SendMessageW(m_hList, LB_GETTEXTLEN, nRow, 0) < 511)
        SendMessageW(m_hList, LB_GETTEXT, nRow, reinterpret_cast<LPARAM>(wcsShown));
    if (text == wcsShown)
        return;
    const LRESULT nSelected = SendMessageW(m_hList, LB_GETCURSEL, 0, 0);
    SendMessageW(m_hList, LB_DELETESTRING, nRow, 0);
    SendMessageW(m_hList, LB_INSERTSTRING, nRow, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(m_hList, LB_SETCURSEL, static_cast<WPARAM>(nSelected), 0);
    hostPrint("shown: %s | %s\n", toUtf8(FIELD_TEXT(m_rows[nRow].info.szName)).c_str(),
              toUtf8(m_rows[nRow].wcsStatus).c_str());
}

void CHubWindow::layout()
{
    RECT client;
    GetClientRect(m_hWnd, &client);
    const int nWidth = client.right - 2 * kMargin;
    const int nBottom = client.bottom - kStatusBarHeight - kMargin;
    MoveWindow(m_hList, kMargin, kMargin, nWidth, nBottom - kButtonHeight - 2 * kMargin, TRUE);
    MoveWindow(m_hOpen, client.right - kMargin - kButtonWidth, nBottom - kButtonHeight, kButtonWidth, kButtonHeight,
               TRUE);
    MoveWindow(m_hStatusBar, kMargin, client.bottom - kStatusBarHeight, nWidth, kStatusBarHeight - 2, TRUE);
}

bool hasStatusLine(const CHubRow& row)
{
    return !row.wcsStatus.empty();
}

void CHubWindow::measureRow(MEASUREITEMSTRUCT& item) const
{
    const bool bTwoLines = item.itemID < m_rows.size() && hasStatusLine(m_rows[item.itemID]);
    item.itemHeight = bTwoLines ? 2 * kLineHeight : kLineHeight + 4;
}

// An entry's name and, under it in a quieter colour, its status line.
void CHubWindow::drawRow(const DRAWITEMSTRUCT& item)
{
    if (item.itemID == static_cast<UINT>(-1) || item.itemID >= m_rows.size())
        return;
    const bool bSelected = (item.itemState & ODS_SELECTED) != 0;
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(bSelected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    SetBkMode(item.hDC, TRANSPARENT);
    const HGDIOBJ hOldFont = SelectObject(item.hDC, m_hFont);
    const CHubRow& row = m_rows[item.itemID];
    RECT line = item.rcItem;
    line.left += 6;
    if (hasStatusLine(row))
        line.bottom = line.top + kLineHeight;
    SetTextColor(item.hDC, GetSysColor(bSelected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    const std::wstring name = FIELD_TEXT(row.info.szName);
    DrawTextW(item.hDC, name.c_str(), -1, &line, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (hasStatusLine(row)) {
        line.top = line.bottom;
        line.bottom = item.rcItem.bottom;
        line.left += 12;
        SetTextColor(item.hDC, GetSysColor(bSelected ? COLOR_HIGHLIGHTTEXT : COLOR_GRAYTEXT));
        DrawTextW(item.hDC, row.wcsStatus.c_str(), -1, &line,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    SelectObject(item.hDC, hOldFont);
    if (item.itemState & ODS_FOCUS)
        DrawFocusRect(item.hDC, &item.rcItem);
}

// The user picked the selected entry: it runs here, on the UI thread, as the launcher runs it.
void CHubWindow::runSelected()
{
    const LRESULT nSelected = SendMessageW(m_hList, LB_GETCURSEL, 0, 0);
    if (nSelected < 0 || static_cast<size_t>(nSelected) >= m_rows.size())
        return;
    const LP_FUNCTION_INFO info = m_rows[static_cast<size_t>(nSelected)].info; // the rows may change meanwhile
    const std::wstring name = FIELD_TEXT(info.szName);
    hostPrint("picked: %s\n", toUtf8(name).c_str());
    ++m_nRunning;
    setStatusBar(L"Running: " + name);
    SetTimer(m_hWnd, kEventTimerId, kEventTimerMs, nullptr);
    CHubRunResult result;
    const bool bStarted = runEntry(info, result);
    if (--m_nRunning == 0)
        KillTimer(m_hWnd, kEventTimerId);
    refreshSignalled();
    setStatusBar(name + (bStarted ? L": done" : L": could not be started"));
}

void CHubWindow::setStatusBar(const std::wstring& text)
{
    SetWindowTextW(m_hStatusBar, text.c_str());
}

std::vector<HANDLE> CHubWindow::statusEvents() const
{
    std::vector<HANDLE> events;
    for (const CHubRow& row : m_rows)
        events.push_back(row.hStatusEvent ? row.hStatusEvent.get() : nullptr);
    return events;
}

LRESULT CALLBACK CHubWindow::windowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_NCCREATE)
        SetWindowLongPtrW(hWnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* pWindow = reinterpret_cast<CHubWindow*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (pWindow == nullptr || pWindow->m_hWnd == nullptr)
        return DefWindowProcW(hWnd, uMsg, wParam, lParam);
    return pWindow->handle(uMsg, wParam, lParam);
}

LRESULT CHubWindow::handle(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_SIZE:
        layout();
        return 0;
    case WM_MEASUREITEM:
        measureRow(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_DRAWITEM:
        drawRow(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_VKEYTOITEM:
        if (LOWORD(wParam) == VK_RETURN) {
            runSelected();
            return -2; // handled
        }
        return -1; // the list moves the selection
    case WM_COMMAND:
        if ((LOWORD(wParam) == kHubWindowListId && HIWORD(wParam) == LBN_DBLCLK) || LOWORD(wParam) == kOpenButtonId)
            runSelected();
        return 0;
    case WM_TIMER:
        if (wParam == kEventTimerId)
            refreshSignalled();
        return 0;
    case WM_CLOSE:
        DestroyWindow(m_hWnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(m_hWnd, uMsg, wParam, lParam);
    }
}

// The launcher's loop: the status events and the window's messages in one wait.
int CHubWindow::run()
{
    if (!create())
        return 1;
    loadCatalogue();
    ShowWindow(m_hWnd, SW_SHOWNORMAL);
    UpdateWindow(m_hWnd);
    SetFocus(m_hList);
    hostPrint("window: %zu entries\n", m_rows.size());
    std::vector<HANDLE> events = statusEvents();
    std::vector<HANDLE> waits;
    for (HANDLE hEvent : events)
        if (hEvent != nullptr)
            waits.push_back(hEvent);
    for (;;) {
        const DWORD nWaits = static_cast<DWORD>(waits.size());
        const DWORD dwWait = MsgWaitForMultipleObjects(nWaits, waits.data(), FALSE, INFINITE, QS_ALLINPUT);
        if (dwWait < WAIT_OBJECT_0 + nWaits) {
            refreshSignalled();
            continue;
        }
        if (dwWait != WAIT_OBJECT_0 + nWaits) {
            hostPrint("hubhost: the wait failed (error %lu)\n", GetLastError());
            return 1;
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                return static_cast<int>(msg.wParam);
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

} // namespace

int runHubWindow(const CHubPlugin& plugin)
{
    CHubWindow window(plugin);
    return window.run();
}
