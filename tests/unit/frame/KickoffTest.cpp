// Kickoff over a made-up card and clock: the test's stand-ins for the file look-up, the sleep and
// the process start record what Kickoff did, in order, and let the card arrive when the test says.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "ImportPatch.h"
#include "KickoffApp.h"

namespace {

const std::wstring kCard = L"기억 장치 카드";
const std::wstring kMenu = L"기억 장치 카드\\app\\main.exe";

struct FakeDevice {
    ULONGLONG now = 0;                 // moved on only by Sleep
    ULONGLONG cardFrom = ~0ull;        // when the card is in (never, unless set)
    bool hasMenu = true;
    std::vector<std::wstring> events;
};
FakeDevice* g_device = nullptr;

DWORD WINAPI FakeGetFileAttributesW(LPCWSTR path)
{
    const std::wstring p = path ? path : L"";
    const bool there = g_device->now >= g_device->cardFrom && (p == kCard || (p == kMenu && g_device->hasMenu));
    g_device->events.push_back(L"look " + p + (there ? L": there" : L": absent"));
    if (there) return p == kCard ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
}

void WINAPI FakeSleep(DWORD ms)
{
    g_device->events.push_back(L"sleep " + std::to_wstring(ms));
    g_device->now += ms;
    // A card that never comes would keep Kickoff here for ever: give up long before.
    if (g_device->now > 600000) throw std::runtime_error("Kickoff still waiting after ten minutes");
}

BOOL WINAPI FakeCreateProcessW(LPCWSTR app, LPWSTR cmd, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                               LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION pi)
{
    g_device->events.push_back(L"start " + std::wstring(app ? app : L"(none)") + (cmd ? L" " + std::wstring(cmd) : L""));
    *pi = {};
    return TRUE;
}

class KickoffClock : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_device = &device;
        ASSERT_TRUE(patches.Replace("kernel32.dll", "GetFileAttributesW", reinterpret_cast<void*>(&FakeGetFileAttributesW)));
        ASSERT_TRUE(patches.Replace("kernel32.dll", "Sleep", reinterpret_cast<void*>(&FakeSleep)));
        ASSERT_TRUE(patches.Replace("kernel32.dll", "CreateProcessW", reinterpret_cast<void*>(&FakeCreateProcessW)));
    }
    void TearDown() override
    {
        patches.RestoreAll();
        g_device = nullptr;
    }
    std::vector<std::wstring> Run()
    {
        CKickoffApp app;
        app.LaunchMainMenu();
        return device.events;
    }

    FakeDevice device;
    devtest::ImportPatches patches;
};

const std::wstring kStart = L"start \\기억 장치 카드\\app\\main.exe";

TEST_F(KickoffClock, ACardAlreadyInStartsTheMenuAtOnceAndOnce)
{
    device.cardFrom = 0;
    EXPECT_EQ(Run(), (std::vector<std::wstring>{L"look " + kCard + L": there", L"look " + kMenu + L": there", kStart}));
}

TEST_F(KickoffClock, WithoutACardItLooksOnceASecondAndStartsAfterTheLookThatFindsIt)
{
    device.cardFrom = 2500;   // between two looks
    std::vector<std::wstring> want;
    for (int i = 0; i < 3; ++i) {
        want.push_back(L"look " + kCard + L": absent");
        want.push_back(L"sleep 1000");
    }
    want.push_back(L"look " + kCard + L": there");
    want.push_back(L"look " + kMenu + L": there");
    want.push_back(kStart);
    EXPECT_EQ(Run(), want);
}

TEST_F(KickoffClock, ACardWithoutTheMenuEndsAtOnceStartingNothing)
{
    device.cardFrom = 0;
    device.hasMenu = false;
    EXPECT_EQ(Run(), (std::vector<std::wstring>{L"look " + kCard + L": there", L"look " + kMenu + L": absent"}));
}

}  // namespace
