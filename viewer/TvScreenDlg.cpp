#include "TvScreenDlg.h"
#include "Frame.h"
#include "SettingsStore.h"
#include "SoftKey.h"
#include "ViewModes.h"
#include "overlay/Overlay.h"

#include <algorithm>

namespace {
const wchar_t kTitle[] = L"TVSCREEN";
const wchar_t kChannelFile[] = L"\\appdata\\SERIALData.dat";
const wchar_t kSettingsProgram[] = L"\\기억 장치 카드\\app\\setting.exe";
}

BEGIN_MESSAGE_MAP(CTvScreenDlg, CDialog)
    ON_WM_PAINT()
    ON_WM_CTLCOLOR()
    ON_WM_LBUTTONDOWN()
    ON_WM_LBUTTONDBLCLK()
    ON_WM_LBUTTONUP()
    ON_WM_TIMER()
    ON_WM_DESTROY()
END_MESSAGE_MAP()

CTvScreenDlg::CTvScreenDlg() : CDialog(IDD_MAIN_DIALOG)
{
    m_hIcon = LoadProgramIcon();
}

CTvScreenDlg::~CTvScreenDlg()
{
    ReleaseGdiResources();
}

BOOL CTvScreenDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_bBusy = 1;
    SetDialogIcons(*this, m_hIcon);
    g_uSoftKeyMsg = RegisterSoftKey();
    CenterWindow(GetDesktopWindow());
    m_pDlsEdit = GetDlgItem(IDC_DLS_EDIT);
    ParkWindow(*this);
    m_hInstance = AfxGetInstanceHandle();
    m_strCardRoot = L"\\기억 장치 카드";
    LoadPipAndDls(*this);

    // The engine keeps this DC for the display driver's escape.
    g_pEscapeDC = CDC::FromHandle(::GetDC(m_hWnd));
    InitPlay(this);
    // A failure report of InitPlay runs a message box, whose loop lets the host's commands, the
    // timers and (once the watchdog has freed the lock) touches through. What they may have
    // changed starts again from here.
    m_nResumeAfterSettings = 0;
    ZeroMemory(&g_overlayFx, sizeof(g_overlayFx));
    g_overlayFx.dwSize = sizeof(DDOVERLAYFX);
    g_dwOverlayFlags = DDOVER_SHOW;

    m_nPanel = PANEL_MAIN;
    m_bSearching = 0;
    if (LoadChannelFile() == 1) TakeChannelCounts();
    m_bBusy = 0;
    m_bSettling = 0;
    m_nTvChannel = 0;
    m_nRadioChannel = 0;
    CreateGdiResources();
    // The title is set as the modal loop pre-translates messages. A parked viewer may receive no
    // posted message for a long time; this one gives it its title at once, so a second start can
    // find it.
    PostMessage(WM_NULL);
    return TRUE;
}

BOOL CTvScreenDlg::PreTranslateMessage(MSG* pMsg)
{
    // A second start finds the running viewer by this title, whatever changed it.
    SetWindowText(kTitle);
    return CDialog::PreTranslateMessage(pMsg);
}

int CTvScreenDlg::LoadChannelFile()
{
    ::Sleep(10);
    CString strPath = m_strCardRoot + kChannelFile;
    CFile file;
    if (!file.Open(strPath, CFile::modeRead | CFile::modeCreate | CFile::modeNoTruncate)) return 0;
    file.Seek(0, CFile::begin);
    ZeroMemory(m_serialData, sizeof(m_serialData));
    file.Read(m_serialData, sizeof(m_serialData));
    file.Close();
    return 1;
}

void CTvScreenDlg::TakeChannelCounts()
{
    // The file's layout holds at most 20 TV and 80 radio names; a larger count would make the
    // lists and channel commands read past the name records.
    m_nTvCount = std::min<int>(m_serialData[0], TV_NAMES_MAX);
    m_nRadioCount = std::min<int>(m_serialData[1], RADIO_NAMES_MAX);
}

const char* CTvScreenDlg::ChannelRecord(int nBand, int nIndex) const
{
    if (nBand == BAND_TV && nIndex >= 0 && nIndex < TV_NAMES_MAX)
        return reinterpret_cast<const char*>(m_serialData + TV_NAMES_OFFSET + CHANNEL_NAME_SIZE * nIndex);
    if (nBand == BAND_RADIO && nIndex >= 0 && nIndex < RADIO_NAMES_MAX)
        return reinterpret_cast<const char*>(m_serialData + RADIO_NAMES_OFFSET + CHANNEL_NAME_SIZE * nIndex);
    return nullptr;
}

void CTvScreenDlg::LaunchSettings()
{
    // An empty start-up record: the settings program opens as it would from the main menu.
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (::CreateProcessW(kSettingsProgram, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        // Nothing waits on the settings program; its handles would only pile up over many launches.
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
    SwitchOverlayMode(this, VIEW_HIDDEN);
    m_nResumeAfterSettings = 1;
}
