// The host's console window takes what any program of the prefix may send it: a WM_COPYDATA that
// names a size but carries no data is refused. Sent in-process, the message reaches the host as
// it was made (between processes Wine copies it, and the data would no longer be missing).
#include "Console.h"
#include "DeviceHarness.h"
#include "HostService.h"

#include <gtest/gtest.h>

using namespace devtest;

TEST(HostInput, CopyDataWithoutDataIsRefused)
{
    CardGuard card;
    StoreSnapshot store;
    devhost::HostService host(GetModuleHandleW(nullptr));
    ASSERT_TRUE(host.Create());
    for (ULONG_PTR kind : {devworld::HOSTCTL_SILENT, devworld::HOSTCTL_LAG, devworld::HOSTCTL_SEND, devworld::HOSTCTL_DAB}) {
        COPYDATASTRUCT cds = {kind, 8, nullptr};
        EXPECT_EQ(SendMessageW(host.Hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)), FALSE) << "kind " << kind;
    }
}
