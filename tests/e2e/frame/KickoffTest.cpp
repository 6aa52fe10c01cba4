// Kickoff waits for the storage card, starts the card's main menu program once, and ends.
#include <gtest/gtest.h>
#include "DeviceTest.h"

#include <sstream>

using namespace devtest;

namespace {

const wchar_t kRunLog[] = L"C:\\fake-main-menu.log";

std::vector<ULONGLONG> MainMenuRuns()
{
    std::vector<ULONGLONG> runs;
    auto bytes = ReadFileBytes(kRunLog);
    if (!bytes) return runs;
    std::istringstream in(std::string(bytes->begin(), bytes->end()));
    unsigned long long t;
    while (in >> t) runs.push_back(t);
    return runs;
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

TEST_F(Kickoff, CardPresentStartsTheMainMenuOnceAndAtOnce)
{
    ASSERT_TRUE(InstallMainMenu());
    ULONGLONG started = Now();
    Process kickoff = Start(L"Kickoff.exe");
    ASSERT_TRUE(kickoff.Valid());
    ASSERT_TRUE(kickoff.WaitExit(5000)) << "Kickoff must end once it has started the menu";
    ASSERT_TRUE(PollUntil([] { return MainMenuRuns().size() >= 1; }, 5000));
    // Give a second, wrong start the time to show up before counting.
    PollUntil([] { return MainMenuRuns().size() > 1; }, 1500);
    auto runs = MainMenuRuns();
    ASSERT_EQ(runs.size(), 1u);
    // Two Wine process starts fit well inside this; a first poll sleep would not.
    EXPECT_LT(runs[0] - started, 2000u) << "no poll delay when the card is already there";
}

TEST_F(Kickoff, CardInsertedLaterStartsTheMenuWithinAboutASecond)
{
    Process kickoff = Start(L"Kickoff.exe");
    ASSERT_TRUE(kickoff.Valid());
    // Ten seconds without a card: Kickoff keeps waiting and starts nothing.
    EXPECT_FALSE(PollUntil([&] { return !kickoff.Running() || !MainMenuRuns().empty(); }, 10000, 100));
    ASSERT_TRUE(InstallMainMenu());
    ULONGLONG inserted = Now();
    ASSERT_TRUE(PollUntil([] { return !MainMenuRuns().empty(); }, 5000));
    auto runs = MainMenuRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_LE(runs[0] - inserted, 1300u);
    EXPECT_TRUE(kickoff.WaitExit(3000));
}

TEST_F(Kickoff, CardWithoutMainMenuEndsAtOnceStartingNothing)
{
    ASSERT_TRUE(CreateFolders(CardRoot() + L"\\app"));
    ULONGLONG started = Now();
    Process kickoff = Start(L"Kickoff.exe");
    ASSERT_TRUE(kickoff.WaitExit(5000));
    EXPECT_LT(Now() - started, 3000u);
    EXPECT_TRUE(MainMenuRuns().empty());
}

TEST_F(Kickoff, TwoStartsStartTheMenuTwice)
{
    ASSERT_TRUE(InstallMainMenu());
    Process first = Start(L"Kickoff.exe");
    Process second = Start(L"Kickoff.exe");
    ASSERT_TRUE(first.WaitExit(5000));
    ASSERT_TRUE(second.WaitExit(5000));
    EXPECT_TRUE(PollUntil([] { return MainMenuRuns().size() == 2; }, 5000));
}

} // namespace
