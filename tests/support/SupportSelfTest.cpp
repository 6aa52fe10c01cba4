// The harness checked against a helper program whose behaviour is known.
#include "DeviceTest.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace devtest;

namespace {

const std::wstring kTitle = L"DevTest Helper";
using Codes = std::vector<std::pair<int, int>>;

class Support : public ::testing::Test {
protected:
    void SetUp() override
    {
        helper = Start(ModuleDir() + L"\\devtest_helper.exe", kTitle);
        ASSERT_TRUE(helper.Valid());
        main = WaitForWindow(kTitle, kHangMs, helper.Id());
        low = WaitForWindow(kTitle + L" Low", kHangMs, helper.Id());
        ASSERT_NE(main, nullptr);
        ASSERT_NE(low, nullptr);
        // A window is found as soon as it exists; it shows at the end of its creation.
        ASSERT_TRUE(PollUntil([this] { return IsShown(main) && IsShown(low); }));
    }

    HostWindow host;  // declared first: outlives the helper, which is killed first
    Process helper;
    HWND main = nullptr;
    HWND low = nullptr;
};

TEST_F(Support, ProcessesAndWindowFacts)
{
    EXPECT_EQ(Title(main), kTitle);
    EXPECT_EQ(WindowPid(main), helper.Id());
    EXPECT_TRUE(SameRect(WindowRect(main), 100, 50, 200, 100));
    EXPECT_TRUE(SameRect(ClientRect(main), 0, 0, 200, 100));
    EXPECT_TRUE(IsShown(main));
    EXPECT_FALSE(IsShown(host.Hwnd()));
    EXPECT_TRUE(IsTopmost(main));
    EXPECT_FALSE(IsTopmost(low));
    EXPECT_TRUE(IsAbove(main, low));
    EXPECT_FALSE(IsAbove(low, main));
    EXPECT_EQ(WinePath("/a/b c"), L"Z:\\a\\b c");
    EXPECT_FALSE(Start(L"no-such-program.exe").Valid());

    // The limit itself: a wait that never sees its event gives up no sooner than asked.
    ULONGLONG t0 = Now();
    EXPECT_EQ(WaitForWindow(L"no such window", 300), nullptr);
    EXPECT_GE(Now() - t0, 300u);

    EXPECT_TRUE(helper.Running());
    EXPECT_FALSE(helper.WaitExit(0));
    host.Broadcast(240, 7);
    ASSERT_TRUE(helper.WaitExit());
    EXPECT_EQ(helper.ExitCode(), 7u);
    EXPECT_TRUE(WaitGone(main));
}

TEST_F(Support, HostRecordsOthersAndAnswersInsideItsHandler)
{
    host.SetAnswer([](HostWindow& h, int code, int arg) {
        if (code == 14 && arg == 66) h.Broadcast(16, 40);
    });
    host.Broadcast(200, 5);
    ASSERT_TRUE(host.WaitFor(201, 6));
    // 17/1: the answer reached the helper before its own broadcast returned.
    EXPECT_EQ(host.Codes(), (Codes{{14, 66}, {17, 1}, {201, 6}}));
    const auto& log = host.Messages();
    EXPECT_LE(log.front().time, log.back().time);

    host.SetAnswer(nullptr);
    host.Clear();
    host.Send(main, 200, 9);
    ASSERT_TRUE(host.WaitFor(201, kAnyArg));
    EXPECT_EQ(host.Codes(), (Codes{{14, 66}, {17, 0}, {201, 10}}));
    EXPECT_EQ(host.Count(14), 1);
    EXPECT_FALSE(host.WaitFor(16, 40, 0));  // an absent message answers false at once

    host.Clear();
    const char odd[3] = {'A', 0, 'B'};
    EXPECT_EQ(host.SendCopyData(main, odd, 3, 77), 77);
    EXPECT_EQ(host.SendText(main, L"\uAE30\uC5B5"), 0);
    EXPECT_EQ(host.Codes(), (Codes{{220, 3}, {221, 'A'}, {220, 6}, {221, 0xAE30}}));
}

TEST_F(Support, TouchesArriveAtClientPoints)
{
    Tap(main, 10, 20);
    ASSERT_TRUE(host.WaitFor(211, MAKELONG(10, 20)));
    TouchDown(main, 150, 90);
    ASSERT_TRUE(host.WaitFor(210, MAKELONG(150, 90)));
    EXPECT_EQ(host.Codes(),
              (Codes{{210, MAKELONG(10, 20)}, {211, MAKELONG(10, 20)}, {210, MAKELONG(150, 90)}}));
}

TEST_F(Support, ScreenPixelsAndBitmaps)
{
    ASSERT_TRUE(PollUntil([] { return SameColor(ScreenPixel(299, 149), 0x0000FF); }));
    EXPECT_TRUE(SameColor(ScreenPixel(100, 50), 0xFF0000));

    Image whole = CaptureScreen(100, 50, 200, 100);
    Image left = Crop(whole, 0, 0, 100, 100);
    Image right = Crop(whole, 100, 0, 100, 100);
    EXPECT_EQ(CountNot(left, 0xFF0000), 0);
    EXPECT_EQ(CountNot(right, 0x0000FF), 0);
    EXPECT_EQ(CountDifferent(left, right), 100 * 100);
    EXPECT_EQ(CountNot(CaptureScreen(90, 50, 10, 100), 0xFF0000), 10 * 100);

    wchar_t tmp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tmp);
    std::wstring path = std::wstring(tmp) + L"devtest-shot.bmp";
    ASSERT_TRUE(SaveScreenshot(100, 50, 200, 100, path));
    Image loaded = LoadBmp(path);
    DeleteFileW(path.c_str());
    EXPECT_EQ(CountDifferent(loaded, whole, 0), 0);
    EXPECT_EQ(CountDifferent(loaded, left), 200 * 100);
}

TEST_F(Support, MessageBoxIsReadAndDismissed)
{
    EXPECT_EQ(FindMessageBox(helper.Id()), nullptr);  // plain windows are no message boxes
    host.Broadcast(230, 0);
    HWND box = WaitForMessageBox(kHangMs, helper.Id());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), L"\uCCAB \uC904\r\nsecond line");
    EXPECT_EQ(MessageBoxCaption(box), L"DevTest \uC0C1\uC790");
    EXPECT_FALSE(PressButton(box, IDCANCEL));  // an OK-only box
    EXPECT_TRUE(PressOk(box));
    EXPECT_TRUE(WaitGone(box));
    EXPECT_TRUE(host.WaitFor(231, IDOK));

    host.Clear();
    host.Broadcast(230, 0);
    box = WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(Dismiss(box));
    EXPECT_TRUE(host.WaitFor(231, IDOK));
}

TEST(SupportStore, ValuesOfAnyTypeAndSnapshots)
{
    StoreSnapshot original;
    ASSERT_TRUE(DeleteStoreKey());
    EXPECT_FALSE(StoreKeyExists());
    EXPECT_FALSE(ReadDword(L"Volume").has_value());

    ASSERT_TRUE(WriteDword(L"Volume", 7));
    EXPECT_TRUE(StoreKeyExists());
    EXPECT_EQ(ReadDword(L"Volume"), 7u);
    const BYTE wide[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(WriteRaw(L"PIP", REG_BINARY, wide, sizeof wide));
    EXPECT_FALSE(ReadDword(L"PIP").has_value());
    auto raw = ReadRaw(L"PIP");
    ASSERT_TRUE(raw.has_value());
    EXPECT_EQ(raw->type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(raw->data, std::vector<BYTE>(wide, wide + 6));

    {
        StoreSnapshot inner;
        WriteDword(L"DLS", 0);
        DeleteValue(L"PIP");
        EXPECT_FALSE(ReadRaw(L"PIP").has_value());
    }
    EXPECT_FALSE(ReadDword(L"DLS").has_value());
    EXPECT_TRUE(ReadRaw(L"PIP").has_value());
    EXPECT_TRUE(DeleteValue(L"Volume"));
    EXPECT_FALSE(ReadRaw(L"Volume").has_value());
}

TEST(SupportCard, ChannelFileAndNestedGuards)
{
    std::wstring marker = CardRoot() + L"\\marker";
    const bool hadCard = FileExists(CardRoot()), hadMarker = FileExists(marker);
    {
        CardGuard outer;
        ASSERT_TRUE(CreateCardFolder());
        ASSERT_TRUE(WriteFileBytes(marker, "x", 1));
        {
            CardGuard inner;
            EXPECT_FALSE(FileExists(CardRoot()));
            ASSERT_TRUE(WriteChannelFile(2, 1, {"KBS", ToAnsi(L"\uAE30\uC5B5")}, {std::string(40, 'R')}));
            auto bytes = ReadFileBytes(ChannelFilePath());
            ASSERT_TRUE(bytes.has_value());
            ASSERT_EQ(bytes->size(), kChannelFileSize);
            EXPECT_EQ((*bytes)[0], 2);
            EXPECT_EQ((*bytes)[1], 1);
            EXPECT_EQ(memcmp(&(*bytes)[kTvNamesOffset], "KBS\0", 4), 0);
            EXPECT_EQ(memcmp(&(*bytes)[kTvNamesOffset + kNameSize], "\xB1\xE2\xBE\xEF\0", 5), 0);
            EXPECT_EQ(std::string(&(*bytes)[kRadioNamesOffset], &(*bytes)[kRadioNamesOffset + 33]),
                      std::string(32, 'R') + '\0');

            ASSERT_TRUE(WriteChannelBytes({5, 3}));
            EXPECT_EQ(ReadFileBytes(ChannelFilePath()), (std::vector<uint8_t>{5, 3}));
            EXPECT_TRUE(RemoveCardFolder());
            EXPECT_FALSE(FileExists(CardRoot()));
        }
        EXPECT_TRUE(FileExists(marker));
    }
    EXPECT_EQ(FileExists(CardRoot()), hadCard);
    EXPECT_EQ(FileExists(marker), hadMarker);
}

// What a run that died under two guards leaves: the card from before it moved aside, a deeper
// guard's card aside too, and a test's card in place. The next run's first guard sorts it out.
TEST(SupportCard, FirstGuardPutsBackTheCardOfARunThatDied)
{
    const std::wstring before = CardRoot() + L".devtest-saved", deeper = before + L".2";
    const bool hadCard = FileExists(CardRoot());
    ASSERT_TRUE(hadCard ? MoveFileW(CardRoot().c_str(), before.c_str()) : WriteFileBytes(before, "", 0));
    ASSERT_TRUE(CreateFolders(deeper) && CreateFolders(CardRoot() + L"\\leftover"));
    {
        CardGuard guard;
        EXPECT_FALSE(FileExists(CardRoot()));
        EXPECT_FALSE(FileExists(deeper));
    }
    EXPECT_EQ(FileExists(CardRoot()), hadCard);
    EXPECT_FALSE(FileExists(CardRoot() + L"\\leftover"));
    EXPECT_FALSE(FileExists(before));
}

TEST(SupportStore, FirstSnapshotPutsBackTheStoreOfARunThatDied)
{
    const std::wstring saved = std::wstring(kStoreKey) + L".devtest-saved";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, saved.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD nine = 9;
    RegSetValueExW(key, L"Volume", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&nine), sizeof nine);
    RegCloseKey(key);
    ASSERT_TRUE(WriteDword(L"Volume", 1) && WriteDword(L"Bright", 3));
    {
        StoreSnapshot snapshot;
        EXPECT_EQ(ReadDword(L"Volume"), 9u);
        EXPECT_FALSE(ReadDword(L"Bright").has_value());
        WriteDword(L"Volume", 2);
    }
    EXPECT_EQ(ReadDword(L"Volume"), 9u);
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, saved.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
}

}  // namespace
