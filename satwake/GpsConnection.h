// The serial connection to the GPS module, wired to "COM7:".
#ifndef SATWAKE_GPSCONNECTION_H
#define SATWAKE_GPSCONNECTION_H

#include <windows.h>

class CGpsConnection {
public:
    CGpsConnection();
    // Leaves the port alone: whoever opened it closes it with CloseConnection.
    virtual ~CGpsConnection();

    // Opens and configures the port; fails at once when it is already open.
    BOOL OpenConnection();
    // One write of nLength bytes; does not wait for the line to drain.
    BOOL SendData(const BYTE* pData, DWORD nLength);
    // Lowers DTR, empties the receive side and closes; nothing to do when closed.
    void CloseConnection();

    COMMTIMEOUTS m_timeouts;
    DCB m_dcbLine;    // only ByteSize, Parity and StopBits are used
    HANDLE m_hPort;   // INVALID_HANDLE_VALUE whenever the port is closed

private:
    BOOL ApplyLineState();
};

#endif
