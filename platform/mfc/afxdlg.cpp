// Dialogs: creation from a template, the modal loop, ending.
#include "afxwin.h"

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_INITDIALOG) return FALSE;
    // The dialog window is subclassed before its initialisation so every later message
    // runs through the message map and the virtual DefWindowProc.
    CDialog* pDlg = reinterpret_cast<CDialog*>(lParam);
    pDlg->SubclassWindow(hWnd);
    // On the device every window clips its children and siblings, whatever its style says;
    // without it, drawing through the dialog's own DCs would cover its controls. Set before
    // the dialog's initialisation, so the DCs it takes there already clip.
    const LONG_PTR style = ::GetWindowLongPtrW(hWnd, GWL_STYLE);
    ::SetWindowLongPtrW(hWnd, GWL_STYLE, style | WS_CLIPCHILDREN | WS_CLIPSIBLINGS);
    return pDlg->OnInitDialog();
}

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDHelp(nIDTemplate), m_lpszTemplateName(MAKEINTRESOURCEW(nIDTemplate)), m_pParentWnd(pParentWnd)
{
}

CDialog::~CDialog()
{
    if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
}

BOOL CDialog::OnInitDialog()
{
    return TRUE;
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd)
{
    m_bModal = false;
    m_bContinueModal = true;
    HWND hParent = pParentWnd ? pParentWnd->m_hWnd : nullptr;
    HWND hWnd = ::CreateDialogParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(nIDTemplate), hParent,
                                     AfxDlgProc, reinterpret_cast<LPARAM>(this));
    return hWnd != nullptr;
}

INT_PTR CDialog::DoModal()
{
    m_bModal = true;
    m_bContinueModal = true;
    m_nModalResult = -1;
    HWND hParent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    HWND hWnd = ::CreateDialogParamW(AfxGetResourceHandle(), m_lpszTemplateName, hParent,
                                     AfxDlgProc, reinterpret_cast<LPARAM>(this));
    if (!hWnd) return -1;
    if (m_bContinueModal) RunModalLoop();
    if (m_hWnd) DestroyWindow();
    m_bModal = false;
    return m_nModalResult;
}

int CDialog::RunModalLoop()
{
    MSG msg;
    while (m_bContinueModal) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {                     // WM_QUIT: hand it on and leave the modal run
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1) break;
        if (!PreTranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return m_nModalResult;
}

void CDialog::EndDialog(int nResult)
{
    m_nModalResult = nResult;
    m_bContinueModal = false;
    if (m_hWnd) {
        ::ShowWindow(m_hWnd, SW_HIDE);
        ::PostMessageW(m_hWnd, WM_NULL, 0, 0);   // wakes the modal loop
    }
}

void CDialog::OnOK()
{
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (CWnd::OnCommand(wParam, lParam)) return TRUE;
    if (HIWORD(wParam) != BN_CLICKED) return FALSE;
    if (LOWORD(wParam) == IDOK) { OnOK(); return TRUE; }
    if (LOWORD(wParam) == IDCANCEL) { OnCancel(); return TRUE; }
    return FALSE;
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg)
{
    // Keyboard navigation between the dialog's controls, as the framework's dialogs do.
    if (pMsg->message < WM_KEYFIRST || pMsg->message > WM_KEYLAST) return FALSE;
    if (pMsg->hwnd != m_hWnd && !::IsChild(m_hWnd, pMsg->hwnd)) return FALSE;
    return ::IsDialogMessageW(m_hWnd, pMsg);
}
