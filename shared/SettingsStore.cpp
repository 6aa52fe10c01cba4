#include "SettingsStore.h"

const wchar_t kStoreKeyPath[] = L"software\\quelmar\\systemData";

CStoreKey::CStoreKey(REGSAM samDesired)
{
    DWORD dwDisposition = 0;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kStoreKeyPath, 0, nullptr, 0, samDesired, nullptr,
                          &m_hKey, &dwDisposition) != ERROR_SUCCESS)
        m_hKey = nullptr;
}

CStoreKey::~CStoreKey()
{
    if (m_hKey) ::RegCloseKey(m_hKey);
}

bool CStoreKey::Read(LPCWSTR pszName, int& nTarget) const
{
    if (!m_hKey) return false;
    BYTE data[4] = {};
    DWORD cbData = sizeof(data);
    if (::RegQueryValueExW(m_hKey, pszName, nullptr, nullptr, data, &cbData) != ERROR_SUCCESS) return false;
    if (cbData != sizeof(data)) return false;
    nTarget = static_cast<int>(static_cast<DWORD>(data[0]) | (static_cast<DWORD>(data[1]) << 8) |
                               (static_cast<DWORD>(data[2]) << 16) | (static_cast<DWORD>(data[3]) << 24));
    return true;
}

bool CStoreKey::WriteDword(LPCWSTR pszName, int nValue) const
{
    if (!m_hKey) return false;
    DWORD dw = static_cast<DWORD>(nValue);
    return ::RegSetValueExW(m_hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dw), sizeof(dw)) == ERROR_SUCCESS;
}

void SaveDlsValue(int bDlsOn)
{
    // Open first and create only when that fails, with all access either way.
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kStoreKeyPath, 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS) {
        DWORD dwDisposition = 0;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, kStoreKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &hKey, &dwDisposition) != ERROR_SUCCESS)
            return;
    }
    DWORD dw = static_cast<DWORD>(bDlsOn);
    ::RegSetValueExW(hKey, L"DLS", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dw), sizeof(dw));
    ::RegCloseKey(hKey);
}
