// The settings store: one registry key of 32-bit values shared with the control service.
// No routine keeps the key open between calls and none reports anything.
#ifndef SHARED_SETTINGSSTORE_H
#define SHARED_SETTINGSSTORE_H

#include <afxwin.h>

extern const wchar_t kStoreKeyPath[];    // under HKEY_CURRENT_USER

// The key, opened (created if absent) for one routine's reads or its one write.
class CStoreKey {
public:
    explicit CStoreKey(REGSAM samDesired);
    ~CStoreKey();
    CStoreKey(const CStoreKey&) = delete;
    CStoreKey& operator=(const CStoreKey&) = delete;

    // Reads a value as 4 little-endian bytes, whatever its registry type. Data longer or
    // shorter than 4 bytes counts as missing: a partial number is not a setting.
    // On a miss the target keeps what it held.
    bool Read(LPCWSTR pszName, int& nTarget) const;
    bool WriteDword(LPCWSTR pszName, int nValue) const;
    bool IsOpen() const { return m_hKey != nullptr; }

private:
    HKEY m_hKey = nullptr;
};

// What the panel holds for a value the store lacks: settings a user can step from.
// The brightness sits mid-scale, the FM transmitter muted, the dimmer shown as "ON".
enum : int {
    PANEL_DEFAULT_CONTRAST = 5,
    PANEL_DEFAULT_BRIGHT = 5,
    PANEL_DEFAULT_STARTPRG = 0,
    PANEL_DEFAULT_FMTX = 875,
    PANEL_DEFAULT_MODEACT = 0,
    PANEL_DEFAULT_DIMMER = 0,
};

template <class TDlg>
void LoadVolume(TDlg& dlg)
{
    CStoreKey key(KEY_READ);
    dlg.m_nVolume = 0;
    key.Read(L"Volume", dlg.m_nVolume);
}

template <class TDlg>
void LoadPipAndDls(TDlg& dlg)
{
    CStoreKey key(KEY_READ);
    dlg.m_nPipPos = 0;
    key.Read(L"PIP", dlg.m_nPipPos);
    dlg.m_bDlsOn = 1;
    key.Read(L"DLS", dlg.m_bDlsOn);
    if (dlg.m_bDlsOn > 1 || dlg.m_bDlsOn < 0) dlg.m_bDlsOn = 1;
    if (dlg.m_nPipPos < 0 || dlg.m_nPipPos > 3) dlg.m_nPipPos = 3;
}

void SaveDlsValue(int bDlsOn);

template <class TDlg>
void SaveDls(TDlg& dlg)
{
    SaveDlsValue(dlg.m_bDlsOn);
}

template <class TDlg>
BOOL LoadPanelSettings(TDlg& dlg)
{
    CStoreKey key(KEY_READ);
    dlg.m_nContrast = PANEL_DEFAULT_CONTRAST;
    dlg.m_nBright = PANEL_DEFAULT_BRIGHT;
    dlg.m_nStartPrg = PANEL_DEFAULT_STARTPRG;
    dlg.m_nFmTx = PANEL_DEFAULT_FMTX;
    dlg.m_nModeAct = PANEL_DEFAULT_MODEACT;
    dlg.m_nDimmer = PANEL_DEFAULT_DIMMER;
    key.Read(L"Contrast", dlg.m_nContrast);
    key.Read(L"Bright", dlg.m_nBright);
    key.Read(L"StartPRG", dlg.m_nStartPrg);
    key.Read(L"FMTx", dlg.m_nFmTx);
    key.Read(L"ModeAct", dlg.m_nModeAct);
    key.Read(L"Dimmer", dlg.m_nDimmer);
    return TRUE;
}

#endif
