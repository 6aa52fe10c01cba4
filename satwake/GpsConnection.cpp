#include "GpsConnection.h"

namespace {
const wchar_t kPortName[] = L"COM7:";
const DWORD kQueueBytes = 4096;
const DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
// Nothing waits for the sentence to leave, so the close keeps the transmit side: purging it
// would throw away whatever the line has not yet taken, the sentence included.
const DWORD kPurgeOnClose = PURGE_RXABORT | PURGE_RXCLEAR;
// The module is set to this speed; it does not follow whatever a caller might wish.
const DWORD kBaudRate = 57600;
const DWORD kTimeoutMs = 1000;
const wchar_t kOpenedLine[] = L"OpenConnection Success GPS \r\n";
const wchar_t kNoPortText[] = L"-1-";
}


CGpsConnection::CGpsConnection() : m_timeouts(), m_dcbLine(), m_hPort(INVALID_HANDLE_VALUE)
{
    m_timeouts.ReadIntervalTimeout = MAXDWORD;
    m_timeouts.ReadTotalTimeoutMultiplier = 0;
    m_timeouts.ReadTotalTimeoutConstant = kTimeoutMs;
    m_timeouts.WriteTotalTimeoutMultiplier = 0;
    m_timeouts.WriteTotalTimeoutConstant = kTimeoutMs;
    m_dcbLine.ByteSize = 8;
    m_dcbLine.Parity = NOPARITY;
    m_dcbLine.StopBits = ONESTOPBIT;
}

CGpsConnection::~CGpsConnection()
{
}

BOOL CGpsConnection::OpenConnection()
{
    if (m_hPort != INVALID_HANDLE_VALUE) return FALSE;
    m_hPort = ::CreateFileW(kPortName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (m_hPort == INVALID_HANDLE_VALUE) {
        // Missing or held by someone else: the only thing the user is ever told.
        ::MessageBoxW(nullptr, kNoPortText, kNoPortText, MB_OK);
        return FALSE;
    }
    ::SetupComm(m_hPort, kQueueBytes, kQueueBytes);
    ::PurgeComm(m_hPort, kPurgeAll);
    ::SetCommTimeouts(m_hPort, &m_timeouts);
    if (!ApplyLineState()) {
        ::CloseHandle(m_hPort);
        m_hPort = INVALID_HANDLE_VALUE;
        return FALSE;
    }
    // Without the receive mask the port stays open, but DTR is not raised a second time and
    // the open is not announced.
    if (!::SetCommMask(m_hPort, EV_RXCHAR)) return FALSE;
    ::EscapeCommFunction(m_hPort, SETDTR);
    ::OutputDebugStringW(kOpenedLine);
    return TRUE;
}

// 57600 8N1, binary, no handshake, DTR and RTS raised; everything else as the driver has it.
BOOL CGpsConnection::ApplyLineState()
{
    DCB dcb = {};
    dcb.DCBlength = sizeof(DCB);
    ::GetCommState(m_hPort, &dcb);
    dcb.BaudRate = kBaudRate;
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fNull = 0;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.ByteSize = m_dcbLine.ByteSize;
    dcb.Parity = m_dcbLine.Parity;
    dcb.StopBits = m_dcbLine.StopBits;
    return ::SetCommState(m_hPort, &dcb);
}

BOOL CGpsConnection::SendData(const BYTE* pData, DWORD nLength)
{
    OVERLAPPED ov = {};
    ov.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!ov.hEvent) return FALSE;
    // The port is not opened for overlapped use, so the write is over when WriteFile returns
    // and the record may go out of scope; a pending answer still counts as sent.
    DWORD nWritten = 0;
    BOOL bSent = ::WriteFile(m_hPort, pData, nLength, &nWritten, &ov);
    if (!bSent && ::GetLastError() == ERROR_IO_PENDING) bSent = TRUE;
    ::CloseHandle(ov.hEvent);
    return bSent;
}

void CGpsConnection::CloseConnection()
{
    if (m_hPort == INVALID_HANDLE_VALUE) return;
    ::SetCommMask(m_hPort, 0);
    ::EscapeCommFunction(m_hPort, CLRDTR);
    ::PurgeComm(m_hPort, kPurgeOnClose);
    ::CloseHandle(m_hPort);
    m_hPort = INVALID_HANDLE_VALUE;
}
