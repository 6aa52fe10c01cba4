// Windows, device contexts, GDI objects and the application object.
#include "afxwin.h"
#include <map>
#include <memory>
#include <mutex>

namespace {

std::mutex g_mapLock;
std::map<HWND, CWnd*> g_permanentWnds;                  // windows the framework owns
std::map<HWND, std::unique_ptr<CWnd>> g_tempWnds;       // wrappers handed out for foreign windows
std::map<HDC, std::unique_ptr<CDC>> g_tempDCs;
std::map<HGDIOBJ, std::unique_ptr<CGdiObject>> g_tempObjects;
CWinApp* g_pApp = nullptr;

// The message currently dispatched on this thread, for CWnd::Default().
struct CurrentMsg { UINT message; WPARAM wParam; LPARAM lParam; };
thread_local CurrentMsg t_current{};

} // namespace

// ---------------------------------------------------------------------------
// GDI objects

BOOL CGdiObject::Attach(HGDIOBJ hObject)
{
    if (!hObject) return FALSE;
    m_hObject = hObject;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach()
{
    HGDIOBJ h = m_hObject;
    m_hObject = nullptr;
    return h;
}

BOOL CGdiObject::DeleteObject()
{
    if (!m_hObject) return FALSE;
    BOOL ok = ::DeleteObject(Detach());
    return ok;
}

CGdiObject* CGdiObject::FromHandle(HGDIOBJ hObject)
{
    if (!hObject) return nullptr;
    std::lock_guard<std::mutex> lock(g_mapLock);
    auto& slot = g_tempObjects[hObject];
    if (!slot) {
        slot.reset(new CGdiObject);
        slot->m_hObject = hObject;
    }
    return slot.get();
}

BOOL CFont::CreateFont(int nHeight, int nWidth, int nEscapement, int nOrientation, int nWeight,
                       BYTE bItalic, BYTE bUnderline, BYTE cStrikeOut, BYTE nCharSet,
                       BYTE nOutPrecision, BYTE nClipPrecision, BYTE nQuality,
                       BYTE nPitchAndFamily, LPCWSTR lpszFacename)
{
    return Attach(::CreateFontW(nHeight, nWidth, nEscapement, nOrientation, nWeight, bItalic, bUnderline,
                                cStrikeOut, nCharSet, nOutPrecision, nClipPrecision, nQuality,
                                nPitchAndFamily, lpszFacename));
}

BOOL CBitmap::LoadBitmap(UINT nIDResource)
{
    return Attach(::LoadBitmapW(AfxGetResourceHandle(), MAKEINTRESOURCEW(nIDResource)));
}

// ---------------------------------------------------------------------------
// Device contexts

CDC::~CDC()
{
    if (m_bOwned && m_hDC) ::DeleteDC(m_hDC);
}

CDC* CDC::FromHandle(HDC hDC)
{
    if (!hDC) return nullptr;
    std::lock_guard<std::mutex> lock(g_mapLock);
    auto& slot = g_tempDCs[hDC];
    if (!slot) {
        slot.reset(new CDC);
        slot->m_hDC = hDC;
    }
    return slot.get();
}

BOOL CDC::Attach(HDC hDC)
{
    if (!hDC) return FALSE;
    m_hDC = hDC;
    m_bOwned = true;
    return TRUE;
}

HDC CDC::Detach()
{
    HDC h = m_hDC;
    m_hDC = nullptr;
    m_bOwned = false;
    return h;
}

BOOL CDC::DeleteDC()
{
    if (!m_hDC) return FALSE;
    return ::DeleteDC(Detach());
}

BOOL CDC::CreateCompatibleDC(CDC* pDC)
{
    return Attach(::CreateCompatibleDC(pDC ? pDC->m_hDC : nullptr));
}

CGdiObject* CDC::SelectObject(CGdiObject* pObject)
{
    if (!pObject) return nullptr;
    return CGdiObject::FromHandle(::SelectObject(m_hDC, pObject->m_hObject));
}

CFont* CDC::SelectObject(CFont* pFont)
{
    return static_cast<CFont*>(SelectObject(static_cast<CGdiObject*>(pFont)));
}

CBitmap* CDC::SelectObject(CBitmap* pBitmap)
{
    return static_cast<CBitmap*>(SelectObject(static_cast<CGdiObject*>(pBitmap)));
}

CGdiObject* CDC::SelectStockObject(int nIndex)
{
    return CGdiObject::FromHandle(::SelectObject(m_hDC, ::GetStockObject(nIndex)));
}

BOOL CDC::BitBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc, DWORD dwRop)
{
    return ::BitBlt(m_hDC, x, y, nWidth, nHeight, pSrcDC ? pSrcDC->m_hDC : nullptr, xSrc, ySrc, dwRop);
}

BOOL CDC::ExtTextOut(int x, int y, UINT nOptions, LPCRECT lpRect, const CString& str, LPINT lpDxWidths)
{
    return ExtTextOut(x, y, nOptions, lpRect, str.GetString(), static_cast<UINT>(str.GetLength()), lpDxWidths);
}

BOOL CDC::ExtTextOut(int x, int y, UINT nOptions, LPCRECT lpRect, LPCWSTR lpszString, UINT nCount, LPINT lpDxWidths)
{
    return ::ExtTextOutW(m_hDC, x, y, nOptions, lpRect, lpszString, nCount, lpDxWidths);
}

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd->m_hWnd)
{
    m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC()
{
    ::EndPaint(m_hWnd, &m_ps);
    m_hDC = nullptr;
}

// ---------------------------------------------------------------------------
// Windows

const CWnd CWnd::wndTop(HWND_TOP);
const CWnd CWnd::wndBottom(HWND_BOTTOM);
const CWnd CWnd::wndTopMost(HWND_TOPMOST);
const CWnd CWnd::wndNoTopMost(HWND_NOTOPMOST);

CWnd::~CWnd()
{
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this) {
        std::lock_guard<std::mutex> lock(g_mapLock);
        g_permanentWnds.erase(m_hWnd);
    }
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    std::lock_guard<std::mutex> lock(g_mapLock);
    auto it = g_permanentWnds.find(hWnd);
    return it == g_permanentWnds.end() ? nullptr : it->second;
}

CWnd* CWnd::FromHandle(HWND hWnd)
{
    if (!hWnd) return nullptr;
    if (CWnd* p = FromHandlePermanent(hWnd)) return p;
    std::lock_guard<std::mutex> lock(g_mapLock);
    auto& slot = g_tempWnds[hWnd];
    if (!slot) slot.reset(new CWnd(hWnd));
    return slot.get();
}

CWnd* CWnd::GetDesktopWindow()
{
    return FromHandle(::GetDesktopWindow());
}

BOOL CWnd::SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags)
{
    HWND hInsertAfter = pWndInsertAfter ? pWndInsertAfter->m_hWnd : HWND_TOP;
    // The device leaves a window sent to the bottom there. The desktop raises every window it
    // activates, which would undo the move, so a move to the bottom does not activate here.
    if (hInsertAfter == HWND_BOTTOM) nFlags |= SWP_NOACTIVATE;
    return ::SetWindowPos(m_hWnd, hInsertAfter, x, y, cx, cy, nFlags);
}

void CWnd::CenterWindow(CWnd* pAlternateOwner)
{
    RECT rcWnd, rcArea;
    ::GetWindowRect(m_hWnd, &rcWnd);
    HWND hCenter = pAlternateOwner ? pAlternateOwner->m_hWnd : ::GetWindow(m_hWnd, GW_OWNER);
    if (!hCenter) hCenter = ::GetDesktopWindow();
    ::GetWindowRect(hCenter, &rcArea);
    int w = rcWnd.right - rcWnd.left, h = rcWnd.bottom - rcWnd.top;
    int x = rcArea.left + ((rcArea.right - rcArea.left) - w) / 2;
    int y = rcArea.top + ((rcArea.bottom - rcArea.top) - h) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

CWnd* CWnd::GetDlgItem(int nID) const
{
    return FromHandle(::GetDlgItem(m_hWnd, nID));
}

void CWnd::GetWindowText(CString& rString) const
{
    int n = ::GetWindowTextLengthW(m_hWnd);
    std::wstring buf(static_cast<size_t>(n) + 1, L'\0');
    ::GetWindowTextW(m_hWnd, &buf[0], n + 1);
    rString = buf.c_str();
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd) return FALSE;
    return ::DestroyWindow(m_hWnd);
}

int CWnd::MessageBox(LPCWSTR lpszText, LPCWSTR lpszCaption, UINT nType)
{
    return ::MessageBoxW(m_hWnd, lpszText, lpszCaption ? lpszCaption : AfxGetAppName(), nType);
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, void (CALLBACK* lpfnTimer)(HWND, UINT, UINT_PTR, DWORD))
{
    return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer);
}

CDC* CWnd::GetDC()
{
    return CDC::FromHandle(::GetDC(m_hWnd));
}

int CWnd::ReleaseDC(CDC* pDC)
{
    if (!pDC) return 0;
    int n = ::ReleaseDC(m_hWnd, pDC->m_hDC);
    std::lock_guard<std::mutex> lock(g_mapLock);
    g_tempDCs.erase(pDC->m_hDC);
    return n;
}

BOOL CWnd::PreTranslateMessage(MSG*)
{
    return FALSE;
}

LRESULT CWnd::Default()
{
    return DefWindowProc(t_current.message, t_current.wParam, t_current.lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper) return ::CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT lResult = 0;
    if (!OnWndMsg(message, wParam, lParam, &lResult))
        lResult = DefWindowProc(message, wParam, lParam);
    return lResult;
}

const AFX_MSGMAP* CWnd::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = { { 0, 0, 0, nullptr } };
    static const AFX_MSGMAP map = { nullptr, &entries[0] };
    return &map;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const
{
    return GetThisMessageMap();
}

CDC* AfxDCFromWParam(WPARAM wParam) { return CDC::FromHandle(reinterpret_cast<HDC>(wParam)); }
CWnd* AfxWndFromLParam(LPARAM lParam) { return CWnd::FromHandle(reinterpret_cast<HWND>(lParam)); }

namespace {

// The colour messages all reach the one OnCtlColor handler, as the framework does it.
bool IsCtlColorMessage(UINT message)
{
    return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
}

const AFX_MSGMAP_ENTRY* FindEntry(const AFX_MSGMAP* pMap, UINT message, UINT nCode, UINT nID)
{
    for (; pMap; pMap = pMap->pfnGetBaseMap ? pMap->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = pMap->lpEntries; e->pfn; ++e) {
            if (e->nMessage != message) continue;
            if (message == WM_COMMAND && (e->nCode != nCode || e->nID != nID)) continue;
            return e;
        }
    }
    return nullptr;
}

} // namespace

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const AFX_MSGMAP_ENTRY* e = FindEntry(GetMessageMap(), WM_COMMAND, HIWORD(wParam), LOWORD(wParam));
    if (!e) return FALSE;
    e->pfn(this, WM_COMMAND, wParam, lParam);
    return TRUE;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (message == WM_COMMAND) return OnCommand(wParam, lParam);
    UINT lookup = IsCtlColorMessage(message) ? static_cast<UINT>(WM_CTLCOLOREDIT) : message;
    const AFX_MSGMAP_ENTRY* e = FindEntry(GetMessageMap(), lookup, 0, 0);
    if (!e) return FALSE;
    *pResult = e->pfn(this, message, wParam, lParam);
    return TRUE;
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    m_hWnd = hWnd;
    {
        std::lock_guard<std::mutex> lock(g_mapLock);
        g_permanentWnds[hWnd] = this;
        g_tempWnds.erase(hWnd);
    }
    m_pfnSuper = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
    return m_pfnSuper != nullptr;
}

HWND CWnd::UnsubclassWindow()
{
    HWND h = m_hWnd;
    if (!h) return nullptr;
    if (m_pfnSuper && ::IsWindow(h)) ::SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    {
        std::lock_guard<std::mutex> lock(g_mapLock);
        g_permanentWnds.erase(h);
    }
    m_pfnSuper = nullptr;
    m_hWnd = nullptr;
    return h;
}

namespace {

// The device raises a top-level window when it becomes active (a second start of a program
// brings its window forward that way). Wine without a window manager only activates it.
void RaiseOnActivation(HWND hWnd, UINT message, WPARAM wParam)
{
    if (message != WM_ACTIVATE || LOWORD(wParam) == WA_INACTIVE) return;
    if ((::GetWindowLongW(hWnd, GWL_STYLE) & WS_CHILD) || !::GetWindow(hWnd, GW_HWNDPREV)) return;
    ::SetWindowPos(hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

} // namespace

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    RaiseOnActivation(hWnd, message, wParam);
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
    if (!pWnd) return ::DefWindowProcW(hWnd, message, wParam, lParam);
    CurrentMsg saved = t_current;
    t_current = { message, wParam, lParam };
    LRESULT lResult = pWnd->WindowProc(message, wParam, lParam);
    t_current = saved;
    if (message == WM_NCDESTROY) {
        pWnd->UnsubclassWindow();
        pWnd->PostNcDestroy();
    }
    return lResult;
}

// ---------------------------------------------------------------------------
// Application object

CWinApp::CWinApp(LPCWSTR lpszAppName) : m_pszAppName(lpszAppName)
{
    g_pApp = this;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this) g_pApp = nullptr;
}

HICON CWinApp::LoadIcon(UINT nIDResource) const
{
    return ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(nIDResource));
}

CWinApp* AfxGetApp() { return g_pApp; }

HINSTANCE AfxGetInstanceHandle()
{
    if (g_pApp && g_pApp->m_hInstance) return g_pApp->m_hInstance;
    return ::GetModuleHandleW(nullptr);
}

HINSTANCE AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

LPCWSTR AfxGetAppName()
{
    // Without a name of its own the application is called after its executable, as the framework does.
    static std::wstring s_name;
    if (g_pApp && g_pApp->m_pszAppName) return g_pApp->m_pszAppName;
    if (s_name.empty()) {
        wchar_t path[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring p(path);
        size_t slash = p.find_last_of(L"\\/");
        std::wstring base = slash == std::wstring::npos ? p : p.substr(slash + 1);
        size_t dot = base.rfind(L'.');
        s_name = dot == std::wstring::npos ? base : base.substr(0, dot);
    }
    return s_name.c_str();
}

CWnd* AfxGetMainWnd() { return g_pApp ? g_pApp->m_pMainWnd : nullptr; }
