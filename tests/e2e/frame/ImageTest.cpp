// The deliverables as files: the device loads PE32 images for the Intel 386. A 64-bit build (for
// PCs that cannot run 32-bit programs) cannot show this, and says so.
#include <gtest/gtest.h>

#include "DeviceTest.h"

#include <windows.h>

namespace {

WORD MachineOf(const std::wstring& path)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    IMAGE_DOS_HEADER dos{};
    IMAGE_NT_HEADERS32 nt{};
    DWORD got = 0;
    bool ok = ReadFile(h, &dos, sizeof dos, &got, nullptr) && got == sizeof dos && dos.e_magic == IMAGE_DOS_SIGNATURE &&
              SetFilePointer(h, dos.e_lfanew, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
              ReadFile(h, &nt, sizeof nt, &got, nullptr) && got == sizeof nt && nt.Signature == IMAGE_NT_SIGNATURE &&
              nt.OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC;
    CloseHandle(h);
    return ok ? nt.FileHeader.Machine : 0;
}

}  // namespace

TEST(ProgramImages, AreThePE32ImagesTheDeviceLoads)
{
#ifdef _WIN64
    GTEST_SKIP() << "this is the 64-bit build; only the 32-bit build makes the device's PE32 images";
#endif
    for (const wchar_t* name : {L"TVSCREEN.exe", L"PanelCfg.exe", L"SatWake.exe", L"DarkPane.exe", L"Kickoff.exe"}) {
        SCOPED_TRACE(testing::Message() << name);
        EXPECT_EQ(MachineOf(devtest::BinPath(name)), IMAGE_FILE_MACHINE_I386);
    }
}
