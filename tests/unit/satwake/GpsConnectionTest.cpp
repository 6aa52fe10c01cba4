// CGpsConnection against a recording serial driver: the order of the steps, the line state it
// asks for, and the state each failure leaves behind.
#include <gtest/gtest.h>

#include <algorithm>

#include "FakeSerialPlatform.h"
#include "GpsConnection.h"

using Calls = std::vector<std::string>;

namespace {

const Calls kOpenSteps = {
    "CreateFileW(COM7:,3221225472,0,null,3,0,null)",  // read|write, exclusive, existing only
    "SetupComm(4096,4096)",
    "PurgeComm(15)",
    "SetCommTimeouts",
    "GetCommState",
    "SetCommState",
    "SetCommMask(1)",
    "EscapeCommFunction(5)",
    "OutputDebugStringW(OpenConnection Success GPS \r\n)",
};
// The close empties only the receive side: the sentence may still be on its way out.
const Calls kCloseSteps = { "SetCommMask(0)", "EscapeCommFunction(6)", "PurgeComm(10)", "CloseHandle(port)" };
const Calls kBox = { "MessageBoxW(null,-1-,-1-,0)" };

const BYTE kBytes[] = { 'a', 'b', 'c' };

Calls Prefix(const Calls& calls, size_t n) { return Calls(calls.begin(), calls.begin() + std::min(n, calls.size())); }

} // namespace

TEST(GpsConnectionOpen, ConfiguresTheLineAndKeepsWhatTheDriverReports)
{
    FakeSerialPlatform fake;
    fake.driverState.BaudRate = 4800;
    fake.driverState.fParity = 1;
    fake.driverState.fOutxCtsFlow = 1;
    fake.driverState.fOutX = 1;
    fake.driverState.fInX = 1;
    fake.driverState.fNull = 1;
    fake.driverState.fRtsControl = RTS_CONTROL_HANDSHAKE;
    fake.driverState.fDsrSensitivity = 1;
    fake.driverState.fTXContinueOnXoff = 1;
    fake.driverState.fErrorChar = 1;
    fake.driverState.fAbortOnError = 1;
    fake.driverState.XonLim = 111;
    fake.driverState.XoffLim = 222;
    fake.driverState.ByteSize = 7;
    fake.driverState.Parity = EVENPARITY;
    fake.driverState.StopBits = TWOSTOPBITS;
    fake.driverState.XonChar = 0x11;
    fake.driverState.XoffChar = 0x13;
    fake.driverState.ErrorChar = '?';
    fake.driverState.EofChar = 0x1A;
    fake.driverState.EvtChar = '\n';

    CGpsConnection gps;
    EXPECT_TRUE(gps.OpenConnection());
    EXPECT_EQ(fake.Take(), kOpenSteps);
    EXPECT_EQ(gps.m_hPort, FakeSerialPlatform::Port());
    EXPECT_EQ(fake.queriedLength, 28u);

    const DCB& s = fake.appliedState;
    EXPECT_EQ(s.BaudRate, 57600u);
    EXPECT_EQ(s.fBinary, 1u);
    EXPECT_EQ(s.fParity + s.fOutxCtsFlow + s.fOutxDsrFlow + s.fOutX + s.fInX + s.fNull, 0u);
    EXPECT_EQ(s.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(s.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    EXPECT_EQ(s.ByteSize, 8);
    EXPECT_EQ(s.Parity, NOPARITY);
    EXPECT_EQ(s.StopBits, ONESTOPBIT);
    EXPECT_EQ(s.fDsrSensitivity + s.fTXContinueOnXoff + s.fErrorChar + s.fAbortOnError, 4u);
    EXPECT_EQ(s.XonLim, 111);
    EXPECT_EQ(s.XoffLim, 222);
    EXPECT_EQ(std::string({ s.XonChar, s.XoffChar, s.ErrorChar, s.EofChar, s.EvtChar }), "\x11\x13?\x1A\n");

    const COMMTIMEOUTS& t = fake.appliedTimeouts;
    EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 1000u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);

    // Open already: refused without touching the port.
    EXPECT_FALSE(gps.OpenConnection());
    EXPECT_TRUE(fake.Take().empty());
    gps.CloseConnection();
    EXPECT_EQ(fake.Take(), kCloseSteps);
    EXPECT_EQ(gps.m_hPort, INVALID_HANDLE_VALUE);
}

TEST(GpsConnectionOpen, PortInUseShowsTheBoxSendsNothingAndStaysClosed)
{
    FakeSerialPlatform fake;
    fake.openError = ERROR_ACCESS_DENIED;  // what the driver answers while another holds the port
    CGpsConnection gps;
    EXPECT_FALSE(gps.OpenConnection());
    EXPECT_EQ(fake.Take(), Calls({ kOpenSteps[0], kBox[0] }));
    EXPECT_EQ(gps.m_hPort, INVALID_HANDLE_VALUE);

    EXPECT_FALSE(gps.SendData(kBytes, sizeof(kBytes)));
    EXPECT_TRUE(fake.written.empty());
    fake.Take();
    gps.CloseConnection();
    EXPECT_TRUE(fake.Take().empty());

    // Closed, so the next open tries the port again.
    fake.openError = 0;
    EXPECT_TRUE(gps.OpenConnection());
    EXPECT_EQ(fake.Take(), kOpenSteps);
    gps.CloseConnection();
}

TEST(GpsConnectionOpen, RefusedLineStateClosesThePortQuietly)
{
    FakeSerialPlatform fake;
    fake.refuseState = true;
    CGpsConnection gps;
    EXPECT_FALSE(gps.OpenConnection());
    Calls expected = Prefix(kOpenSteps, 6);
    expected.push_back("CloseHandle(port)");
    EXPECT_EQ(fake.Take(), expected);
    EXPECT_EQ(gps.m_hPort, INVALID_HANDLE_VALUE);
    gps.CloseConnection();
    EXPECT_TRUE(fake.Take().empty());
}

TEST(GpsConnectionOpen, RefusedEventMaskLeavesThePortOpenUnannounced)
{
    FakeSerialPlatform fake;
    fake.refuseMask = true;
    CGpsConnection gps;
    EXPECT_FALSE(gps.OpenConnection());
    EXPECT_EQ(fake.Take(), Prefix(kOpenSteps, 7));  // no DTR raise, no debug line
    EXPECT_EQ(gps.m_hPort, FakeSerialPlatform::Port());

    // Still open: the write goes out and the close does its whole sequence.
    EXPECT_TRUE(gps.SendData(kBytes, sizeof(kBytes)));
    EXPECT_EQ(fake.written, "abc");
    fake.Take();
    gps.CloseConnection();
    EXPECT_EQ(fake.Take(), kCloseSteps);
}

TEST(GpsConnectionLife, DestructionLeavesThePortAlone)
{
    FakeSerialPlatform fake;
    {
        CGpsConnection gps;
        ASSERT_TRUE(gps.OpenConnection());
        fake.Take();
    }
    EXPECT_TRUE(fake.Take().empty());
}

TEST(GpsConnectionSend, OneOverlappedWriteWithAFreshEventThatIsClosed)
{
    FakeSerialPlatform fake;
    CGpsConnection gps;
    ASSERT_TRUE(gps.OpenConnection());
    fake.Take();

    EXPECT_TRUE(gps.SendData(kBytes, sizeof(kBytes)));
    EXPECT_EQ(fake.Take(), Calls({ "CreateEventW(null,1,0,null)", "WriteFile(port,3)", "CloseHandle(event)" }));
    EXPECT_EQ(fake.written, "abc");
    EXPECT_EQ(fake.lastOverlapped.hEvent, fake.lastEvent);
    EXPECT_EQ(fake.lastOverlapped.Offset + fake.lastOverlapped.OffsetHigh + fake.lastOverlapped.Internal, 0u);
    gps.CloseConnection();
}

TEST(GpsConnectionSend, PendingCountsAsSentOtherErrorsDoNot)
{
    FakeSerialPlatform fake;
    CGpsConnection gps;
    ASSERT_TRUE(gps.OpenConnection());
    fake.writeResult = FALSE;

    fake.writeError = ERROR_IO_PENDING;
    EXPECT_TRUE(gps.SendData(kBytes, sizeof(kBytes)));
    fake.writeError = ERROR_TIMEOUT;
    fake.Take();
    EXPECT_FALSE(gps.SendData(kBytes, sizeof(kBytes)));
    const std::vector<std::string> calls = fake.Take();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "CloseHandle(event)");

    fake.noEvent = true;
    EXPECT_FALSE(gps.SendData(kBytes, sizeof(kBytes)));
    EXPECT_EQ(fake.Take(), Calls({ "CreateEventW(null,1,0,null)" }));
    gps.CloseConnection();
}
