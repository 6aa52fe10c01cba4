// CFile on the platform's file API.
#include "afxwin.h"

const HANDLE CFile::hFileNull = INVALID_HANDLE_VALUE;

CFile::CFile(LPCWSTR lpszFileName, UINT nOpenFlags)
{
    Open(lpszFileName, nOpenFlags);
}

CFile::~CFile()
{
    Close();
}

BOOL CFile::Open(LPCWSTR lpszFileName, UINT nOpenFlags, CFileException* pError)
{
    Close();
    DWORD access = GENERIC_READ;
    switch (nOpenFlags & 3) {
    case modeWrite: access = GENERIC_WRITE; break;
    case modeReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
    default: break;
    }
    DWORD share = 0;
    switch (nOpenFlags & 0x70) {
    case shareDenyWrite: share = FILE_SHARE_READ; break;
    case shareDenyRead: share = FILE_SHARE_WRITE; break;
    case shareDenyNone: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
    default: break;
    }
    DWORD disposition = OPEN_EXISTING;
    if (nOpenFlags & modeCreate) disposition = (nOpenFlags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
    m_hFile = ::CreateFileW(lpszFileName, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_hFile == INVALID_HANDLE_VALUE) {
        if (pError) pError->m_lOsError = static_cast<LONG>(::GetLastError());
        return FALSE;
    }
    return TRUE;
}

UINT CFile::Read(void* lpBuf, UINT nCount)
{
    DWORD nRead = 0;
    if (m_hFile == INVALID_HANDLE_VALUE || !::ReadFile(m_hFile, lpBuf, nCount, &nRead, nullptr)) return 0;
    return nRead;
}

void CFile::Write(const void* lpBuf, UINT nCount)
{
    DWORD nWritten = 0;
    if (m_hFile != INVALID_HANDLE_VALUE) ::WriteFile(m_hFile, lpBuf, nCount, &nWritten, nullptr);
}

LONG CFile::Seek(LONG lOff, UINT nFrom)
{
    if (m_hFile == INVALID_HANDLE_VALUE) return -1;
    return static_cast<LONG>(::SetFilePointer(m_hFile, lOff, nullptr, nFrom));
}

DWORD CFile::GetLength() const
{
    return m_hFile == INVALID_HANDLE_VALUE ? 0 : ::GetFileSize(m_hFile, nullptr);
}

void CFile::Close()
{
    if (m_hFile != INVALID_HANDLE_VALUE) ::CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
}
