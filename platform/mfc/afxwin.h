// The application framework subset the device programs are written against:
// the framework's class and function names and signatures, implemented on Win32.
#ifndef PLATFORM_MFC_AFXWIN_H
#define PLATFORM_MFC_AFXWIN_H

#include <windows.h>
#include <mmsystem.h>
#include <string>
#include "wince.h"

#define afx_msg
typedef const wchar_t* LPCTSTR_AFX;

// ---------------------------------------------------------------------------
// Strings

class CString {
public:
    CString() = default;
    CString(const CString&) = default;
    CString(LPCWSTR psz) : m_str(psz ? psz : L"") {}
    CString(LPCWSTR pch, int nLength) : m_str(pch ? std::wstring(pch, nLength > 0 ? nLength : 0) : L"") {}
    CString(wchar_t ch, int nRepeat = 1) : m_str(nRepeat > 0 ? nRepeat : 0, ch) {}

    CString& operator=(const CString&) = default;
    CString& operator=(LPCWSTR psz) { m_str = psz ? psz : L""; return *this; }
    CString& operator+=(const CString& s) { m_str += s.m_str; return *this; }
    CString& operator+=(LPCWSTR psz) { if (psz) m_str += psz; return *this; }
    CString& operator+=(wchar_t ch) { m_str += ch; return *this; }
    friend CString operator+(const CString& a, const CString& b) { CString r(a); r += b; return r; }
    friend CString operator+(const CString& a, LPCWSTR b) { CString r(a); r += b; return r; }
    friend CString operator+(LPCWSTR a, const CString& b) { CString r(a); r += b; return r; }
    bool operator==(const CString& o) const { return m_str == o.m_str; }
    bool operator==(LPCWSTR psz) const { return m_str == (psz ? psz : L""); }
    bool operator!=(const CString& o) const { return m_str != o.m_str; }

    operator LPCWSTR() const { return m_str.c_str(); }
    LPCWSTR GetString() const { return m_str.c_str(); }
    int GetLength() const { return static_cast<int>(m_str.size()); }
    BOOL IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    wchar_t GetAt(int i) const { return m_str.at(static_cast<size_t>(i)); }
    wchar_t operator[](int i) const { return GetAt(i); }

    // printf-style formatting with the framework's conventions: %s takes a wide string,
    // %S an 8-bit string widened with the ANSI code page.
    void Format(LPCWSTR pszFormat, ...);
    void FormatV(LPCWSTR pszFormat, va_list args);

    const std::wstring& str() const { return m_str; }

private:
    std::wstring m_str;
};

// ---------------------------------------------------------------------------
// Geometry

class CPoint : public POINT {
public:
    CPoint() { x = 0; y = 0; }
    CPoint(int ix, int iy) { x = ix; y = iy; }
    CPoint(POINT pt) { x = pt.x; y = pt.y; }
    explicit CPoint(LPARAM lParam) { x = (short)LOWORD(lParam); y = (short)HIWORD(lParam); }
    bool operator==(const CPoint& o) const { return x == o.x && y == o.y; }
};

class CSize : public SIZE {
public:
    CSize() { cx = 0; cy = 0; }
    CSize(int w, int h) { cx = w; cy = h; }
};

class CRect : public RECT {
public:
    CRect() { left = top = right = bottom = 0; }
    CRect(int l, int t, int r, int b) { left = l; top = t; right = r; bottom = b; }
    CRect(const RECT& rc) { left = rc.left; top = rc.top; right = rc.right; bottom = rc.bottom; }
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    BOOL PtInRect(POINT pt) const { return ::PtInRect(this, pt); }
    void SetRect(int l, int t, int r, int b) { left = l; top = t; right = r; bottom = b; }
    BOOL IsRectEmpty() const { return ::IsRectEmpty(this); }
    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }
    bool operator==(const CRect& o) const { return ::EqualRect(this, &o) != FALSE; }
};

// ---------------------------------------------------------------------------
// GDI objects and device contexts

class CGdiObject {
public:
    CGdiObject() = default;
    virtual ~CGdiObject() { DeleteObject(); }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    HGDIOBJ m_hObject = nullptr;
    BOOL Attach(HGDIOBJ hObject);
    HGDIOBJ Detach();
    BOOL DeleteObject();
    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    operator HGDIOBJ() const { return m_hObject; }
    // Wraps a handle without owning it (the object is kept for the life of the process).
    static CGdiObject* FromHandle(HGDIOBJ hObject);
};

class CFont : public CGdiObject {
public:
    BOOL CreateFont(int nHeight, int nWidth, int nEscapement, int nOrientation, int nWeight,
                    BYTE bItalic, BYTE bUnderline, BYTE cStrikeOut, BYTE nCharSet,
                    BYTE nOutPrecision, BYTE nClipPrecision, BYTE nQuality,
                    BYTE nPitchAndFamily, LPCWSTR lpszFacename);
    operator HFONT() const { return static_cast<HFONT>(m_hObject); }
};

class CBitmap : public CGdiObject {
public:
    BOOL LoadBitmap(UINT nIDResource);
    operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }
};

class CBrush : public CGdiObject {
public:
    CBrush() = default;
    explicit CBrush(COLORREF cr) { CreateSolidBrush(cr); }
    BOOL CreateSolidBrush(COLORREF cr) { return Attach(::CreateSolidBrush(cr)); }
    operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }
};

class CWnd;

class CDC {
public:
    CDC() = default;
    virtual ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    HDC m_hDC = nullptr;
    operator HDC() const { return m_hDC; }
    HDC GetSafeHdc() const { return m_hDC; }

    // Wraps a handle without owning it; the wrapper lives as long as the process.
    static CDC* FromHandle(HDC hDC);
    BOOL Attach(HDC hDC);
    HDC Detach();
    BOOL DeleteDC();
    BOOL CreateCompatibleDC(CDC* pDC);

    CGdiObject* SelectObject(CGdiObject* pObject);
    CFont* SelectObject(CFont* pFont);
    CBitmap* SelectObject(CBitmap* pBitmap);
    HGDIOBJ SelectObject(HGDIOBJ hObject) { return ::SelectObject(m_hDC, hObject); }
    CGdiObject* SelectStockObject(int nIndex);

    BOOL BitBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc, DWORD dwRop);
    COLORREF SetTextColor(COLORREF crColor) { return ::SetTextColor(m_hDC, crColor); }
    COLORREF SetBkColor(COLORREF crColor) { return ::SetBkColor(m_hDC, crColor); }
    int SetBkMode(int nBkMode) { return ::SetBkMode(m_hDC, nBkMode); }
    BOOL ExtTextOut(int x, int y, UINT nOptions, LPCRECT lpRect, const CString& str, LPINT lpDxWidths);
    BOOL ExtTextOut(int x, int y, UINT nOptions, LPCRECT lpRect, LPCWSTR lpszString, UINT nCount, LPINT lpDxWidths);
    void FillRect(LPCRECT lpRect, CBrush* pBrush) { ::FillRect(m_hDC, lpRect, static_cast<HBRUSH>(pBrush->m_hObject)); }

protected:
    bool m_bOwned = false;   // DeleteDC/ReleaseDC is the owner's business unless Attach'ed
};

class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* pWnd);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps{};
protected:
    HWND m_hWnd;
};

// ---------------------------------------------------------------------------
// Message maps
// Each entry holds a small typed thunk that calls the handler, so no member-function pointer
// is ever cast to another signature.

class CWnd;
typedef LRESULT (*AFX_THUNK)(CWnd* pWnd, UINT message, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;   // 0 ends the table
    UINT nCode;      // control notification code for WM_COMMAND
    UINT nID;        // control id for WM_COMMAND
    AFX_THUNK pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

CDC* AfxDCFromWParam(WPARAM wParam);
CWnd* AfxWndFromLParam(LPARAM lParam);

template <class T, void (T::*F)()>
LRESULT AfxThunkVoid(CWnd* p, UINT, WPARAM, LPARAM) { (static_cast<T*>(p)->*F)(); return 0; }
template <class T, void (T::*F)(UINT, CPoint)>
LRESULT AfxThunkPoint(CWnd* p, UINT, WPARAM w, LPARAM l) { (static_cast<T*>(p)->*F)(static_cast<UINT>(w), CPoint(l)); return 0; }
template <class T, void (T::*F)(UINT_PTR)>
LRESULT AfxThunkTimer(CWnd* p, UINT, WPARAM w, LPARAM) { (static_cast<T*>(p)->*F)(static_cast<UINT_PTR>(w)); return 0; }
template <class T, HBRUSH (T::*F)(CDC*, CWnd*, UINT)>
LRESULT AfxThunkCtlColor(CWnd* p, UINT m, WPARAM w, LPARAM l)
{
    return reinterpret_cast<LRESULT>((static_cast<T*>(p)->*F)(AfxDCFromWParam(w), AfxWndFromLParam(l), m - WM_CTLCOLORMSGBOX));
}

#define DECLARE_MESSAGE_MAP()                                              \
public:                                                                    \
    static const AFX_MSGMAP* GetThisMessageMap();                          \
protected:                                                                 \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                             \
    const AFX_MSGMAP* theClass::GetMessageMap() const                      \
        { return GetThisMessageMap(); }                                    \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                        \
    {                                                                      \
        typedef theClass ThisClass;                                        \
        typedef baseClass TheBaseClass;                                    \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                  \
            { 0, 0, 0, nullptr } };                                        \
        static const AFX_MSGMAP messageMap =                               \
            { &TheBaseClass::GetThisMessageMap, &_messageEntries[0] };     \
        return &messageMap;                                                \
    }

#define ON_WM_PAINT() { WM_PAINT, 0, 0, &AfxThunkVoid<ThisClass, &ThisClass::OnPaint> },
#define ON_WM_LBUTTONDOWN() { WM_LBUTTONDOWN, 0, 0, &AfxThunkPoint<ThisClass, &ThisClass::OnLButtonDown> },
#define ON_WM_LBUTTONDBLCLK() { WM_LBUTTONDBLCLK, 0, 0, &AfxThunkPoint<ThisClass, &ThisClass::OnLButtonDblClk> },
#define ON_WM_LBUTTONUP() { WM_LBUTTONUP, 0, 0, &AfxThunkPoint<ThisClass, &ThisClass::OnLButtonUp> },
#define ON_WM_TIMER() { WM_TIMER, 0, 0, &AfxThunkTimer<ThisClass, &ThisClass::OnTimer> },
#define ON_WM_CTLCOLOR() { WM_CTLCOLOREDIT, 0, 0, &AfxThunkCtlColor<ThisClass, &ThisClass::OnCtlColor> },
#define ON_WM_DESTROY() { WM_DESTROY, 0, 0, &AfxThunkVoid<ThisClass, &ThisClass::OnDestroy> },
#define ON_BN_CLICKED(id, memberFxn) { WM_COMMAND, BN_CLICKED, (UINT)(id), &AfxThunkVoid<ThisClass, &ThisClass::memberFxn> },

// ---------------------------------------------------------------------------
// Windows

class CWnd {
public:
    CWnd() = default;
    explicit CWnd(HWND hWnd) : m_hWnd(hWnd) {}
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    static const CWnd wndTop;
    static const CWnd wndBottom;
    static const CWnd wndTopMost;
    static const CWnd wndNoTopMost;

    // Wraps a handle; the wrapper lives as long as the window is known to the framework.
    static CWnd* FromHandle(HWND hWnd);
    static CWnd* FromHandlePermanent(HWND hWnd);
    static CWnd* GetDesktopWindow();

    BOOL SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags);
    void CenterWindow(CWnd* pAlternateOwner = nullptr);
    CWnd* GetDlgItem(int nID) const;
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    void SetWindowText(LPCWSTR lpszString) { ::SetWindowTextW(m_hWnd, lpszString); }
    void GetWindowText(CString& rString) const;
    void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
    void GetWindowRect(LPRECT lpRect) const { ::GetWindowRect(m_hWnd, lpRect); }
    void InvalidateRect(LPCRECT lpRect, BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, lpRect, bErase); }
    void Invalidate(BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, bErase); }
    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL DestroyWindow();
    int MessageBox(LPCWSTR lpszText, LPCWSTR lpszCaption = nullptr, UINT nType = MB_OK);
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, void (CALLBACK* lpfnTimer)(HWND, UINT, UINT_PTR, DWORD));
    BOOL KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) { return ::SendMessageW(m_hWnd, message, wParam, lParam); }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) { return ::PostMessageW(m_hWnd, message, wParam, lParam); }
    CDC* GetDC();
    int ReleaseDC(CDC* pDC);

    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Default processing of the message being handled.
    LRESULT Default();

    afx_msg void OnPaint() { Default(); }
    afx_msg void OnLButtonDown(UINT, CPoint) { Default(); }
    afx_msg void OnLButtonUp(UINT, CPoint) { Default(); }
    afx_msg void OnTimer(UINT_PTR) { Default(); }
    afx_msg HBRUSH OnCtlColor(CDC*, CWnd*, UINT) { return reinterpret_cast<HBRUSH>(Default()); }
    afx_msg void OnDestroy() { Default(); }

    // Framework internals.
    BOOL SubclassWindow(HWND hWnd);
    HWND UnsubclassWindow();
    static const AFX_MSGMAP* GetThisMessageMap();
protected:
    virtual const AFX_MSGMAP* GetMessageMap() const;
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual void PostNcDestroy() {}
    WNDPROC m_pfnSuper = nullptr;
    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
};

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// ---------------------------------------------------------------------------
// Dialogs

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    virtual INT_PTR DoModal();
    // Modeless creation, as the framework offers it; in-process tests drive dialogs this way.
    BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    void EndDialog(int nResult);

    virtual BOOL OnInitDialog();
    BOOL PreTranslateMessage(MSG* pMsg) override;

    afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) { return CWnd::OnCtlColor(pDC, pWnd, nCtlColor); }

    UINT m_nIDHelp = 0;
    LPCWSTR m_lpszTemplateName = nullptr;
    CWnd* m_pParentWnd = nullptr;

protected:
    virtual void OnOK();
    virtual void OnCancel();
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    int RunModalLoop();

    bool m_bModal = false;
    bool m_bContinueModal = false;
    int m_nModalResult = -1;
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
};

#ifndef CTLCOLOR_MSGBOX
#define CTLCOLOR_MSGBOX    0
#define CTLCOLOR_EDIT      1
#define CTLCOLOR_LISTBOX   2
#define CTLCOLOR_BTN       3
#define CTLCOLOR_DLG       4
#define CTLCOLOR_SCROLLBAR 5
#define CTLCOLOR_STATIC    6
#endif

// ---------------------------------------------------------------------------
// Application object

class CWinApp {
public:
    explicit CWinApp(LPCWSTR lpszAppName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }
    HICON LoadIcon(UINT nIDResource) const;

    CWnd* m_pMainWnd = nullptr;
    HINSTANCE m_hInstance = nullptr;
    LPCWSTR m_pszAppName = nullptr;
    LPCWSTR m_pszExeName = nullptr;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
LPCWSTR AfxGetAppName();
CWnd* AfxGetMainWnd();

// ---------------------------------------------------------------------------
// Files

class CFileException {
public:
    LONG m_lOsError = 0;
};

class CFile {
public:
    enum OpenFlags {
        modeRead = 0x0000, modeWrite = 0x0001, modeReadWrite = 0x0002,
        shareCompat = 0x0000, shareExclusive = 0x0010, shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030, shareDenyNone = 0x0040,
        modeNoInherit = 0x0080, modeCreate = 0x1000, modeNoTruncate = 0x2000,
        typeText = 0x4000, typeBinary = 0x8000
    };
    enum SeekPosition { begin = 0x0, current = 0x1, end = 0x2 };
    static const HANDLE hFileNull;

    CFile() = default;
    CFile(LPCWSTR lpszFileName, UINT nOpenFlags);
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    virtual BOOL Open(LPCWSTR lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr);
    virtual UINT Read(void* lpBuf, UINT nCount);
    virtual void Write(const void* lpBuf, UINT nCount);
    virtual LONG Seek(LONG lOff, UINT nFrom);
    virtual DWORD GetLength() const;
    virtual void Close();

    HANDLE m_hFile = INVALID_HANDLE_VALUE;
};

#endif
