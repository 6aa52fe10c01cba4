// The storage card as it may be: absent, pulled while the viewer runs, write-protected, or with a
// channel file the host rewrites to another size while the viewer reads it.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <random>
#include <thread>

#include "DeviceTest.h"
#include "Frame.h"
#include "GdiSpy.h"
#include "Overlay.h"
#include "TvScreenDlg.h"

using namespace devtest;

namespace {

// ---- a write-protected card, as the platform would answer for one --------------------------

decltype(&CreateFileW) g_createFile;
std::atomic<bool> g_writeProtected{false};

bool OnCard(LPCWSTR path)
{
    if (!path) return false;
    std::wstring p(path);
    const std::wstring card = L"기억 장치 카드";
    return p.find(card) != std::wstring::npos;
}

// A medium that refuses writing: opening for writing fails, and so does anything that would
// make a file that is not there.
HANDLE WINAPI ProtectedCreateFile(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                                  DWORD flags, HANDLE tmpl)
{
    if (g_writeProtected && OnCard(name)) {
        const bool writes = (access & (GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
        const bool makes = disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING ||
                           (disposition == OPEN_ALWAYS && GetFileAttributesW(name) == INVALID_FILE_ATTRIBUTES);
        if (writes || makes) {
            SetLastError(ERROR_WRITE_PROTECT);
            return INVALID_HANDLE_VALUE;
        }
    }
    return g_createFile(name, access, share, sa, disposition, flags, tmpl);
}

class Card : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gdispy::Install());
        if (!g_createFile) {
            g_createFile = reinterpret_cast<decltype(g_createFile)>(
                gdispy::ReplaceImport("kernel32.dll", "CreateFileW", reinterpret_cast<void*>(&ProtectedCreateFile)));
        }
        ASSERT_NE(g_createFile, nullptr);
        SetCurrentDirectoryW(L"C:\\");
        host = std::make_unique<HostWindow>();
    }
    void TearDown() override
    {
        g_writeProtected = false;
        if (dlg) {
            dlg->DestroyWindow();
            dlg.reset();
        }
        ReleaseVideoObjects();
        host.reset();
    }

    void StartViewer()
    {
        dlg = std::make_unique<CTvScreenDlg>();
        ASSERT_TRUE(dlg->Create(IDD_MAIN_DIALOG));
        PumpMessages();
    }

    // A host command, and the reload's timers run out (the radio window comes two ticks later).
    void Reload()
    {
        host->Broadcast(16, 58);
        ASSERT_TRUE(PollUntil([&] { return dlg->m_nViewMode == VIEW_RADIO_WINDOW && !dlg->m_bBusy; }));
    }

    static std::vector<std::string> Names(const char* stem, int n)
    {
        std::vector<std::string> v;
        for (int i = 0; i < n; ++i) v.push_back(stem + std::to_string(i));
        return v;
    }

    StoreSnapshot store;
    CardGuard card;   // no card unless a test makes one
    std::unique_ptr<HostWindow> host;
    std::unique_ptr<CTvScreenDlg> dlg;
};

TEST_F(Card, NoCardMeansEmptyListsAndSilentCommands)
{
    StartViewer();
    EXPECT_EQ(dlg->m_nTvCount, 0);
    EXPECT_EQ(dlg->m_nRadioCount, 0);
    EXPECT_FALSE(FileExists(CardRoot())) << "the viewer made a card folder";
    Reload();
    EXPECT_EQ(dlg->m_nRadioCount, 0);
    host->Clear();
    // Channel up and down, a list and its first row: nothing is tuned.
    ASSERT_TRUE(PollUntil([&] { return !dlg->m_bSettling; }));
    for (POINT p : {POINT{462, 213}, POINT{462, 297}, POINT{580, 141}, POINT{500, 195}}) {
        host->Broadcast(80, 0);
        ASSERT_TRUE(PollUntil([&] { return !dlg->m_bBusy; }));
        Tap(dlg->m_hWnd, p.x, p.y);
        PumpMessages();
    }
    EXPECT_EQ(host->Count(47), 0);
    EXPECT_EQ(host->Count(48, 2), 1) << "the radio list button still asks for its band";
    // The settings program is on the card: nothing starts, the viewer parks and waits for 16/90.
    host->Broadcast(80, 0);
    ASSERT_TRUE(PollUntil([&] { return !dlg->m_bBusy; }));
    Tap(dlg->m_hWnd, 580, 91);
    PumpMessages();
    EXPECT_EQ(dlg->m_nResumeAfterSettings, 1);
}

// The image read last stays: the lists keep their names while the card is out.
TEST_F(Card, CardPulledWhileRunningKeepsWhatWasRead)
{
    ASSERT_TRUE(CreateFolders(CardRoot() + L"\\appdata"));
    ASSERT_TRUE(WriteChannelFile(5, 7, Names("TV", 20), Names("Radio", 80)));
    StartViewer();
    ASSERT_EQ(dlg->m_nRadioCount, 7);
    ASSERT_TRUE(RemoveCardFolder());
    Reload();
    EXPECT_EQ(dlg->m_nTvCount, 5);
    EXPECT_EQ(dlg->m_nRadioCount, 7);
    gdispy::Current().Clear();
    dlg->m_nPanel = PANEL_LIST;
    dlg->DrawListPanel();
    bool named = false;
    for (const gdispy::Text& t : gdispy::Current().texts) named |= t.text == L"Radio0";
    EXPECT_TRUE(named) << "the list lost its names with the card";
}

TEST_F(Card, WriteProtectedCardIsReadButNothingIsMadeOnIt)
{
    ASSERT_TRUE(CreateFolders(CardRoot() + L"\\appdata"));
    ASSERT_TRUE(WriteChannelFile(4, 9, Names("TV", 20), Names("Radio", 80)));
    g_writeProtected = true;
    StartViewer();
    EXPECT_EQ(dlg->m_nTvCount, 4) << "a file on a protected card is still read";
    EXPECT_EQ(dlg->m_nRadioCount, 9);
    // Without the file the open would have to make it: it fails, the counts stay, nothing is made.
    g_writeProtected = false;
    ASSERT_TRUE(DeleteFileW(ChannelFilePath().c_str()));
    g_writeProtected = true;
    Reload();
    EXPECT_EQ(dlg->m_nRadioCount, 9);
    EXPECT_FALSE(FileExists(ChannelFilePath()));
    dlg->DestroyWindow();
    dlg.reset();
    ReleaseVideoObjects();
    StartViewer();
    EXPECT_EQ(dlg->m_nTvCount, 0);
    EXPECT_EQ(dlg->m_nRadioCount, 0);
}

// The host rewrites the file, to another size each time, while the viewer reloads and draws it:
// the counts never exceed the file's layout and no name is read past its 32-byte record.
TEST_F(Card, ChannelFileChangingSizeWhileReadStaysInBounds)
{
    ASSERT_TRUE(CreateFolders(CardRoot() + L"\\appdata"));
    ASSERT_TRUE(WriteChannelFile(20, 80, Names("TV", 20), Names("Radio", 80)));
    StartViewer();
    std::atomic<bool> stop{false};
    std::atomic<int> rewrites{0};
    std::thread writer([&] {
        std::mt19937 rng(7);
        const size_t sizes[] = {0, 1, 2, 3, 100, 3203, 3204, 3205, 8000};
        std::vector<uint8_t> bytes(8000);
        while (!stop) {
            for (auto& b : bytes) b = static_cast<uint8_t>(0x41 + rng() % 26);   // names without a zero
            bytes[0] = static_cast<uint8_t>(rng());
            bytes[1] = static_cast<uint8_t>(rng());
            const size_t n = sizes[rng() % (sizeof sizes / sizeof sizes[0])];
            // Shared for reading and writing, as a host writing under a reader would open it.
            HANDLE h = g_createFile(ChannelFilePath().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, 0, nullptr);
            if (h == INVALID_HANDLE_VALUE) continue;
            DWORD written = 0;
            WriteFile(h, bytes.data(), static_cast<DWORD>(n), &written, nullptr);
            SetEndOfFile(h);
            CloseHandle(h);
            ++rewrites;
        }
    });
    // As many reloads as it takes for the rewrites to have come between them many times.
    int reloads = 0;
    for (const ULONGLONG end = Now() + kHangMs; (reloads < 100 || rewrites < 100) && Now() < end; ++reloads) {
        host->Broadcast(16, reloads % 2 ? 59 : 60);
        gdispy::Current().Clear();
        for (int band : {VIEW_TV_WINDOW, VIEW_RADIO_WINDOW}) {
            dlg->m_nViewMode = band;
            dlg->DrawListPanel();
            ASSERT_LE(dlg->m_nTvCount, 20);
            ASSERT_LE(dlg->m_nRadioCount, 80);
            ASSERT_LE(dlg->m_nTvChannel, std::max(0, dlg->m_nTvCount - 1));
            ASSERT_LE(dlg->m_nRadioChannel, std::max(0, dlg->m_nRadioCount - 1));
        }
        for (const gdispy::Text& t : gdispy::Current().texts)
            if (t.clip.left == 430) ASSERT_LE(t.text.size(), 32u) << "a name read past its record";
        PumpMessages();
    }
    stop = true;
    writer.join();
    EXPECT_GE(reloads, 100);
    EXPECT_GE(rewrites.load(), 100);
    std::printf("  %d reloads against %d rewrites\n", reloads, rewrites.load());
}

// The real viewer under the same rewrites, reloading and showing its lists: it keeps running
// and answering.
TEST(CardRunning, RealViewerReadsAFileThatKeepsChangingSize)
{
    StoreSnapshot store;
    CardGuard card;
    ASSERT_TRUE(CreateFolders(CardRoot() + L"\\appdata"));
    ASSERT_TRUE(WriteChannelFile(20, 80, {}, {}));
    HostWindow host;
    Process viewer = Start(L"TVSCREEN.exe");
    HWND v = WaitForWindow(L"TVSCREEN", kHangMs, viewer.Id());
    ASSERT_NE(v, nullptr);
    host.Broadcast(16, 58);
    ASSERT_TRUE(PollUntil([&] { return SameRect(WindowRect(v), 0, 0, 640, 480); }));
    std::mt19937 rng(11);
    const size_t sizes[] = {0, 2, 64, 3203, 3204, 6000};
    for (int i = 0; i < 120; ++i) {
        std::vector<uint8_t> bytes(sizes[rng() % 6], static_cast<uint8_t>('A' + i % 26));
        if (bytes.size() >= 2) {
            bytes[0] = static_cast<uint8_t>(rng());
            bytes[1] = static_cast<uint8_t>(rng());
        }
        WriteChannelBytes(bytes);
        host.Broadcast(16, i % 3 == 0 ? 58 : (i % 3 == 1 ? 59 : 60));
        host.Broadcast(80, 0);
        Tap(v, i % 2 ? 470 : 580, 141);   // the TV or radio list
        PollUntil([] { return false; }, 30);
        ASSERT_TRUE(viewer.Running()) << "the viewer ended at rewrite " << i;
    }
    DWORD_PTR r = 0;
    EXPECT_NE(SendMessageTimeoutW(v, WM_NULL, 0, 0, SMTO_NORMAL, kHangMs, &r), 0) << "the viewer does not answer";
    EXPECT_EQ(FindTopLevel(L"TVSCREEN"), v);
}

}  // namespace
