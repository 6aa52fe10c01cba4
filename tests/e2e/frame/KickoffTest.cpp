// Kickoff as a real process: it starts the card's real main menu program once, and ends. How it
// waits for the card, and how soon it starts, is checked in-process on a clock the test moves.
#include <gtest/gtest.h>
#include "DeviceTest.h"

#include <tlhelp32.h>

#include <sstream>

using namespace devtest;

namespace {

const wchar_t kRunLog[] = L"C:\\fake-main-menu.log";

size_t MainMenuRuns()
{
    auto bytes = ReadFileBytes(kRunLog);
    if (!bytes) return 0;
    std::istringstream in(std::string(bytes->begin(), bytes->end()));
    size_t runs = 0;
    unsigned long long t;
    while (in >> t) ++runs;
    return runs;
}

// Whether a main menu one of these processes started still runs. Kickoff starts the menu before it
// ends, so once Kickoff has ended and no menu it started runs, every start it made has written.
// Only the menu counts: the prefix's desktop process, started by whichever program first needs it,
// may be Kickoff's child too, and it lasts as long as the prefix.
bool ChildRunning(const std::vector<DWORD>& parents)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return true;
    PROCESSENTRY32W e = {};
    e.dwSize = sizeof(e);
    bool found = false;
    for (BOOL more = Process32FirstW(snap, &e); more && !found; more = Process32NextW(snap, &e))
        for (DWORD p : parents) found = found || (e.th32ParentProcessID == p && lstrcmpiW(e.szExeFile, L"main.exe") == 0);
    CloseHandle(snap);
    return found;
}

// The menu starts the Kickoffs made, counted once they and everything they started have ended.
size_t RunsAfter(std::vector<Process>& kickoffs)
{
    std::vector<DWORD> ids;
    for (Process& k : kickoffs) {
        EXPECT_TRUE(k.WaitExit(kHangMs)) << "Kickoff must end once it has started the menu";
        ids.push_back(k.Id());
    }
    EXPECT_TRUE(PollUntil([&] { return !ChildRunning(ids); }, kHangMs)) << "a main menu that does not end";
    return MainMenuRuns();
}

// A card comes with its files: it is made aside and moved into place in one step, so Kickoff
// never finds the card without its main menu, however slowly the copy goes.
bool InstallMainMenu()
{
    const std::wstring aside = L"C:\\card-being-made";
    return CreateFolders(aside + L"\\app") &&
           CopyFileW((ModuleDir() + L"\\fake_main_menu.exe").c_str(), (aside + L"\\app\\main.exe").c_str(), FALSE) &&
           MoveFileW(aside.c_str(), CardRoot().c_str());
}

class Kickoff : public ::testing::Test {
protected:
    void SetUp() override { DeleteFileW(kRunLog); }
    void TearDown() override { DeleteFileW(kRunLog); }
    CardGuard card;   // every case starts without a card
};

TEST_F(Kickoff, ACardWithItsMenuGetsTheMenuStartedOnce)
{
    ASSERT_TRUE(InstallMainMenu());
    std::vector<Process> kickoff;
    kickoff.push_back(Start(L"Kickoff.exe"));
    ASSERT_TRUE(kickoff[0].Valid());
    // The menu's own line first: a menu that never ran is not "no second start".
    ASSERT_TRUE(PollUntil([] { return MainMenuRuns() >= 1; }, kHangMs));
    EXPECT_EQ(RunsAfter(kickoff), 1u);
}

TEST_F(Kickoff, ACardWithoutTheMenuEndsItStartingNothing)
{
    ASSERT_TRUE(CreateFolders(CardRoot() + L"\\app"));
    std::vector<Process> kickoff;
    kickoff.push_back(Start(L"Kickoff.exe"));
    ASSERT_TRUE(kickoff[0].Valid());
    EXPECT_EQ(RunsAfter(kickoff), 0u);
}

TEST_F(Kickoff, TwoStartsStartTheMenuTwice)
{
    ASSERT_TRUE(InstallMainMenu());
    std::vector<Process> kickoffs;
    kickoffs.push_back(Start(L"Kickoff.exe"));
    kickoffs.push_back(Start(L"Kickoff.exe"));
    ASSERT_TRUE(PollUntil([] { return MainMenuRuns() >= 2; }, kHangMs));
    EXPECT_EQ(RunsAfter(kickoffs), 2u);
}

} // namespace
